// Page layout against the recording printer.

#include "print/PrintModule.h"
#include "tests/print/RecordingPrinter.h"
#include "tests/support/ScriptedPlatform.h"
#include "tests/print/TestPrint.h"
#include "tests/support/ChangingLog.h"

#include <QtTest>

using namespace vrx;
using vrx::test::linesOf;
using vrx::test::RecordingPrinter;

namespace {

float twips(float millimetres)
{
    return static_cast<float>(static_cast<double>(millimetres) * 56.7);
}

// n lines "L1".."Ln" joined by CR LF.
QString numberedLines(int n)
{
    QStringList lines;
    for (int i = 1; i <= n; ++i)
        lines << QStringLiteral("L%1").arg(i);
    return lines.join(QStringLiteral("\r\n"));
}

} // namespace

void TestPrintLayout::printTextAt_data()
{
    QTest::addColumn<float>("startX");
    QTest::addColumn<float>("startY");
    QTest::addColumn<QString>("text");
    QTest::addColumn<float>("x");
    QTest::addColumn<float>("y");
    QTest::addColumn<int>("colour");
    QTest::addColumn<float>("expectedX");
    QTest::addColumn<float>("expectedY");
    QTest::addColumn<QRgb>("expectedColour");

    const QRgb black = qRgb(0, 0, 0);
    QTest::newRow("absolute margins") << 500.f << 700.f << "A" << 18.f << 25.f << 0 << 1020.6f << 1417.5f << black;
    QTest::newRow("footer position") << 0.f << 0.f << "F" << 88.f << 270.f << 0 << twips(88) << 15309.f << black;
    QTest::newRow("colour 16 prints black") << 0.f << 0.f << "A" << 1.f << 1.f << 16 << 56.7f << 56.7f << black;
    QTest::newRow("colour -1 prints black") << 0.f << 0.f << "A" << 1.f << 1.f << -1 << 56.7f << 56.7f << black;
    QTest::newRow("colour 12 light red") << 0.f << 0.f << "A" << 1.f << 1.f << 12 << 56.7f << 56.7f << qRgb(255, 0, 0);
    QTest::newRow("colour 15 white") << 0.f << 0.f << "A" << 1.f << 1.f << 15 << 56.7f << 56.7f << qRgb(255, 255, 255);
    QTest::newRow("x 0 keeps x") << 333.f << 444.f << "A" << 0.f << 10.f << 0 << 333.f << 567.f << black;
    QTest::newRow("y 0 keeps y") << 333.f << 444.f << "A" << 10.f << 0.f << 0 << 567.f << 444.f << black;
    QTest::newRow("y -5 moves down") << 1020.6f << 1417.5f << "A" << 18.f << -5.f << 0 << 1020.6f << 1701.f << black;
    QTest::newRow("x -2 moves right") << 100.f << 100.f << "A" << -2.f << 0.f << 0 << 213.4f << 100.f << black;
}

void TestPrintLayout::printTextAt()
{
    QFETCH(float, startX);
    QFETCH(float, startY);
    QFETCH(QString, text);
    QFETCH(float, x);
    QFETCH(float, y);
    QFETCH(int, colour);
    QFETCH(float, expectedX);
    QFETCH(float, expectedY);
    QFETCH(QRgb, expectedColour);

    RecordingPrinter printer;
    printer.setForeColor(qRgb(1, 2, 3));
    printer.setCurrentX(startX);
    printer.setCurrentY(startY);
    const float callerX = x;
    const float callerY = y;
    PrintTextAt(printer, text, x, y, static_cast<std::int16_t>(colour));

    QCOMPARE(x, callerX);   // the caller's values are its own
    QCOMPARE(y, callerY);
    QCOMPARE(printer.current.size(), 1);
    QCOMPARE(printer.current[0].size(), 1);
    const auto& printed = printer.current[0][0];
    QCOMPARE(printed.text, text);
    QCOMPARE(printed.x, expectedX);
    QCOMPARE(printed.y, expectedY);
    QCOMPARE(printed.colour, expectedColour);
    // Printing moves on horizontally only.
    QCOMPARE(printer.currentY(), expectedY);
    QCOMPARE(printer.currentX(), expectedX + printer.charWidth * text.size());
}

void TestPrintLayout::printTextAtEmptyOnlyMoves()
{
    RecordingPrinter printer;
    printer.setForeColor(qRgb(1, 2, 3));
    printer.setCurrentX(100);
    printer.setCurrentY(200);
    PrintTextAt(printer, QString(), 0, -5, 16);
    QCOMPARE(printer.currentX(), 100.f);
    QCOMPARE(printer.currentY(), 483.5f);
    QVERIFY(printer.current.isEmpty());
    QVERIFY(printer.operations.isEmpty());
}

