#include "core/LogScanner.h"

#include "core/ByteScan.h"
#include "core/ConvertLogLine.h"
#include "core/LogFailure.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

namespace vrx {

namespace {

// Chunks read at once. UTF-8 is read in smaller ones: the bytes read and the text made of them
// stay in the processor's cache until they are written.
constexpr std::int64_t ReadChunk = 1 << 20;
constexpr std::int64_t Utf8ReadChunk = 256 << 10;
// A line longer than this is checked as it is read and, where its text is wanted, converted
// in pieces, so that no more than its raw bytes are held at once (and nothing when checked).
constexpr size_t LongLine = 4 << 20;
const std::string_view LineSeparator = "\r\n";

// A line no longer than this converts straight from its bytes through a table, without a check
// first: whatever its tokens, no position in it can pass 32767 (a run of spaces makes at most
// 225 characters of its two bytes, a word at most 14 of its one), so only a bad run of spaces
// can fail it, and no character to repair stands beyond 32767.
constexpr size_t ShortLine = 256;
// Room a short line may take in the output: its line end, its characters (UTF-8 at most), and
// the 16-byte stores that may reach past the last of them.
constexpr size_t ShortLineRoom = 2 + ShortLine * 113 + 256;

constexpr unsigned char CountBase = 30;

// Each byte of a short line as the text it makes, in Windows-1252 or in UTF-8: repaired,
// converted and decoded by the functions that do so for every other line, so that the one-pass
// loop says what they say.
struct ByteTable {
    char text[256][16];
    unsigned char length[256];   // 0 for code 1, CR and LF, which the loop handles itself
    unsigned char repaired[256]; // a count character's value after the repair

    explicit ByteTable(bool utf8)
    {
        for (int b = 0; b < 256; ++b) {
            char c = static_cast<char>(b);
            repairLogLine(&c, 1);
            repaired[b] = static_cast<unsigned char>(c);
            std::memset(text[b], 0, sizeof text[b]);
            length[b] = 0;
            if (c == '\x01' || c == '\r' || c == '\n')
                continue;
            std::string made = ConvertLogLine(std::string(1, c)).text;
            if (utf8)
                made = displayTextToUtf8(made, LineEnds::CrLf);
            std::memcpy(text[b], made.data(), made.size());
            length[b] = static_cast<unsigned char>(made.size());
        }
    }
};

const ByteTable& tableFor(ScanText text)
{
    static const ByteTable windows1252(false);
    static const ByteTable utf8(true);
    return text == ScanText::Utf8 ? utf8 : windows1252;
}

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

// Makes the display text line by line into an output block that is handed to the sink in
// pieces, and tells the sink each line where it wants them.
class TextMaker {
public:
    TextMaker(LogRead& result, const std::string& file, LogSink& sink, const ScanOptions& options)
        : m_r(result), m_file(file), m_sink(sink), m_textKind(options.text), m_table(tableFor(options.text)),
          m_tellLines(options.text == ScanText::Windows1252 || options.text == ScanText::Lengths),
          m_started(options.from.started || options.from.inLine), m_continuation(options.from.inLine)
    {
        m_r.lines = options.from.line;
        m_lineEnd = options.text == ScanText::Utf8 && options.lineEnds == LineEnds::Lf ? std::string_view("\n")
                                                                                      : LineSeparator;
        m_pieceSize = options.pieceSize;
        // Not cleared: only what is written is handed on.
        m_blockSize = m_pieceSize + ShortLineRoom;
        m_block.reset(new char[m_blockSize]);
    }

    // Whether the next line goes behind a line end.
    bool separatedNext() const { return m_started && !m_continuation; }

