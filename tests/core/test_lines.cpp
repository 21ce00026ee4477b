// The display text's lines, whole, in pieces and from an index, and the pages they are laid out on.

#include "tests/core/CoreTest.h"
#include "core/DisplayLines.h"
#include "core/PageLayout.h"
#include "tests/support/ChangingLog.h"

#include <algorithm>

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

// A log whose lines were found, read again after its bytes changed: every line is the one read
// at first, or, once a part no longer reads as it did, the lines say so (intact() false) and
// that part gives empty lines. Never a line of the new bytes.
CORE_TEST(linesReadBackAsRead)
{
    std::string log;
    for (int i = 1; i <= 3000; ++i)
        log += "Test " + std::to_string(10000 + i) + " \x0F\r\n";   // "PASS"
    const auto replaced = [&](char from, char to) {
        std::string out = log;
        std::replace(out.begin(), out.end(), from, to);
        return out;
    };
    // Line ends moved inside the middle block, the block's length the same.
    std::string moved = log;
    const size_t middle = moved.find("Test 11500");
    moved.replace(middle, 32, "Test 11500 \x0F\x0F\r\nTest 11501\r\n");
    const struct {
        const char* name;
        std::string after;
        bool intact;
    } rows[] = {
        {"unchanged", log, true},
        {"appended to", log + "Test 99999 \x10\r\n", true},
        {"rewritten with the same lengths", replaced('\x0F', '\x10'), false},
        {"line ends moved, the block as long", moved, false},
        {"one byte changed at the end", log.substr(0, log.size() - 3) + "\x10\r\n", false},
        {"truncated", log.substr(0, log.size() / 3), false},
        {"emptied", std::string(), false},
    };
    for (const auto& row : rows) {
        coretest::currentRow() = row.name;
        const auto bytes = std::make_shared<test::ChangingBytes>(log);
        LogRead read;
        const DisplayLines first = test::checkedLines(bytes, &read);
        CHECK(read.ok());
        const std::string before = first.text();
        bytes->set(row.after);
        // Read again whole, in pieces, a line at a time (a fresh copy each: nothing cached).
        const std::vector<std::string> ways = {
            DisplayLines(first).text(),
            [&] {
                std::string cut;
                DisplayLines(first).forEachCut(100, [&](std::string_view text, LineEnd) {
                    cut.append(text).append("\r\n");
                    return true;
                });
                return cut.substr(0, cut.empty() ? 0 : cut.size() - 2);
            }(),
            [&] {
                const DisplayLines copy(first);
                std::string lines;
                for (size_t i = copy.count(); i-- > 0;)
                    lines = std::string(copy.line(i)) + (lines.empty() && i + 1 == copy.count() ? "" : "\r\n") + lines;
                return lines;
            }(),
        };
        for (const std::string& again : ways) {
            if (row.intact) {
                CHECK_EQ(again, before);
                continue;
            }
            CHECK(again.find('\x10') == std::string::npos && again.find("FAIL") == std::string::npos);
            size_t shown = 0;
            for (size_t at = 0; at < again.size(); at = again.find('\n', at) + 1) {
                const std::string_view line = lineAt(std::string_view(again), at).text;
                CHECK(line.empty() || before.find(line) != std::string::npos);
                shown += !line.empty();
                if (again.find('\n', at) == std::string::npos)
                    break;
            }
            CHECK(shown < first.count());
        }
        CHECK_EQ(first.intact(), row.intact);
    }
}
