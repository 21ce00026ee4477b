#pragma once
// UTF-8 as file names and downloaded text carry it: a byte that starts no valid sequence is
// taken on its own, so any bytes can be walked and nothing is lost.

#include <string>
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

// UTF-16 of a UTF-8 text, as Windows spells file names; a byte that starts no valid sequence
// becomes U+FFFD.
inline std::u16string utf8ToUtf16(std::string_view bytes)
{
    std::u16string out;
    out.reserve(bytes.size());
    for (size_t i = 0; i < bytes.size();) {
        const size_t length = utf8SequenceLength(bytes, i);
        if (length == 0) {
            out.push_back(u'\uFFFD');
            ++i;
            continue;
        }
        const auto byte = [&](size_t k) { return static_cast<unsigned char>(bytes[i + k]); };
        char32_t c = length == 1 ? byte(0)
            : length == 2        ? ((byte(0) & 0x1Fu) << 6) | (byte(1) & 0x3Fu)
            : length == 3        ? ((byte(0) & 0x0Fu) << 12) | ((byte(1) & 0x3Fu) << 6) | (byte(2) & 0x3Fu)
                                 : ((byte(0) & 0x07u) << 18) | ((byte(1) & 0x3Fu) << 12) | ((byte(2) & 0x3Fu) << 6)
                    | (byte(3) & 0x3Fu);
        if (c >= 0x10000) {
            c -= 0x10000;
            out.push_back(static_cast<char16_t>(0xD800 + (c >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + (c & 0x3FF)));
        } else {
            out.push_back(static_cast<char16_t>(c));
        }
        i += length;
    }
    return out;
}

} // namespace vrx
