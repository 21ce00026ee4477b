#include "core/PageLayout.h"

#include <algorithm>

namespace vrx {

std::int64_t pageCountOf(std::int64_t lines)
{
    return (lines + LinesPerPage - 1) / LinesPerPage;
}

std::string footerText(std::int64_t page, std::int64_t pageCount)
{
    return "Page " + std::to_string(page) + " of " + std::to_string(pageCount);
}

namespace {

Placement place(Placement::Kind kind, bool newPage, std::string text, float x, float y)
{
    return {kind, newPage, std::move(text), x, y, toTwips(x), toTwips(y), 0};
}

// Sorted by their first page, overlapping and touching runs joined, empty runs dropped.
PageSelection ordered(PageSelection pages)
{
    std::erase_if(pages, [](const PageSpan& span) { return span.last < span.first; });
    std::sort(pages.begin(), pages.end(), [](const PageSpan& a, const PageSpan& b) { return a.first < b.first; });
    PageSelection joined;
    for (const PageSpan& span : pages) {
        if (!joined.empty() && span.first <= joined.back().last + 1)
            joined.back().last = std::max(joined.back().last, span.last);
        else
            joined.push_back(span);
    }
    return joined;
}

} // namespace

std::optional<PageSelection> parsePageList(std::string_view text)
{
    size_t at = 0;
    const auto skipBlanks = [&] {
        while (at < text.size() && (text[at] == ' ' || text[at] == '\t'))
            ++at;
    };
    // A page number: 1 to 18 digits, so that no count of pages overflows.
    const auto number = [&]() -> std::optional<std::int64_t> {
        skipBlanks();
        const size_t start = at;
        std::int64_t value = 0;
        while (at < text.size() && text[at] >= '0' && text[at] <= '9' && at - start < 18)
            value = value * 10 + (text[at++] - '0');
        if (at == start || (at < text.size() && text[at] >= '0' && text[at] <= '9'))
            return std::nullopt;
        skipBlanks();
        return value;
    };
    PageSelection pages;
    for (;;) {
        const std::optional<std::int64_t> first = number();
        if (!first || *first < 1)
            return std::nullopt;
        std::int64_t last = *first;
        if (at < text.size() && text[at] == '-') {
            ++at;
            const std::optional<std::int64_t> end = number();
            if (!end || *end < *first)
                return std::nullopt;
            last = *end;
        }
        pages.push_back({*first, last});
        if (at == text.size())
            return ordered(std::move(pages));
        if (text[at] != ',')
            return std::nullopt;
        ++at;
    }
}

PageSelection pagesPastTheEnd(const PageSelection& pages, std::int64_t pageCount)
{
    PageSelection past;
    for (const PageSpan& span : ordered(pages)) {
        if (span.last > pageCount)
            past.push_back({std::max(span.first, pageCount + 1), span.last});
    }
    return past;
}

std::int64_t selectedPageCount(const PageSelection& pages, std::int64_t pageCount)
{
    if (pages.empty())
        return pageCount;
    std::int64_t count = 0;
    for (const PageSpan& span : ordered(pages)) {
        const std::int64_t first = std::max<std::int64_t>(span.first, 1);
        const std::int64_t last = std::min(span.last, pageCount);
        if (first <= last)
            count += last - first + 1;
    }
    return count;
}

LayoutExtent layoutExtent(std::int64_t pageCount)
{
    // The print font is fixed pitch, 0.6 em a character; a line of it takes 1.2 em, its
    // descenders included.
    constexpr double TwipsPerPoint = 20;
    constexpr double CharacterWidth = 0.6 * PrintFontPoints * TwipsPerPoint;
    constexpr double LineHeight = 1.2 * PrintFontPoints * TwipsPerPoint;
    const double footerLength = double(footerText(pageCount, pageCount).size());
    return {toTwips(LeftMargin + FooterOffsetX) + footerLength * CharacterWidth,
            toTwips(TopMargin + FooterOffsetY) + LineHeight};
}

PageLayout::PageLayout(std::int64_t lineCount, PageSelection pages)
    : m_lineCount(lineCount), m_pageCount(pageCountOf(lineCount)), m_pages(ordered(std::move(pages)))
{
}

bool PageLayout::selected(std::int64_t page)
{
    if (m_pages.empty())
        return true;
    while (m_nextSpan < m_pages.size() && m_pages[m_nextSpan].last < page)
        ++m_nextSpan;
    return m_nextSpan < m_pages.size() && m_pages[m_nextSpan].first <= page;
}

std::span<const Placement> PageLayout::nextLine()
{
    const std::int64_t page = m_linesPlaced / LinesPerPage + 1;
    const bool firstOfPage = m_linesPlaced % LinesPerPage == 0;
    ++m_linesPlaced;
    if (!selected(page))
        return {};
    if (firstOfPage) {
        ++m_pagesPlaced;
        m_placed[0] = place(Placement::Kind::Footer, m_pagesPlaced > 1, footerText(page, m_pageCount),
                            LeftMargin + FooterOffsetX, TopMargin + FooterOffsetY);
        m_placed[1] = place(Placement::Kind::Line, false, {}, LeftMargin, TopMargin);
        return {m_placed.data(), 2};
    }
    m_placed[0] = place(Placement::Kind::Line, false, {}, LeftMargin, -LinePitch);
    return {m_placed.data(), 1};
}

} // namespace vrx
