#include "core/LogReader.h"

#include "core/ByteScan.h"
#include "core/ConvertLogLine.h"
#include "core/RegularFile.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <future>
#include <memory>
#include <new>
#include <thread>

namespace vrx {

namespace {


constexpr std::int64_t ReadChunk = 4 << 20;
// Reads for UTF-8 output are smaller: the bytes read and the text made of them stay in the
// processor's cache until they are written.
constexpr std::int64_t Utf8ReadChunk = 256 << 10;
// Text handed on in pieces is read in smaller chunks too, still large enough to be converted
// in two halves at once: the pieces stay in the cache, and the same memory serves every chunk.
constexpr std::int64_t StreamReadChunk = 1 << 20;
// A line longer than this is checked as it is read and, where its text is wanted, converted
// in pieces, so that no more than its raw bytes are held at once (and nothing in checkLogFile).
constexpr size_t LongLine = ReadChunk;
const std::string_view LineSeparator = "\r\n";

// A line no longer than this converts straight into UTF-8 without a check first: whatever its
// tokens, no position in it can pass 32767 (a run of spaces makes at most 225 characters of its
// two bytes, a word at most 14 of its one), so only a bad run of spaces can fail it, and no
// character to repair stands beyond 32767.
constexpr size_t ShortLine = 256;
// Room a short line may take in the UTF-8 output: its line end, its characters, and the 16-byte
// stores that may reach past the last of them.
constexpr size_t ShortLineRoom = 2 + ShortLine * 113 + 256;

// Each byte of a short line as UTF-8: repaired, converted and decoded by the functions that do
// so for every other line, so that the one-pass loop says what they say.
struct ShortLineTable {
    char text[256][16];
    unsigned char length[256];   // 0 for code 1 and CR, which the loop handles itself
    unsigned char repaired[256]; // a count character's value after the repair
    ShortLineTable()
    {
        for (int b = 0; b < 256; ++b) {
            char c = static_cast<char>(b);
            repairLogLine(&c, 1);
            repaired[b] = static_cast<unsigned char>(c);
            std::memset(text[b], 0, sizeof text[b]);
            length[b] = 0;
            if (c == '\x01' || c == '\r')
                continue;
            const std::string utf8 = displayTextToUtf8(ConvertLogLine(std::string(1, c)).text, LineEnds::CrLf);
            std::memcpy(text[b], utf8.data(), utf8.size());
            length[b] = static_cast<unsigned char>(utf8.size());
        }
    }
};

constexpr unsigned char CountBase = 30;

// Builds the display text line by line: in Windows-1252 (kept, or handed on in pieces), or as
// UTF-8 handed on in pieces.
class LogTextBuilder {
public:
    explicit LogTextBuilder(LogRead& result, const std::string& file) : m_r(result), m_file(file) {}

    // Repairs and converts one raw line (changed in place); false on failure, with the error set.
    bool addLine(char* data, size_t size)
    {
        const std::int64_t number = m_r.lines + 1;
        if (!repairLogLine(data, size))
            return fail(LogFailure::Kind::RepairFailed, number,
                        RepairFailedReason);
        // No separator while the display is still empty: empty lines at the start leave no trace.
        const std::string_view separator = m_started ? LineSeparator : std::string_view();
        if (m_utf8Sink) {
            // Checked first, then converted in pieces: the UTF-8 of a line of runs of spaces
            // is a hundred times its size.
            LineCheck check(static_cast<long>(separator.size()));
            check.feed(std::string_view(data, size));
            const ConvertError error = check.finish();
            if (error != ConvertError::None)
                return fail(LogFailure::Kind::ConvertFailed, number, convertErrorReason(error));
            addCheckedLine(std::string_view(data, size), check.producesText(), true);
            return true;
        }
        const ConvertError error = appendConvertedLine(m_r.text, separator, std::string_view(data, size));
        if (error != ConvertError::None)
            return fail(LogFailure::Kind::ConvertFailed, number, convertErrorReason(error));
        m_started = m_started || !m_r.text.empty();
        m_r.lines = number;
        return true;
    }

