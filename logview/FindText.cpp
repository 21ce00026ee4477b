#include "logview/FindText.h"

#include "core/ByteScan.h"
#include "platform/LogFiles.h"

#include <QChar>


#include <algorithm>
#include <array>
#include <cstring>
#include <new>
#include <string>
#include <system_error>
#include <thread>

namespace vrx {

namespace {

using ByteTable = std::array<unsigned char, 256>;

ByteTable sameBytes()
{
    ByteTable table{};
    for (int b = 0; b < 256; ++b)
        table[b] = static_cast<unsigned char>(b);
    return table;
}

// How bytes compare: `fold` takes each byte to the byte that stands for it in a comparison,
// `other` to the other byte that folds alike (itself when none).
struct Comparison {
    ByteTable fold = sameBytes();
    ByteTable other = sameBytes();
    bool pairsOnly = true; // no more than two bytes fold alike
};

// Each byte to the byte of its lower-case letter, where Windows-1252 has that letter.
Comparison anyCase()
{
    Comparison c;
    for (int b = 0; b < 256; ++b) {
        const char16_t lower = QChar(windows1252ToUnicode(static_cast<unsigned char>(b))).toLower().unicode();
        if (const auto l = windows1252Byte(lower))
            c.fold[b] = *l;
    }
    for (int b = 0; b < 256; ++b) {
        int alike = 0;
        for (int o = 0; o < 256; ++o) {
            if (o != b && c.fold[o] == c.fold[b]) {
                c.other[b] = static_cast<unsigned char>(o);
                ++alike;
            }
        }
        c.pairsOnly = c.pairsOnly && alike <= 1;
    }
    return c;
}

// The text as the bytes it matches, each folded by the table; nothing when a character has no
// byte. Without matchCase a character the code page lacks may still have a case that it holds.
std::optional<std::string> foldedNeedle(const QString& text, bool matchCase, const ByteTable& fold)
{
    std::string needle;
    needle.reserve(static_cast<size_t>(text.size()));
    for (const QChar c : text) {
        std::optional<unsigned char> b = windows1252Byte(c.unicode());
        if (!b && !matchCase)
            b = windows1252Byte(c.toLower().unicode());
        if (!b && !matchCase)
            b = windows1252Byte(c.toUpper().unicode());
        if (!b)
            return std::nullopt;
        needle.push_back(static_cast<char>(fold[*b]));
    }
    return needle;
}

bool matchesAt(const unsigned char* p, const std::string& needle, const ByteTable& fold)
{
    for (size_t j = 0; j < needle.size(); ++j)
        if (fold[p[j]] != static_cast<unsigned char>(needle[j]))
            return false;
    return true;
}

// A text is found by a quick scan for places where its first and its last byte (in either case)
// stand at its distance, each such place checked in full: few places pass both in a log,
// whatever the text.
std::optional<size_t> pairDown(const unsigned char* hay, size_t n, size_t from, const std::string& needle,
                               const Comparison& how)
{
    const size_t m = needle.size();
    if (m > n || from > n - m)
        return std::nullopt;
    const size_t starts = n - m + 1;
    const auto a = static_cast<unsigned char>(needle[0]);
    const auto c = static_cast<unsigned char>(needle[m - 1]);
    for (size_t pos = from; pos < starts; ++pos) {
        pos += scan::untilPair(hay + pos, starts - pos, m - 1, a, how.other[a], c, how.other[c]);
        if (pos == starts)
            break;
        if (matchesAt(hay + pos, needle, how.fold))
            return pos;
    }
    return std::nullopt;
}

std::optional<size_t> pairUp(const unsigned char* hay, size_t end, const std::string& needle, const Comparison& how)
{
    const size_t m = needle.size();
    if (m > end)
        return std::nullopt;
    const auto a = static_cast<unsigned char>(needle[0]);
    const auto c = static_cast<unsigned char>(needle[m - 1]);
    for (size_t starts = end - m + 1; starts > 0;) {
        const size_t pos = scan::lastPair(hay, starts, m - 1, a, how.other[a], c, how.other[c]);
        if (pos == starts)
            break;
        if (matchesAt(hay + pos, needle, how.fold))
            return pos;
        starts = pos;
    }
    return std::nullopt;
}

// Horspool's search over folded bytes: a mismatch shifts the window by the distance of the
// byte under its far end from that end of the text, so a long log is crossed in steps of
// nearly the text's length.
std::optional<size_t> searchDown(const unsigned char* hay, size_t n, size_t from, const std::string& needle,
                                 const ByteTable& fold)
{
    const size_t m = needle.size();
    if (m > n || from > n - m)
        return std::nullopt;
    std::array<size_t, 256> shift;
    shift.fill(m);
    for (size_t i = 0; i + 1 < m; ++i)
        shift[static_cast<unsigned char>(needle[i])] = m - 1 - i;
    const auto last = static_cast<unsigned char>(needle[m - 1]);
    for (size_t pos = from; pos <= n - m;) {
        const unsigned char b = fold[hay[pos + m - 1]];
        if (b == last && matchesAt(hay + pos, needle, fold))
            return pos;
        pos += shift[b];
    }
    return std::nullopt;
}

// The same from the other side: the window moves towards the start, led by its first byte.
std::optional<size_t> searchUp(const unsigned char* hay, size_t end, const std::string& needle,
                               const ByteTable& fold)
{
    const size_t m = needle.size();
    if (m > end)
        return std::nullopt;
    std::array<size_t, 256> shift;
    shift.fill(m);
    for (size_t i = m - 1; i >= 1; --i)
        shift[static_cast<unsigned char>(needle[i])] = i;
    const auto first = static_cast<unsigned char>(needle[0]);
    for (size_t pos = end - m;;) {
        const unsigned char b = fold[hay[pos]];
        if (b == first && matchesAt(hay + pos, needle, fold))
            return pos;
        if (pos < shift[b])
            return std::nullopt;
        pos -= shift[b];
    }
}

} // namespace

std::optional<size_t> findInDisplayText(std::string_view bytes, const QString& text, size_t from,
                                        bool matchCase, bool down)
{
    static const Comparison exact;
    static const Comparison letters = anyCase();
    const Comparison& how = matchCase ? exact : letters;
    const std::optional<std::string> needle = foldedNeedle(text, matchCase, how.fold);
    if (!needle || needle->empty())
        return std::nullopt;
    const auto* hay = reinterpret_cast<const unsigned char*>(bytes.data());
    from = std::min(from, bytes.size());
    // A scan for the first and the last byte runs sixteen places a step; Horspool's steps are as
    // long as the text at best, and serve where more than two bytes fold alike.
    if (how.pairsOnly)
        return down ? pairDown(hay, bytes.size(), from, *needle, how) : pairUp(hay, from, *needle, how);
    return down ? searchDown(hay, bytes.size(), from, *needle, how.fold) : searchUp(hay, from, *needle, how.fold);
}

namespace {

// Where a place of the lines joined by one character each (line `line`, `column` characters into
// it) stands in the text of a run that begins with line `first`; the run's end when the line
// lies beyond it.
size_t placeInRun(std::string_view run, size_t first, size_t line, std::uint64_t column)
{
    size_t at = 0;
    for (size_t number = first; number < line && at < run.size(); ++number)
        at = lineAt(run, at).next;
    return std::min(run.size(), at + size_t(column));
}

// Whether a byte is part of a word: a letter or digit of the code page, or an underscore.
bool wordByte(unsigned char b)
{
    static const std::array<bool, 256> table = [] {
        std::array<bool, 256> word{};
        for (int c = 0; c < 256; ++c)
            word[size_t(c)] = c == '_' || QChar(windows1252ToUnicode(static_cast<unsigned char>(c))).isLetterOrNumber();
        return word;
    }();
    return table[b];
}

// The match at `at`, `length` bytes long, stands alone in the run: no word byte next to it.
bool aloneAt(std::string_view run, size_t at, size_t length)
{
    return (at == 0 || !wordByte(static_cast<unsigned char>(run[at - 1])))
        && (at + length >= run.size() || !wordByte(static_cast<unsigned char>(run[at + length])));
}

// findInDisplayText over part [start, stop) of a run: down, the first match that starts at
// `start` or later; up, the last that ends at `stop` or earlier. With wholeWord, a match with a
// word byte beside it (in the run, also beyond the part) is passed over.
std::optional<size_t> findInRun(std::string_view run, size_t start, size_t stop, const QString& text, bool matchCase,
                                bool down, bool wholeWord)
{
    const size_t length = size_t(text.size());
    if (down) {
        for (size_t from = start;;) {
            const auto found = findInDisplayText(run.substr(0, stop), text, from, matchCase, true);
            if (!found || !wholeWord || aloneAt(run, *found, length))
                return found;
            from = *found + 1;
        }
    }
    for (size_t end = stop; end > start;) {
        const auto found = findInDisplayText(run.substr(start, end - start), text, end - start, matchCase, false);
        if (!found)
            return std::nullopt;
        if (!wholeWord || aloneAt(run, start + *found, length))
            return start + *found;
        end = start + *found + length - 1;
    }
    return std::nullopt;
}

// The offset in the lines joined by one character of a place in a run's text: each CR LF line end
// of the text takes two bytes and counts one character. The display text holds a CR nowhere but
// in a CR LF.
std::uint64_t joinedOffset(std::string_view run, std::uint64_t firstCharacter, size_t at)
{
    return firstCharacter + at - std::uint64_t(std::count(run.begin(), run.begin() + std::ptrdiff_t(at), '\r'));
}

} // namespace

std::optional<std::uint64_t> findInLines(const DisplayLines& lines, const QString& text, std::uint64_t from,
                                         bool matchCase, bool down, FindProgress* progress, size_t limit, bool wholeWord)
{
    if (lines.empty())
        return std::nullopt;
    limit = down ? std::min(limit, lines.count()) : (limit == size_t(-1) ? 0 : limit);
    const auto stopped = [progress] { return progress && progress->stop.load(std::memory_order_relaxed); };
    const auto searched = [progress](std::uint64_t count) {
        if (progress)
            progress->linesSearched.fetch_add(count, std::memory_order_relaxed);
    };
    // The text is searched a run of lines at a time, as the lines make it, line ends and all: a
    // match never spans lines (the text to find is one line of the find window, and holds no
    // line end), so a match in the run is one in a line. Only where a run holds the first or
    // the last line to search are the places counted out line by line.
    from = std::min(from, lines.characters());
    const size_t fromLine = lines.lineAtOffset(from);
    if (down ? fromLine >= limit : fromLine < limit)
        return std::nullopt;
    if (progress)
        progress->linesToSearch.fetch_add(down ? limit - fromLine : fromLine + 1 - limit);
    const std::uint64_t fromColumn = from - lines.lineOffset(fromLine);
    std::optional<std::uint64_t> match;
    if (down) {
        lines.forEachRun(fromLine, limit, [&](std::string_view run, size_t first, std::uint64_t firstCharacter,
                                              size_t end) {
            const size_t start = first <= fromLine ? placeInRun(run, first, fromLine, fromColumn) : 0;
            const size_t stop = end > limit ? placeInRun(run, first, limit, 0) : run.size();
            if (const auto found = findInRun(run, start, stop, text, matchCase, true, wholeWord))
                match = joinedOffset(run, firstCharacter, *found);
            searched(end - std::max(first, fromLine));
            return !match && !stopped();
        });
        return stopped() ? std::nullopt : match;
    }
    // Up: the runs are taken from the place on backwards, each one as the lines are made from,
    // so that no two runs make the same lines; in each, the last match counts.
    constexpr size_t RunLines = 4096;
    for (size_t last = fromLine + 1; last > limit;) {
        size_t first = std::max(limit, lines.runStart(last - 1));
        while (last - first < RunLines && first > limit)
            first = std::max(limit, lines.runStart(first - 1));
        lines.forEachRun(first, last, [&](std::string_view run, size_t runFirst, std::uint64_t firstCharacter,
                                          size_t end) {
            const size_t start = runFirst < first ? placeInRun(run, runFirst, first, 0) : 0;
            const size_t stop = end > fromLine ? placeInRun(run, runFirst, fromLine, fromColumn)
                : end > last                   ? placeInRun(run, runFirst, last, 0)
                                               : run.size();
            if (start < stop) {
                if (const auto found = findInRun(run, start, stop, text, matchCase, false, wholeWord))
                    match = joinedOffset(run, firstCharacter, *found);
            }
            return true;
        });
        if (match)
            return match;
        searched(last - first);
        if (stopped())
            return std::nullopt;
        last = first;
    }
    return std::nullopt;
}

namespace {

// Below this many lines a search is made by one thread.
constexpr size_t SplitLines = 200000;
// Up to this many characters a search is made on the thread that asks for it.
constexpr std::uint64_t SearchedHere = 1 << 20;

} // namespace

FindRun::FindRun(const DisplayLines& lines, FindRequest request, std::uint64_t from, QObject* parent)
    : BackgroundTask(parent), m_lines(lines), m_request(std::move(request)), m_from(from)
{
    // A text of a megabyte or less is searched here and now: that takes a moment, and a
    // thread of its own would cost more than the search.
    start(
        [this] {
            try {
                m_match = search();
            } catch (const std::bad_alloc&) {
                m_outOfMemory = true;
            }
        },
        m_lines.characters() <= SearchedHere);
}

std::optional<std::uint64_t> FindRun::search()
{
    const FindRequest& r = m_request;
    const std::uint64_t from = std::min(m_from, m_lines.characters());
    const size_t fromLine = m_lines.empty() ? 0 : m_lines.lineAtOffset(from);
    const size_t span = r.down ? m_lines.count() - std::min(fromLine, m_lines.count()) : fromLine + 1;
    if (span < SplitLines)
        return findInLines(m_lines, r.text, from, r.matchCase, r.down, &m_progress, size_t(-1), r.wholeWord);
    // Two halves at once, each on lines of its own: the half nearer to where the search
    // begins has the say; the other one is stopped once it has found a match.
    const size_t middle = r.down ? fromLine + span / 2 : fromLine / 2;
    std::optional<std::uint64_t> farMatch;
    bool farOutOfMemory = false;
    FindProgress& farProgress = m_farProgress;
    // The far half reads through lines of its own (a copy shares the index and the bytes, and
    // keeps the blocks it converts), made here before it starts.
    const DisplayLines farLines = m_lines;
    const auto searchFar = [&] {
        try {
            // Down: from the middle line's start on; up: from the end of the line before it.
            farMatch = r.down ? findInLines(farLines, r.text, farLines.lineOffset(middle), r.matchCase, true,
                                            &farProgress, size_t(-1), r.wholeWord)
                              : findInLines(farLines, r.text, farLines.lineOffset(middle) - 1, r.matchCase, false,
                                            &farProgress, 0, r.wholeWord);
        } catch (const std::bad_alloc&) {
            farOutOfMemory = true;
        }
    };
    std::thread far;
    try {
        far = std::thread(searchFar);
    } catch (const std::system_error&) {
        // No second thread to be had: the near half first, then the far one here.
    }
    std::optional<std::uint64_t> nearMatch;
    try {
        nearMatch = findInLines(m_lines, r.text, from, r.matchCase, r.down, &m_progress, middle, r.wholeWord);
    } catch (const std::bad_alloc&) {
        farProgress.stop.store(true);
        if (far.joinable())
            far.join();
        throw;
    }
    if (nearMatch || m_progress.stop.load())
        farProgress.stop.store(true);
    if (far.joinable())
        far.join();
    else if (!nearMatch && !m_progress.stop.load())
        searchFar();
    if (nearMatch || m_progress.stop.load())
        return m_progress.stop.load() ? std::nullopt : nearMatch;
    if (farOutOfMemory)
        throw std::bad_alloc();
    return farMatch;
}

FindRun::~FindRun()
{
    stop();
}

void FindRun::stop()
{
    m_progress.stop.store(true);
    m_farProgress.stop.store(true);
    join();
}

int FindRun::percent() const
{
    const std::uint64_t total = m_progress.linesToSearch.load() + m_farProgress.linesToSearch.load();
    if (total == 0)
        return 0;
    const std::uint64_t searched = m_progress.linesSearched.load(std::memory_order_relaxed)
        + m_farProgress.linesSearched.load(std::memory_order_relaxed);
    return int(std::min<std::uint64_t>(100, searched * 100 / total));
}

} // namespace vrx
