#pragma once
// The conversion done the slow, obvious way: code by code, each time searching again from the
// first character of the text as it stands. The fast ConvertLogLine must agree with it on
// every line, result and failure alike.

#include "core/ConvertLogLine.h"

#include <string>
#include <utility>

namespace vrx::test {

inline ConvertResult literalConvertLogLine(std::string text)
{
    ConvertResult result;
    if (text.empty())
        return result;
    static const std::pair<char, std::string> tokens[] = {
        {1, ""},         {2, "VERTICAL SCALE"}, {3, " - "},  {4, "MEASURED"}, {5, " mV"}, {6, " \xB5V"},
        {7, "div"},      {8, " MHz"},           {14, "LIMIT"}, {15, "PASS"},  {16, "FAIL"},
    };
    auto fail = [&result](ConvertError error) {
        result.error = error;
        result.text.clear();
        return result;
    };
    for (const auto& [code, replacement] : tokens) {
        for (;;) {
            const size_t at = text.find(code);
            if (at == std::string::npos)
                break;
            const long position = static_cast<long>(at) + 1; // 1-based, signed 16-bit
            if (position > 32767)
                return fail(ConvertError::Overflow);
            if (code == 1) {
                if (position + 2 > 32767)
                    return fail(ConvertError::Overflow);
                if (at + 1 >= text.size())
                    return fail(ConvertError::InvalidArgument);
                const int spaces = static_cast<unsigned char>(text[at + 1]) - 30;
                if (spaces < 0)
                    return fail(ConvertError::InvalidArgument);
                text.replace(at, 2, static_cast<size_t>(spaces), ' ');
            } else {
                if (position + 1 > 32767)
                    return fail(ConvertError::Overflow);
                text.replace(at, 1, replacement);
            }
        }
    }
    result.text = std::move(text);
    return result;
}

} // namespace vrx::test
