// The real printer object end to end: a log printed to a PDF file and read back with
// poppler's pdftotext, which gives every word's box in points.

#include "print/DevicePrinter.h"
#include "print/PrintModule.h"
#include "tests/print/RecordingPrinter.h"
#include "tests/print/TestPrint.h"

#include <QFileInfo>
#include <QImage>
#include <QPrinter>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

using namespace vrx;

namespace {

constexpr double MillimetresPerPoint = 25.4 / 72.0;
// Where 56.7 twips a millimetre puts a position, in true millimetres.
double onPaper(double millimetres)
{
    return millimetres * 56.7 / (1440.0 / 25.4);
}

struct Word {
    QString text;
    double xMin, yMin, xMax, yMax;   // millimetres from the page's top-left corner
};

// Pages of words, as pdftotext -bbox reports them.
QList<QList<Word>> readWords(const QString& pdf, QString* error)
{
    QProcess process;
    process.start(QStringLiteral("pdftotext"), {QStringLiteral("-bbox"), pdf, QStringLiteral("-")});
    if (!process.waitForFinished(30000) || process.exitCode() != 0) {
        *error = QStringLiteral("pdftotext failed: ") + QString::fromLocal8Bit(process.readAllStandardError());
        return {};
    }
    const QString html = QString::fromUtf8(process.readAllStandardOutput());
    static const QRegularExpression token(
        QStringLiteral(R"re(<page |<word xMin="([\d.]+)" yMin="([\d.]+)" xMax="([\d.]+)" yMax="([\d.]+)">([^<]*)</word>)re"));
    QList<QList<Word>> pages;
    for (auto it = token.globalMatch(html); it.hasNext();) {
        const auto m = it.next();
        if (m.captured(0) == QLatin1String("<page ")) {
            pages.append(QList<Word>());
            continue;
        }
        if (pages.isEmpty())
            continue;
        pages.last().append(Word{m.captured(5), m.captured(1).toDouble() * MillimetresPerPoint,
                                 m.captured(2).toDouble() * MillimetresPerPoint,
                                 m.captured(3).toDouble() * MillimetresPerPoint,
                                 m.captured(4).toDouble() * MillimetresPerPoint});
    }
    return pages;
}

const Word* findWord(const QList<Word>& page, const QString& text)
{
    for (const Word& w : page)
        if (w.text == text)
            return &w;
    return nullptr;
}

// The printable area starts this far from the paper's edges.
constexpr double MarginLeft = 7;
constexpr double MarginTop = 11;

void setUpPdf(QPrinter& printer, const QString& file)
{
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(file);
    printer.setPageSize(QPageSize(QPageSize::A4));
    printer.setPageMargins(QMarginsF(MarginLeft, MarginTop, MarginLeft, MarginTop), QPageLayout::Millimeter);
}

// pdftotext places a word's top at its baseline less the font's ascent, as the printer
// object does; a little slack covers rounding in the two programs.
constexpr double Tolerance = 0.2;

// The ink inside a box on page 1 (millimetres from the page's corner), rendered by pdftoppm:
// the colour of the darkest pixel, or white when the box is empty.
QColor inkIn(const QString& pdf, double xMin, double yMin, double xMax, double yMax, QString* error)
{
    QProcess process;
    const QString prefix = pdf + QStringLiteral("-page");
    process.start(QStringLiteral("pdftoppm"), {QStringLiteral("-r"), QStringLiteral("150"), QStringLiteral("-f"),
                                               QStringLiteral("1"), QStringLiteral("-l"), QStringLiteral("1"),
                                               QStringLiteral("-singlefile"), pdf, prefix});
    if (!process.waitForFinished(30000) || process.exitCode() != 0) {
        *error = QStringLiteral("pdftoppm failed: ") + QString::fromLocal8Bit(process.readAllStandardError());
        return {};
    }
    const QImage page(prefix + QStringLiteral(".ppm"));
    const double pixelsPerMillimetre = 150 / 25.4;
    QColor darkest(Qt::white);
    for (int y = int(yMin * pixelsPerMillimetre); y <= int(yMax * pixelsPerMillimetre); ++y)
        for (int x = int(xMin * pixelsPerMillimetre); x <= int(xMax * pixelsPerMillimetre); ++x)
            if (page.valid(x, y) && qGray(page.pixel(x, y)) < darkest.lightness())
                darkest = page.pixelColor(x, y);
    return darkest;
}

} // namespace

void TestPrintPdf::initTestCase()
{
    if (QStandardPaths::findExecutable(QStringLiteral("pdftotext")).isEmpty()) {
        if (qgetenv("CI") == "true")
            QFAIL("pdftotext (poppler-utils) is missing");
        QSKIP("pdftotext (poppler-utils) is not installed");
    }
}

