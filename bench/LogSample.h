#pragma once
// Generated logs in the test program's compact form, for the benchmarks: lines of the usual
// kinds (headings, measured values with units and limits, PASS/FAIL, aligned by runs of spaces).

#include <cstdio>
#include <random>
#include <string>

namespace vrx::bench {

// One raw line of about 60 bytes, chosen by the line number.
inline std::string sampleLogLine(std::mt19937& rng, long number)
{
    std::uniform_int_distribution<int> digit(0, 9);
    auto value = [&] {
        std::string v;
        v += static_cast<char>('0' + digit(rng));
        v += '.';
        v += static_cast<char>('0' + digit(rng));
        v += static_cast<char>('0' + digit(rng));
        return v;
    };
    std::string line;
    switch (number % 6) {
    case 0:
        line = "\x02\x01\"CH" + std::to_string(1 + number % 4) + "\x03" + value() + "\x05/\x07\x01*Test " +
               std::to_string(number % 100000) + "\x01(Run \xF1" "2%\x01$" + value() + "\x05";
        break;
    case 1:
        line = "\x01$\x04\x01\"" + value() + "\x05\x01$\x0e\x01\"" + value() + "\x05\xF3" + value() +
               "\x05\x01&\x0f Step " + value();
        break;
    case 2:
        line = "\x01$\x04\x01\"" + value() + "\x06\x01$\x0e\x01\"" + value() + "\x06 \xF1" + value() +
               "%\x01&\x10 Step " + value();
        break;
    case 3:
        line = "\x01(Bandwidth\x01#" + value() + "\x08\x01(\x0e\x01\"" + value() + "\x08\x01\x2c\x0f Span " + value() + "\x08";
        break;
    case 4:
        line = "\x01 Timebase " + value() + " ms/\x07\x01\x24\x04 " + value() + " ms\x01\x24\x0f  ok";
        break;
    default:
        line = "------------------------------------------------------------------";
        break;
    }
    line += "\x01\"Record " + std::to_string(100000 + number % 900000);
    return line;
}

// Writes a log of `lines` lines joined by CR LF; returns the bytes written, or -1. With
// `expand`, each line goes through it first (the test program's tokens expanded), and lineEnd
// joins them: a log whose CR LF a file transfer turned into LF is one log line holding them
// all, and loads only when no token stands past position 32767 of it.
template <class Expand>
inline long long writeSampleLog(const std::string& path, long lines, const char* lineEnd, Expand&& expand)
{
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f)
        return -1;
    std::mt19937 rng(1);
    long long written = 0;
    std::string chunk;
    for (long i = 0; i < lines; ++i) {
        chunk += expand(sampleLogLine(rng, i));
        chunk += lineEnd;
        if (chunk.size() > (1u << 20) || i + 1 == lines) {
            written += static_cast<long long>(std::fwrite(chunk.data(), 1, chunk.size(), f));
            chunk.clear();
        }
    }
    std::fclose(f);
    return written;
}

inline long long writeSampleLog(const std::string& path, long lines)
{
    return writeSampleLog(path, lines, "\r\n", [](std::string line) { return line; });
}

} // namespace vrx::bench