    // Repairs and converts one raw line (changed in place) that begins at `offset` (and the
    // line after it at `next`); false on failure, with the error set.
    bool addLine(char* data, size_t size, std::int64_t offset, std::int64_t next)
    {
        const std::int64_t number = m_r.lines + 1;
        if (!repairLogLine(data, size))
            return fail(LogFailure::Kind::RepairFailed, number, RepairFailedReason);
        const std::string_view line(data, size);
        // No separator while the display is still empty: empty lines at the start leave no trace.
        const bool separated = separatedNext();
        const std::string_view separator = separated ? LineSeparator : std::string_view();
        if (!m_tellLines) {
            // Checked first, then converted in pieces: the UTF-8 of a line of runs of spaces
            // is a hundred times its size.
            LineCheck check(static_cast<long>(separator.size()));
            check.feed(line);
            const ConvertError error = check.finish();
            if (error != ConvertError::None)
                return fail(LogFailure::Kind::ConvertFailed, number, convertErrorReason(error));
            addCheckedLine(line, check.producesText(), true, offset, next);
            return true;
        }
        m_scratch.clear();
        const ConvertError error = appendConvertedLine(m_scratch, separator, line);
        if (error != ConvertError::None)
            return fail(LogFailure::Kind::ConvertFailed, number, convertErrorReason(error));
        putText(m_scratch);
        const std::string_view text = std::string_view(m_scratch).substr(separator.size());
        tell(number, offset, line, text, separated, true, true, next);
        lineDone(!text.empty());
        return true;
    }

    // Hands the text made so far to the sink, when enough has gathered or with all.
    void flush(bool all)
    {
        if (m_used > 0 && (all || m_used >= m_pieceSize)) {
            if (makesText())
                m_sink.text(std::string_view(m_block.get(), m_used));
            m_used = 0;
        }
    }

    // Converts a long line that LineCheck has passed (repaired, changed in place) in pieces,
    // handing each on as it goes; with `keep` false its pieces went on already (passOnPart).
    void addCheckedLine(std::string_view raw, bool producesText, bool keep, std::int64_t offset, std::int64_t next)
    {
        const std::int64_t number = m_r.lines + 1;
        const bool separated = separatedNext();
        bool first = true;
        if (keep && m_textKind != ScanText::None) {
            if (separated)
                putText(LineSeparator);
            // Small pieces for UTF-8, whose scratch text they bound.
            const size_t piece = m_textKind == ScanText::Utf8 ? 16 << 10 : 1 << 20;
            for (size_t at = 0; at < raw.size();) {
                size_t end = std::min(raw.size(), at + piece);
                // A run of spaces stays whole: its count character goes with its code 1.
                if (end < raw.size() && raw[end - 1] == '\x01')
                    ++end;
                m_converted.clear();
                appendConvertedLine(m_converted, {}, raw.substr(at, end - at));
                putText(m_converted);
                tell(number, offset + static_cast<std::int64_t>(at), raw.substr(at, end - at), m_converted, separated,
                     first, false, 0);
                first = false;
                at = end;
            }
        } else if (!keep) {
            first = !m_passedOn;
        }
        tell(number, offset + static_cast<std::int64_t>(raw.size()), {}, {}, separated, first, true, next);
        m_passedOn = false;
        lineDone(separated || producesText);
    }

    // Converts the short lines of b[pos, size) straight through the table, in one pass over
    // each; a longer line, or one that fails, goes through addLine. Stops at a line that has not
    // ended in b (a CR that is its last byte only ends a line at the end of the input). Returns
    // false on a failed line. `pos` is left at the first byte not yet used, `scanned` at the
    // first byte not yet searched for a CR; b[0] stands at `offset` of the input.
    bool takeLines(char* b, size_t size, size_t& pos, size_t& scanned, bool atEnd, std::int64_t offset)
    {
        // Counting the characters only, nothing is written; where no one is told the lines,
        // their line feeds are not kept either. Each way has a loop of its own, which keeps the
        // byte loop's state in registers.
        switch (m_textKind) {
        case ScanText::Lengths:
            return takeLinesAs<false, true>(b, size, pos, scanned, atEnd, offset);
        case ScanText::Windows1252:
            return takeLinesAs<true, true>(b, size, pos, scanned, atEnd, offset);
        case ScanText::Utf8:
            return takeLinesAs<true, false>(b, size, pos, scanned, atEnd, offset);
        case ScanText::None:
            break;
        }
        return takeLinesAs<false, false>(b, size, pos, scanned, atEnd, offset);
    }