void TestPrintLayout::document_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("lines");

    QTest::newRow("empty") << QString() << QStringList();
    QTest::newRow("A CR LF B") << "A\r\nB" << QStringList{"A", "B"};
    QTest::newRow("trailing CR LF") << "A\r\nB\r\n" << QStringList{"A", "B"};
    QTest::newRow("empty line keeps its place") << "A\r\n\r\nB" << QStringList{"A", "", "B"};
    QTest::newRow("only CR LF") << "\r\n" << QStringList{""};
    QTest::newRow("lone LF keeps the character before it") << "AB\nCD\r\nE" << QStringList{"AB", "CD", "E"};
    QTest::newRow("LF after LF") << "A\n\nB" << QStringList{"A", "", "B"};
    QTest::newRow("CR without LF stays") << "A\rB" << QStringList{"A\rB"};
    const QString longLine(400, QLatin1Char('x'));
    QTest::newRow("long line not wrapped") << longLine + "\r\nnext" << QStringList{longLine, "next"};
    // Far beyond any paper's edge, a line is laid out no further.
    const QString hugeLine = QString(MaxPrintedLineLength, QLatin1Char('y')) + QString(1 << 20, QLatin1Char('z'));
    QTest::newRow("line past 4096 characters cut")
        << hugeLine + "\r\nnext" << QStringList{QString(MaxPrintedLineLength, QLatin1Char('y')), "next"};
    const QString full(MaxPrintedLineLength, QLatin1Char('y'));
    QTest::newRow("4096 characters, CR LF") << full + "\r\nA" << QStringList{full, "A"};
    QTest::newRow("4096 characters, CR, CR LF") << full + "\r\r\nA" << QStringList{full, "A"};
    QTest::newRow("4095 characters, CR, CR LF") << full.left(4095) + "\r\r\nA" << QStringList{full.left(4095) + "\r", "A"};
    QStringList fortyEight;
    for (int i = 1; i <= 48; ++i)
        fortyEight << QStringLiteral("L%1").arg(i);
    QTest::newRow("48 lines") << numberedLines(48) << fortyEight;
    QTest::newRow("49 lines") << numberedLines(49) << (QStringList(fortyEight) << "L49");
    QTest::newRow("97 lines") << numberedLines(97) << numberedLines(97).split("\r\n");
}

// Checks every page of one document: footer first at 88/270 mm, then the lines from 25 mm
// down in steps of 5 mm at 18 mm, all black in 10-point Courier New.
static void checkDocument(const test::PrintedDocument& document, const QStringList& lines)
{
    const int pages = int((lines.size() + 47) / 48);
    QCOMPARE(document.size(), pages);
    for (int p = 0; p < pages; ++p) {
        const auto& page = document[p];
        const QStringList pageLines = lines.mid(p * 48, 48);
        QList<test::PrintedText> texts;
        for (const auto& t : page)
            texts << t;
        // Empty lines print nothing.
        QCOMPARE(texts.size(), 1 + int(std::count_if(pageLines.begin(), pageLines.end(),
                                                      [](const QString& l) { return !l.isEmpty(); })));
        QCOMPARE(texts[0].text, QStringLiteral("Page %1 of %2").arg(p + 1).arg(pages));
        QCOMPARE(texts[0].x, twips(88));
        QCOMPARE(texts[0].y, twips(270));
        int t = 1;
        for (int k = 0; k < pageLines.size(); ++k) {
            if (pageLines[k].isEmpty())
                continue;
            const auto& printed = texts[t++];
            QCOMPARE(printed.text, pageLines[k]);
            QCOMPARE(printed.x, twips(18));
            QCOMPARE(printed.y, 1417.5f + 283.5f * k);
        }
        for (const auto& printed : texts) {
            QCOMPARE(printed.colour, qRgb(0, 0, 0));
            QCOMPARE(printed.fontName, QStringLiteral("Courier New"));
            QCOMPARE(printed.fontSize, 10.f);
        }
    }
}

void TestPrintLayout::document()
{
    QFETCH(QString, text);
    QFETCH(QStringList, lines);

    RecordingPrinter printer;
    vrx::test::ScriptedPlatform platform;
    PrintDocument(printer, linesOf(text), [&platform](bool on) { platform.setBusy(on); });

    QCOMPARE(printer.endDocCalls, 1);
    QCOMPARE(printer.operations.last(), QStringLiteral("endDoc"));
    QCOMPARE(platform.busyOnCalls, 1);
    QCOMPARE(platform.busyOffCalls, 1);
    QVERIFY(!platform.busy);
    QCOMPARE(qsizetype(linesOf(text).count()), lines.size());
    if (lines.isEmpty()) {
        QVERIFY(printer.documents.isEmpty());   // no page, not even a footer
        QCOMPARE(printer.operations.filter("print").size(), 0);
        return;
    }
    QCOMPARE(printer.documents.size(), 1);
    checkDocument(printer.documents[0], lines);
}

