#pragma once
// The printed log's pages: 48 lines a page at a fixed pitch, the footer "Page n of m" on every
// page. The layout says where each piece of text goes; whoever drives a printer puts it there.
// It is fed one line at a time, so a log of any length is laid out in constant memory.

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace vrx {

// Millimetres to twips. The program has always used 56.7, not 1440 / 25.4.
inline constexpr double TwipsPerMillimetre = 56.7;

inline constexpr int LinesPerPage = 48;
inline constexpr float LeftMargin = 18;       // mm, x of every line
inline constexpr float TopMargin = 25;        // mm, y of the first line of a page
inline constexpr float LinePitch = 5;         // mm between two lines
inline constexpr float FooterOffsetX = 70;    // mm right of the left margin
inline constexpr float FooterOffsetY = 245;   // mm below the top margin
inline constexpr const char* PrintFontFamily = "Courier New";
inline constexpr float PrintFontPoints = 10;

// Millimetres to twips, the product in single precision as the printer keeps its position.
inline float toTwips(float millimetres)
{
    return static_cast<float>(static_cast<double>(millimetres) * TwipsPerMillimetre);
}

// Pages needed for a number of lines: 48 lines a page, rounded up.
std::int64_t pageCountOf(std::int64_t lines);

// "Page n of m".
std::string footerText(std::int64_t page, std::int64_t pageCount);

// Pages chosen for printing: runs of page numbers from first to last (counted from 1). An empty
// selection is every page.
struct PageSpan {
    std::int64_t first;
    std::int64_t last;
};
using PageSelection = std::vector<PageSpan>;

// How many of a document's pages a selection prints: runs past the end stop at the last page.
std::int64_t selectedPageCount(const PageSelection& pages, std::int64_t pageCount);

// A list of pages as a user types it: page numbers and runs ("3-5") parted by commas, blanks
// around each allowed ("1, 3-4"). The runs come back in page order, joined where they meet or
// overlap. Nothing when the text is no such list: empty, a page 0, a run that counts down, a
// number of more than 18 digits, or anything else.
std::optional<PageSelection> parsePageList(std::string_view text);

// The parts of a selection past a document's last page, in page order.
PageSelection pagesPastTheEnd(const PageSelection& pages, std::int64_t pageCount);

// The room a document's pages take from the top-left corner of the printable area, in twips:
// across to the end of the longest footer, down to the foot of the footers.
struct LayoutExtent {
    double width;
    double height;
};
LayoutExtent layoutExtent(std::int64_t pageCount);

// One piece of text on paper. A coordinate is absolute when positive and moves on from the
// printer's current position when negative: the lines of a page go 5 mm down each, so their
// places follow from the first one's without a rounding error adding up.
struct Placement {
    enum class Kind { Footer, Line } kind;
    bool newPage;        // a new page is started before it (the footers of pages 2 onwards)
    std::string text;    // the footer's text; a line's text is the caller's
    float x, y;          // millimetres
    float xTwips, yTwips;
    std::int16_t colour; // colour number, 0 black
};

// Lays out a document of lineCount lines. Only the selected pages are placed; each keeps its
// own number and the whole document's page count in its footer.
class PageLayout {
public:
    explicit PageLayout(std::int64_t lineCount, PageSelection pages = {});

    std::int64_t lineCount() const { return m_lineCount; }
    std::int64_t pageCount() const { return m_pageCount; }
    // Lines gone through so far, on selected pages or not.
    std::int64_t linesPlaced() const { return m_linesPlaced; }

    // The placements for the next line: on the first line of a page its footer, then the line;
    // nothing for a line on a page that is not selected. Valid until the next call.
    std::span<const Placement> nextLine();

private:
    bool selected(std::int64_t page);

    std::int64_t m_lineCount;
    std::int64_t m_pageCount;
    PageSelection m_pages;        // in order, not overlapping
    std::size_t m_nextSpan = 0;   // the first run not wholly before the current page
    std::int64_t m_linesPlaced = 0;
    std::int64_t m_pagesPlaced = 0;
    std::array<Placement, 2> m_placed;
};

} // namespace vrx
