#pragma once
// Reading a log: bytes in, the display text (Windows-1252, lines joined by CR LF) and the
// number of lines out, or the failure as a value. Each reader is a sink of the one scanner
// (LogScanner.h); vrxlog, the fuzzers and the tests call them.

#include "core/LogScanner.h"
#include "core/Windows1252.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace vrx {

// Each reader takes its bytes from an input (a file of the file layer, a part of one, bytes in
// memory), read from where it stands; `name` names it in a failure. CR LF and a lone CR end a
// line, a lone LF stays in its line; the DOS code page's ±, ≤ and µ (bytes 0xF1, 0xF3, 0xE6)
// are repaired to ±, < and µ of Windows-1252; each line is converted, and put behind CR LF
// unless the text is still empty (so empty lines at the start leave no trace).

// Receives the display text in pieces, in order; each piece is the text after the previous one.
using LogTextSink = std::function<void(const std::string& piece)>;

// Reads a log and hands the display text to sink in pieces of about pieceSize bytes instead
// of keeping it (the text stays empty). On a failure the text of the lines before the failing
// one has been handed on. Without a sink the whole text is kept in the result.
LogRead streamLog(ScanInput& input, const std::string& name, const LogTextSink& sink, size_t pieceSize = 4 << 20,
                  LongLines longLines = LongLines::Held);

// Receives text as bytes in pieces, in order; each piece follows the previous one.
using TextBytesSink = std::function<void(std::string_view piece)>;

// Reads a log as streamLog does and hands its display text on as UTF-8, byte for byte what
// displayTextToUtf8 makes of the Windows-1252 text, in pieces of about pieceSize bytes. The
// lines go straight from the input's bytes into UTF-8, in memory that does not grow with the
// file or with a line. On a failure the text of the lines before the failing one has been
// handed on (and, with PassedOn or from a pipe, perhaps a part of the failing line; see
// LongLines).
LogRead streamLogUtf8(ScanInput& input, const std::string& name, LineEnds lineEnds, const TextBytesSink& sink,
                      size_t pieceSize = 1 << 18, LongLines longLines = LongLines::Held);

// Reads a log only to learn whether it converts and how many lines it has: no text is kept,
// and memory stays the same whatever the length of a line.
LogRead checkLog(ScanInput& input, const std::string& name);

// The same on bytes already in memory (file name only for the failure).
LogRead convertLog(std::string_view bytes, const std::string& fileName = {});

} // namespace vrx
