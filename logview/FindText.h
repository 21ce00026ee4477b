#pragma once
// Finding a text in the display text, the Windows-1252 bytes of the lines in memory.

#include "core/DisplayLines.h"

#include <QString>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

namespace vrx {

// What the find window asks for.
struct FindRequest {
    QString text;
    bool matchCase = false;
    bool down = true;
};

// Where `text` occurs in the display text (Windows-1252, lines joined by CR LF), as a byte
// offset. Down: the first match that starts at `from` or later. Up: the last match that ends
// at `from` or earlier. Without matchCase, letters match their other case as Windows-1252 has
// them (a matches A, ä matches Ä, ÿ matches Ÿ). Nothing for an empty text, or for a text with a
// character Windows-1252 cannot hold: no log shows such a character.
// A match is as many bytes long as the text has characters.
std::optional<size_t> findInDisplayText(std::string_view bytes, const QString& text, size_t from,
                                        bool matchCase, bool down);

// The same in the lines of a log, offsets counted in the lines joined by one character each:
// where the match begins.
std::optional<std::uint64_t> findInLines(const DisplayLines& lines, const QString& text, std::uint64_t from,
                                         bool matchCase, bool down);

} // namespace vrx
