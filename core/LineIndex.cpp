#include "core/LineIndex.h"

#include <utility>

namespace vrx {

LineIndex::LineIndex() : m_notice(std::make_shared<ChangeNotice>()) {}

ScanOptions LineIndex::scanOptions(const std::atomic<bool>* stop)
{
    ScanOptions options;
    // The lines are counted in characters of their Windows-1252 text, which is not made.
    options.text = ScanText::Lengths;
    options.pieceSize = 0;
    // A long line's parts are told as they are read, so that the display lines in it (a log whose
    // CR LF became LF alone is one log line) show at once and the file is read once. Should the
    // line fail after all, what it added is taken back (settle), and no line of it is counted.
    options.longLines = LongLines::PassedOn;
    options.stop = stop;
    return options;
}

void LineIndex::begin(std::int64_t source, bool started, bool inLine)
{
    if (m_lines > 0)
        ++m_characters; // the line end, one character in the joined lines
    m_lastStart = m_characters;
    if (m_lines % DisplayLines::LinesPerBlock == 0) {
        const std::lock_guard<std::mutex> lock(m_mutex);
        m_blocks.push_back({source, m_lines, m_characters, started, inLine});
    }
    ++m_lines;
}

void LineIndex::line(const ScannedLine& l)
{
    if (l.first) {
        // Only this thread changes the blocks: their number is read without the lock.
        m_before = {m_lines, m_characters, m_lastStart, m_blocks.size()};
        m_open = true;
        m_lineOffset = l.offset;
        m_lastNumber = l.number - 1;
        m_lastSeparated = l.separated;
        // Behind CR LF a log line begins a display line of its own, also when it is empty;
        // before the display has text, only a line that makes some does.
        m_lineBegun = l.separated;
        if (l.separated)
            begin(l.offset, true, false);
    }
    if (l.characters > 0) {
        if (!m_lineBegun) {
            begin(m_lineOffset, false, false);
            m_lineBegun = true;
        }
        // Each line feed of the text begins a display line, after the line feed of the bytes
        // it stands for.
        std::uint64_t from = 0;
        size_t rawFrom = 0;
        for (const std::uint64_t lineFeed : l.lineFeeds) {
            m_characters += lineFeed - from;
            const size_t rawLineFeed = l.raw.find('\n', rawFrom);
            begin(l.offset + static_cast<std::int64_t>(rawLineFeed) + 1, true, true);
            from = lineFeed + 1;
            rawFrom = rawLineFeed + 1;
        }
        m_characters += l.characters - from;
    }
    if (l.last) {
        m_open = false;
        m_next = l.next;
        m_lastEnd = l.offset + static_cast<std::int64_t>(l.raw.size());
        m_haveLast = true;
    }
}

size_t LineIndex::blocksFound() const
{
    const std::lock_guard<std::mutex> lock(m_mutex);
    return m_blocks.size();
}

DisplayLines LineIndex::linesSoFar(LogSnapshot log) const
{
    DisplayLines lines;
    const std::lock_guard<std::mutex> lock(m_mutex);
    // Whole blocks only: the last one's end is where the one being found begins.
    if (m_blocks.size() < 2)
        return lines;
    lines.m_log = std::move(log);
    lines.m_blocks = std::make_shared<const std::vector<Block>>(m_blocks.begin(), m_blocks.end() - 1);
    lines.m_end = m_blocks.back();
    lines.m_more = true;
    lines.m_count = static_cast<size_t>(lines.m_end.firstLine);
    lines.m_characters = lines.m_end.firstCharacter - 1;
    lines.m_notice = m_notice;
    return lines;
}

void LineIndex::settle()
{
    if (!m_open)
        return;
    // A line that did not end (it failed, or the scan stopped) adds no line.
    m_lines = m_before.lines;
    m_characters = m_before.characters;
    m_lastStart = m_before.lastStart;
    m_blocks.resize(m_before.blocks);
    m_open = false;
}

void LineIndex::append(LineIndex&& later, std::int64_t logLines)
{
    later.settle();
    const std::lock_guard<std::mutex> lock(m_mutex);
    settle();
    if (later.m_lines == 0)
        return;
    // The later scan's first line stood behind CR LF: it begins a display line of its own, one
    // character (the line end) after this index's last.
    const std::uint64_t lines = m_lines;
    const std::uint64_t characters = m_characters + 1;
    const size_t blocks = m_blocks.size();
    m_blocks.reserve(m_blocks.size() + later.m_blocks.size());
    for (Block block : later.m_blocks) {
        block.firstLine += lines;
        block.firstCharacter += characters;
        m_blocks.push_back(block);
    }
    // What the later scan's last line would take back, counted here.
    if (later.m_before.lines > 0)
        m_before = {lines + later.m_before.lines, characters + later.m_before.characters,
                    characters + later.m_before.lastStart, blocks + later.m_before.blocks};
    else
        m_before = {m_lines, m_characters, m_lastStart, blocks};
    m_lines += later.m_lines;
    m_characters = characters + later.m_characters;
    m_lastStart = characters + later.m_lastStart;
    m_next = later.m_next;
    m_lineOffset = later.m_lineOffset;
    m_haveLast = later.m_haveLast;
    m_lastNumber = later.m_lastNumber + logLines;
    m_lastSeparated = later.m_lastSeparated;
    m_lastEnd = later.m_lastEnd;
}

ScanPoint LineIndex::reopen()
{
    const std::lock_guard<std::mutex> lock(m_mutex);
    settle();
    if (!m_haveLast)
        return {m_next, 0, m_lines > 0, false};
    if (m_next - m_lastEnd == 2)
        return {m_next, m_lastNumber + 1, true, false};   // behind a whole CR LF
    m_lines = m_before.lines;
    m_characters = m_before.characters;
    m_lastStart = m_before.lastStart;
    m_blocks.resize(m_before.blocks);
    m_next = m_lineOffset;
    m_haveLast = false;
    return {m_lineOffset, m_lastNumber, m_lastSeparated, false};
}

DisplayLines LineIndex::finish(LogSnapshot log)
{
    const std::lock_guard<std::mutex> lock(m_mutex);
    settle();
    DisplayLines lines;
    std::uint64_t count = m_lines;
    std::uint64_t characters = m_characters;
    // A text that ends with a line end has no line after it, nor a block.
    bool endsWithLineEnd = false;
    if (count >= 2 && characters == m_lastStart) {
        --count;
        --characters;
        endsWithLineEnd = true;
    }
    size_t blocks = m_blocks.size();
    while (blocks > 0 && m_blocks[blocks - 1].firstLine >= count)
        --blocks;
    lines.m_log = std::move(log);
    // A copy: the index reads on should the log grow.
    lines.m_blocks = std::make_shared<const std::vector<Block>>(m_blocks.begin(), m_blocks.begin() + std::ptrdiff_t(blocks));
    lines.m_end = {m_next, count, characters + 1, true, false};
    lines.m_count = static_cast<size_t>(count);
    lines.m_characters = count > 0 ? characters : 0;
    lines.m_endsWithLineEnd = endsWithLineEnd;
    lines.m_notice = m_notice;
    return lines;
}

} // namespace vrx
