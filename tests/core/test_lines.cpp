// The display text's lines, whole, in pieces and from an index, and the pages they are laid out on.

#include "tests/core/CoreTest.h"
#include "core/DisplayLines.h"
#include "core/PageLayout.h"

#include <string>

using namespace vrx;

namespace {

// Lines written out with their ends: <c> CR LF, <l> lone LF, <.> end of text.
struct Written {
    std::string out;
    void operator()(std::string_view text, LineEnd end)
    {
        out.append(text);
        out += end == LineEnd::CrLf ? "<c>" : end == LineEnd::Lf ? "<l>" : "<.>";
    }
};

} // namespace

CORE_TEST(displayLines)
{
    const struct {
        const char* name;
        std::string text;
        std::string lines;
        size_t keep;
    } rows[] = {
        {"empty", "", "", 100},
        {"CR LF parts lines", "A\r\nB", "A<c>B<.>", 100},
        {"ending with CR LF: no empty line after it", "A\r\nB\r\n", "A<c>B<c>", 100},
        {"lone LF ends a line and keeps the character before it", "A\nB\n\nC", "A<l>B<l><l>C<.>", 100},
        {"lone CR stays in its line", "A\rB\r", "A\rB\r<.>", 100},
        {"CR LF after a lone LF", "x\n\r\ny", "x<l><c>y<.>", 100},
        {"long line kept in part, its CR dropped", "abcdef\r\nabc\r\nabcd\r\n", "abc<c>abc<c>abc<c>", 3},
    };
    for (const auto& row : rows) {
        coretest::currentRow() = row.name;
        Written whole;
        DisplayLines lines(row.text);
        lines.forEach([&](std::string_view text, LineEnd end) { whole(text.substr(0, row.keep), end); });
        CHECK_EQ(whole.out, row.lines);
        CHECK_EQ(lines.text(), row.text);
        // In pieces cut everywhere, also between CR and LF.
        for (const size_t size : {size_t(1), size_t(2), size_t(5)}) {
            Written pieces;
            LineSplitter splitter(row.keep);
            for (size_t at = 0; at < row.text.size(); at += size)
                splitter.add(std::string_view(row.text).substr(at, size), pieces);
            splitter.finish(pieces);
            CHECK_EQ(pieces.out, row.lines);
        }
    }
}

CORE_TEST(displayLinesFromAnyLine)
{
    std::string text;
    for (int i = 0; i < 1000; ++i)
        text += std::to_string(i) + (i % 7 ? "\r\n" : "\n");
    const DisplayLines lines(text);
    CHECK_EQ(lines.count(), size_t(1000));
    for (const size_t first : {size_t(0), size_t(255), size_t(256), size_t(513), size_t(998)}) {
        coretest::currentRow() = std::to_string(first);
        Written run;
        lines.forEach(first, 3, run);
        std::string expected;
        for (size_t i = first; i < first + 3 && i < 1000; ++i)
            expected += std::to_string(i) + (i % 7 ? "<c>" : "<l>");
        CHECK_EQ(run.out, expected);
    }
}

CORE_TEST(pageLayout)
{
    const struct {
        const char* name;
        std::int64_t lines;
        std::int64_t pages;
        std::int64_t line;   // 1-based line whose placements are checked
        std::string footer;  // empty: the line has none
        float y;             // millimetres as given, negative moving on
    } rows[] = {
        {"no lines, no pages", 0, 0, 0, "", 0},
        {"first line: footer, top margin", 2, 1, 1, "Page 1 of 1", 25},
        {"second line: 5 mm further", 2, 1, 2, "", -5},
        {"line 48 still on page 1", 49, 2, 48, "", -5},
        {"line 49 starts page 2", 49, 2, 49, "Page 2 of 2", 25},
        {"97 lines, 3 pages", 97, 3, 97, "Page 3 of 3", 25},
    };
    for (const auto& row : rows) {
        coretest::currentRow() = row.name;
        PageLayout layout(row.lines);
        CHECK_EQ(layout.pageCount(), row.pages);
        for (std::int64_t l = 1; l <= row.line; ++l) {
            const std::span<const Placement> placed = layout.nextLine();
            if (l != row.line)
                continue;
            CHECK_EQ(placed.size(), row.footer.empty() ? size_t(1) : size_t(2));
            if (!row.footer.empty()) {
                CHECK_EQ(placed[0].text, row.footer);
                CHECK_EQ(placed[0].newPage, l > 1);
                CHECK_EQ(placed[0].x, 88.f);
                CHECK_EQ(placed[0].yTwips, 15309.f);
            }
            CHECK(placed.back().kind == Placement::Kind::Line);
            CHECK_EQ(placed.back().x, 18.f);
            CHECK_EQ(placed.back().xTwips, 1020.6f);
            CHECK_EQ(placed.back().y, row.y);
        }
    }
}