    // Converts a part of a long line not yet known to pass and hands it on; the part must not
    // end inside a run of spaces. What the conversion says is left to the line's check.
    void passOnPart(std::string_view part, bool firstOfLine, std::int64_t offset)
    {
        const bool separated = separatedNext();
        const std::string_view separator = separated && firstOfLine ? LineSeparator : std::string_view();
        m_scratch.clear();
        appendConvertedLine(m_scratch, separator, part);
        putText(m_scratch);
        m_passedOn = true;
        tell(m_r.lines + 1, offset, part, std::string_view(m_scratch).substr(separator.size()), separated, firstOfLine,
             false, 0);
    }

    LogRead& result() { return m_r; }

    bool fail(LogFailure::Kind kind, std::int64_t line, const std::string& reason)
    {
        m_r.failure = LogFailure{kind, m_file, line, reason};
        return false;
    }

private:
    bool makesText() const { return m_textKind == ScanText::Windows1252 || m_textKind == ScanText::Utf8; }

    template <bool Write, bool Lines>
    bool takeLinesAs(char* b, size_t size, size_t& pos, size_t& scanned, bool atEnd, std::int64_t offset)
    {
        const ByteTable& table = m_table;
        const auto* in = reinterpret_cast<const unsigned char*>(b);
        size_t at = pos;
        while (at < size) {
            // The line's text goes to out; o counts what it holds (also when nothing is written).
            char* const out = Write ? room(ShortLineRoom) : nullptr;
            size_t o = 0;
            const bool separated = separatedNext();
            if (separated) {
                if constexpr (Write)
                    std::memcpy(out, m_lineEnd.data(), m_lineEnd.size());
                o += m_lineEnd.size();
            }
            const size_t textStart = o;
            const unsigned char* p = in + at;
            const unsigned char* const limit = in + std::min(size, at + ShortLine + 1);
            bool ended = false;
            if constexpr (Lines)
                m_lineFeeds.clear();
            while (p < limit) {
                const unsigned char c = *p;
                const unsigned length = table.length[c];
                if (length != 0) [[likely]] {
                    if constexpr (Write)
                        std::memcpy(out + o, table.text[c], 16);
                    o += length;
                    ++p;
                    continue;
                }
                if (c == '\r') {
                    ended = true;
                    break;
                }
                if (c == '\n') {
                    if constexpr (Lines)
                        m_lineFeeds.push_back(o - textStart);
                    if constexpr (Write)
                        out[o] = '\n';
                    ++o;
                    ++p;
                    continue;
                }
                // Code 1: a run of spaces, its count character next.
                if (p + 1 >= limit)
                    break;
                const unsigned count = table.repaired[p[1]];
                if (count < CountBase)
                    break;
                const unsigned spaces = count - CountBase;
                if constexpr (Write) {
                    static constexpr char Spaces[16] = {' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ',
                                                        ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' '};
                    for (unsigned k = 0; k < spaces; k += 16)
                        std::memcpy(out + o + k, Spaces, 16);
                }
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
                if constexpr (Write)
                    m_used = static_cast<size_t>(out + o - m_block.get());
                const size_t next = afterCr(b, size, stop);
                if constexpr (Lines) {
                    const std::string_view raw(b + at, stop - at);
                    const size_t characters = o - textStart;
                    ScannedLine line{m_r.lines + 1, offset + static_cast<std::int64_t>(at), raw,
                                     Write ? std::string_view(out + textStart, characters) : std::string_view(),
                                     characters, m_lineFeeds, separated, true, true,
                                     offset + static_cast<std::int64_t>(next)};
                    m_sink.line(line);
                }
                lineDone(o != textStart);
                at = next;
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
            const size_t next = afterCr(b, size, end);
            if (!addLine(b + at, end - at, offset + static_cast<std::int64_t>(at), offset + static_cast<std::int64_t>(next)))
                return false;
            at = next;
        }
        pos = at;
        scanned = at;
        return true;
    }

    // Tells the sink a line (or a part of one) whose Windows-1252 text is `text`.
    void tell(std::int64_t number, std::int64_t offset, std::string_view raw, std::string_view text, bool separated,
              bool first, bool last, std::int64_t next)
    {
        if (!m_tellLines)
            return;
        m_lineFeeds.clear();
        for (size_t at = text.find('\n'); at != std::string_view::npos; at = text.find('\n', at + 1))
            m_lineFeeds.push_back(at);
        m_sink.line({number, offset, raw, m_textKind == ScanText::Windows1252 ? text : std::string_view(), text.size(),
                     m_lineFeeds, separated, first, last, next});
    }

    void lineDone(bool producesText)
    {
        m_started = m_started || producesText;
        m_continuation = false;
        ++m_r.lines;
    }

    // Where the next `size` bytes (at most the block's size) of text go: the output block,
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

    // Windows-1252 text as the scan's text.
    void putText(std::string_view windows1252)
    {
        if (!makesText())
            return;
        if (m_textKind == ScanText::Utf8) {
            m_utf8.clear();
            if (windows1252 == LineSeparator)
                m_utf8.assign(m_lineEnd);
            else
                appendDisplayTextUtf8(m_utf8, windows1252, m_lineEnd.size() == 1 ? LineEnds::Lf : LineEnds::CrLf);
            put(m_utf8);
            return;
        }
        put(windows1252);
    }

    // The first byte after the line end whose CR is at b[cr].
    static size_t afterCr(const char* b, size_t size, size_t cr)
    {
        return cr + 1 < size && b[cr + 1] == '\n' ? cr + 2 : cr + 1;
    }

    LogRead& m_r;
    std::string m_file;
    LogSink& m_sink;
    ScanText m_textKind;
    const ByteTable& m_table;
    bool m_tellLines;
    bool m_started;
    bool m_continuation;   // the next line is the rest of one begun before the scan
    bool m_passedOn = false; // parts of the current long line went on already
    std::string_view m_lineEnd;
    size_t m_pieceSize = 0;
    std::unique_ptr<char[]> m_block;   // m_used bytes of it hold text not yet handed on
    size_t m_blockSize = 0;
    size_t m_used = 0;
    std::string m_scratch;
    std::string m_converted;
    std::string m_utf8;
    std::vector<std::uint64_t> m_lineFeeds;
};

// What becomes of the text of a line too long to convert at once (see LongLines).
enum class LongLineText {
    None,       // only checked
    PassedOn,   // converted and handed on as it is read
    Reread,     // checked first, then read again from its start and converted in pieces
    HeldAWhile, // kept raw up to LongLineHeld bytes, then handed on as read
};

// Hands the parts of a long line to the maker as they are read, in slices it converts at
// once; a code 1 at the end of a part waits for its count character in the next.
class LinePasser {
public:
    explicit LinePasser(TextMaker& maker) : m_maker(maker) {}