    // Hands the text built so far to the sink, when there is one and enough has gathered.
    void flush(bool all)
    {
        if (m_utf8Sink) {
            if (m_used > 0 && (all || m_used >= m_pieceSize)) {
                (*m_utf8Sink)(std::string_view(m_block.get(), m_used));
                m_used = 0;
            }
            return;
        }
        if (m_sink && !m_r.text.empty() && (all || m_r.text.size() >= m_pieceSize)) {
            (*m_sink)(m_r.text);
            m_r.text.clear();
        }
    }

    // Converts a long line that LineCheck has passed (repaired, changed in place) in pieces,
    // handing each to the sink as it goes; with `keep` false only counts it.
    void addCheckedLine(std::string_view raw, bool producesText, bool keep)
    {
        const std::string_view separator = m_started ? LineSeparator : std::string_view();
        if (keep) {
            const auto take = [this](std::string_view converted) {
                if (m_utf8Sink) {
                    m_scratchUtf8.clear();
                    appendDisplayTextUtf8(m_scratchUtf8, converted, m_lineEnds);
                    put(m_scratchUtf8);
                } else {
                    m_r.text.append(converted);
                }
                flush(false);
            };
            if (!separator.empty())
                take(separator);
            // Small pieces for UTF-8, whose scratch text they bound.
            convertCheckedLine(raw, m_utf8Sink ? 16 << 10 : 1 << 20, m_scratch, take);
        }
        m_started = m_started || !separator.empty() || producesText;
        ++m_r.lines;
    }

    // Converts the short lines of b[pos, size) straight into UTF-8, in one pass over each; a
    // longer line, or one that fails, goes through addLine. Stops at a line that has not
    // ended in b (a CR that is its last byte only ends a line at the end of the input). Returns
    // false on a failed line; `pos` and `scanned` as for takeLines.
    bool takeLinesUtf8(char* b, size_t size, size_t& pos, size_t& scanned, bool atEnd)
    {
        static const ShortLineTable table;
        const auto* in = reinterpret_cast<const unsigned char*>(b);
        size_t at = pos;
        while (at < size) {
            char* const lineOut = room(ShortLineRoom);
            char* o = lineOut;
            if (m_started) {
                std::memcpy(o, m_lineEnd.data(), m_lineEnd.size());
                o += m_lineEnd.size();
            }
            const unsigned char* p = in + at;
            const unsigned char* const limit = in + std::min(size, at + ShortLine + 1);
            bool ended = false;
            while (p < limit) {
                const unsigned char c = *p;
                const unsigned length = table.length[c];
                if (length != 0) {
                    std::memcpy(o, table.text[c], 16);
                    o += length;
                    ++p;
                    continue;
                }
                if (c == '\r') {
                    ended = true;
                    break;
                }
                // Code 1: a run of spaces, its count character next.
                if (p + 1 >= limit)
                    break;
                const unsigned count = table.repaired[p[1]];
                if (count < CountBase)
                    break;
                static constexpr char Spaces[16] = {' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ',
                                                    ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' '};
                const unsigned spaces = count - CountBase;
                for (unsigned k = 0; k < spaces; k += 16)
                    std::memcpy(o + k, Spaces, 16);
                o += spaces;
                p += 2;
            }
            const size_t stop = static_cast<size_t>(p - in);
            if (ended) {
                if (stop + 1 == size && !atEnd) {
                    pos = at;
                    scanned = stop; // an LF may follow in the next read
                    return true;
                }
                m_used = static_cast<size_t>(o - m_block.get());
                m_started = m_started || o != lineOut;
                ++m_r.lines;
                at = afterCr(b, size, stop);
                continue;
            }
            // Longer than a short line, failing, or not ended here: nothing of it was kept.
            const size_t from = std::max(stop, scanned);
            const auto* cr = from < size ? static_cast<const char*>(std::memchr(b + from, '\r', size - from)) : nullptr;
            const size_t end = cr ? static_cast<size_t>(cr - b) : size;
            if (!cr || (end + 1 == size && !atEnd)) {
                pos = at;
                scanned = end;
                return true;
            }
            if (!addLine(b + at, end - at))
                return false;
            at = afterCr(b, size, end);
        }
        pos = at;
        scanned = at;
        return true;
    }

