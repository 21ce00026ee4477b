// The line model of the log reader on bytes, and the wording of its failures for each fate of
// the lines before the failing one.

#include "tests/core/CoreTest.h"
#include "core/DisplayLines.h"
#include "core/LogFailure.h"
#include "core/LogReader.h"
#include "core/Windows1252.h"
#include "files/Readers.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>

using namespace vrx;
using namespace std::string_literals;

namespace {

// n lines made by line(i), each ended by CR LF.
template <class Line>
std::string manyLines(int n, Line&& line)
{
    std::string out;
    for (int i = 0; i < n; ++i)
        out += line(i) + "\r\n";
    return out;
}

// The display text with each line end as one character, as a text box shows it.
std::string joined(const std::string& text)
{
    std::string out;
    for (size_t i = 0; i < text.size(); ++i)
        if (!(text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n'))
            out += text[i];
    if (!out.empty() && out.back() == '\n')
        out.pop_back();
    return out;
}

// The log held as its bytes gives the text, lines and failure of the reader, and finds each
// line from its place in the joined text and back.
void checkHeldLog(const std::string& bytes, const LogRead& read)
{
    LogRead held;
    const DisplayLines lines = DisplayLines::fromLog(bytes, held, "RUN1.LOG");
    CHECK_EQ(lines.text(), read.text);
    CHECK_EQ(held.lines, read.lines);
    CHECK_EQ(held.failure ? int(held.failure->kind) : -1, read.failure ? int(read.failure->kind) : -1);
    CHECK_EQ(held.failure ? held.failure->line : 0, read.failure ? read.failure->line : 0);
    const DisplayLines plain(read.text);
    CHECK_EQ(lines.count(), plain.count());
    const std::string text = joined(read.text);
    CHECK_EQ(lines.characters(), std::uint64_t(text.size()));
    std::uint64_t offset = 0;
    for (size_t i = 0; i < lines.count(); ++i) {
        const std::string expected(plain.line(i));
        CHECK_EQ(std::string(lines.line(i)), expected);
        CHECK_EQ(lines.lineOffset(i), offset);
        CHECK_EQ(lines.lineAtOffset(offset), i);
        CHECK_EQ(lines.lineAtOffset(offset + expected.size()), i);
        CHECK_EQ(text.substr(size_t(offset), expected.size()), expected);
        offset += expected.size() + 1;
    }
}

// n copies of a line, joined by `end`.
std::string lines(const std::string& line, int n, const std::string& end)
{
    std::string out;
    for (int i = 0; i < n; ++i)
        out += (i ? end : "") + line;
    return out;
}

// A log of pieces picked at random (seeded): words, runs, tokens and every kind of line end,
// LF alone often, so that blocks begin at log lines and inside them in every way.
std::string randomLog(unsigned seed, int pieces)
{
    static const char* const kinds[] = {"ab", "\n", "\n", "\r\n", "\r", "\x0f", "\x01(", "\xF1", "", "\n\n"};
    std::string out;
    for (int i = 0; i < pieces; ++i) {
        seed = seed * 1103515245u + 12345u;
        out += kinds[(seed >> 16) % 10];
    }
    return out;
}

// Short lines up to `at`, `middle` beginning one byte before it (so that a read of `at` bytes
// ends inside it), then short lines again: 100 lines behind it in all.
std::string straddling(size_t at, const std::string& middle)
{
    std::string out;
    while (out.size() + 60 < at - 1)
        out += std::string(48, 'x') + "\r\n";
    out += std::string(at - 1 - out.size(), 'y') + middle;
    for (int i = 0; i < 100; ++i)
        out += "z\x0f\r\n";
    return out;
}

std::int64_t lineEnds(const std::string& bytes)
{
    return std::int64_t(std::count(bytes.begin(), bytes.end(), '\r'));
}

} // namespace

CORE_TEST(lineModel)
{
    using Kind = LogFailure::Kind;
    const struct {
        const char* name;
        std::string bytes;
        std::string text;
        std::int64_t lines;
        int failure;       // -1: none, else the kind
        std::int64_t failedLine;
    } rows[] = {
        {"CR LF and lone CR end lines", "a\r\nb\rc", "a\r\nb\r\nc", 3, -1, 0},
        {"lone LF stays in its line", "a\nb\r\n", "a\nb", 1, -1, 0},
        {"empty lines at the start leave no trace", "\r\n\r\nx\r\n\r\ny", "x\r\n\r\ny", 5, -1, 0},
        {"DOS characters repaired", "\xF1\xF3\xE6", "\xB1<\xB5", 1, -1, 0},
        {"tokens expanded", "\x0f\r\n\x01\"\x10", "PASS\r\n    FAIL", 2, -1, 0},
        {"empty", "", "", 0, int(Kind::Empty), 0},
        {"bad run: lines before it kept", "ok\r\n\x01\x02\r\nlater", "ok", 1, int(Kind::ConvertFailed), 2},
        {"repair beyond 32767", "x\r" + std::string(32767, 'y') + "\xE6", "x", 1, int(Kind::RepairFailed), 2},
        {"last line empty: no empty line after the text", "a\r\n\r\n", "a\r\n", 2, -1, 0},
        {"line ending in LF, then CR LF", "a\n\r\nb\n", "a\n\r\nb\n", 2, -1, 0},
        {"run to nothing at the start leaves no trace", "\x01\x1e\r\nx", "x", 2, -1, 0},
        // Held logs are found in blocks of 256 lines: runs across their edges.
        {"600 lines, some parted by LF", manyLines(600, [](int i) { return std::to_string(i) + (i % 9 ? "" : "\n"); }),
         [] { std::string t = manyLines(600, [](int i) { return std::to_string(i) + (i % 9 ? "" : "\n"); });
              return t.substr(0, t.size() - 2); }(), 600, -1, 0},
        {"300 empty lines before the first text", manyLines(300, [](int) { return ""s; }) + "x\r\n\r\ny", "x\r\n\r\ny",
         303, -1, 0},
        {"failure at the first line of a block", manyLines(256, [](int) { return "\x0f"s; }) + "\x01",
         [] { std::string t = manyLines(256, [](int) { return "PASS"s; }); return t.substr(0, t.size() - 2); }(), 256,
         int(Kind::ConvertFailed), 257},
        {"long line converted in parts", "a\r\n\x01n" + std::string(5 << 20, 'z') + "\nq",
         "a\r\n" + std::string(80, ' ') + std::string(5 << 20, 'z') + "\nq", 2, -1, 0},
        {"high bytes and NUL pass", "\x80\x81\0\xFF\r\n"s, "\x80\x81\0\xFF"s, 1, -1, 0},
        {"repaired count character", "\x01\xE6|\r\n", std::string(151, ' ') + "|", 1, -1, 0},
        {"256 bytes of the widest runs", lines("\x01\xFF", 128, "") + "\r\n", std::string(128 * 225, ' '), 1, -1, 0},
        {"a word as byte 257", std::string(256, 'x') + "\x0f\r\n", std::string(256, 'x') + "PASS", 1, -1, 0},
        {"bad run early in a long line", "x\r\n\x01\x05" + std::string(300, 'y'), "x", 1, int(Kind::ConvertFailed), 2},
        {"bad run, then a repair beyond 32767", "x\r\n\x01\x05" + std::string(40000, 'y') + "\xE6", "x", 1,
         int(Kind::RepairFailed), 2},
        // 256 KiB into the file: between CR and LF, and a lone CR as the last byte of a read.
        {"CR LF across reads", lines("ab\x0f", 60000, "\r\n"), lines("abPASS", 60000, "\r\n"), 60000, -1, 0},
        {"lone CR ends a read", lines("ab\x0f", 70000, "\r"), lines("abPASS", 70000, "\r\n"), 70000, -1, 0},
        // A log whose CR LF became LF alone is one log line: its display lines are held in
        // blocks all the same, which begin inside the log line.
        {"LF alone: 700 lines in one log line", lines("ab\x0f", 700, "\n"), lines("abPASS", 700, "\n"), 1, -1, 0},
        {"LF alone: a block begins at a log line's end", lines("x", 257, "\n") + "\r\ny",
         lines("x", 257, "\n") + "\r\ny", 2, -1, 0},
        {"LF alone: text ends with the LF a block would begin after", lines("x", 513, "\n"), lines("x", 513, "\n"), 1,
         -1, 0},
        {"LF alone, then a failure", lines("x", 300, "\n") + "\n\r\n\x01\x02", lines("x", 300, "\n") + "\n", 1,
         int(Kind::ConvertFailed), 2},
        {"LF alone, longer than converted at once", lines("ab", 1500000, "\n") + "\r\n\x0f",
         lines("ab", 1500000, "\n") + "\r\nPASS", 2, -1, 0},
        {"random pieces over many blocks", randomLog(7, 20000), convertLog(randomLog(7, 20000), "").text, 3961, -1, 0},
        // The file is read 1 MiB at a time (UTF-8: 256 KiB): a read ends between CR and LF, and
        // between a code 1 and its count character; a line fails after the first read.
        {"1 MiB read ends inside CR LF", straddling(1 << 20, "\r\n"), convertLog(straddling(1 << 20, "\r\n")).text,
         lineEnds(straddling(1 << 20, "\r\n")), -1, 0},
        {"256 KiB read ends inside CR LF", straddling(256 << 10, "\r\n"),
         convertLog(straddling(256 << 10, "\r\n")).text, lineEnds(straddling(256 << 10, "\r\n")), -1, 0},
        {"1 MiB read ends inside a run", straddling(1 << 20, "\x01("), convertLog(straddling(1 << 20, "\x01(")).text,
         lineEnds(straddling(1 << 20, "\x01(")), -1, 0},
        {"256 KiB read ends inside a run", straddling(256 << 10, "\x01\xF3"),
         convertLog(straddling(256 << 10, "\x01\xF3")).text, lineEnds(straddling(256 << 10, "\x01\xF3")), -1, 0},
        {"a line fails after the first read", straddling(1500000, "\r\n\x01\x05\r\n"),
         convertLog(straddling(1500000, "\r\n\x01\x05\r\n")).text, lineEnds(straddling(1500000, "\r\n")) - 100,
         int(Kind::ConvertFailed), lineEnds(straddling(1500000, "\r\n")) - 99},
        {"line longer than held at once", "x\r\n" + std::string(5 << 20, '\xB5') + "\r\n\x10", 
         "x\r\n" + std::string(5 << 20, '\xB5') + "\r\nFAIL", 3, -1, 0},
    };
    const std::string file = (std::filesystem::temp_directory_path() / "vrx-test-log-reader.log").string();
    for (const auto& row : rows) {
        coretest::currentRow() = row.name;
        // From a file, straight into UTF-8: the display text's UTF-8, the same lines and failure.
        std::ofstream(file, std::ios::binary) << row.bytes;
        for (const LineEnds ends : {LineEnds::CrLf, LineEnds::Lf}) {
            std::string utf8;
            const LogRead streamed = streamLogUtf8(file, ends, [&utf8](std::string_view piece) { utf8 += piece; }, 4096);
            CHECK_EQ(utf8, displayTextToUtf8(row.text, ends));
            CHECK_EQ(streamed.lines, row.lines);
            CHECK_EQ(streamed.failure ? int(streamed.failure->kind) : -1, row.failure);
            CHECK_EQ(streamed.failure ? streamed.failure->line : 0, row.failedLine);
        }
        const LogRead read = convertLog(row.bytes, "RUN1.LOG");
        CHECK(read.opened);
        CHECK_EQ(read.text, row.text);
        CHECK_EQ(read.lines, row.lines);
        CHECK_EQ(read.failure ? int(read.failure->kind) : -1, row.failure);
        if (read.failure) {
            CHECK_EQ(read.failure->line, row.failedLine);
            CHECK_EQ(read.failure->file, std::string("RUN1.LOG"));
        }
        checkHeldLog(row.bytes, read);
    }
    std::filesystem::remove(file);
}

CORE_TEST(failureMessages)
{
    using Kind = LogFailure::Kind;
    const struct {
        const char* name;
        LogFailure failure;
        std::string message;
    } rows[] = {
        {"cannot open", {Kind::CannotOpen, "x", 0, "It is a folder.", EarlierLines::None},
         "The log file \"R.LOG\" could not be opened.\nIt is a folder."},
        {"empty", {Kind::Empty, "x", 0, {}, EarlierLines::Shown}, "The log file \"R.LOG\" is empty."},
        {"convert, shown", {Kind::ConvertFailed, "x", 7, "Invalid argument.", EarlierLines::Shown},
         "The log file \"R.LOG\" cannot be shown from line 7 on.\nInvalid argument.\n"
         "Only the lines before line 7 are shown."},
        {"repair, written", {Kind::RepairFailed, "x", 3000000000LL, "Beyond.", EarlierLines::Written},
         "The log file \"R.LOG\" cannot be shown from line 3000000000 on.\nBeyond.\n"
         "Only the lines before line 3000000000 were written."},
        {"line 1, shown", {Kind::ConvertFailed, "x", 1, "Invalid argument.", EarlierLines::Shown},
         "The log file \"R.LOG\" cannot be shown from line 1 on.\nInvalid argument.\nNo lines are shown."},
        {"line 1, written", {Kind::ConvertFailed, "x", 1, "Invalid argument.", EarlierLines::Written},
         "The log file \"R.LOG\" cannot be shown from line 1 on.\nInvalid argument.\nNo lines were written."},
        {"written with a part", {Kind::ConvertFailed, "x", 4, "Too long.", EarlierLines::WrittenInPart},
         "The log file \"R.LOG\" cannot be shown from line 4 on.\nToo long.\n"
         "Only the lines before line 4 and a first part of line 4 were written."},
        {"read, nothing went anywhere", {Kind::ReadFailed, "x", 2, "I/O error.", EarlierLines::None},
         "The log file \"R.LOG\" could not be read at line 2.\nI/O error."},
        {"memory before any line", {Kind::OutOfMemory, "x", 0, {}, EarlierLines::Shown},
         "The log file \"R.LOG\" could not be shown.\nThere is not enough memory to hold its text."},
        {"memory at a line", {Kind::OutOfMemory, "x", 9, {}, EarlierLines::Written},
         "The log file \"R.LOG\" could not be read at line 9.\nThere is not enough memory to hold its text."},
    };
    for (const auto& row : rows) {
        coretest::currentRow() = row.name;
        CHECK_EQ(logFailureMessage(row.failure, "R.LOG"), row.message);
    }
}

CORE_TEST(windows1252)
{
    CHECK_EQ(int(windows1252ToUnicode(0x80)), 0x20AC);
    CHECK_EQ(int(windows1252ToUnicode(0x81)), 0x81);
    CHECK_EQ(int(windows1252ToUnicode(0xB5)), 0xB5);
    CHECK_EQ(displayTextToUtf8("a\x80\r\nb\n\xB5", LineEnds::Lf), std::string("a\xE2\x82\xAC\nb\n\xC2\xB5"));
    CHECK_EQ(displayTextToUtf8("a\r\nb\r", LineEnds::CrLf), std::string("a\r\nb\r"));
}