void TestPrintLayout::pageCount_data()
{
    QTest::addColumn<qsizetype>("lines");
    QTest::addColumn<qsizetype>("pages");
    QTest::newRow("0") << qsizetype(0) << qsizetype(0);
    QTest::newRow("1") << qsizetype(1) << qsizetype(1);
    QTest::newRow("48") << qsizetype(48) << qsizetype(1);
    QTest::newRow("49") << qsizetype(49) << qsizetype(2);
    QTest::newRow("96") << qsizetype(96) << qsizetype(2);
    QTest::newRow("97") << qsizetype(97) << qsizetype(3);
    QTest::newRow("32767") << qsizetype(32767) << qsizetype(683);
    QTest::newRow("100000") << qsizetype(100000) << qsizetype(2084);
}

void TestPrintLayout::pageCount()
{
    QFETCH(qsizetype, lines);
    QFETCH(qsizetype, pages);
    QCOMPARE(countPages(lines), pages);
}

void TestPrintLayout::longLogPrintsCompletely()
{
    // Far past 16-bit positions and line numbers: 40,000 lines, over 300,000 characters.
    const int n = 40000;
    const QString text = numberedLines(n) + QStringLiteral("\r\n");
    QVERIFY(text.size() > 32765 * 5);
    RecordingPrinter printer;
    PrintDocument(printer, linesOf(text));
    QCOMPARE(printer.documents.size(), 1);
    const auto& document = printer.documents[0];
    QCOMPARE(document.size(), 834);   // 40,000 / 48 rounded up
    QCOMPARE(document.last().first().text, QStringLiteral("Page 834 of 834"));
    QCOMPARE(document.last().last().text, QStringLiteral("L40000"));
    QCOMPARE(document.last().last().y, 1417.5f + 283.5f * ((n - 1) % 48));
    qsizetype printedLines = 0;
    for (const auto& page : document)
        printedLines += page.size() - 1;
    QCOMPARE(printedLines, qsizetype(n));
}

void TestPrintLayout::eachCallIsACompleteDocument()
{
    RecordingPrinter printer;
    PrintDocument(printer, linesOf(numberedLines(50)));
    PrintDocument(printer, linesOf(numberedLines(50)));
    QCOMPARE(printer.documents.size(), 2);
    for (const auto& document : printer.documents) {
        QCOMPARE(document.size(), 2);
        QCOMPARE(document[0][0].text, QStringLiteral("Page 1 of 2"));
        QCOMPARE(document[1][0].text, QStringLiteral("Page 2 of 2"));
    }
    // Font set again for each copy.
    QCOMPARE(printer.operations.filter("fontName Courier New").size(), 2);
}

namespace {

// A printer that fails on its nth page break.
class FailingPrinter : public RecordingPrinter {
public:
    void newPage() override { throw PrintError("paper jam"); }
};

} // namespace

void TestPrintLayout::failureResetsBusyPointer()
{
    FailingPrinter printer;
    vrx::test::ScriptedPlatform platform;
    QVERIFY_THROWS_EXCEPTION(PrintError, PrintDocument(printer, linesOf(numberedLines(60)),
                                                       [&platform](bool on) { platform.setBusy(on); }));
    QCOMPARE(platform.busyOnCalls, 1);
    QCOMPARE(platform.busyOffCalls, 1);
    QVERIFY(!platform.busy);

    // A log printed whole as it was read, then rewritten in place with lines as long as before
    // (a second run of the same test): the next copy stops at the first part that no longer
    // reads as it did, before anything of the new text is printed, and is not ended.
    std::string before;
    for (int i = 1; i <= 600; ++i)
        before += "Test " + std::to_string(1000 + i) + " \x0F\r\n";
    const auto bytes = std::make_shared<vrx::test::ChangingBytes>(before);
    const DisplayLines lines = vrx::test::checkedLines(bytes);
    RecordingPrinter whole;
    PrintDocument(whole, lines);
    QCOMPARE(whole.documents.size(), 1);
    QCOMPARE(whole.documents[0][0][1].text, QStringLiteral("Test 1001 PASS"));
    std::string after = before;
    for (size_t at = after.find('\x0F'); at != std::string::npos; at = after.find('\x0F', at + 1))
        after[at] = '\x10';
    bytes->set(after);
    RecordingPrinter mixed;
    QVERIFY_THROWS_EXCEPTION(LogChangedError, PrintDocument(mixed, lines));
    QCOMPARE(mixed.endDocCalls, 0);
    for (const QString& operation : mixed.operations)
        QVERIFY2(!operation.contains(QLatin1String("FAIL")), qPrintable(operation));
}