    // Converts a part of a long line not yet known to pass and hands it on; the part must not
    // end inside a run of spaces. What the conversion says is left to the line's check.
    void passOnPart(std::string_view part, bool firstOfLine)
    {
        const std::string_view separator = m_started && firstOfLine ? LineSeparator : std::string_view();
        if (m_utf8Sink) {
            m_scratch.clear();
            appendConvertedLine(m_scratch, separator, part);
            m_scratchUtf8.clear();
            appendDisplayTextUtf8(m_scratchUtf8, m_scratch, m_lineEnds);
            put(m_scratchUtf8);
            return;
        }
        appendConvertedLine(m_r.text, separator, part);
        flush(false);
    }

    bool started() const { return m_started; }
    const LogRead& result() const { return m_r; }
    void setStarted() { m_started = true; }

    // Takes over the text and lines of a part converted by a builder of its own, which
    // followed this one's lines; false when that part failed (its line counted on from here).
    bool absorb(const LogRead& part)
    {
        m_r.text += part.text;
        const std::int64_t before = m_r.lines;
        m_r.lines += part.lines;
        if (!part.failure)
            return true;
        m_r.failure = *part.failure;
        m_r.failure->line += before;
        return false;
    }

    void setSink(const LogTextSink* sink, size_t pieceSize)
    {
        m_sink = sink && *sink ? sink : nullptr;
        m_pieceSize = pieceSize;
    }

    // Makes the builder hand its text on as UTF-8 with the given line ends.
    void setUtf8Sink(const TextBytesSink* sink, LineEnds lineEnds, size_t pieceSize)
    {
        static const TextBytesSink none = [](std::string_view) {};
        m_utf8Sink = sink && *sink ? sink : &none;
        m_lineEnds = lineEnds;
        m_lineEnd = lineEnds == LineEnds::CrLf ? std::string_view("\r\n") : std::string_view("\n");
        m_pieceSize = pieceSize;
        // Not cleared: only what is written is handed on.
        m_blockSize = pieceSize + ShortLineRoom;
        m_block.reset(new char[m_blockSize]);
    }
    bool writesUtf8() const { return m_utf8Sink != nullptr; }

    bool fail(LogFailure::Kind kind, std::int64_t line, const std::string& reason)
    {
        m_r.failure = LogFailure{kind, m_file, line, reason};
        return false;
    }

    LogRead& result() { return m_r; }

private:
    // Where the next `size` bytes (at most the block's size) of UTF-8 go: the output block,
    // handed on first when it has no room left. Written through the pointer; m_used moves past
    // what is kept.
    char* room(size_t size)
    {
        if (m_blockSize - m_used < size)
            flush(true);
        return m_block.get() + m_used;
    }

    void put(std::string_view bytes)
    {
        while (!bytes.empty()) {
            const size_t part = std::min(bytes.size(), m_blockSize);
            std::memcpy(room(part), bytes.data(), part);
            m_used += part;
            bytes.remove_prefix(part);
            flush(false);
        }
    }

    // The first byte after the line end whose CR is at b[cr].
    static size_t afterCr(const char* b, size_t size, size_t cr)
    {
        return cr + 1 < size && b[cr + 1] == '\n' ? cr + 2 : cr + 1;
    }

