#pragma once
// The lines of a display text, found once and shared by the screen, the printer and vrxlog.
// A line ends at LF; the CR of a CR LF pair is not part of it; a text that ends with LF has no
// empty line after it. A lone LF (kept inside a log line by the reader) ends a line as well,
// so that a line on paper is a line on the screen.

#include "core/LogScanner.h"
#include "core/LogSnapshot.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <memory>
#include <cstdint>
#include <cstddef>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace vrx {

// How a line ended: by CR LF, by a lone LF, or by the end of the text.
enum class LineEnd : unsigned char { None, CrLf, Lf };

template <class Char>
struct BasicLineAt {
    std::basic_string_view<Char> text;
    LineEnd end;
    size_t next;   // where the line after it begins
};

// The line that begins at from (below the text's size).
template <class Char>
BasicLineAt<Char> lineAt(std::basic_string_view<Char> text, size_t from)
{
    const size_t lineFeed = text.find(Char('\n'), from);
    if (lineFeed == std::basic_string_view<Char>::npos)
        return {text.substr(from), LineEnd::None, text.size()};
    if (lineFeed > from && text[lineFeed - 1] == Char('\r'))
        return {text.substr(from, lineFeed - 1 - from), LineEnd::CrLf, lineFeed + 1};
    return {text.substr(from, lineFeed - from), LineEnd::Lf, lineFeed + 1};
}

// Cuts a text handed over in pieces into the same lines, calling line(text, end) for each as
// soon as it is complete. A line cut by a piece boundary is kept until its end, but only its
// first `keep` characters (and the one after, which may be the CR of its CR LF): so a reader of
// a text of any size, whatever its longest line, needs little memory.
template <class Char>
class BasicLineSplitter {
public:
    using View = std::basic_string_view<Char>;
    explicit BasicLineSplitter(size_t keep = std::basic_string<Char>::npos - 1) : m_keep(keep) {}

    template <class Line>
    void add(View piece, Line&& line)
    {
        size_t at = 0;
        while (at < piece.size()) {
            const BasicLineAt<Char> found = lineAt(piece, at);
            if (found.end != LineEnd::None && !m_open) {
                // A whole line inside the piece: handed on where it stands.
                line(found.text.substr(0, std::min(found.text.size(), m_keep)), found.end);
            } else {
                // The part up to the LF, or the rest of the piece; its CR stays in it for now.
                const View part = piece.substr(at, (found.end == LineEnd::None ? piece.size() : found.next - 1) - at);
                if (m_kept.size() <= m_keep)
                    m_kept.append(part.substr(0, std::min(part.size(), m_keep + 1 - m_kept.size())));
                if (!part.empty())
                    m_lastWasCr = part.back() == Char('\r');
                m_open = m_open || !part.empty();
                if (found.end != LineEnd::None)
                    endLine(true, line);
            }
            at = found.next;
        }
    }

    // The last line, when the text does not end with LF.
    template <class Line>
    void finish(Line&& line)
    {
        if (m_open)
            endLine(false, line);
    }

private:
    template <class Line>
    void endLine(bool atLineFeed, Line& line)
    {
        const bool crLf = atLineFeed && m_lastWasCr;
        if (crLf && m_kept.size() <= m_keep)
            m_kept.pop_back();
        if (m_kept.size() > m_keep)
            m_kept.resize(m_keep);
        line(View(m_kept), crLf ? LineEnd::CrLf : atLineFeed ? LineEnd::Lf : LineEnd::None);
        m_kept.clear();
        m_lastWasCr = false;
        m_open = false;
    }

    size_t m_keep;
    std::basic_string<Char> m_kept;
    bool m_lastWasCr = false;
    bool m_open = false;   // characters of a line not yet handed on
};

using LineSplitter = BasicLineSplitter<char>;

// Shared by a log's lines and every copy of them: whether a part read again no longer read as
// it did when its lines were found, and whom to tell, once, when that is first seen (from
// whichever thread saw it).
class ChangeNotice {
public:
    bool changed() const { return m_changed.load(); }
    void markChanged();
    void setListener(std::function<void()> listener);

private:
    std::atomic<bool> m_changed{false};
    std::mutex m_mutex;
    std::function<void()> m_listener;
};

