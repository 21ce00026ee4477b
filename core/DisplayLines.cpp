#include "core/DisplayLines.h"

#include "core/ByteScan.h"
#include "core/LineIndex.h"

#include <algorithm>
#include <new>
#include <utility>

namespace vrx {

namespace {

const std::string_view Separator = "\r\n";

// Bytes of a log converted at once by a reader that goes through many lines in order.
constexpr std::int64_t RunBytes = 256 << 10;

// Collects the text a scan makes.
class Collected : public LogSink {
public:
    explicit Collected(std::string& out) : m_out(out) {}
    void text(std::string_view piece) override { m_out.append(piece); }

private:
    std::string& m_out;
};

} // namespace

void ChangeNotice::markChanged()
{
    if (m_changed.exchange(true))
        return;
    std::function<void()> listener;
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        listener = m_listener;
    }
    if (listener)
        listener();
}

void ChangeNotice::setListener(std::function<void()> listener)
{
    const std::lock_guard<std::mutex> lock(m_mutex);
    m_listener = std::move(listener);
}

DisplayLines::DisplayLines(std::string text) : m_text(std::make_shared<const std::string>(std::move(text)))
{
    const std::string_view view = *m_text;
    auto blocks = std::make_shared<std::vector<Block>>();
    std::uint64_t characters = 0;
    for (size_t at = 0; at < view.size();) {
        const BasicLineAt<char> found = lineAt(view, at);
        if (m_count % LinesPerBlock == 0)
            blocks->push_back({static_cast<std::int64_t>(at), m_count, characters, false, false});
        characters += found.text.size() + 1;
        ++m_count;
        at = found.next;
    }
    m_characters = m_count > 0 ? characters - 1 : 0;
    m_endsWithLineEnd = !view.empty() && view.back() == '\n';
    m_end = {static_cast<std::int64_t>(view.size()), m_count, characters, true, false};
    m_blocks = std::move(blocks);
}

DisplayLines DisplayLines::fromLog(std::string bytes, LogRead& result, const std::string& fileName)
{
    const auto source = std::make_shared<const MemoryBytes>(std::move(bytes));
    const std::int64_t size = static_cast<std::int64_t>(source->bytes().size());
    BytesInput input(*source, 0, size);
    LineIndex index;
    result = scanLog(input, fileName, index, LineIndex::scanOptions());
    // A log that cannot be held shows nothing, as after any failure to open one.
    if (!result.opened)
        return {};
    return index.finish({source, nullptr});
}

size_t DisplayLines::blockOf(size_t line) const
{
    if (blockCount() == 0)
        return 0;
    const auto after = std::upper_bound(m_blocks->begin(), m_blocks->end(), std::uint64_t(line),
                                        [](std::uint64_t l, const Block& b) { return l < b.firstLine; });
    return after == m_blocks->begin() ? 0 : static_cast<size_t>(after - m_blocks->begin()) - 1;
}

std::unique_ptr<ScanInput> DisplayLines::bytesAgain(std::int64_t from, std::int64_t until,
                                                    const CheckedInput*& checked) const
{
    checked = nullptr;
    if (!m_log.sums)
        return std::make_unique<BytesInput>(*m_log.bytes, from, until);
    auto checking = std::make_unique<CheckedInput>(*m_log.bytes, *m_log.sums, from, until);
    checked = checking.get();
    return checking;
}

bool DisplayLines::convertBlocks(size_t b, size_t end, std::string& out) const
{
    const Block& first = block(b);
    const Block& next = after(end - 1);
    const bool more = end < blockCount() || m_more;
    out.clear();
    // The block's first line goes without the CR LF in front, which ends the block before.
    const CheckedInput* checked = nullptr;
    const std::unique_ptr<ScanInput> input = bytesAgain(first.source, next.source, checked);
    Collected sink(out);
    ScanOptions options;
    options.text = ScanText::Windows1252;
    options.pieceSize = 64 << 10;
    // The lines were checked when they were found.
    options.longLines = LongLines::PassedOn;
    options.from = {first.source, 0, first.started, first.started || first.inLine};
    const LogRead read = scanLog(*input, {}, sink, options);
    // Memory running out is no change of the log: the reader that asked is told.
    if (read.failure && read.failure->kind == LogFailure::Kind::OutOfMemory)
        throw std::bad_alloc();
    // The CR LF in front of the next block's first line ends the last, unless that block begins
    // after a LF inside a log line, which then ends it.
    if (more && !next.inLine)
        out.append(Separator);

    // The lines must be those found before: as many, as long. Every CR of the text is that of a
    // CR LF line end, and each line end counts one character of the joined lines.
    const std::uint64_t lines = (more ? next.firstLine : m_count) - first.firstLine;
    const std::uint64_t characters = (more ? next.firstCharacter : m_characters + 1) - first.firstCharacter;
    size_t lineFeeds = 0;
    size_t carriageReturns = 0;
    scan::countTwo(reinterpret_cast<const unsigned char*>(out.data()), out.size(), '\n', '\r', lineFeeds,
                   carriageReturns);
    const std::uint64_t foundLines = lineFeeds + (!out.empty() && out.back() != '\n' ? 1 : 0);
    const std::uint64_t foundCharacters = out.size() - carriageReturns - lineFeeds + foundLines;
    if (read.ok() && foundLines == lines && foundCharacters == characters && !(checked && checked->changed()))
        return true;
    if (m_notice)
        m_notice->markChanged();
    // As many empty lines: nothing of what the bytes say now.
    out.clear();
    for (std::uint64_t i = 1; i < lines; ++i)
        out.append(Separator);
    if (more)
        out.append(next.inLine ? "\n" : "\r\n");
    else if (m_endsWithLineEnd)
        out.append(Separator);
    return false;
}

