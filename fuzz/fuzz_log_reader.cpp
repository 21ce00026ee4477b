// Log reader from bytes: convertLogBytes must split at CR LF and a lone CR (a lone LF stays in
// its line), repair the three DOS characters, convert every line and join them with CR LF,
// leaving out the separator while the text is still empty. Checked against a plain model of
// the same rules built on the literal conversion, and by counting line ends: a successful
// read converts one line per line end plus a final unterminated line, and the text holds one
// CR LF per line after the first line that converts to something. The display text then goes
// through both decoders, which must agree. The same bytes read from a file straight into
// UTF-8 (streamLogUtf8) must give that text's UTF-8, the same lines and the same failure.
//
// An input that starts with the bytes 00 00 'P' 'A' 'D' and one more byte b has its first
// line lengthened by 32700 + b letters, so the 32767 limits of repair and conversion are
// reached from small inputs.

#include "core/ConvertLogLine.h"
#include "fuzz/FuzzCheck.h"
#include "tests/core/LiteralConvert.h"
#include "platform/LogFiles.h"

#include <QString>
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include <unistd.h>

using namespace vrx;

namespace {

struct Model {
    std::string text;
    int lines = 0;                              // lines converted
    std::optional<LogFailure::Kind> failure;
    int failedLine = 0;
    int firstShownLine = 0;                     // 1-based line that first put text on the display
};

// The lines of a log: CR LF or a lone CR ends a line; bytes after the last line end are
// one more line.
std::vector<std::string> splitLines(std::string_view bytes)
{
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t i = 0; i < bytes.size(); ++i) {
        if (bytes[i] != '\r')
            continue;
        lines.emplace_back(bytes.substr(start, i - start));
        if (i + 1 < bytes.size() && bytes[i + 1] == '\n')
            ++i;
        start = i + 1;
    }
    if (start < bytes.size())
        lines.emplace_back(bytes.substr(start));
    return lines;
}

Model model(std::string_view bytes)
{
    Model m;
    if (bytes.empty()) {
        m.failure = LogFailure::Kind::Empty;
        return m;
    }
    int number = 0;
    for (std::string line : splitLines(bytes)) {
        ++number;
        for (size_t i = 0; i < line.size(); ++i) {
            auto& c = reinterpret_cast<unsigned char&>(line[i]);
            if (c != 0xF1 && c != 0xF3 && c != 0xE6)
                continue;
            if (i + 1 > 32767) {
                m.failure = LogFailure::Kind::RepairFailed;
                m.failedLine = number;
                return m;
            }
            c = c == 0xF1 ? 0xB1 : c == 0xF3 ? '<' : 0xB5;
        }
        const std::string separator = m.text.empty() ? "" : "\r\n";
        const ConvertResult converted = test::literalConvertLogLine(separator + line);
        if (!converted.ok()) {
            m.failure = LogFailure::Kind::ConvertFailed;
            m.failedLine = number;
            return m;
        }
        if (m.text.empty() && !converted.text.empty())
            m.firstShownLine = number;
        m.text += converted.text;
        m.lines = number;
    }
    return m;
}

std::string describe(std::string_view input, const LogRead& r, const Model& m)
{
    std::string s = "input " + fuzz::escaped(input) + "\n*** reader: lines " + std::to_string(r.lines) + ", "
        + (r.failure ? "error kind " + std::to_string(int(r.failure->kind)) + " at line " + std::to_string(r.failure->line)
                   : std::string("ok"))
        + ", text " + fuzz::escaped(r.text);
    s += "\n*** model: lines " + std::to_string(m.lines) + ", "
        + (m.failure ? "error kind " + std::to_string(int(*m.failure)) + " at line " + std::to_string(m.failedLine)
                     : std::string("ok"))
        + ", text " + fuzz::escaped(m.text);
    return s;
}

void checkDecoders(const std::string& text)
{
    const QString decoded = decodeWindows1252(text);
    FUZZ_CHECK(decoded.size() == qsizetype(text.size()), "decoded length differs");
    const std::string crlf = displayTextToUtf8(text, LineEnds::CrLf);
    FUZZ_CHECK(QString::fromUtf8(crlf.data(), qsizetype(crlf.size())) == decoded,
               "UTF-8 text differs from the decoded text for " + fuzz::escaped(text));
    const std::string lf = displayTextToUtf8(text, LineEnds::Lf);
    QString expected = decoded;
    expected.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    FUZZ_CHECK(QString::fromUtf8(lf.data(), qsizetype(lf.size())) == expected,
               "UTF-8 text with LF differs for " + fuzz::escaped(text));
}

