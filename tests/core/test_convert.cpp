// Line conversion: the table of tokens and counts, and the failures; the literal conversion
// must agree on every row, so the tables check the reference as well.

#include "core/ConvertLogLine.h"
#include "tests/core/CoreTest.h"
#include "tests/core/LiteralConvert.h"

#include <string>

using namespace vrx;
using namespace std::string_literals;

namespace {

std::string repeated(const std::string& s, int times)
{
    std::string out;
    for (int i = 0; i < times; ++i)
        out += s;
    return out;
}

std::string spaces(int n)
{
    return std::string(size_t(n), ' ');
}

} // namespace

CORE_TEST(convert)
{
    const struct {
        const char* name;
        std::string line;
        std::string expected;
    } rows[] = {
        {"empty", "", ""},
        {"worked example", "\x02\x01#5\x05", "VERTICAL SCALE     5 mV"},
        {"code 2", "\x02", "VERTICAL SCALE"},
        {"code 3", "a\x03z", "a - z"},
        {"code 4", "\x04", "MEASURED"},
        {"code 5", "5\x05", "5 mV"},
        {"code 6 micro sign byte", "5\x06", "5 \xB5V"},
        {"code 7", "2\x07", "2div"},
        {"code 8", "100\x08", "100 MHz"},
        {"code 14", "\x0e", "LIMIT"},
        {"code 15", "\x0f", "PASS"},
        {"code 16", "\x10", "FAIL"},
        {"adjacent words run together", "\x0f\x10", "PASSFAIL"},
        {"every occurrence", "\x05,\x05,\x05", " mV, mV, mV"},
        {"count 30 gives nothing", "a\x01\x1e" "b", "ab"},
        {"count 31 gives one", "a\x01\x1f" "b", "a b"},
        {"count 32", "\x01 x", spaces(2) + "x"},
        {"count 40", "\x01(x", spaces(10) + "x"},
        {"count 50", "\x01" "2x", spaces(20) + "x"},
        {"count 70", "\x01" "Fx", spaces(40) + "x"},
        {"count 110", "\x01n", spaces(80)},
        {"count 181 (repaired micro)", "\x01\xB5", spaces(151)},
        {"count 255", "\x01\xFF|", spaces(225) + "|"},
        {"count char is not a word", "\x01\x30\x02", spaces(18) + "VERTICAL SCALE"},
        {"runs before words", "\x01!\x04\x01\"\x05", "   MEASURED     mV"},
        {"leading CR LF passes", "\r\n\x0f", "\r\nPASS"},
        {"no tokens: controls pass", "\t\n\v\f\r\x11\x12\x1f\xB5\x80", "\t\n\v\f\r\x11\x12\x1f\xB5\x80"},
        {"NUL passes", "a\0b"s, "a\0b"s},
    };
    for (const auto& row : rows) {
        coretest::currentRow() = row.name;
        const ConvertResult r = ConvertLogLine(row.line);
        CHECK_EQ(std::string(convertErrorReason(r.error)), std::string());
        CHECK_EQ(r.text, row.expected);
        CHECK_EQ(test::literalConvertLogLine(row.line).text, row.expected);
    }
}

CORE_TEST(failures)
{
    const ConvertError invalid = ConvertError::InvalidArgument;
    const ConvertError overflow = ConvertError::Overflow;
    const ConvertError none = ConvertError::None;
    const struct {
        const char* name;
        std::string line;
        ConvertError error;
    } rows[] = {
        {"code 1 last", "abc\x01", invalid},
        {"code 1 alone", "\x01", invalid},
        {"count is a token code", "\x01\x02", invalid},
        {"count is code 1", "\x01\x01" "A", invalid},
        {"count 29", "\x01\x1d", invalid},
        {"count CR", "\x01\r\n", invalid},
        {"second run bad", "\x01 \x01\x05", invalid},
        // Positions: a word needs its own position plus one, a run its position plus two.
        {"word at 32766", std::string(32765, 'x') + "\x02", none},
        {"word at 32767", std::string(32766, 'x') + "\x02", overflow},
        {"word far beyond", std::string(40000, 'x') + "\x0f", overflow},
        {"run at 32765", std::string(32764, 'x') + "\x01 ", none},
        {"run at 32766", std::string(32765, 'x') + "\x01 ", overflow},
        {"run at 32766 without count", std::string(32765, 'x') + "\x01", overflow},
        {"run at 32765 without count", std::string(32764, 'x') + "\x01", invalid},
        {"long plain line", std::string(70000, 'x'), none},
        {"runs push a word beyond", repeated("\x01\xFF", 146) + "\x10", overflow},
        {"runs after a word do not", "\x10" + repeated("\x01\xFF", 146), none},
        {"vanishing runs pull a word back", repeated("\x01\x1e", 10) + std::string(32760, 'x') + "\x0f", none},
        {"later code not counted", repeated("\x10", 3000) + std::string(25000, 'x') + "\x02", none},
        {"earlier code counted", repeated("\x02", 3000) + std::string(100, 'x') + "\x10", overflow},
        {"run failure before word overflow", "\x01\x10" + std::string(40000, 'x') + "\x02", invalid},
        {"run overflow before a bad run", std::string(40000, 'x') + "\x01\x10", overflow},
    };
    for (const auto& row : rows) {
        coretest::currentRow() = row.name;
        const ConvertResult r = ConvertLogLine(row.line);
        CHECK_EQ(std::string(convertErrorReason(r.error)), std::string(convertErrorReason(row.error)));
        CHECK_EQ(std::string(convertErrorReason(test::literalConvertLogLine(row.line).error)), std::string(convertErrorReason(row.error)));
        if (!r.ok())
            CHECK(r.text.empty());
    }
}
