// Line conversion: the one-pass ConvertLogLine must give exactly what the literal algorithm
// gives (code by code, each time searching again from the first character), result and
// failure alike; a converted line never holds a token code; appending behind the loader's
// CR LF agrees with converting the joined text, and leaves the output alone on failure.

#include "core/ConvertLogLine.h"
#include "fuzz/FuzzCheck.h"
#include "tests/core/LiteralConvert.h"

#include <cstddef>
#include <cstdint>
#include <string>

using namespace vrx;

namespace {

std::string mismatch(std::string_view input, const ConvertResult& fast, const ConvertResult& literal)
{
    return "input " + fuzz::escaped(input) + "\n*** fast: " + convertErrorReason(fast.error) + " " + fuzz::escaped(fast.text)
        + "\n*** literal: " + convertErrorReason(literal.error) + " " + fuzz::escaped(literal.text);
}

bool isTokenCode(unsigned char c)
{
    return (c >= 1 && c <= 8) || (c >= 14 && c <= 16);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string_view line(reinterpret_cast<const char*>(data), size);

    const ConvertResult fast = ConvertLogLine(line);
    const ConvertResult literal = test::literalConvertLogLine(std::string(line));
    FUZZ_CHECK(fast.error == literal.error, mismatch(line, fast, literal));
    FUZZ_CHECK(fast.text == literal.text, mismatch(line, fast, literal));
    if (fast.ok()) {
        for (const char c : fast.text)
            FUZZ_CHECK(!isTokenCode(static_cast<unsigned char>(c)), "token code left in " + fuzz::escaped(fast.text));
    } else {
        FUZZ_CHECK(fast.text.empty(), "partial result on failure");
    }

    // The loader's way: behind text already shown, with CR LF in front of the line.
    const std::string before = "shown\r\n";
    std::string out = before;
    const ConvertError appended = appendConvertedLine(out, "\r\n", line);
    const ConvertResult joined = test::literalConvertLogLine("\r\n" + std::string(line));
    FUZZ_CHECK(appended == joined.error, "append behind CR LF: " + mismatch(line, {out, appended}, joined));
    if (appended == ConvertError::None)
        FUZZ_CHECK(out == before + joined.text, "append behind CR LF: " + mismatch(line, {out, appended}, joined));
    else
        FUZZ_CHECK(out == before, "output changed by a failed append");
    return 0;
}
