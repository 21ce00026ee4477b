#include "logview/FindText.h"

#include "core/ByteScan.h"
#include "platform/LogFiles.h"

#include <QChar>

#include <array>
#include <cstring>
#include <string>

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

// A short text is found by a quick scan for its first byte in either case, each find
// checked in full.
std::optional<size_t> scanDown(const unsigned char* hay, size_t n, size_t from, const std::string& needle,
                               const Comparison& how)
{
    const size_t m = needle.size();
    if (m > n || from > n - m)
        return std::nullopt;
    const size_t starts = n - m + 1; // places where a match fits
    const auto a = static_cast<unsigned char>(needle[0]);
    const unsigned char b = how.other[a];
    for (size_t pos = from; pos < starts; ++pos) {
        pos += scan::untilEither(hay + pos, starts - pos, a, b);
        if (pos == starts)
            break;
        if (matchesAt(hay + pos, needle, how.fold))
            return pos;
    }
    return std::nullopt;
}

std::optional<size_t> scanUp(const unsigned char* hay, size_t end, const std::string& needle, const Comparison& how)
{
    const size_t m = needle.size();
    if (m > end)
        return std::nullopt;
    const auto a = static_cast<unsigned char>(needle[0]);
    const unsigned char b = how.other[a];
    for (size_t starts = end - m + 1; starts > 0;) {
        const size_t pos = scan::lastOfEither(hay, starts, a, b);
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
    // Horspool's steps grow with the text; below four bytes a scan for the first byte is faster.
    if (needle->size() < 4 && how.pairsOnly)
        return down ? scanDown(hay, bytes.size(), from, *needle, how) : scanUp(hay, from, *needle, how);
    return down ? searchDown(hay, bytes.size(), from, *needle, how.fold) : searchUp(hay, from, *needle, how.fold);
}

std::optional<std::uint64_t> findInLines(const DisplayLines& lines, const QString& text, std::uint64_t from,
                                         bool matchCase, bool down)
{
    if (lines.empty())
        return std::nullopt;
    // The lines are searched a run at a time, joined by one character each as the text box
    // shows them, so that an offset in a run is an offset in the text from the run's start. A
    // match never spans lines: the text to find is one line of the find window. Each line is
    // made once for a search: down, the runs follow one another; up, each run begins where
    // the lines are made from, so that no two runs make the same lines.
    constexpr size_t RunLines = 4096;
    from = std::min(from, lines.characters());
    const size_t fromLine = lines.lineAtOffset(from);
    std::string run;
    std::uint64_t start = 0;
    size_t inRun = 0;
    const auto add = [&](std::string_view line, std::uint64_t offset) {
        if (inRun++ == 0)
            start = offset;
        run.append(line);
        run += '\n';
    };
    if (down) {
        std::optional<std::uint64_t> match;
        bool first = true;
        const auto search = [&] {
            const size_t at = first ? size_t(from - start) : 0;
            first = false;
            if (const auto found = findInDisplayText(run, text, at, matchCase, true))
                match = start + *found;
            run.clear();
            inRun = 0;
            return !match;
        };
        lines.forEachFrom(fromLine, [&](std::string_view line, LineEnd, std::uint64_t offset) {
            add(line, offset);
            return inRun < RunLines || search();
        });
        if (!match && inRun > 0)
            search();
        return match;
    }
    for (size_t last = fromLine + 1; last > 0;) {
        size_t first = lines.runStart(last - 1);
        while (last - first < RunLines && first > 0)
            first = lines.runStart(first - 1);
        run.clear();
        inRun = 0;
        lines.forEachFrom(first, [&](std::string_view line, LineEnd, std::uint64_t offset) {
            add(line, offset);
            return first + inRun < last;
        });
        const size_t end = last == fromLine + 1 ? size_t(from - start) : run.size();
        if (const auto found = findInDisplayText(run, text, end, matchCase, false))
            return start + *found;
        last = first;
    }
    return std::nullopt;
}

} // namespace vrx
