#include "core/PageLayout.h"

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

} // namespace

PageLayout::PageLayout(std::int64_t lineCount) : m_lineCount(lineCount), m_pageCount(pageCountOf(lineCount)) {}

std::span<const Placement> PageLayout::nextLine()
{
    ++m_linesPlaced;
    if (m_linesPlaced % LinesPerPage == 1) {
        ++m_page;
        m_placed[0] = place(Placement::Kind::Footer, m_linesPlaced > 1, footerText(m_page, m_pageCount),
                            LeftMargin + FooterOffsetX, TopMargin + FooterOffsetY);
        m_placed[1] = place(Placement::Kind::Line, false, {}, LeftMargin, TopMargin);
        return {m_placed.data(), 2};
    }
    m_placed[0] = place(Placement::Kind::Line, false, {}, LeftMargin, -LinePitch);
    return {m_placed.data(), 1};
}

} // namespace vrx