    // data stands at `offset` of the input.
    void add(const char* data, size_t size, bool last, std::int64_t offset)
    {
        // Small slices: a run of spaces makes its two bytes up to 255 characters.
        constexpr size_t Slice = 1 << 16;
        if (m_part.empty())
            m_partOffset = offset;
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
            m_maker.passOnPart(std::string_view(m_part).substr(at, end - at), m_first,
                               m_partOffset + static_cast<std::int64_t>(at));
            m_first = false;
            at = end;
        }
        m_part.erase(0, at);
        m_partOffset += static_cast<std::int64_t>(at);
    }
    // Whether anything of the line has been handed on.
    bool started() const { return !m_first; }

private:
    TextMaker& m_maker;
    std::string m_part;
    std::int64_t m_partOffset = 0;
    bool m_first = true;
};

// Reads on a line that has grown past LongLine without a line end; `buffer` holds its start.
// The line is repaired and checked part by part as it is read; its text goes on as `text`
// says. Afterwards `buffer` holds what follows the line end, `skipLf` tells that an LF right at
// the start of the next read belongs to that line end, and `atEnd` that the input ended with
// the line. False when the line failed, the input could not be read, or the scan was told to
// stop (a log whose line ends became LF alone is one such line, gigabytes long).
bool takeLongLine(TextMaker& maker, ScanInput& file, LogSink& sink, const std::atomic<bool>* stop,
                  std::string& buffer, LongLineText text, bool& skipLf, bool& atEnd)
{
    const auto stopped = [&] {
        if (!stop || !stop->load(std::memory_order_relaxed))
            return false;
        maker.result().interrupted = true;
        return true;
    };
    const std::int64_t number = maker.result().lines + 1;
    const std::int64_t lineStart = file.offset() - static_cast<std::int64_t>(buffer.size());
    const long leading = maker.separatedNext() ? static_cast<long>(LineSeparator.size()) : 0;
    LineCheck check(leading);
    std::string raw;
    size_t length = 0;
    LinePasser passer(maker);
    bool passing = text == LongLineText::PassedOn;
    const auto failed = [&](LogFailure::Kind kind, const std::string& reason) {
        maker.result().failedLineInPart = passer.started();
        return maker.fail(kind, number, reason);
    };
    auto take = [&](char* data, size_t size) {
        const std::int64_t at = lineStart + static_cast<std::int64_t>(length);
        if (!repairLinePart(data, size, length))
            return failed(LogFailure::Kind::RepairFailed, RepairFailedReason);
        check.feed(std::string_view(data, size));
        length += size;
        if (text == LongLineText::HeldAWhile)
            raw.append(data, size);
        if (text == LongLineText::HeldAWhile && raw.size() > LongLineHeld) {
            // Too long to hold from a file that cannot be read again: handed on from here.
            text = LongLineText::PassedOn;
            passing = !check.failed();
            if (passing)
                passer.add(raw.data(), raw.size(), false, lineStart);
            std::string().swap(raw);
        } else if (passing) {
            // Nothing more of a line that has failed already.
            passing = !check.failed();
            if (passing)
                passer.add(data, size, false, at);
        }
        return true;
    };
    if (!take(buffer.data(), buffer.size()))
        return false;
    buffer.clear();
    std::string chunk(ReadChunk, '\0');
    // Where the line after it begins (before an LF that comes with the next read).
    std::int64_t next = 0;
    for (;;) {
        if (stopped())
            return false;
        const std::int64_t got = file.read(chunk.data(), chunk.size());
        if (got < 0)
            return failed(LogFailure::Kind::ReadFailed, systemSentence(errno));
        sink.reached(file.offset());
        if (got == 0) {
            atEnd = true;
            next = file.offset();
            break;
        }
        const size_t n = static_cast<size_t>(got);
        const auto* cr = static_cast<const char*>(std::memchr(chunk.data(), '\r', n));
        const size_t end = cr ? static_cast<size_t>(cr - chunk.data()) : n;
        if (!take(chunk.data(), end))
            return false;
        if (cr) {
            size_t after = end + 1;
            if (after < n && chunk[after] == '\n')
                ++after;
            skipLf = after == n;
            buffer.assign(chunk.data() + after, n - after);
            next = file.offset() - static_cast<std::int64_t>(n - after);
            break;
        }
    }
    if (passing)
        passer.add(nullptr, 0, true, lineStart + static_cast<std::int64_t>(length));
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
            if (stopped())
                return false;
            const std::int64_t got = file.read(chunk.data(), std::min(chunk.size(), length - done));
            if (got < 0)
                return failed(LogFailure::Kind::ReadFailed, systemSentence(errno));
            if (got == 0 || !repairLinePart(chunk.data(), static_cast<size_t>(got), done))
                return failed(LogFailure::Kind::ReadFailed, changed);
            again.feed(std::string_view(chunk.data(), static_cast<size_t>(got)));
            if (again.failed())
                return failed(LogFailure::Kind::ReadFailed, changed);
            passer.add(chunk.data(), static_cast<size_t>(got), false, lineStart + static_cast<std::int64_t>(done));
            done += static_cast<size_t>(got);
        }
        passer.add(nullptr, 0, true, lineStart + static_cast<std::int64_t>(length));
        if (again.finish() != ConvertError::None || again.producesText() != check.producesText())
            return failed(LogFailure::Kind::ReadFailed, changed);
        if (!file.seekTo(resume))
            return failed(LogFailure::Kind::ReadFailed, systemSentence(errno));
    }
    maker.addCheckedLine(raw, check.producesText(), text == LongLineText::HeldAWhile, lineStart, next);
    return true;
}

