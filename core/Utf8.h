#pragma once
// UTF-8 as file names and downloaded text carry it: a byte that starts no valid sequence is
// taken on its own, so any bytes can be walked and nothing is lost.

#include <string_view>

namespace vrx {

// The length of the valid UTF-8 sequence at `at` (no overlong forms, no surrogates, nothing past
// U+10FFFF), or 0 when the byte there starts none.
inline size_t utf8SequenceLength(std::string_view bytes, size_t at)
{
    const auto byte = [&](size_t i) { return static_cast<unsigned char>(bytes[i]); };
    const unsigned char c = byte(at);
    size_t length = 0;
    if (c < 0x80)
        return 1;
    if (c >= 0xC2 && c <= 0xDF)
        length = 2;
    else if (c >= 0xE0 && c <= 0xEF)
        length = 3;
    else if (c >= 0xF0 && c <= 0xF4)
        length = 4;
    if (length == 0 || at + length > bytes.size())
        return 0;
    for (size_t k = 1; k < length; ++k)
        if ((byte(at + k) & 0xC0) != 0x80)
            return 0;
    if (length == 3 && ((c == 0xE0 && byte(at + 1) < 0xA0) || (c == 0xED && byte(at + 1) >= 0xA0)))
        return 0;
    if (length == 4 && ((c == 0xF0 && byte(at + 1) < 0x90) || (c == 0xF4 && byte(at + 1) >= 0x90)))
        return 0;
    return length;
}

} // namespace vrx