std::string_view DisplayLines::blockText(size_t b, std::string& scratch) const
{
    if (m_text) {
        const std::int64_t from = block(b).source;
        return std::string_view(*m_text).substr(static_cast<size_t>(from), static_cast<size_t>(after(b).source - from));
    }
    for (const Cached& c : m_cache) {
        if (c.block == b) {
            // A copy, which a later call of line() cannot change under the caller.
            scratch.assign(c.text);
            return scratch;
        }
    }
    convertBlocks(b, b + 1, scratch);
    return scratch;
}

std::string_view DisplayLines::runText(size_t b, std::string& scratch, size_t& blocks, size_t until) const
{
    until = std::min(until, blockCount());
    if (m_text) {
        blocks = until - b;
        const std::int64_t from = block(b).source;
        return std::string_view(*m_text).substr(static_cast<size_t>(from), static_cast<size_t>(after(until - 1).source - from));
    }
    size_t end = b + 1;
    bool cachedHere = false;
    for (const Cached& c : m_cache)
        cachedHere = cachedHere || c.block == b;
    if (!cachedHere) {
        // Blocks in order, as many as make a read of a good size.
        while (end < until && after(end).source - block(b).source <= RunBytes)
            ++end;
    }
    blocks = end - b;
    if (end == b + 1)
        return blockText(b, scratch);
    convertBlocks(b, end, scratch);
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
    if (c.starts.empty()) {
        // An empty text is one empty line (a block that no longer reads as it did).
        c.starts.push_back(0);
        c.offsets.push_back(0);
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
    const size_t in = index - static_cast<size_t>(block(b).firstLine);
    return in < c.starts.size() ? lineAt(std::string_view(c.text), c.starts[in]).text : std::string_view();
}

std::uint64_t DisplayLines::lineOffset(size_t index) const
{
    if (index >= m_count)
        return m_characters + (m_count > 0 ? 1 : 0);
    const size_t b = blockOf(index);
    if (index == block(b).firstLine)
        return block(b).firstCharacter;
    const Cached& c = cached(b);
    const size_t in = index - static_cast<size_t>(block(b).firstLine);
    return block(b).firstCharacter + (in < c.offsets.size() ? c.offsets[in] : c.offsets.back());
}

size_t DisplayLines::lineAtOffset(std::uint64_t offset) const
{
    if (m_count == 0)
        return 0;
    if (offset >= m_characters)
        return m_count - 1;
    // The last block that begins at or before the offset.
    auto after = std::upper_bound(m_blocks->begin(), m_blocks->end(), offset,
                                  [](std::uint64_t o, const Block& b) { return o < b.firstCharacter; });
    const size_t b = static_cast<size_t>(after - m_blocks->begin()) - 1;
    const Cached& c = cached(b);
    const auto in = std::upper_bound(c.offsets.begin(), c.offsets.end(), offset - block(b).firstCharacter);
    const size_t line = static_cast<size_t>(block(b).firstLine) + static_cast<size_t>(in - c.offsets.begin()) - 1;
    return std::min(line, m_count - 1);
}

void DisplayLines::forEachCut(size_t keep, const std::function<bool(std::string_view, LineEnd)>& line) const
{
    if (m_count == 0)
        return;
    LineSplitter splitter(keep);
    size_t told = 0;
    bool more = true;
    const auto take = [&](std::string_view text, LineEnd end) {
        if (more && told < m_count) {
            ++told;
            more = line(text, end);
        }
    };
    if (m_text) {
        splitter.add(std::string_view(*m_text), take);
        splitter.finish(take);
        return;
    }
    // The lines' bytes as one reading, from the first block to where the last line ends, the
    // text cut into lines as it comes; the reading stops between its chunks once the caller
    // wants no more.
    std::atomic<bool> stop{false};
    class Split : public LogSink {
    public:
        Split(const std::function<void(std::string_view)>& add) : m_add(add) {}
        void text(std::string_view piece) override { m_add(piece); }

    private:
        const std::function<void(std::string_view)>& m_add;
    };
    const std::function<void(std::string_view)> add = [&](std::string_view piece) {
        if (more)
            splitter.add(piece, take);
        if (!more)
            stop.store(true);
    };
    Split sink(add);
    const Block& first = block(0);
    const CheckedInput* checked = nullptr;
    const std::unique_ptr<ScanInput> input = bytesAgain(first.source, m_end.source, checked);
    ScanOptions options;
    options.text = ScanText::Windows1252;
    options.pieceSize = 1 << 20;
    options.longLines = LongLines::PassedOn;
    options.from = {first.source, 0, first.started, first.started || first.inLine};
    options.stop = &stop;
    const LogRead read = scanLog(*input, {}, sink, options);
    if (read.failure && read.failure->kind == LogFailure::Kind::OutOfMemory)
        throw std::bad_alloc();
    if (!more)
        return;
    splitter.finish(take);
    // As many lines as were found, from bytes that read as they did.
    if (!read.ok() || told != m_count || (checked && checked->changed())) {
        if (m_notice)
            m_notice->markChanged();
    }
}

std::string DisplayLines::text() const
{
    if (m_text)
        return *m_text;
    std::string out;
    forEach([&out](std::string_view text, LineEnd end) {
        out.append(text);
        out.append(end == LineEnd::CrLf ? "\r\n" : end == LineEnd::Lf ? "\n" : "");
    });
    return out;
}

} // namespace vrx