// The bytes of a view as an input.
class ViewBytes : public LogBytes {
public:
    explicit ViewBytes(std::string_view bytes) : m_bytes(bytes) {}
    std::int64_t readAt(std::int64_t offset, char* data, size_t size) const override
    {
        if (offset < 0 || static_cast<std::uint64_t>(offset) >= m_bytes.size())
            return 0;
        const size_t n = std::min(size, m_bytes.size() - static_cast<size_t>(offset));
        std::memcpy(data, m_bytes.data() + offset, n);
        return static_cast<std::int64_t>(n);
    }

private:
    std::string_view m_bytes;
};

} // namespace

const std::string RepairFailedReason = "A character to repair stands beyond position 32767.";

bool repairLogLine(char* data, size_t size)
{
    return repairLinePart(data, size, 0);
}

std::int64_t MemoryBytes::readAt(std::int64_t offset, char* data, size_t size) const
{
    return ViewBytes(m_bytes).readAt(offset, data, size);
}

std::int64_t BytesInput::read(char* data, size_t size)
{
    const std::int64_t want = std::min<std::int64_t>(static_cast<std::int64_t>(size), m_until - m_offset);
    if (want <= 0)
        return 0;
    const std::int64_t got = m_bytes.readAt(m_offset, data, static_cast<size_t>(want));
    if (got > 0)
        m_offset += got;
    return got;
}

