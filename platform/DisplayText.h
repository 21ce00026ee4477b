#pragma once
// The display text's Windows-1252 bytes as Qt text, for the screen and the printer alike.

#include <QString>

#include <string>
#include <string_view>

namespace vrx {

// Unicode text of Windows-1252 bytes, through the one table of Windows1252.h.
QString decodeWindows1252(std::string_view bytes);

// Windows-1252 bytes of a text, '?' for a character the code page lacks.
std::string encodeWindows1252(const QString& text);

} // namespace vrx