// The bytes as a log file, read straight into UTF-8 with small pieces, against the model.
void checkUtf8Stream(const std::string& bytes, const Model& m)
{
    // One file per process, removed when it ends.
    static const struct ScratchLog {
        std::string path = (std::filesystem::temp_directory_path()
                            / ("vrx-fuzz-" + std::to_string(::getpid()) + ".log")).string();
        ~ScratchLog() { std::remove(path.c_str()); }
    } scratch;
    const std::string& file = scratch.path;
    std::ofstream(file, std::ios::binary | std::ios::trunc) << bytes;
    const LineEnds ends = bytes.size() % 2 ? LineEnds::Lf : LineEnds::CrLf;
    std::string utf8;
    const LogRead read = streamLogUtf8(file, ends, [&utf8](std::string_view piece) { utf8 += piece; }, 512);
    const std::string what = "input " + fuzz::escaped(bytes) + "\n*** UTF-8 stream " + fuzz::escaped(utf8);
    FUZZ_CHECK(utf8 == displayTextToUtf8(m.text, ends), what);
    FUZZ_CHECK(read.lines == m.lines, what);
    FUZZ_CHECK(read.failure.has_value() == m.failure.has_value(), what);
    if (read.failure && m.failure) {
        FUZZ_CHECK(read.failure->kind == *m.failure, what);
        FUZZ_CHECK(read.failure->line == m.failedLine, what);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::string bytes(reinterpret_cast<const char*>(data), size);
    static const std::string padMark("\0\0PAD", 5);
    if (bytes.size() >= 6 && bytes.compare(0, 5, padMark) == 0) {
        const size_t pad = 32700 + static_cast<unsigned char>(bytes[5]);
        bytes = std::string(pad, 'x') + bytes.substr(6);
    }

    const LogRead r = convertLogBytes(bytes);
    const Model m = model(bytes);
    FUZZ_CHECK(r.opened, "bytes in memory count as opened");
    FUZZ_CHECK(r.failure.has_value() == m.failure.has_value(), describe(bytes, r, m));
    if (r.failure) {
        FUZZ_CHECK(r.failure->kind == *m.failure, describe(bytes, r, m));
        FUZZ_CHECK(r.failure->line == m.failedLine, describe(bytes, r, m));
        FUZZ_CHECK(r.lines == m.failedLine - (m.failedLine > 0 ? 1 : 0), describe(bytes, r, m));
        FUZZ_CHECK(!logReadMessage(*r.failure).isEmpty(), "no message for a failed read");
    }
    FUZZ_CHECK(r.lines == m.lines, describe(bytes, r, m));
    FUZZ_CHECK(r.text == m.text, describe(bytes, r, m));

    if (r.ok()) {
        // Counted without the model: line ends, plus bytes after the last one.
        const size_t lineEnds = size_t(std::count(bytes.begin(), bytes.end(), '\r'));
        const size_t lastEnd = bytes.rfind('\r');
        size_t tailStart = lastEnd == std::string::npos ? 0 : lastEnd + 1;
        if (lastEnd != std::string::npos && tailStart < bytes.size() && bytes[tailStart] == '\n')
            ++tailStart;
        const size_t expectedLines = lineEnds + (tailStart < bytes.size() ? 1 : 0);
        FUZZ_CHECK(size_t(r.lines) == expectedLines, describe(bytes, r, m));
        // Every CR of the text is a separator, followed by its LF; none before the first line
        // that put text on the display.
        const size_t separators = size_t(std::count(r.text.begin(), r.text.end(), '\r'));
        const size_t expectedSeparators = m.firstShownLine == 0 ? 0 : expectedLines - size_t(m.firstShownLine);
        FUZZ_CHECK(separators == expectedSeparators, describe(bytes, r, m));
        for (size_t at = r.text.find('\r'); at != std::string::npos; at = r.text.find('\r', at + 1))
            FUZZ_CHECK(at + 1 < r.text.size() && r.text[at + 1] == '\n', "CR without LF in " + fuzz::escaped(r.text));
        FUZZ_CHECK(r.text.rfind("\r\n", 0) != 0, "text starts with a separator");
    }
    checkUtf8Stream(bytes, m);
    // The decoders are linear and table-driven; short texts cover them, and keep the runs fast.
    if (r.text.size() <= 4096)
        checkDecoders(r.text);
    return 0;
}