bool BytesInput::seekTo(std::int64_t offset)
{
    if (offset < m_from || offset > m_until) {
        errno = EINVAL;
        return false;
    }
    m_offset = offset;
    return true;
}

LogRead scanLog(ScanInput& file, const std::string& path, LogSink& sink, const ScanOptions& options)
{
    LogRead result;
    const LongLineText longText = options.text == ScanText::None ? LongLineText::None
        : options.longLines == LongLines::PassedOn                ? LongLineText::PassedOn
        : file.seekable()                                         ? LongLineText::Reread
                                                                  : LongLineText::HeldAWhile;
    if (!file.isOpen()) {
        result.failure = LogFailure{LogFailure::Kind::CannotOpen, path, 0, file.openFailure()};
        return result;
    }
    result.opened = true;
    try {
        TextMaker maker(result, path, sink, options);
        const size_t readSize = options.text == ScanText::Utf8 ? Utf8ReadChunk : ReadChunk;
        // Its first `filled` bytes are read and not yet used; the rest is room, so that a read
        // does not first clear the room it fills. buffer[0] stands at `offset` of the input.
        std::string buffer;
        size_t filled = 0;
        size_t pos = 0;
        size_t scanned = 0;
        std::int64_t offset = file.offset();
        std::int64_t readBytes = 0;
        bool atEnd = false;
        bool skipLf = false;
        for (;;) {
            char* b = buffer.data();
            const bool fine = maker.takeLines(b, filled, pos, scanned, atEnd, offset);
            maker.flush(!fine);
            if (!fine)
                return result;
            if (atEnd)
                break;
            if (options.stop && options.stop->load(std::memory_order_relaxed)) {
                maker.flush(true);
                result.interrupted = true;
                return result;
            }
            // Keep the unfinished line, read the next chunk behind it.
            std::memmove(b, b + pos, filled - pos);
            filled -= pos;
            scanned -= pos;
            offset += static_cast<std::int64_t>(pos);
            pos = 0;
            if (scanned == filled && filled >= LongLine) {
                buffer.resize(filled);
                const bool lineFine = takeLongLine(maker, file, sink, options.stop, buffer, longText, skipLf, atEnd);
                maker.flush(!lineFine);
                if (!lineFine && atEnd && options.lastLineMayGrow && result.failure
                    && result.failure->kind != LogFailure::Kind::ReadFailed)
                    result.failure.reset();
                if (!lineFine)
                    return result;
                filled = buffer.size();
                offset = file.offset() - static_cast<std::int64_t>(filled);
                scanned = 0;
                readBytes = 1;
                sink.reached(file.offset());
                if (atEnd)
                    break;
                continue;
            }
            // A small file gets a small buffer; one that grows while it is read is read on. A
            // pipe tells no size. A part of a file that runs to its end has the largest offset
            // there is for its end: one more than what remains of it would not fit.
            const std::int64_t remaining = file.seekable() ? file.remaining() : static_cast<std::int64_t>(readSize);
            const size_t want = remaining >= static_cast<std::int64_t>(readSize)
                                    ? readSize
                                    : static_cast<size_t>(std::min<std::int64_t>(
                                          static_cast<std::int64_t>(readSize), std::max<std::int64_t>(remaining + 1, 4096)));
            if (buffer.size() < filled + want)
                buffer.resize(filled + want);
            const size_t kept = filled;
            const std::int64_t got = file.read(buffer.data() + kept, want);
            if (got < 0) {
                maker.fail(LogFailure::Kind::ReadFailed, result.lines + 1, systemSentence(errno));
                maker.flush(true);
                return result;
            }
            filled += static_cast<size_t>(got);
            readBytes += got;
            if (skipLf && got > 0) {
                // The LF of a long line's CR LF came with this read.
                if (buffer[kept] == '\n') {
                    std::memmove(buffer.data() + kept, buffer.data() + kept + 1, filled - kept - 1);
                    --filled;
                    ++offset;
                }
                skipLf = false;
            }
            atEnd = got == 0;
            sink.reached(file.offset());
        }
        if (pos < filled) {
            const bool fine = maker.addLine(buffer.data() + pos, filled - pos, offset + static_cast<std::int64_t>(pos),
                                            offset + static_cast<std::int64_t>(filled));
            if (!fine && options.lastLineMayGrow)
                result.failure.reset();
        } else if (readBytes == 0 && !options.lastLineMayGrow) {
            maker.fail(LogFailure::Kind::Empty, 0, {});
        }
        maker.flush(true);
    } catch (const std::bad_alloc&) {
        // Nothing of the log is shown: the display stays as it was.
        const std::int64_t line = result.lines + 1;
        result = LogRead{};
        result.failure = LogFailure{LogFailure::Kind::OutOfMemory, path, line, {}};
    }
    return result;
}