// The lines of a display text, served a run at a time without going through the text before
// them, at the same cost a line however the log's lines end. The window holds its log this
// way: as an index of where each block of lines begins in the log's bytes (held, or on disk
// and checked against the sums taken when they were read: LogSnapshot.h), with the display made
// from them a block at a time when it is asked for; a few bytes a line, however large the log.
// A display text given as such is held as it is.
//
// Places in the text are also counted in characters of the lines joined by one character each
// (as a text box shows them): the offset of a line is where it begins in that text.
//
// A copy shares the index and the bytes, and has a few blocks of its own at hand: one copy for
// each thread that reads the lines.
class DisplayLines {
public:
    DisplayLines() = default;
    // A display text in Windows-1252, lines joined by CR LF, as the reader gives it.
    explicit DisplayLines(std::string text);

    // Reads a log held in memory the way the window reads a file, with the same failures and
    // the same lines as readLog (the result's text stays empty); the name only for a failure.
    static DisplayLines fromLog(std::string bytes, LogRead& result, const std::string& fileName = {});

    size_t count() const { return m_count; }
    bool empty() const { return m_count == 0; }
    // Whether the text ends with a line end (after which it has no line).
    bool endsWithLineEnd() const { return m_endsWithLineEnd; }
    // Characters of the lines joined by one character each.
    std::uint64_t characters() const { return m_characters; }
    // Where a line begins in those characters; for count() one past the end.
    std::uint64_t lineOffset(size_t line) const;
    // The line that holds a character offset (the last line for the end and beyond).
    size_t lineAtOffset(std::uint64_t offset) const;
    // A line's text; it stays valid until the next call of line() on this object.
    std::string_view line(size_t line) const;

    // Whether every part of the log read again read as it did when its lines were found. A part
    // that does not (the file changed on disk, or cannot be read any more) shows as empty lines,
    // so that a text is never a mix of the old and the new; from then on this stays false, for
    // every copy, and whoever listens is told (once). A reader that hands text on (a copy, a
    // printout, a search) asks this after making it, and hands on nothing when it is false.
    bool intact() const { return !m_notice || !m_notice->changed(); }
    // Whom to tell when a part is first found changed; called on the thread that found it.
    void onChange(std::function<void()> listener) const
    {
        if (m_notice)
            m_notice->setListener(std::move(listener));
    }

    // Calls line(text, end, offset) for the lines from first on (0-based), offset being where
    // the line begins, until it returns false. Runs of lines are converted once on the way.
    template <class Line>
    void forEachFrom(size_t first, Line&& line) const
    {
        bool more = true;
        forEachRun(first, m_count, [&](std::string_view text, size_t number, std::uint64_t offset, size_t) {
            for (size_t at = 0; at < text.size() && more; ++number) {
                const BasicLineAt<char> found = lineAt(text, at);
                at = found.next;
                if (number >= first)
                    more = line(found.text, found.end, offset);
                offset += found.text.size() + 1;
            }
            return more;
        });
    }

    // Calls run(text, firstLine, firstCharacter, endLine) for the text of runs of lines, from
    // the run that holds line `first` to the one that holds line end - 1, until it returns
    // false: the lines firstLine to endLine - 1 with their line ends (CR LF, or LF inside a log
    // line) as the display text has them, the first of them beginning at firstCharacter. For a
    // reader that goes through the text itself (a search), without a call for every line.
    template <class Run>
    void forEachRun(size_t first, size_t end, Run&& run) const
    {
        std::string scratch;
        end = std::min(end, m_count);
        if (first >= end)
            return;
        const size_t until = blockOf(end - 1) + 1;
        for (size_t b = blockOf(first); b < until;) {
            size_t blocks = 0;
            const std::string_view text = runText(b, scratch, blocks, until);
            const size_t endLine = b + blocks < blockCount() ? size_t(block(b + blocks).firstLine) : m_count;
            if (!run(text, size_t(block(b).firstLine), block(b).firstCharacter, endLine))
                return;
            b += blocks;
        }
    }

