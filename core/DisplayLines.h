#pragma once
// The lines of a display text, found once and shared by the screen, the printer and vrxlog.
// A line ends at LF; the CR of a CR LF pair is not part of it; a text that ends with LF has no
// empty line after it. A lone LF (kept inside a log line by the reader) ends a line as well,
// so that a line on paper is a line on the screen.

#include <algorithm>
#include <cstddef>
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

// A display text in Windows-1252 with its lines found once: the window holds its log this way
// and serves any run of lines without going through the text before them.
class DisplayLines {
public:
    DisplayLines() = default;
    explicit DisplayLines(std::string text);

    const std::string& bytes() const { return m_text; }
    size_t count() const { return m_count; }
    size_t lineFeeds() const { return m_lineFeeds; }

    // Calls line(text, end) for count lines from first on (0-based), fewer at the end.
    template <class Line>
    void forEach(size_t first, size_t count, Line&& line) const
    {
        if (first >= m_count)
            return;
        const std::string_view text = m_text;
        size_t at = m_checkpoints[first / CheckpointStride];
        for (size_t skip = first % CheckpointStride; skip > 0; --skip)
            at = lineAt(text, at).next;
        for (; count > 0 && at < text.size(); --count) {
            const BasicLineAt<char> found = lineAt(text, at);
            line(found.text, found.end);
            at = found.next;
        }
    }

    template <class Line>
    void forEach(Line&& line) const { forEach(0, m_count, line); }

private:
    // Where every 256th line begins: a fraction of a byte per line, and a run of lines is
    // found after at most 255 lines scanned.
    static constexpr size_t CheckpointStride = 256;

    std::string m_text;
    std::vector<size_t> m_checkpoints;
    size_t m_count = 0;
    size_t m_lineFeeds = 0;
};

} // namespace vrx
