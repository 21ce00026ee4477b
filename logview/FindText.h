#pragma once
// Finding a text in the display text, the Windows-1252 bytes already in memory, and mapping
// places in those bytes to places in the text box that shows them.

#include <QString>

#include <cstddef>
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

// The text box position of a byte offset of the display text: the text box holds one
// character for each byte except CR LF, which is one paragraph or line separator there.
int displayPosition(std::string_view bytes, size_t offset);

// The byte offset of a text box position; the inverse of displayPosition. Positions past the
// end give the end.
size_t displayOffset(std::string_view bytes, int position);

} // namespace vrx