void TestPrintPdf::layoutOnPaper()
{
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("log.pdf"));
    QStringList lines;
    for (int i = 1; i <= 49; ++i)
        lines << (i == 3 ? QString() : QStringLiteral("R%1").arg(i, 2, 10, QLatin1Char('0')));
    {
        QPrinter printer(QPrinter::HighResolution);
        setUpPdf(printer, file);
        DevicePrinter device(printer);
        PrintDocument(device, vrx::test::linesOf(lines.join(QStringLiteral("\r\n"))));
    }

    QString error;
    const auto pages = readWords(file, &error);
    QVERIFY2(error.isEmpty(), qPrintable(error));
    QCOMPARE(pages.size(), 2);

    for (int i = 0; i < lines.size(); ++i) {
        if (lines[i].isEmpty())
            continue;
        const int page = i / 48;
        const int k = i % 48;
        const Word* word = findWord(pages[page], lines[i]);
        QVERIFY2(word, qPrintable(lines[i]));
        QVERIFY2(qAbs(word->xMin - MarginLeft - onPaper(18)) < Tolerance, qPrintable(lines[i]));
        QVERIFY2(qAbs(word->yMin - MarginTop - onPaper(25 + 5 * k)) < Tolerance,
                 qPrintable(QStringLiteral("%1 at %2 mm").arg(lines[i]).arg(word->yMin - MarginTop)));
        // Three characters of 10-point fixed pitch: 18 points wide.
        QVERIFY(qAbs(word->xMax - word->xMin - 18 * MillimetresPerPoint) < 0.2);
    }
    // Nothing else on page 2 than its line and the footer.
    QCOMPARE(pages[1].size(), 5);


    for (int p = 0; p < 2; ++p) {
        const Word* label = findWord(pages[p], QStringLiteral("Page"));
        QVERIFY(label);
        QVERIFY(qAbs(label->xMin - MarginLeft - onPaper(88)) < Tolerance);
        QVERIFY(qAbs(label->yMin - MarginTop - onPaper(270)) < Tolerance);
        QStringList footer;
        for (const Word& w : pages[p])
            if (qAbs(w.yMin - label->yMin) < 0.1)
                footer << w.text;
        QCOMPARE(footer.join(QLatin1Char(' ')), QStringLiteral("Page %1 of 2").arg(p + 1));
    }
}

// Lines of text drawn by the printer object: each word lands at its character column, in the
// colour its line was printed in.
void TestPrintPdf::wordsOnPaper_data()
{
    QTest::addColumn<QStringList>("lines");        // printed 5 mm apart, from 20 mm, 40 mm
    QTest::addColumn<QList<int>>("colours");       // colour number of each line
    QTest::addColumn<QStringList>("words");        // "word line column"
    QTest::addColumn<QString>("redWord");          // a word whose ink is red, the first word black

    QTest::newRow("spaces move on") << QStringList{"A  B", "   C   D", "E"} << QList<int>{0, 0, 0}
                                    << QStringList{"A 0 0", "B 0 3", "C 1 3", "D 1 7", "E 2 0"} << QString();
    QTest::newRow("Windows-1252 beyond Latin-1")
        << QStringList{QString::fromUtf8("€5 – 3™ Œuvre"), QString::fromUtf8("“quoted” …")} << QList<int>{0, 0}
        << QStringList{QString::fromUtf8("€5 0 0"), QString::fromUtf8("– 0 3"), QString::fromUtf8("3™ 0 5"),
                       QString::fromUtf8("Œuvre 0 8"), QString::fromUtf8("“quoted” 1 0"),
                       QString::fromUtf8("… 1 9")}
        << QString();
    QTest::newRow("colour changes between lines")
        << QStringList{"BLACK1", "RED", "BLACK2"} << QList<int>{0, 12, 0}
        << QStringList{"BLACK1 0 0", "RED 1 0", "BLACK2 2 0"} << QStringLiteral("RED");
    // More glyphs than are held back before drawing: the page is drawn in parts.
    QStringList longLines;
    QStringList longWords;
    for (int i = 0; i < 6; ++i) {
        longLines << QStringLiteral("L%1 ").arg(i) + QString(3990, QLatin1Char('='));
        longWords << QStringLiteral("L%1 %1 0").arg(i);
    }
    QTest::newRow("long lines") << longLines << QList<int>(6, 0) << longWords << QString();
}