    LogRead& m_r;
    std::string m_file;
    bool m_started = false;
    const LogTextSink* m_sink = nullptr;
    size_t m_pieceSize = 0;
    // UTF-8 output.
    const TextBytesSink* m_utf8Sink = nullptr;
    LineEnds m_lineEnds = LineEnds::CrLf;
    std::string_view m_lineEnd;
    std::unique_ptr<char[]> m_block;   // m_used bytes of it hold text not yet handed on
    size_t m_blockSize = 0;
    size_t m_used = 0;
    std::string m_scratch;
    std::string m_scratchUtf8;
};

// Splits `buffer` from `pos` into lines. CR LF or a lone CR end a line; a CR that is the last
// byte only ends a line at the end of the input, since an LF may follow in the next chunk.
// Returns false on a failed line. `pos` is left at the first byte not yet used, `scanned`
// at the first byte not yet searched for a CR.
bool takeLines(LogTextBuilder& builder, char* b, size_t size, size_t& pos, size_t& scanned, bool atEnd)
{
    while (scanned < size) {
        auto* cr = static_cast<char*>(std::memchr(b + scanned, '\r', size - scanned));
        if (!cr) {
            scanned = size;
            break;
        }
        const size_t end = static_cast<size_t>(cr - b);
        if (end + 1 == size && !atEnd) {
            scanned = end; // decide when more has arrived
            return true;
        }
        if (!builder.addLine(b + pos, end - pos))
            return false;
        pos = end + 1;
        if (pos < size && b[pos] == '\n')
            ++pos;
        scanned = pos;
    }
    return true;
}

// Converts the lines of b[begin, end), which ends right after a line end.
bool takeCompleteLines(LogTextBuilder& builder, char* b, size_t begin, size_t end)
{
    size_t pos = begin;
    while (pos < end) {
        const auto* cr = static_cast<const char*>(std::memchr(b + pos, '\r', end - pos));
        const size_t lineEnd = static_cast<size_t>(cr - b);
        if (!builder.addLine(b + pos, lineEnd - pos))
            return false;
        pos = lineEnd + 1;
        if (pos < end && b[pos] == '\n')
            ++pos;
    }
    return true;
}

// Where the line that holds or follows the CR at c ends: after the CR and its LF, if any.
size_t afterLineEnd(const char* b, size_t c)
{
    return b[c + 1] == '\n' ? c + 2 : c + 1;
}

// Once the display has text, a large stretch of complete lines is converted in two halves at
// once, the second on another thread; the text is the same as converting them in order.
// Returns false on a failed line; `pos` moves past the lines converted.
bool takeLinesInParallel(LogTextBuilder& builder, char* b, size_t size, size_t& pos, const std::string& file)
{
    constexpr size_t MinHalf = 256 * 1024;
    if (!builder.started() || size - pos < 2 * MinHalf || std::thread::hardware_concurrency() < 2)
        return true;
    // The last CR whose next byte is here to tell whether an LF follows.
    size_t last = size - 1;
    while (last > pos && b[last - 1] != '\r')
        --last;
    if (last <= pos || last - pos < 2 * MinHalf)
        return true;
    const size_t end = afterLineEnd(b, last - 1);
    const auto* cr = static_cast<const char*>(std::memchr(b + pos + (end - pos) / 2, '\r', end - pos - (end - pos) / 2));
    const size_t middle = afterLineEnd(b, static_cast<size_t>(cr - b));
    if (middle >= end)
        return true;

    LogRead second;
    second.text.reserve((end - middle) * 2);
    auto convertSecond = std::async(std::launch::async, [&] {
        LogTextBuilder builder2(second, file);
        builder2.setStarted();
        takeCompleteLines(builder2, b, middle, end);
    });
    const bool firstFine = takeCompleteLines(builder, b, pos, middle);
    convertSecond.wait();
    if (!firstFine)
        return false;
    pos = end;
    return builder.absorb(second);
}

} // namespace

namespace {

// Repairs a part of a line that starts `offset` bytes into it.
bool repairLinePart(char* data, size_t size, size_t offset)
{
    auto* p = reinterpret_cast<unsigned char*>(data);
    for (size_t i = 0; i < size; ++i) {
        i += scan::untilRepairCandidate(p + i, size - i);
        if (i == size)
            break;
        const unsigned char c = p[i];
        unsigned char repaired;
        if (c == 0xF1)
            repaired = 0xB1; // ±
        else if (c == 0xF3)
            repaired = '<';  // ≤ has no place in Windows-1252
        else if (c == 0xE6)
            repaired = 0xB5; // µ
        else
            continue;
        if (offset + i + 1 > static_cast<size_t>(MaxLinePosition))
            return false;
        p[i] = repaired;
    }
    return true;
}

} // namespace

const std::string RepairFailedReason = "A character to repair stands beyond position 32767.";

bool repairLogLine(char* data, size_t size)
{
    return repairLinePart(data, size, 0);
}

LogRead convertLog(std::string_view bytes, const std::string& fileName)
{
    LogRead result;
    result.opened = true;
    LogTextBuilder builder(result, fileName);
    if (bytes.empty()) {
        builder.fail(LogFailure::Kind::Empty, 0, {});
        return result;
    }
    result.text.reserve(bytes.size() + bytes.size() / 4);
    std::string buffer(bytes);
    size_t pos = 0;
    size_t scanned = 0;
    if (!takeLines(builder, buffer.data(), buffer.size(), pos, scanned, true))
        return result;
    if (pos < buffer.size())
        builder.addLine(buffer.data() + pos, buffer.size() - pos);
    return result;
}

namespace {

enum class TextUse {
    Keep,   // all of the text in the result
    Stream, // handed to a sink in pieces
    PassOn, // handed to a sink in pieces, a long line's before it is known to pass
    None,   // only checked
    Utf8,   // handed to a sink in pieces as UTF-8
};

// What becomes of the text of a line too long to convert at once (see LongLines).
enum class LongLineText {
    None,       // only checked
    Held,       // kept raw until the line is known to pass
    PassedOn,   // converted and handed on as it is read
    Reread,     // checked first, then read again from its start and converted in pieces
    HeldAWhile, // kept raw up to LongLineHeld bytes, then handed on as read
};

// Hands the parts of a long line to the builder as they are read, in slices it converts at
// once; a code 1 at the end of a part waits for its count character in the next.
class LinePasser {
public:
    explicit LinePasser(LogTextBuilder& builder) : m_builder(builder) {}

