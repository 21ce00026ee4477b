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

constexpr size_t Piece = 1 << 20;

// Converts a line that has passed its check: whole, or in parts when it is long.
void appendChecked(std::string& out, std::string_view line, std::string& scratch)
{
    if (line.size() <= LongLine)
        appendConvertedLine(out, {}, line);
    else
        convertCheckedLine(line, Piece, scratch, [&out](std::string_view part) { out.append(part); });
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
    std::vector<Block> inLine;     // blocks that begin inside the line being converted
    size_t at = 0;
    std::int64_t number = 0;
    while (at < bytes.size()) {
        const RawLine raw = rawLineAt(bytes, at);
        ++number;
        char* data = bytes.data() + raw.begin;
        const size_t size = raw.end - raw.begin;
        if (!repairLogLine(data, size)) {
            fail(LogFailure::Kind::RepairFailed, number, RepairFailedReason);
            break;
        }
        const std::string_view line(data, size);
        // Where the line's text begins on the display: after the separator in front of it.
        const std::uint64_t sep = started ? 1 : 0;
        const std::uint64_t firstLine = lineFeeds + sep;
        const std::uint64_t firstCharacter = textBytes + 2 * sep - (separators + sep);

        // Each LF of the converted line begins a display line, and every LinesPerBlock-th a
        // block. It is the log line's own LF (a count character is never one), so the k-th LF
        // converted stands where the k-th LF of the log line does.
        std::uint64_t length = 0;
        std::uint64_t ownLineFeeds = 0;
        bool lastIsLineFeed = false;
        size_t rawFrom = 0;
        inLine.clear();
        const auto converted = [&](std::string_view part) {
            for (size_t i = 0;; ++i) {
                const auto* lf = static_cast<const char*>(std::memchr(part.data() + i, '\n', part.size() - i));
                if (!lf)
                    break;
                i = static_cast<size_t>(lf - part.data());
                ++ownLineFeeds;
                rawFrom = static_cast<size_t>(static_cast<const char*>(std::memchr(line.data() + rawFrom, '\n',
                                                                                  line.size() - rawFrom))
                                              - line.data()) + 1;
                if ((firstLine + ownLineFeeds) % LinesPerBlock == 0)
                    inLine.push_back({raw.begin + rawFrom, static_cast<size_t>(firstLine + ownLineFeeds),
                                      firstCharacter + length + i + 1, true, true});
            }
            length += part.size();
            if (!part.empty())
                lastIsLineFeed = part.back() == '\n';
        };
        if (size <= LongLine) {
            scratch.clear();
            const ConvertError error = appendConvertedLine(scratch, started ? Separator : std::string_view(), line);
            if (error != ConvertError::None) {
                fail(LogFailure::Kind::ConvertFailed, number, convertErrorReason(error));
                break;
            }
            converted(std::string_view(scratch).substr(started ? Separator.size() : 0));
        } else {
            LineCheck check(started ? static_cast<long>(Separator.size()) : 0);
            check.feed(line);
            const ConvertError error = check.finish();
            if (error != ConvertError::None) {
                fail(LogFailure::Kind::ConvertFailed, number, convertErrorReason(error));
                break;
            }
            convertCheckedLine(line, Piece, scratch, converted);
        }
        // A block begins with the line when it begins a display line of its own there.
        if (firstLine % LinesPerBlock == 0 && (started || length > 0))
            lines.m_blocks.push_back({raw.begin, static_cast<size_t>(firstLine), firstCharacter, started, false});
        lines.m_blocks.insert(lines.m_blocks.end(), inLine.begin(), inLine.end());
        if (started) {
            textBytes += Separator.size();
            ++separators;
            ++lineFeeds;
            endsWithLineFeed = true;
        }
        textBytes += length;
        lineFeeds += ownLineFeeds;
        if (length > 0)
            endsWithLineFeed = lastIsLineFeed;
        started = started || length > 0;
        result.lines = number;
        at = raw.next;
    }
    // Only the lines before a failing one are held.
    if (result.failure)
        bytes.resize(at);
    lines.m_source = std::move(bytes);
    if (textBytes > 0) {
        lines.m_count = static_cast<size_t>(lineFeeds + 1 - (endsWithLineFeed ? 1 : 0));
        lines.m_characters = textBytes - separators - (endsWithLineFeed ? 1 : 0);
        lines.m_endsWithLineEnd = endsWithLineFeed;
    }
    // A text that ends with LF has no line after it, nor a block.
    while (!lines.m_blocks.empty() && lines.m_blocks.back().firstLine >= lines.m_count)
        lines.m_blocks.pop_back();
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
    const bool last = b + 1 == m_blocks.size();
    const size_t end = last ? m_source.size() : m_blocks[b + 1].source;
    const std::string_view source = std::string_view(m_source).substr(block.source, end - block.source);
    if (!m_log)
        return source;
    for (const Cached& c : m_cache) {
        if (c.block == b) {
            // A copy, which a later call of line() cannot change under the caller.
            scratch.assign(c.text);
            return scratch;
        }
    }
    // The lines of the block as the display shows them, each behind CR LF once the display
    // has text; the CR LF in front of the next block's first line ends the last, unless that
    // block begins after a LF inside a log line, which then ends it.
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
    if (started && !last && !m_blocks[b + 1].inLine)
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
    if (index == m_blocks[b].firstLine)
        return m_blocks[b].firstCharacter;
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
