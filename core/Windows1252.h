#pragma once
// The one decoding table of the display's code page, Windows-1252. The log's text stays bytes
// until it is shown or written as UTF-8; both go through this table.

#include <array>
#include <optional>
#include <string>
#include <string_view>

namespace vrx {

// The Unicode character a Windows-1252 byte stands for. The five bytes the code page leaves
// undefined (0x81, 0x8D, 0x8F, 0x90, 0x9D) become the C1 control characters of the same code.
char16_t windows1252ToUnicode(unsigned char byte);
inline char32_t windows1252ToCodePoint(unsigned char byte) { return windows1252ToUnicode(byte); }

// The byte that stands for a character; nothing when the code page has no such character.
std::optional<unsigned char> windows1252Byte(char16_t c);

// The whole table, indexed by byte, for decoders that run over long texts.
const std::array<char16_t, 256>& windows1252Table();

// The display text as UTF-8 for a text file: the same characters as the table gives, with the
// CR LF between lines kept or turned into LF (a lone LF inside a line stays).
enum class LineEnds { CrLf, Lf };
std::string displayTextToUtf8(std::string_view bytes, LineEnds lineEnds);
// The same, appended to out.
void appendDisplayTextUtf8(std::string& out, std::string_view bytes, LineEnds lineEnds);

} // namespace vrx
