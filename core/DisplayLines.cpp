#include "core/DisplayLines.h"

#include "core/ConvertLogLine.h"
#include "core/RegularFile.h"

#include <cerrno>
#include <cstring>
#include <new>
#include <utility>

namespace vrx {

namespace {

const std::string_view Separator = "\r\n";

// Lines longer than this are checked and measured in parts rather than converted whole, so
// that a huge line is not held a second time as its display text.
constexpr size_t LongLine = 4 << 20;

// A line of the log in its bytes: [begin, end), and where the line after it begins.
struct RawLine {
    size_t begin;
    size_t end;
    size_t next;
};

// CR LF or a lone CR end a log line; a lone LF stays in it.
RawLine rawLineAt(std::string_view bytes, size_t from)
{
    const auto* cr = static_cast<const char*>(std::memchr(bytes.data() + from, '\r', bytes.size() - from));
    if (!cr)
        return {from, bytes.size(), bytes.size()};
    const size_t end = static_cast<size_t>(cr - bytes.data());
    const size_t next = end + 1 < bytes.size() && bytes[end + 1] == '\n' ? end + 2 : end + 1;
    return {from, end, next};
}

// What a line gives on the display: its length and its line feeds.
struct Measure {
    size_t length = 0;
    size_t lineFeeds = 0;
    bool lastIsLineFeed = false;
};

constexpr size_t Piece = 1 << 20;

// Converts a line that has passed its check: whole, or in parts when it is long.
void appendChecked(std::string& out, std::string_view line, std::string& scratch)
{
    if (line.size() <= LongLine)
        appendConvertedLine(out, {}, line);
    else
        convertCheckedLine(line, Piece, scratch, [&out](std::string_view part) { out.append(part); });
}

Measure measure(std::string_view converted)
{
    Measure m;
    m.length = converted.size();
    for (const char c : converted)
        m.lineFeeds += c == '\n';
    m.lastIsLineFeed = !converted.empty() && converted.back() == '\n';
    return m;
}

} // namespace

DisplayLines::DisplayLines(std::string text) : m_source(std::move(text))
{
    const std::string_view view = m_source;
    std::uint64_t characters = 0;
    for (size_t at = 0; at < view.size();) {
        const BasicLineAt<char> found = lineAt(view, at);
        if (m_count % LinesPerBlock == 0)
            m_blocks.push_back({at, m_count, characters, false});
        characters += found.text.size() + 1;
        ++m_count;
        at = found.next;
    }
    m_characters = m_count > 0 ? characters - 1 : 0;
    m_endsWithLineEnd = !view.empty() && view.back() == '\n';
}

DisplayLines DisplayLines::fromLog(std::string bytes, LogRead& result, const std::string& fileName)
{
    result.opened = true;
    DisplayLines lines;
    lines.m_log = true;
    auto fail = [&](LogFailure::Kind kind, std::int64_t line, std::string reason) {
        result.failure = LogFailure{kind, fileName, line, std::move(reason)};
    };
    if (bytes.empty()) {
        fail(LogFailure::Kind::Empty, 0, {});
        return lines;
    }

    // The display text is counted as it would be built: each line behind CR LF once the
    // display has text, so that empty lines at the start leave no trace.
    bool started = false;
    std::uint64_t textBytes = 0;   // of the display text so far
    std::uint64_t separators = 0;  // CR LF pairs in it
    std::uint64_t lineFeeds = 0;   // all its LFs
    bool endsWithLineFeed = false;
    std::string scratch;
    size_t at = 0;
    std::int64_t number = 0;
    while (at < bytes.size()) {
        const RawLine raw = rawLineAt(bytes, at);
        ++number;
        if (static_cast<size_t>(number - 1) % LinesPerBlock == 0) {
            // Its first display line begins after the separator in front of it.
            const std::uint64_t sep = started ? 1 : 0;
            lines.m_blocks.push_back({at, static_cast<size_t>(lineFeeds + sep),
                                      textBytes + 2 * sep - (separators + sep), started});
        }
        char* data = bytes.data() + raw.begin;
        const size_t size = raw.end - raw.begin;
        if (!repairLogLine(data, size)) {
            fail(LogFailure::Kind::RepairFailed, number, RepairFailedReason);
            break;
        }
        const std::string_view line(data, size);
        const long leading = started ? static_cast<long>(Separator.size()) : 0;
        Measure m;
        if (size <= LongLine) {
            scratch.clear();
            const ConvertError error = appendConvertedLine(scratch, started ? Separator : std::string_view(), line);
            if (error != ConvertError::None) {
                fail(LogFailure::Kind::ConvertFailed, number, convertErrorReason(error));
                break;
            }
            m = measure(std::string_view(scratch).substr(started ? Separator.size() : 0));
        } else {
            LineCheck check(leading);
            check.feed(line);
            const ConvertError error = check.finish();
            if (error != ConvertError::None) {
                fail(LogFailure::Kind::ConvertFailed, number, convertErrorReason(error));
                break;
            }
            convertCheckedLine(line, Piece, scratch, [&m](std::string_view part) {
                const Measure p = measure(part);
                m.length += p.length;
                m.lineFeeds += p.lineFeeds;
                if (p.length > 0)
                    m.lastIsLineFeed = p.lastIsLineFeed;
            });
        }
        if (started) {
            textBytes += Separator.size();
            ++separators;
            ++lineFeeds;
            endsWithLineFeed = true;
        }
        textBytes += m.length;
        lineFeeds += m.lineFeeds;
        if (m.length > 0)
            endsWithLineFeed = m.lastIsLineFeed;
        started = started || m.length > 0;
        result.lines = number;
        at = raw.next;
    }
    if (result.failure) {
        // Only the lines before the failing one are held; a block that would begin with it goes.
        bytes.resize(at);
        if (!lines.m_blocks.empty() && lines.m_blocks.back().source >= at)
            lines.m_blocks.pop_back();
    }
    lines.m_source = std::move(bytes);
    if (textBytes > 0) {
        lines.m_count = static_cast<size_t>(lineFeeds + 1 - (endsWithLineFeed ? 1 : 0));
        lines.m_characters = textBytes - separators - (endsWithLineFeed ? 1 : 0);
        lines.m_endsWithLineEnd = endsWithLineFeed;
    }
    return lines;
}

DisplayLines DisplayLines::readLog(const std::string& path, LogRead& result)
{
    result = LogRead{};
    RegularFile file(path);
    if (!file.isOpen()) {
        result.failure = LogFailure{LogFailure::Kind::CannotOpen, path, 0, file.openFailure()};
        return {};
    }
    try {
        std::string bytes;
        // Read whole: the file's size at once, more if it grew meanwhile.
        bytes.resize(static_cast<size_t>(std::max<std::int64_t>(file.size(), 0)) + 1);
        size_t used = 0;
        for (;;) {
            if (used == bytes.size())
                bytes.resize(bytes.size() + (4 << 20));
            const std::int64_t got = file.read(bytes.data() + used, bytes.size() - used);
            if (got < 0) {
                // The lines read whole before the failing read are shown, as a streaming
                // reader would have shown them.
                const int error = errno;
                std::string_view read(bytes.data(), used);
                size_t complete = read.rfind('\r');
                // A CR at the very end might have been followed by its LF.
                while (complete != std::string_view::npos && complete + 1 == read.size())
                    complete = complete == 0 ? std::string_view::npos : read.rfind('\r', complete - 1);
                bytes.resize(complete == std::string_view::npos ? 0 : complete + 1);
                DisplayLines lines = bytes.empty() ? DisplayLines() : fromLog(std::move(bytes), result, path);
                result.opened = true;
                if (!result.failure)
                    result.failure = LogFailure{LogFailure::Kind::ReadFailed, path, result.lines + 1,
                                                systemSentence(error)};
                return lines;
            }
            if (got == 0)
                break;
            used += static_cast<size_t>(got);
        }
        bytes.resize(used);
        return fromLog(std::move(bytes), result, path);
    } catch (const std::bad_alloc&) {
        // Nothing of the log is shown: the display stays as it was.
        const std::int64_t line = result.lines + 1;
        result = LogRead{};
        result.failure = LogFailure{LogFailure::Kind::OutOfMemory, path, line, {}};
        return {};
    }
}

size_t DisplayLines::blockOf(size_t line) const
{
    const auto after = std::upper_bound(m_blocks.begin(), m_blocks.end(), line,
                                        [](size_t l, const Block& b) { return l < b.firstLine; });
    return after == m_blocks.begin() ? 0 : static_cast<size_t>(after - m_blocks.begin()) - 1;
}

std::string_view DisplayLines::blockText(size_t b, std::string& scratch) const
{
    const Block& block = m_blocks[b];
    const size_t end = b + 1 < m_blocks.size() ? m_blocks[b + 1].source : m_source.size();
    const std::string_view source = std::string_view(m_source).substr(block.source, end - block.source);
    if (!m_log)
        return source;
    // The lines of the block as the display shows them, each behind CR LF once the display
    // has text; the CR LF in front of the next block's first line ends the last.
    scratch.clear();
    bool started = block.started;
    std::string converted;
    for (size_t at = 0; at < source.size();) {
        const RawLine raw = rawLineAt(source, at);
        const std::string_view line = source.substr(raw.begin, raw.end - raw.begin);
        if (started && at > 0)
            scratch.append(Separator);
        const size_t before = scratch.size();
        appendChecked(scratch, line, converted);
        started = started || scratch.size() > before;
        at = raw.next;
    }
    if (started && end < m_source.size())
        scratch.append(Separator);
    return scratch;
}

const DisplayLines::Cached& DisplayLines::cached(size_t b) const
{
    for (const Cached& c : m_cache)
        if (c.block == b)
            return c;
    m_lastCached = (m_lastCached + 1) % m_cache.size();
    Cached& c = m_cache[m_lastCached];
    c.block = size_t(-1);
    std::string scratch;
    const std::string_view text = blockText(b, scratch);
    if (text.data() == scratch.data())
        c.text = std::move(scratch);
    else
        c.text.assign(text);
    c.starts.clear();
    c.offsets.clear();
    std::uint64_t offset = 0;
    for (size_t at = 0; at < c.text.size();) {
        const BasicLineAt<char> found = lineAt(std::string_view(c.text), at);
        c.starts.push_back(at);
        c.offsets.push_back(offset);
        offset += found.text.size() + 1;
        at = found.next;
    }
    c.block = b;
    return c;
}

std::string_view DisplayLines::line(size_t index) const
{
    if (index >= m_count)
        return {};
    const size_t b = blockOf(index);
    const Cached& c = cached(b);
    return lineAt(std::string_view(c.text), c.starts[index - m_blocks[b].firstLine]).text;
}

std::uint64_t DisplayLines::lineOffset(size_t index) const
{
    if (index >= m_count)
        return m_characters + (m_count > 0 ? 1 : 0);
    const size_t b = blockOf(index);
    return m_blocks[b].firstCharacter + cached(b).offsets[index - m_blocks[b].firstLine];
}

size_t DisplayLines::lineAtOffset(std::uint64_t offset) const
{
    if (m_count == 0)
        return 0;
    if (offset >= m_characters)
        return m_count - 1;
    // The last block with lines that begins at or before the offset.
    auto after = std::upper_bound(m_blocks.begin(), m_blocks.end(), offset,
                                  [](std::uint64_t o, const Block& b) { return o < b.firstCharacter; });
    size_t b = static_cast<size_t>(after - m_blocks.begin()) - 1;
    while (b > 0 && (b + 1 < m_blocks.size() ? m_blocks[b + 1].firstLine : m_count) == m_blocks[b].firstLine)
        --b;
    const Cached& c = cached(b);
    const auto in = std::upper_bound(c.offsets.begin(), c.offsets.end(), offset - m_blocks[b].firstCharacter);
    return m_blocks[b].firstLine + static_cast<size_t>(in - c.offsets.begin()) - 1;
}

std::string DisplayLines::text() const
{
    if (!m_log)
        return m_source;
    std::string out;
    forEach([&out](std::string_view text, LineEnd end) {
        out.append(text);
        out.append(end == LineEnd::CrLf ? "\r\n" : end == LineEnd::Lf ? "\n" : "");
    });
    return out;
}

} // namespace vrx