    void add(const char* data, size_t size, bool last)
    {
        // Small slices: a run of spaces makes its two bytes up to 255 characters.
        constexpr size_t Slice = 1 << 16;
        m_part.append(data, size);
        size_t at = 0;
        while (at < m_part.size()) {
            size_t end = std::min(m_part.size(), at + Slice);
            if (m_part[end - 1] == '\x01') {
                if (end < m_part.size())
                    ++end;   // its count character comes along
                else if (!last && --end == at)
                    break;   // it waits for the next read
            }
            m_builder.passOnPart(std::string_view(m_part).substr(at, end - at), m_first);
            m_first = false;
            at = end;
        }
        m_part.erase(0, at);
    }
    // Whether anything of the line has been handed on.
    bool started() const { return !m_first; }

private:
    LogTextBuilder& m_builder;
    std::string m_part;
    bool m_first = true;
};

// Reads on a line that has grown past LongLine without a line end; `buffer` holds its start.
// The line is repaired and checked part by part as it is read; its text goes on as `text`
// says. Afterwards `buffer` holds what follows the line end, `skipLf` tells that an LF right at
// the start of the next read belongs to that line end, and `atEnd` that the file ended with
// the line. False when the line failed or the file could not be read.
bool takeLongLine(LogTextBuilder& builder, RegularFile& file, std::string& buffer, LongLineText text,
                  bool& skipLf, bool& atEnd)
{
    const std::int64_t number = builder.result().lines + 1;
    const std::int64_t lineStart = file.offset() - static_cast<std::int64_t>(buffer.size());
    const long leading = builder.started() ? static_cast<long>(LineSeparator.size()) : 0;
    LineCheck check(leading);
    std::string raw;
    size_t length = 0;
    LinePasser passer(builder);
    bool passing = text == LongLineText::PassedOn;
    const auto failed = [&](LogFailure::Kind kind, const std::string& reason) {
        builder.result().failedLineInPart = passer.started();
        return builder.fail(kind, number, reason);
    };
    auto take = [&](char* data, size_t size) {
        if (!repairLinePart(data, size, length))
            return failed(LogFailure::Kind::RepairFailed, RepairFailedReason);
        check.feed(std::string_view(data, size));
        length += size;
        if (text == LongLineText::Held || text == LongLineText::HeldAWhile)
            raw.append(data, size);
        if (text == LongLineText::HeldAWhile && raw.size() > LongLineHeld) {
            // Too long to hold from a file that cannot be read again: handed on from here.
            text = LongLineText::PassedOn;
            passing = !check.failed();
            if (passing)
                passer.add(raw.data(), raw.size(), false);
            std::string().swap(raw);
        } else if (passing) {
            // Nothing more of a line that has failed already.
            passing = !check.failed();
            if (passing)
                passer.add(data, size, false);
        }
        return true;
    };
    if (text == LongLineText::Held) {
        // The line may run to the end of the file: room for that at once, so that growing
        // never holds the line twice.
        raw.reserve(buffer.size() + static_cast<size_t>(file.remaining()));
    }
    if (!take(buffer.data(), buffer.size()))
        return false;
    buffer.clear();
    std::string chunk(ReadChunk, '\0');
    for (;;) {
        const std::int64_t got = file.read(chunk.data(), chunk.size());
        if (got < 0)
            return failed(LogFailure::Kind::ReadFailed, systemSentence(errno));
        if (got == 0) {
            atEnd = true;
            break;
        }
        const size_t n = static_cast<size_t>(got);
        const auto* cr = static_cast<const char*>(std::memchr(chunk.data(), '\r', n));
        const size_t end = cr ? static_cast<size_t>(cr - chunk.data()) : n;
        if (!take(chunk.data(), end))
            return false;
        if (cr) {
            size_t next = end + 1;
            if (next < n && chunk[next] == '\n')
                ++next;
            skipLf = next == n;
            buffer.assign(chunk.data() + next, n - next);
            break;
        }
    }
    if (passing)
        passer.add(nullptr, 0, true);
    const ConvertError error = check.finish();
    if (error != ConvertError::None)
        return failed(LogFailure::Kind::ConvertFailed, convertErrorReason(error));

    if (text == LongLineText::Reread) {
        // The line passed: read it again from its start and hand it on in pieces. It must read
        // as it did the first time.
        const std::int64_t resume = file.offset();
        const std::string changed = "The file changed while it was read.";
        if (!file.seekTo(lineStart))
            return failed(LogFailure::Kind::ReadFailed, systemSentence(errno));
        LineCheck again(leading);
        for (size_t done = 0; done < length;) {
            const std::int64_t got = file.read(chunk.data(), std::min(chunk.size(), length - done));
            if (got < 0)
                return failed(LogFailure::Kind::ReadFailed, systemSentence(errno));
            if (got == 0 || !repairLinePart(chunk.data(), static_cast<size_t>(got), done))
                return failed(LogFailure::Kind::ReadFailed, changed);
            again.feed(std::string_view(chunk.data(), static_cast<size_t>(got)));
            if (again.failed())
                return failed(LogFailure::Kind::ReadFailed, changed);
            passer.add(chunk.data(), static_cast<size_t>(got), false);
            done += static_cast<size_t>(got);
        }
        passer.add(nullptr, 0, true);
        if (again.finish() != ConvertError::None || again.producesText() != check.producesText())
            return failed(LogFailure::Kind::ReadFailed, changed);
        if (!file.seekTo(resume))
            return failed(LogFailure::Kind::ReadFailed, systemSentence(errno));
    }
    const bool keep = text == LongLineText::Held || text == LongLineText::HeldAWhile;
    builder.addCheckedLine(raw, check.producesText(), keep);
    return true;
}

LogRead readLogAs(RegularFile& file, const std::string& path, TextUse use, const LogTextSink& sink,
                  size_t pieceSize, const TextBytesSink* utf8Sink = nullptr, LineEnds lineEnds = LineEnds::CrLf,
                  LongLines longLines = LongLines::Held)
{
    LogRead result;
    LogTextBuilder builder(result, path);
    static const LogTextSink discard = [](const std::string&) {};
    builder.setSink(use == TextUse::None ? &discard : &sink, pieceSize);
    const LongLineText longText = use == TextUse::None ? LongLineText::None
        : use == TextUse::Keep                         ? LongLineText::Held
        : use == TextUse::PassOn || longLines == LongLines::PassedOn ? LongLineText::PassedOn
        : file.seekable()                              ? LongLineText::Reread
                                                       : LongLineText::HeldAWhile;
    if (!file.isOpen()) {
        builder.fail(LogFailure::Kind::CannotOpen, 0, file.openFailure());
        return result;
    }
    result.opened = true;
    try {
        const std::int64_t fileSize = file.size();
        // Runs of spaces make the text longer than the file. Room that is reserved but never
        // written costs no memory, while growing later would hold the text twice for a moment.
        if (use == TextUse::Utf8)
            builder.setUtf8Sink(utf8Sink, lineEnds, pieceSize);
        else if (use != TextUse::Keep)
            result.text.reserve(pieceSize + 2 * StreamReadChunk);
        else if (fileSize > 0)
            result.text.reserve(static_cast<size_t>(fileSize) * 2);

        const size_t readSize = use == TextUse::Utf8 ? Utf8ReadChunk
            : use == TextUse::Stream || use == TextUse::PassOn ? StreamReadChunk : ReadChunk;
        // Its first `filled` bytes are read and not yet used; the rest is room, so that a read
        // does not first clear the room it fills.
        std::string buffer;
        size_t filled = 0;
        size_t pos = 0;
        size_t scanned = 0;
        bool atEnd = false;
        bool skipLf = false;
        for (;;) {
            char* b = buffer.data();
            const bool fine = builder.writesUtf8()
                ? builder.takeLinesUtf8(b, filled, pos, scanned, atEnd)
                : takeLinesInParallel(builder, b, filled, pos, path)
                    && (scanned = std::max(scanned, pos), takeLines(builder, b, filled, pos, scanned, atEnd));
            builder.flush(!fine);
            if (!fine)
                return result;
            if (atEnd)
                break;
            // Keep the unfinished line, read the next chunk behind it.
            std::memmove(b, b + pos, filled - pos);
            filled -= pos;
            scanned -= pos;
            pos = 0;
            if (scanned == filled && filled >= LongLine) {
                buffer.resize(filled);
                const bool lineFine = takeLongLine(builder, file, buffer, longText, skipLf, atEnd);
                builder.flush(!lineFine);
                if (!lineFine)
                    return result;
                filled = buffer.size();
                scanned = 0;
                if (atEnd)
                    break;
                continue;
            }
            // A small file gets a small buffer; one that grows while it is read is read on. A
            // pipe tells no size.
            const size_t want = !file.seekable() ? readSize : static_cast<size_t>(
                std::min<std::int64_t>(static_cast<std::int64_t>(readSize), std::max<std::int64_t>(file.remaining() + 1, 4096)));
            if (buffer.size() < filled + want)
                buffer.resize(filled + want);
            const size_t kept = filled;
            const std::int64_t got = file.read(buffer.data() + kept, want);
            if (got < 0) {
                builder.fail(LogFailure::Kind::ReadFailed, result.lines + 1, systemSentence(errno));
                builder.flush(true);
                return result;
            }
            filled += static_cast<size_t>(got);
            if (skipLf && got > 0) {
                // The LF of a long line's CR LF came with this read.
                if (buffer[kept] == '\n') {
                    std::memmove(buffer.data() + kept, buffer.data() + kept + 1, filled - kept - 1);
                    --filled;
                }
                skipLf = false;
            }
            atEnd = got == 0;
        }
        if (pos < filled)
            builder.addLine(buffer.data() + pos, filled - pos);
        else if (result.lines == 0)
            builder.fail(LogFailure::Kind::Empty, 0, {});
        builder.flush(true);
    } catch (const std::bad_alloc&) {
        // Nothing of the log is shown: the display stays as it was.
        const std::int64_t line = result.lines + 1;
        result = LogRead{};
        result.failure = LogFailure{LogFailure::Kind::OutOfMemory, path, line, {}};
    }
    return result;
}

} // namespace

LogRead readLog(const std::string& path)
{
    RegularFile file(path);
    return readLogAs(file, path, TextUse::Keep, {}, 0);
}

LogRead streamLog(RegularFile& file, const std::string& name, const LogTextSink& sink, size_t pieceSize,
                  LongLines longLines)
{
    if (!sink)
        return readLogAs(file, name, TextUse::Keep, sink, pieceSize);
    return readLogAs(file, name, longLines == LongLines::PassedOn ? TextUse::PassOn : TextUse::Stream, sink,
                     pieceSize);
}

LogRead streamLog(const std::string& path, const LogTextSink& sink, size_t pieceSize, LongLines longLines)
{
    RegularFile file(path);
    return streamLog(file, path, sink, pieceSize, longLines);
}

LogRead streamLogUtf8(RegularFile& file, const std::string& name, LineEnds lineEnds, const TextBytesSink& sink,
                      size_t pieceSize, LongLines longLines)
{
    return readLogAs(file, name, TextUse::Utf8, {}, pieceSize, &sink, lineEnds, longLines);
}

LogRead streamLogUtf8(const std::string& path, LineEnds lineEnds, const TextBytesSink& sink, size_t pieceSize,
                      LongLines longLines)
{
    RegularFile file(path);
    return streamLogUtf8(file, path, lineEnds, sink, pieceSize, longLines);
}

LogRead checkLog(RegularFile& file, const std::string& name)
{
    return readLogAs(file, name, TextUse::None, {}, 0);
}

LogRead checkLog(const std::string& path)
{
    RegularFile file(path);
    return checkLog(file, path);
}

} // namespace vrx
