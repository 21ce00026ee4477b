#pragma once
// Reading a log: bytes in, the display text (Windows-1252, lines joined by CR LF) and the
// number of lines out, or the failure as a value. The window, vrxlog, the fuzzers and the
// tests call the same functions.

#include "core/LogFailure.h"
#include "core/Windows1252.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace vrx {

class RegularFile;

struct LogRead {
    bool opened = false;  // false: nothing was read and the display is to stay as it was
    std::string text;     // display text in Windows-1252: the converted lines joined by CR LF,
                          // complete, or the lines before the failing one
    std::int64_t lines = 0; // lines of the file read and converted
    std::optional<LogFailure> failure;
    // The failing line's text was handed on in part before it failed: a line too long to hold,
    // from a file that cannot be read twice (a pipe), or passed on as read (LongLines::PassedOn).
    bool failedLineInPart = false;
    bool ok() const { return opened && !failure; }
};

// Reads a log file (its name as the system's bytes): CR LF and a lone CR end a line, a lone LF
// stays in its line; the DOS code page's ±, ≤ and µ (bytes 0xF1, 0xF3, 0xE6) are repaired to
// ±, < and µ of Windows-1252; each line is converted, and put behind CR LF unless the text is
// still empty (so empty lines at the start leave no trace). Only a regular file is read: a
// FIFO or a device would block or never end. Streams the file; memory is about the size of
// the result.
LogRead readLog(const std::string& path);

// Receives the display text in pieces, in order; each piece is the text after the previous one.
using LogTextSink = std::function<void(const std::string& piece)>;

// How the text of a line too long to convert at once reaches the sink. Held: nothing of it is
// handed on before it is known to convert, so that a failure leaves only the lines before it;
// a regular file is read twice for that, checked first and then converted in pieces, in
// constant memory; from a pipe, the line is held up to LongLineHeld bytes, and past that it is
// handed on as it is read, and a later failure says so (LogRead::failedLineInPart). PassedOn:
// it is converted and handed on as it is read, in constant memory, for a reader that throws
// away all it got when a read fails (or that has checked the file before).
enum class LongLines { Held, PassedOn };

// Raw bytes of one line held from a pipe before its text is handed on unchecked.
inline constexpr size_t LongLineHeld = 16 << 20;

// Reads a log as readLog does, but hands the display text to sink in pieces of about
// pieceSize bytes instead of keeping it (the text stays empty). On a failure the text of the
// lines before the failing one has been handed on. Without a sink it is readLog.
LogRead streamLog(const std::string& path, const LogTextSink& sink, size_t pieceSize = 4 << 20,
                  LongLines longLines = LongLines::Held);

// Receives text as bytes in pieces, in order; each piece follows the previous one.
using TextBytesSink = std::function<void(std::string_view piece)>;

// Reads a log as streamLog does and hands its display text on as UTF-8, byte for byte what
// displayTextToUtf8 makes of readLog's text, in pieces of about pieceSize bytes. The lines go
// straight from the file's bytes into UTF-8, in memory that does not grow with the file or
// with a line. On a failure the text of the lines before the failing one has been handed on
// (and, with PassedOn or from a pipe, perhaps a part of the failing line; see LongLines).
LogRead streamLogUtf8(const std::string& path, LineEnds lineEnds, const TextBytesSink& sink,
                      size_t pieceSize = 1 << 18, LongLines longLines = LongLines::Held);

// Reads a log as readLog does only to learn whether it converts and how many lines it has:
// no text is kept, and memory stays the same whatever the length of a line.
LogRead checkLog(const std::string& path);

// The same readers on a file open already: standard input (RegularFile::Descriptor), read
// from where it stands. `name` names it in a failure.
LogRead streamLog(RegularFile& file, const std::string& name, const LogTextSink& sink, size_t pieceSize,
                  LongLines longLines);
LogRead streamLogUtf8(RegularFile& file, const std::string& name, LineEnds lineEnds, const TextBytesSink& sink,
                      size_t pieceSize, LongLines longLines);
LogRead checkLog(RegularFile& file, const std::string& name);

// The same on bytes already in memory (file name only for the failure).
LogRead convertLog(std::string_view bytes, const std::string& fileName = {});

// Repairs one raw line in place; false when a character to repair stands beyond position
// 32767 (the line is then left partly repaired and must not be used).
bool repairLogLine(char* data, size_t size);
// The reason given when it fails.
extern const std::string RepairFailedReason;

} // namespace vrx