    // Calls line(text, end) for every line, in order, with no more than its first `keep`
    // characters, until it returns false. The log is converted in pieces as it goes, so memory
    // stays small whatever the length of a line (a printout keeps what reaches the paper).
    // Lines that no longer read as they did end it, as intact() then says.
    void forEachCut(size_t keep, const std::function<bool(std::string_view text, LineEnd end)>& line) const;

    // Calls line(text, end) for count lines from first on (0-based), fewer at the end.
    template <class Line>
    void forEach(size_t first, size_t count, Line&& line) const
    {
        if (count == 0)
            return;
        forEachFrom(first, [&count, &line](std::string_view text, LineEnd end, std::uint64_t) {
            line(text, end);
            return --count > 0;
        });
    }

    template <class Line>
    void forEach(Line&& line) const { forEach(0, m_count, line); }

    // The first line of the run of lines that is converted with this one: a reader going
    // backwards a run at a time, from here, converts no run twice.
    size_t runStart(size_t line) const { return blockCount() == 0 ? 0 : block(blockOf(line)).firstLine; }

    // The whole display text, lines joined by CR LF, as the reader gives it.
    std::string text() const;

    // A run of LinesPerBlock display lines, the last one fewer. A log's block may begin inside
    // a log line, after a line feed the line holds: a log whose CR LF became LF alone is one
    // log line, and its display lines are found in runs all the same.
    struct Block {
        std::int64_t source = 0;           // where its first line begins in the bytes
        std::uint64_t firstLine = 0;       // its first display line
        std::uint64_t firstCharacter = 0;  // where that line begins
        bool started = false;              // a log: the display had text before it
        bool inLine = false;               // a log: it begins after a line feed inside a log line
    };
    static constexpr size_t LinesPerBlock = 256;

private:
    friend class LineIndex;

    size_t blockCount() const { return m_blocks ? m_blocks->size() : 0; }
    const Block& block(size_t b) const { return (*m_blocks)[b]; }
    // The block that holds a line (the last one for lines past the end).
    size_t blockOf(size_t line) const;
    // Where the block after b begins: the next block, or the end of the lines' bytes.
    const Block& after(size_t b) const { return b + 1 < blockCount() ? block(b + 1) : m_end; }
    // Its display text: the lines with their ends, up to where the next block's first line
    // begins; in scratch when it had to be converted or was converted lately.
    std::string_view blockText(size_t block, std::string& scratch) const;
    // The text of a run of blocks from b on (before block `until`), as long as they are
    // converted at once: how many in `blocks`.
    std::string_view runText(size_t b, std::string& scratch, size_t& blocks, size_t until = size_t(-1)) const;
    // The log's bytes [from, until) read again: held, or from the file and checked against the
    // sums taken when they were first read (`checked` then tells whether they still are).
    std::unique_ptr<ScanInput> bytesAgain(std::int64_t from, std::int64_t until, const CheckedInput*& checked) const;
    // Converts the log's lines of blocks [b, end) into out; false when they do not read as
    // they did.
    bool convertBlocks(size_t b, size_t end, std::string& out) const;

    // A block of lines converted lately, with where its lines begin.
    struct Cached {
        size_t block = size_t(-1);
        std::string text;
        std::vector<size_t> starts;      // byte offsets of its lines in text
        std::vector<std::uint64_t> offsets; // character offsets of its lines from the block's
    };
    const Cached& cached(size_t block) const;

    std::shared_ptr<const std::string> m_text;   // a display text held as such
    LogSnapshot m_log;                           // or a log's bytes
    std::shared_ptr<const std::vector<Block>> m_blocks;
    Block m_end;               // where the lines' bytes end, as the block after the last
    bool m_more = false;       // more lines follow the last block (lines found so far)
    std::shared_ptr<ChangeNotice> m_notice;
    size_t m_count = 0;
    std::uint64_t m_characters = 0;
    bool m_endsWithLineEnd = false;
    mutable std::array<Cached, 2> m_cache;
    mutable size_t m_lastCached = 0;
};

} // namespace vrx