void TestPrintPdf::wordsOnPaper()
{
    QFETCH(QStringList, lines);
    QFETCH(QList<int>, colours);
    QFETCH(QStringList, words);
    QFETCH(QString, redWord);

    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("words.pdf"));
    {
        QPrinter printer(QPrinter::HighResolution);
        setUpPdf(printer, file);
        DevicePrinter device(printer);
        device.setFontName(PrintFontName);
        device.setFontSize(PrintFontSize);
        for (int i = 0; i < lines.size(); ++i)
            PrintTextAt(device, lines[i], 20, float(40 + 5 * i), std::int16_t(colours[i]));
        device.endDoc();
    }
    QString error;
    const auto pages = readWords(file, &error);
    QVERIFY2(error.isEmpty(), qPrintable(error));
    QCOMPARE(pages.size(), 1);
    constexpr double Column = 6 * MillimetresPerPoint;   // 10-point fixed pitch
    for (const QString& expected : words) {
        const QStringList parts = expected.split(QLatin1Char(' '));
        const Word* word = findWord(pages[0], parts[0]);
        QVERIFY2(word, qPrintable(parts[0]));
        QVERIFY2(qAbs(word->xMin - MarginLeft - onPaper(20) - parts[2].toInt() * Column) < Tolerance,
                 qPrintable(expected + QStringLiteral(" at x %1 mm").arg(word->xMin - MarginLeft)));
        QVERIFY2(qAbs(word->yMin - MarginTop - onPaper(40 + 5 * parts[1].toInt())) < Tolerance,
                 qPrintable(expected + QStringLiteral(" at y %1 mm").arg(word->yMin - MarginTop)));
    }
    const auto inkOf = [&](const QString& text) {
        const Word* word = findWord(pages[0], text);
        return word ? inkIn(file, word->xMin, word->yMin, word->xMax, word->yMax, &error) : QColor();
    };
    const QColor first = inkOf(words[0].section(QLatin1Char(' '), 0, 0));
    QVERIFY2(error.isEmpty(), qPrintable(error));
    QVERIFY2(first.red() < 80 && first.green() < 80 && first.blue() < 80, qPrintable(first.name()));
    if (!redWord.isEmpty()) {
        const QColor red = inkOf(redWord);
        QVERIFY2(red.red() > 200 && red.green() < 80 && red.blue() < 80, qPrintable(red.name()));
    }
}

void TestPrintPdf::printingAdvancesAcrossOnly()
{
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("pieces.pdf"));
    {
        QPrinter printer(QPrinter::HighResolution);
        setUpPdf(printer, file);
        DevicePrinter device(printer);
        device.setFontName(PrintFontName);
        device.setFontSize(PrintFontSize);
        PrintTextAt(device, QStringLiteral("AB"), 20, 40, 0);
        const float y = device.currentY();
        PrintTextAt(device, QStringLiteral("CD"), -10, 0, 0);   // 10 mm after the end of AB, same line
        QCOMPARE(device.currentY(), y);
        device.endDoc();
    }
    QString error;
    const auto pages = readWords(file, &error);
    QVERIFY2(error.isEmpty(), qPrintable(error));
    QCOMPARE(pages.size(), 1);
    const Word* ab = findWord(pages[0], QStringLiteral("AB"));
    const Word* cd = findWord(pages[0], QStringLiteral("CD"));
    QVERIFY(ab && cd);
    QVERIFY(qAbs(cd->xMin - ab->xMax - onPaper(10)) < 0.2);
    QVERIFY(qAbs(cd->yMin - ab->yMin) < 0.01);
}

void TestPrintPdf::emptyTextMakesNoFile()
{
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("empty.pdf"));
    QPrinter printer(QPrinter::HighResolution);
    setUpPdf(printer, file);
    DevicePrinter device(printer);
    PrintDocument(device, DisplayLines());
    device.endDoc();
    QVERIFY(!QFile::exists(file));
}

void TestPrintPdf::documentPastTheLimitFails()
{
    // A document growing past what the PDF writer can make stops with the reason, at the page
    // that takes it there, not at its end.
    QTemporaryDir dir;
    QStringList lines;
    for (int i = 1; i <= 48 * 100; ++i)
        lines << QStringLiteral("Line %1 VERTICAL SCALE - CH1 5mV/div MEASURED 24.47 mV PASS").arg(i);
    const auto print = [&](const QString& file, qint64 limit) {
        QPrinter printer(QPrinter::HighResolution);
        setUpPdf(printer, file);
        DevicePrinter device(printer);
        device.setMaxDocumentBytes(limit);
        PrintDocument(device, vrx::test::linesOf(lines.join(QStringLiteral("\r\n"))));
    };
    const QString whole = dir.filePath(QStringLiteral("whole.pdf"));
    print(whole, MaxPdfBytes);
    const QString cut = dir.filePath(QStringLiteral("cut.pdf"));
    try {
        print(cut, (64 << 20) + 8000);   // the reserve for the page under way, and 8 KB
        QFAIL("no failure");
    } catch (const PrintError& error) {
        QCOMPARE(QString::fromUtf8(error.what()),
                 QStringLiteral("The document would pass 2 GiB, the largest the PDF writer can make."));
    }
    QVERIFY2(QFileInfo(cut).size() < QFileInfo(whole).size() / 2,
             qPrintable(QStringLiteral("%1 of %2 bytes").arg(QFileInfo(cut).size()).arg(QFileInfo(whole).size())));
}
