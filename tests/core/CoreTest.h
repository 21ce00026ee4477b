#pragma once
// A tiny runner for the core's tables, on the standard library alone: each test registers
// itself, CHECK records a failure with the row it happened in, and main() runs them all.

#include <cstdio>
#include <string>
#include <vector>

namespace vrx::coretest {

struct TestCase {
    const char* name;
    void (*run)();
};

inline std::vector<TestCase>& registry()
{
    static std::vector<TestCase> tests;
    return tests;
}

inline int& failureCount()
{
    static int count = 0;
    return count;
}

// The row being checked, named in a failure.
inline std::string& currentRow()
{
    static std::string row;
    return row;
}

struct Register {
    Register(const char* name, void (*run)()) { registry().push_back({name, run}); }
};

inline void fail(const char* file, int line, const std::string& what)
{
    ++failureCount();
    std::fprintf(stderr, "FAIL %s:%d%s%s: %s\n", file, line, currentRow().empty() ? "" : " row ",
                 currentRow().c_str(), what.c_str());
}

// Shows a value in a failure: bytes with C escapes, numbers as numbers.
inline std::string shown(const std::string& bytes)
{
    std::string out = "\"";
    for (size_t i = 0; i < bytes.size() && i < 200; ++i) {
        const auto c = static_cast<unsigned char>(bytes[i]);
        if (c >= 32 && c < 127 && c != '\\' && c != '"') {
            out.push_back(static_cast<char>(c));
        } else {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\x%02X", c);
            out += buf;
        }
    }
    if (bytes.size() > 200)
        out += "... (" + std::to_string(bytes.size()) + " bytes)";
    return out + "\"";
}
inline std::string shown(const char* text) { return shown(std::string(text)); }
template <typename T>
std::string shown(const T& value)
{
    return std::to_string(value);
}

} // namespace vrx::coretest

#define CORE_TEST(name)                                                                        \
    static void name();                                                                        \
    static const ::vrx::coretest::Register name##Registered(#name, name);                      \
    static void name()

#define CHECK(condition)                                                                       \
    do {                                                                                       \
        if (!(condition))                                                                      \
            ::vrx::coretest::fail(__FILE__, __LINE__, #condition);                             \
    } while (false)

#define CHECK_EQ(actual, expected)                                                             \
    do {                                                                                       \
        const auto& actualValue = (actual);                                                    \
        const auto& expectedValue = (expected);                                                \
        if (!(actualValue == expectedValue))                                                   \
            ::vrx::coretest::fail(__FILE__, __LINE__,                                          \
                                  std::string(#actual) + " is " + ::vrx::coretest::shown(actualValue) \
                                      + ", expected " + ::vrx::coretest::shown(expectedValue)); \
    } while (false)