LogRead scanLog(std::string_view bytes, const std::string& name, LogSink& sink, const ScanOptions& options)
{
    // The plain way through: the whole input at once, each line through the converter on its
    // own, however long. The chunked reading of files is checked against it.
    LogRead result;
    result.opened = true;
    try {
        TextMaker maker(result, name, sink, options);
        if (bytes.empty()) {
            maker.fail(LogFailure::Kind::Empty, 0, {});
            return result;
        }
        std::string buffer(bytes);
        char* b = buffer.data();
        const size_t n = buffer.size();
        size_t pos = 0;
        while (pos < n) {
            const auto* cr = static_cast<const char*>(std::memchr(b + pos, '\r', n - pos));
            const size_t end = cr ? static_cast<size_t>(cr - b) : n;
            size_t next = end + 1;
            if (cr && next < n && b[next] == '\n')
                ++next;
            const bool fine = maker.addLine(b + pos, end - pos, options.from.offset + static_cast<std::int64_t>(pos),
                                            options.from.offset + static_cast<std::int64_t>(std::min(next, n)));
            maker.flush(!fine);
            if (!fine)
                return result;
            pos = next;
        }
        maker.flush(true);
    } catch (const std::bad_alloc&) {
        const std::int64_t line = result.lines + 1;
        result = LogRead{};
        result.failure = LogFailure{LogFailure::Kind::OutOfMemory, name, line, {}};
    }
    return result;
}

} // namespace vrx
