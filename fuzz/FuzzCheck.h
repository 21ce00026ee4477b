#pragma once
// What every fuzz target uses to state an invariant: a broken one prints what was expected and
// aborts, which libFuzzer reports as a finding and saves the input that caused it.

#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

namespace vrx::fuzz {

[[noreturn]] inline void broken(const char* file, int line, const char* condition, const std::string& detail)
{
    std::fprintf(stderr, "\n*** invariant broken at %s:%d: %s\n", file, line, condition);
    if (!detail.empty())
        std::fprintf(stderr, "*** %s\n", detail.c_str());
    std::abort();
}

// Bytes shown with C escapes, cut after `limit` bytes.
inline std::string escaped(std::string_view bytes, size_t limit = 200)
{
    std::string out;
    for (size_t i = 0; i < bytes.size() && i < limit; ++i) {
        const auto c = static_cast<unsigned char>(bytes[i]);
        if (c >= 32 && c < 127 && c != '\\') {
            out.push_back(static_cast<char>(c));
        } else {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\x%02X", c);
            out += buf;
        }
    }
    if (bytes.size() > limit)
        out += "... (" + std::to_string(bytes.size()) + " bytes)";
    return out;
}

} // namespace vrx::fuzz

#define FUZZ_CHECK(condition, detail)                                                          \
    do {                                                                                       \
        if (!(condition))                                                                      \
            ::vrx::fuzz::broken(__FILE__, __LINE__, #condition, (detail));                     \
    } while (false)
