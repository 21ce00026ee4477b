#pragma once
// The one reading of a log: bytes in chunks from a file (or a part of one), split into lines
// (CR LF and a lone CR end a line, a lone LF stays in it), the three DOS characters repaired,
// every line checked and converted once, failures as values. What becomes of the display text
// is the sink's business: the window indexes it, vrxlog writes it as UTF-8 or checks it, the
// printing passes take it in pieces.

#include "core/LogFailure.h"
#include "core/Windows1252.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace vrx {

struct LogRead {
    bool opened = false;  // false: nothing was read and the display is to stay as it was
    std::string text;     // display text in Windows-1252: the converted lines joined by CR LF,
                          // complete, or the lines before the failing one (readLog only)
    std::int64_t lines = 0; // lines of the file read and converted
    std::optional<LogFailure> failure;
    // The failing line's text was handed on in part before it failed: a line too long to hold,
    // from a file that cannot be read twice (a pipe), or passed on as read (LongLines::PassedOn).
    bool failedLineInPart = false;
    // The scan was told to stop before the end (ScanOptions::stop); nothing failed.
    bool interrupted = false;
    bool ok() const { return opened && !failure && !interrupted; }
};

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

// What a scan reads: a file from where it stands (RegularFile), or a part of one.
class ScanInput {
public:
    virtual ~ScanInput() = default;
    virtual bool isOpen() const = 0;
    // Why it is not open, one sentence for a message.
    virtual std::string openFailure() const = 0;
    // Bytes read, 0 at the end, -1 on an error (errno set).
    virtual std::int64_t read(char* data, size_t size) = 0;
    // Bytes left to its end as far as known; 0 for a pipe.
    virtual std::int64_t remaining() const = 0;
    // Whether it can be read again from an earlier place.
    virtual bool seekable() const = 0;
    // Where the next read starts.
    virtual std::int64_t offset() const = 0;
    // Reads on from an earlier (or later) place; false with errno set.
    virtual bool seekTo(std::int64_t offset) = 0;
};

// Where a scan begins: the start of a log, or a place an earlier scan of it passed.
struct ScanPoint {
    std::int64_t offset = 0;  // in the input
    std::int64_t line = 0;    // log lines before it
    bool started = false;     // the display has text before it: the next line goes behind CR LF
    bool inLine = false;      // it lies inside a log line, right after a line feed the line keeps
};

// One converted log line, or a part of one too long to convert at once (then first and last
// tell which part). Only a scan that makes Windows-1252 text, or counts it, tells its lines.
struct ScannedLine {
    std::int64_t number = 0;    // from 1
    std::int64_t offset = 0;    // where raw begins in the input
    std::string_view raw;       // the bytes of the line (or part), as read or repaired
    std::string_view text;      // what they convert to, without the CR LF in front (empty when
                                // the scan only counts it)
    std::uint64_t characters = 0; // characters they convert to
    // Where the line feeds stand in those characters; the k-th of them is the k-th line feed
    // of raw (a line feed passes the conversion as it is, and is never a count character).
    std::span<const std::uint64_t> lineFeeds;
    bool separated = false;     // the line stands behind CR LF: the display had text before it
    bool first = true;
    bool last = true;
    std::int64_t next = 0;      // on the last part: where the line after it begins in the input
};

// Receives what a scan makes of a log. Each piece of text follows the one before; the views
// are valid during the call only.
class LogSink {
public:
    virtual ~LogSink() = default;
    // The display text, in pieces of about the scan's piece size, each line behind its line
    // end unless the display was still empty.
    virtual void text(std::string_view piece) { (void)piece; }
    // A log line that has converted (a part of it, for a line converted as it is read: see
    // LongLines), in order.
    virtual void line(const ScannedLine& line) { (void)line; }
    // The scan has read the input up to here (after each chunk).
    virtual void reached(std::int64_t offset) { (void)offset; }
};

// The display text a scan makes: none (the lines are only checked), none but each line told
// with its length (Lengths), Windows-1252 as the display holds it, or UTF-8 with CR LF or LF
// between the lines.
enum class ScanText { None, Lengths, Windows1252, Utf8 };

struct ScanOptions {
    ScanText text = ScanText::Windows1252;
    LineEnds lineEnds = LineEnds::CrLf;  // of UTF-8 text
    size_t pieceSize = 1 << 20;
    LongLines longLines = LongLines::Held;
    ScanPoint from;                      // where the input stands
    // Read between chunks; once set, the scan ends with LogRead::interrupted.
    const std::atomic<bool>* stop = nullptr;
    // The input is a file still being written: a last line that has no line end yet and does
    // not convert (its writer stopped inside a run of spaces) is left for a later reading, not
    // taken for a failure.
    bool lastLineMayGrow = false;
};

// Scans a log from where the input stands to its end. `name` names it in a failure. On a
// failure the text of the lines before the failing one has been handed on (and, with
// PassedOn or from a pipe, perhaps a part of the failing line; see LongLines).
LogRead scanLog(ScanInput& input, const std::string& name, LogSink& sink, const ScanOptions& options = {});

// The same on bytes in memory.
LogRead scanLog(std::string_view bytes, const std::string& name, LogSink& sink, const ScanOptions& options = {});

// Repairs one raw line in place; false when a character to repair stands beyond position
// 32767 (the line is then left partly repaired and must not be used).
bool repairLogLine(char* data, size_t size);
// The reason given when it fails.
extern const std::string RepairFailedReason;

// Reads bytes of a log at any place, from any thread: what the window reads a part of the log
// from again when it shows, searches, copies or prints it.
class LogBytes {
public:
    virtual ~LogBytes() = default;
    // Reads up to size bytes at offset: the number read (0 at the end), or -1 with errno set.
    virtual std::int64_t readAt(std::int64_t offset, char* data, size_t size) const = 0;
};

// Bytes held in memory.
class MemoryBytes : public LogBytes {
public:
    explicit MemoryBytes(std::string bytes) : m_bytes(std::move(bytes)) {}
    std::int64_t readAt(std::int64_t offset, char* data, size_t size) const override;
    const std::string& bytes() const { return m_bytes; }

private:
    std::string m_bytes;
};

// A part [from, until) of a log's bytes as a scan's input.
class BytesInput : public ScanInput {
public:
    BytesInput(const LogBytes& bytes, std::int64_t from, std::int64_t until)
        : m_bytes(bytes), m_from(from), m_offset(from), m_until(until)
    {
    }
    bool isOpen() const override { return true; }
    std::string openFailure() const override { return {}; }
    std::int64_t read(char* data, size_t size) override;
    std::int64_t remaining() const override { return m_until - m_offset; }
    bool seekable() const override { return true; }
    std::int64_t offset() const override { return m_offset; }
    bool seekTo(std::int64_t offset) override;

private:
    const LogBytes& m_bytes;
    std::int64_t m_from;
    std::int64_t m_offset;
    std::int64_t m_until;
};

} // namespace vrx
