// Loading a log and its status file through "&Open File", with real files in a temporary
// folder and a scripted platform for the dialog and the message boxes.

#include "tests/logview/Harness.h"
#include "platform/Identity.h"
#include "platform/LogFiles.h"
#include "tests/logview/LogViewTests.h"

#include <QApplication>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace vrx;
using vrx::test::Harness;
using vrx::test::writeFile;

namespace {

QByteArray toBytes(const std::string& s)
{
    return QByteArray(s.data(), static_cast<qsizetype>(s.size()));
}

// What the text box shows: its line breaks as LF.
QString shownText(const QByteArray& displayBytes)
{
    QString s = decodeWindows1252(std::string_view(displayBytes.constData(), size_t(displayBytes.size())));
    return s.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
}

QString withPath(QString line, const QString& path)
{
    return line.replace(QStringLiteral("%1"), path);
}

} // namespace

void LoaderTest::initTestCase()
{
    QVERIFY(QTemporaryDir().isValid());
}

void LoaderTest::openDialog()
{
    Harness h;
    h.platform.openAnswers.append(std::nullopt);
    h.view->openFromDialog(h.defaultDir);
    QCOMPARE(h.platform.openRequests.size(), 1);
    const OpenFileRequest& r = h.platform.openRequests.first();
    QCOMPARE(r.fileName, QStringLiteral("*.log"));
    QCOMPARE(r.filter, QStringLiteral("Log Files (*.log *.LOG)"));
    QCOMPARE(r.initialDir, QStringLiteral("/start"));
    QCOMPARE(r.title, QStringLiteral("Log File"));
}

void LoaderTest::cancel()
{
    Harness h;
    h.display->setPlainText(QStringLiteral("earlier"));
    h.statusList->addItem(QStringLiteral("Test # 1  - PASS"));
    h.printDisplay.setEnabled(true);
    h.view->openFromDialog(h.defaultDir); // no answer: cancelled
    QCOMPARE(h.defaultDir, QStringLiteral("/start"));
    QVERIFY(h.platform.messages.isEmpty());
    QCOMPARE(h.display->toPlainText(), QStringLiteral("earlier"));
    QVERIFY(h.printDisplay.isEnabled());
    QCOMPARE(h.items(), QStringList{QStringLiteral("Test # 1  - PASS")});
    QCOMPARE(h.platform.processEventsCalls, 0);
}

void LoaderTest::logText_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QByteArray>("expected");

    QTest::newRow("one line") << QByteArray("\x0f" " run 1") << QByteArray("PASS run 1");
    QTest::newRow("one line with CR LF") << QByteArray("abc\r\n") << QByteArray("abc");
    QTest::newRow("two lines") << QByteArray("a\r\nb\r\n") << QByteArray("a\r\nb");
    QTest::newRow("leading empty lines") << QByteArray("\r\n\r\nthird\r\nfourth") << QByteArray("third\r\nfourth");
    QTest::newRow("empty lines later stay") << QByteArray("a\r\n\r\n\r\nb") << QByteArray("a\r\n\r\n\r\nb");
    QTest::newRow("CR only") << QByteArray("a\rb\rc\r") << QByteArray("a\r\nb\r\nc");
    QTest::newRow("lone LF stays in the line") << QByteArray("a\nb\r\nc") << QByteArray("a\nb\r\nc");
    QTest::newRow("LF only: one line") << QByteArray("a\nb\n") << QByteArray("a\nb\n");
    QTest::newRow("CR CR LF") << QByteArray("a\r\r\nb") << QByteArray("a\r\n\r\nb");
    QTest::newRow("repairs") << QByteArray("\xF1" "5 \xF3" "6 4\xE6" "s") << QByteArray("\xB1" "5 <6 4\xB5" "s");
    QTest::newRow("repaired count characters")
        << QByteArray("\x01\xF3|\r\n\x01\xE6|\r\n\x01\xF1|")
        << QByteArray(30, ' ') + "|\r\n" + QByteArray(151, ' ') + "|\r\n" + QByteArray(147, ' ') + "|";
    QTest::newRow("high bytes") << QByteArray("\x80\x81\x8D\x8F\x90\x9D\x9F\xA0\xFF") << QByteArray("\x80\x81\x8D\x8F\x90\x9D\x9F\xA0\xFF");
    QTest::newRow("tokens per line") << QByteArray("\x02\x01\"1\x07\r\n\x04\x03\x10") << QByteArray("VERTICAL SCALE    1div\r\nMEASURED - FAIL");
    QTest::newRow("first line converts to nothing") << QByteArray("\x01\x1e\r\nb") << QByteArray("b");
    QTest::newRow("only an empty line") << QByteArray("\r\n") << QByteArray();
    QTest::newRow("many lines")
        << QByteArray("l\x05\r\n").repeated(30000) << QByteArray("l mV\r\n").repeated(30000).chopped(2);
}

void LoaderTest::logText()
{
    QFETCH(QByteArray, file);
    QFETCH(QByteArray, expected);
    QTemporaryDir dir;
    const QString path = writeFile(dir, QStringLiteral("run1.log"), file);
    writeFile(dir, QStringLiteral("run1.tst"), "1\r\n");

    Harness h;
    h.window.show();
    QVERIFY(QTest::qWaitForWindowActive(&h.window));
    h.load(path);
    QCOMPARE(h.defaultDir, dir.path());
    QVERIFY2(h.platform.messages.isEmpty(), qPrintable(h.platform.messages.value(0).text));
    QCOMPARE(toBytes(h.view->displayBytes()), expected);
    QCOMPARE(h.view->displayText(), decodeWindows1252(std::string_view(expected.constData(), size_t(expected.size()))));
    QCOMPARE(h.display->toPlainText(), shownText(expected));
    QCOMPARE(h.platform.processEventsCalls, 1);
    QVERIFY(h.printDisplay.isEnabled());
    QVERIFY(h.clearTests.isEnabled());
    QVERIFY(h.showTestStatus.isEnabled());
    QVERIFY(h.display->hasFocus());
    QCOMPARE(h.view->logFileName(), QStringLiteral("run1.log"));   // names the print jobs
    // The lines held as the file's bytes are the lines of the text.
    QCOMPARE(h.view->displayLines().count(), DisplayLines(expected.toStdString()).count());

    // The pure reader gives the same text.
    QCOMPARE(toBytes(readLogFile(path).text), expected);
    QCOMPARE(toBytes(convertLogBytes(std::string_view(file.constData(), size_t(file.size()))).text), expected);
}

void LoaderTest::displayPieces_data()
{
    QTest::addColumn<int>("before"); // bytes before a CR LF, around a megabyte
    QTest::newRow("CR LF across a piece end") << (1 << 20) - 1;
    QTest::newRow("CR LF at a piece end") << (1 << 20) - 2;
    QTest::newRow("CR LF after a piece end") << (1 << 20);
}

void LoaderTest::displayPieces()
{
    QFETCH(int, before);
    const std::string bytes = std::string(size_t(before), 'a') + "\r\nb\r\n" + std::string(70000, 'c') + "\nd";
    LogTextView display;
    display.resize(400, 300);
    display.setLines(DisplayLines(bytes));
    QCOMPARE(display.toPlainText(),
             QString(before, QLatin1Char('a')) + "\nb\n" + QString(70000, QLatin1Char('c')) + "\nd");
    QCOMPARE(display.cursorPosition(), 0);
    // Long lines show in rows: the end of the text is reached and shown.
    QTest::keyClick(&display, Qt::Key_End, Qt::ControlModifier);
    QCOMPARE(display.cursorPosition(), display.characterCount());
    QCOMPARE(display.firstVisibleLine(), size_t(2));
}

void LoaderTest::windows1252()
{
    std::string all;
    for (int b = 0; b < 256; ++b)
        all.push_back(static_cast<char>(b));
    const QString text = decodeWindows1252(all);
    QCOMPARE(text.size(), 256);
    for (int b = 0; b < 256; ++b) {
        if (b < 0x80 || b >= 0xA0)
            QCOMPARE(text.at(b).unicode(), char16_t(b));
    }
    QCOMPARE(text.at(0x80).unicode(), char16_t(0x20AC));
    QCOMPARE(text.at(0x85).unicode(), char16_t(0x2026));
    QCOMPARE(text.at(0x8A).unicode(), char16_t(0x0160));
    QCOMPARE(text.at(0x92).unicode(), char16_t(0x2019));
    QCOMPARE(text.at(0x99).unicode(), char16_t(0x2122));
    QCOMPARE(text.at(0x9F).unicode(), char16_t(0x0178));
    for (int undefined : {0x81, 0x8D, 0x8F, 0x90, 0x9D})
        QCOMPARE(text.at(undefined).unicode(), char16_t(undefined));
    QCOMPARE(text.at(0xB5), QChar(u'µ'));
    QCOMPARE(text.at(0xB1), QChar(u'±'));
}

void LoaderTest::logFailures_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QString>("message");   // %1 stands for the quoted path
    QTest::addColumn<QString>("shown");     // the display afterwards

    QTest::newRow("empty") << QByteArray() << QStringLiteral("The log file %1 is empty.") << QString();
    QTest::newRow("run without count at line 3")
        << QByteArray("a\r\nb\r\nc\x01")
        << QStringLiteral("The log file %1 cannot be shown from line 3 on.\n"
                          "A run of spaces has no valid count character.\n"
                          "Only the lines before line 3 are shown.")
        << QStringLiteral("a\nb");
    QTest::newRow("count below 30 on line 1")
        << QByteArray("\x01\x10x\r\nb")
        << QStringLiteral("The log file %1 cannot be shown from line 1 on.\n"
                          "A run of spaces has no valid count character.\n"
                          "No lines are shown.")
        << QString();
    QTest::newRow("word beyond 32767 on line 2")
        << "ok\r\n" + QByteArray(32766, 'x') + "\x0f"
        << QStringLiteral("The log file %1 cannot be shown from line 2 on.\n"
                          "The line is too long: a position passes 32767.\n"
                          "Only the lines before line 2 are shown.")
        << QStringLiteral("ok");
    QTest::newRow("repair beyond 32767")
        << "ok\r\n\r\n" + QByteArray(32767, 'x') + "\xF1"
        << QStringLiteral("The log file %1 cannot be shown from line 3 on.\n"
                          "A character to repair stands beyond position 32767.\n"
                          "Only the lines before line 3 are shown.")
        << QStringLiteral("ok\n");
}

void LoaderTest::logFailures()
{
    QFETCH(QByteArray, file);
    QFETCH(QString, message);
    QFETCH(QString, shown);
    QTemporaryDir dir;
    const QString path = writeFile(dir, QStringLiteral("bad.log"), file);
    writeFile(dir, QStringLiteral("bad.tst"), "1\r\n");

    Harness h;
    h.display->setPlainText(QStringLiteral("earlier log"));
    h.statusList->addItem(QStringLiteral("Test # 1  - FAIL"));
    h.counters[1]->setText(QStringLiteral("1"));
    h.printDisplay.setEnabled(true);
    h.clearTests.setEnabled(true);
    h.showTestStatus.setEnabled(true);
    h.load(path);

    QCOMPARE(h.defaultDir, dir.path()); // kept although reading failed
    QCOMPARE(h.platform.messages.size(), 1);
    const auto& m = h.platform.messages.first();
    QCOMPARE(m.text, message.arg(QLatin1Char('"') + path + QLatin1Char('"')));
    QCOMPARE(m.title, ProgramTitle);
    QCOMPARE(m.buttons, MessageButtons::Ok);
    QCOMPARE(m.icon, MessageIcon::Information);
    QCOMPARE(h.display->toPlainText(), shown);
    QVERIFY(!h.printDisplay.isEnabled());
    QVERIFY(h.view->logFileName().isEmpty());
    QVERIFY(h.clearTests.isEnabled());
    QVERIFY(h.showTestStatus.isEnabled());
    QCOMPARE(h.items(), QStringList{QStringLiteral("Test # 1  - FAIL")});
    QCOMPARE(h.captions(), (QStringList{"0", "1", "0"}));
    QCOMPARE(h.platform.processEventsCalls, 0);
}

void LoaderTest::statusFile_data()
{
    QTest::addColumn<QByteArray>("content"); // null: no status file
    QTest::addColumn<QStringList>("items");
    QTest::addColumn<QStringList>("captions");
    QTest::addColumn<QString>("firstLine"); // empty: no message; %1 the status path

    const QStringList zeros{"0", "0", "0"};
    const QStringList four{"Test # 1  - PASS", "Test # 2  - FAIL", "Test # 3  - N/A", "Test # 4  - PASS"};
    QTest::newRow("four lines") << QByteArray("1\r\n-1\r\n0\r\n1\r\n") << four << QStringList{"2", "1", "1"} << QString();
    QTest::newRow("commas") << QByteArray("1,-1,0,1") << four << QStringList{"2", "1", "1"} << QString();
    QTest::newRow("spaces and breaks") << QByteArray("  1 ,\t-1\r\n 0,1  \r\n") << four << QStringList{"2", "1", "1"} << QString();
    QTest::newRow("LF and CR breaks") << QByteArray("1\n-1\r0\n1") << four << QStringList{"2", "1", "1"} << QString();
    QTest::newRow("blank lines skipped") << QByteArray("\r\n1\r\n\r\n-1\r\n  \r\n0\r\n1\r\n\r\n\r\n") << four
                                         << QStringList{"2", "1", "1"} << QString();
    QTest::newRow("signs and zeros") << QByteArray("+1,-01,-0,001,") << four << QStringList{"2", "1", "1"} << QString();
    QTest::newRow("no failures")
        << QByteArray("1\r\n1\r\n0\r\n0\r\n0\r\n1\r\n1\r\n1\r\n1\r\n1\r\n-1\r\n0")
        << QStringList{"Test # 1  - PASS", "Test # 2  - PASS", "Test # 3  - N/A",  "Test # 4  - N/A",
                       "Test # 5  - N/A",  "Test # 6  - PASS", "Test # 7  - PASS", "Test # 8  - PASS",
                       "Test # 9  - PASS", "Test # 10 - PASS", "Test # 11 - FAIL", "Test # 12 - N/A"}
        << QStringList{"7", "1", "4"} << QString();
    QTest::newRow("missing") << QByteArray() << QStringList() << zeros << QStringLiteral("\"%1\"  not found.");
    QTest::newRow("empty") << QByteArray("") << QStringList() << zeros << QStringLiteral("%1");
    QTest::newRow("only blank lines") << QByteArray(" \r\n\r\n") << QStringList() << zeros << QStringLiteral("%1");
    QTest::newRow("1, 2") << QByteArray("1, 2") << QStringList{"Test # 1  - PASS"} << zeros
                          << QStringLiteral("Corrupt or invalid file format.");
    QTest::newRow("2 first") << QByteArray("2\r\n1") << QStringList() << zeros
                             << QStringLiteral("Corrupt or invalid file format.");
    QTest::newRow("not a number later") << QByteArray("1\r\n0\r\nPASS\r\n") << QStringList{"Test # 1  - PASS", "Test # 2  - N/A"}
                                        << zeros << QStringLiteral("Corrupt or invalid file format.");
    QTest::newRow("too large") << QByteArray("-1,99999999999999999999") << QStringList{"Test # 1  - FAIL"} << zeros
                               << QStringLiteral("Corrupt or invalid file format.");
    QTest::newRow("not a number second") << QByteArray("1\nabc") << QStringList{"Test # 1  - PASS"} << zeros
                                         << QStringLiteral("Corrupt or invalid file format.");
    // A first value that is no 16-bit number names the file, as an empty file does; another
    // number first is corrupt.
    QTest::newRow("fraction first") << QByteArray("1.0") << QStringList() << zeros << QStringLiteral("%1");
    QTest::newRow("sign alone first") << QByteArray("-") << QStringList() << zeros << QStringLiteral("%1");
    QTest::newRow("word first") << QByteArray("abc\r\n1") << QStringList() << zeros << QStringLiteral("%1");
    QTest::newRow("99999 first") << QByteArray("99999") << QStringList() << zeros << QStringLiteral("%1");
    QTest::newRow("32768 first") << QByteArray(" 32768 ,1") << QStringList() << zeros << QStringLiteral("%1");
    QTest::newRow("overlong first") << QByteArray(70, '7') << QStringList() << zeros << QStringLiteral("%1");
    QTest::newRow("2 alone") << QByteArray("2") << QStringList() << zeros << QStringLiteral("Corrupt or invalid file format.");
    QTest::newRow("-32768 first") << QByteArray("\r\n-000032768") << QStringList() << zeros
                                  << QStringLiteral("Corrupt or invalid file format.");
}

void LoaderTest::statusFile()
{
    QFETCH(QByteArray, content);
    QFETCH(QStringList, items);
    QFETCH(QStringList, captions);
    QFETCH(QString, firstLine);
    QTemporaryDir dir;
    const QString log = writeFile(dir, QStringLiteral("run1.log"), "\x0f\r\n");
    const QString status = dir.filePath(QStringLiteral("run1.tst"));
    if (!content.isNull())
        writeFile(dir, QStringLiteral("run1.tst"), content);

    Harness h;
    h.statusList->addItem(QStringLiteral("from before"));
    h.load(log);
    QCOMPARE(h.display->toPlainText(), QStringLiteral("PASS"));
    QVERIFY(h.printDisplay.isEnabled());
    QVERIFY(h.clearTests.isEnabled());
    QCOMPARE(h.items(), items);
    QCOMPARE(h.captions(), captions);
    if (firstLine.isEmpty()) {
        QVERIFY(h.platform.messages.isEmpty());
        QVERIFY(h.showTestStatus.isEnabled());
    } else {
        QCOMPARE(h.platform.messages.size(), 1);
        const auto& m = h.platform.messages.first();
        QCOMPARE(m.text, withPath(firstLine, status) + QStringLiteral("\nTest Status Data will not be available."));
        QCOMPARE(m.title, QStringLiteral("Test Status File Error"));
        QCOMPARE(m.buttons, MessageButtons::Ok);
        QCOMPARE(m.icon, MessageIcon::Information);
        QVERIFY(!h.showTestStatus.isEnabled());
        QVERIFY(!h.showTestStatus.isChecked());
        QVERIFY(h.covered());
    }

    // The pure reader gives the same items and counts.
    const StatusFileResult r = readStatusFile(statusFilePath(log));
    QCOMPARE(r.items, items);
    QCOMPARE(r.errorLine.value_or(QString()), firstLine.isEmpty() ? QString() : withPath(firstLine, status));
}

void LoaderTest::statusFileCase_data()
{
    QTest::addColumn<QString>("logName");
    QTest::addColumn<QString>("statusName");
    QTest::addColumn<QString>("otherName"); // a second file that must not be taken; may be empty;
                                            // a folder when it ends with "/"

    QTest::newRow("upper-case names") << "RUN1.LOG" << "RUN1.TST" << "";
    QTest::newRow("lower-case log, upper-case status") << "run1.log" << "RUN1.TST" << "";
    QTest::newRow("mixed") << "Run1.Log" << "run1.TST" << "";
    QTest::newRow("exact name first") << "RUN1.LOG" << "RUN1.tst" << "RUN1.TST";
    QTest::newRow("a folder of the exact name is no status file") << "run1.log" << "RUN1.TST" << "run1.tst/";
}

void LoaderTest::statusFileCase()
{
    QFETCH(QString, logName);
    QFETCH(QString, statusName);
    QFETCH(QString, otherName);
    QTemporaryDir dir;
    const QString log = writeFile(dir, logName, "x");
    writeFile(dir, statusName, "1,-1");
    if (otherName.endsWith(QLatin1Char('/')))
        QVERIFY(QDir(dir.path()).mkdir(otherName.chopped(1)));
    else if (!otherName.isEmpty())
        writeFile(dir, otherName, "0");
    QCOMPARE(statusFilePath(log), dir.filePath(statusName));

    Harness h;
    h.load(log);
    QVERIFY(h.platform.messages.isEmpty());
    QCOMPARE(h.items(), (QStringList{"Test # 1  - PASS", "Test # 2  - FAIL"}));
    QCOMPARE(h.captions(), (QStringList{"1", "1", "0"}));
}

void LoaderTest::failCounterColour()
{
    QTemporaryDir dir;
    const QString red = writeFile(dir, QStringLiteral("red.log"), "x");
    writeFile(dir, QStringLiteral("red.tst"), "1,-1");
    const QString green = writeFile(dir, QStringLiteral("green.log"), "x");
    writeFile(dir, QStringLiteral("green.tst"), "1,0");
    const QString broken = writeFile(dir, QStringLiteral("broken.log"), "x");
    writeFile(dir, QStringLiteral("broken.tst"), "-1,7");

    Harness h;
    const QColor buttonText = QApplication::palette(h.counters[1]).color(QPalette::ButtonText);
    QVERIFY(buttonText != QColor(255, 0, 0));
    h.load(red);
    QCOMPARE(h.counters[1]->palette().color(QPalette::WindowText), QColor(255, 0, 0));
    h.load(green);
    QCOMPARE(h.counters[1]->palette().color(QPalette::WindowText), buttonText);
    h.load(red);
    // A bad status file leaves the colour as it was, and the captions at "0".
    h.load(broken);
    QCOMPARE(h.counters[1]->palette().color(QPalette::WindowText), QColor(255, 0, 0));
    QCOMPARE(h.captions(), (QStringList{"0", "0", "0"}));
    QCOMPARE(h.items(), QStringList{"Test # 1  - FAIL"});
    QCOMPARE(h.view->testCounts()[1], qint16(1));
}

void LoaderTest::secondLoadWhileShown()
{
    QTemporaryDir dir;
    const QString first = writeFile(dir, QStringLiteral("a.log"), "first");
    writeFile(dir, QStringLiteral("a.tst"), "1");
    const QString second = writeFile(dir, QStringLiteral("b.log"), "second");
    writeFile(dir, QStringLiteral("b.tst"), "0,0,-1");

    Harness h;
    h.load(first);
    h.toggleStatus();
    QVERIFY(h.shown());
    h.load(second);
    QVERIFY(h.platform.messages.isEmpty());
    QVERIFY(h.shown());
    QVERIFY(h.showTestStatus.isChecked());
    QVERIFY(h.showTestStatus.isEnabled());
    QCOMPARE(h.display->toPlainText(), QStringLiteral("second"));
    QCOMPARE(h.items(), (QStringList{"Test # 1  - N/A", "Test # 2  - N/A", "Test # 3  - FAIL"}));
    QCOMPARE(h.captions(), (QStringList{"0", "1", "2"}));
}

void LoaderTest::statusErrorWhileShown()
{
    QTemporaryDir dir;
    const QString first = writeFile(dir, QStringLiteral("a.log"), "first");
    writeFile(dir, QStringLiteral("a.tst"), "1");
    const QString second = writeFile(dir, QStringLiteral("b.log"), "second");

    Harness h;
    h.load(first);
    h.toggleStatus();
    h.load(second);
    QVERIFY(h.covered());
    QVERIFY(!h.showTestStatus.isChecked());
    QVERIFY(!h.showTestStatus.isEnabled());
    QVERIFY(h.printDisplay.isEnabled());
    QCOMPARE(h.platform.messages.size(), 1);
    QCOMPARE(h.platform.messages.first().text,
             QLatin1Char('"') + dir.filePath(QStringLiteral("b.tst"))
                 + QStringLiteral("\"  not found.\nTest Status Data will not be available."));
    // Shown again only after a good status file, and then covered first.
    h.load(first);
    QVERIFY(h.covered());
    QVERIFY(h.showTestStatus.isEnabled());
    h.toggleStatus();
    QVERIFY(h.shown());
}

void LoaderTest::tooManyTests()
{
    QTemporaryDir dir;
    const QString log = writeFile(dir, QStringLiteral("big.log"), "x");
    writeFile(dir, QStringLiteral("big.tst"), QByteArray("1\r\n").repeated(32767));
    Harness h;
    h.load(log);
    QVERIFY(h.platform.messages.isEmpty());
    QCOMPARE(h.statusList->count(), 32767);
    QCOMPARE(h.statusList->item(99)->text(), QStringLiteral("Test # 100 - PASS"));
    QCOMPARE(h.statusList->item(32766)->text(), QStringLiteral("Test # 32767 - PASS"));
    QCOMPARE(h.captions(), (QStringList{"32767", "0", "0"}));

    writeFile(dir, QStringLiteral("big.tst"), QByteArray("0\r\n").repeated(32768));
    h.load(log);
    QCOMPARE(h.platform.messages.size(), 1);
    QCOMPARE(h.platform.messages.first().text,
             QStringLiteral("Too many tests: more than 32767 in the file.\nTest Status Data will not be available."));
    QCOMPARE(h.statusList->count(), 32767);
    QCOMPARE(h.captions(), (QStringList{"0", "0", "0"}));
}

void LoaderTest::folderOfPath_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("folder");
    QTest::newRow("plain") << "/home/u/logs/run1.log" << "/home/u/logs";
    QTest::newRow("title earlier in path") << "/data/run1.log/run1.log" << "/data/run1.log";
    QTest::newRow("name inside folder name") << "/x/a.log.d/a.log" << "/x/a.log.d";
    QTest::newRow("root") << "/run1.log" << "/";
    QTest::newRow("no folder") << "run1.log" << "";
}

void LoaderTest::folderOfPath()
{
    QFETCH(QString, path);
    QFETCH(QString, folder);
    QCOMPARE(vrx::folderOfPath(path), folder);
}

// A large log is read in chunks whose halves are converted at once; the text, the line count
// and the failing line must be what converting line after line gives.
void LoaderTest::largeLogAsInOrder_data()
{
    QTest::addColumn<QByteArray>("log");
    QByteArray body;
    for (int i = 0; body.size() < 9 * 1024 * 1024; ++i) {
        body += "\x02\x03CH" + QByteArray::number(i % 7) + "\x07\x01\"\x04\x01\x1f" + QByteArray::number(i) + "\x05\x01#\x0f";
        // CR LF mostly; now and then a lone CR, a lone LF inside a line, or an empty line.
        body += i % 97 == 0 ? "\r" : i % 89 == 0 ? "\nx\r\n" : i % 83 == 0 ? "\r\n\r\n" : "\r\n";
    }
    QTest::newRow("whole") << body;
    QTest::newRow("leading empty lines") << QByteArray("\r\n\r\r\n") + body;
    QTest::newRow("no final line end") << body + "last";
    QByteArray early = body;
    early.insert(early.indexOf("\r\n", 1000 * 1000) + 2, "bad\x01\r\n");
    QTest::newRow("fails in a first half") << early;
    QByteArray late = body;
    late.insert(late.indexOf("\r\n", 3 * 1024 * 1024 + 100) + 2, "bad\x01\x05\r\n");
    QTest::newRow("fails in a second half") << late;
    QByteArray end = body;
    end.insert(end.size() - 10, "\r\n\x01");
    QTest::newRow("fails near the end") << end;
    // Lines past 4 MiB are checked as they are read and converted in pieces.
    const QByteArray plain(6 * 1024 * 1024, 'p');
    QTest::newRow("6 MB line with tokens in front") << body + "\x02\x01\x40\x06" + plain + "\x01\r\n" + body;
    QTest::newRow("6 MB line without line end") << body + "\xE6\x01\x35" + plain;
    QTest::newRow("6 MB line of empty runs, then a word")
        << QByteArray("a\r\n") + QByteArray(3 * 1024 * 1024, '\x01').replace("\x01", "\x01\x1e") + "\x03\r\nz";
    QTest::newRow("6 MB line, a run past 32767 late") << body + plain + "\x01\x40\r\n" + body;
    QTest::newRow("6 MB line, a word past 32767") << QByteArray(40000, 'w') + "\x0f" + plain + "\r\nz";
    QTest::newRow("6 MB line, a late repair before an early bad run")
        << body + "\x01\x10" + plain + "\xF1\r\n" + body;
    QTest::newRow("6 MB line, a bad run at its very end") << body + plain + "\x01";
}

void LoaderTest::largeLogAsInOrder()
{
    QFETCH(QByteArray, log);
    QTemporaryDir dir;
    const QString path = writeFile(dir, QStringLiteral("large.log"), log);
    const LogRead inOrder = convertLogBytes(std::string_view(log.constData(), size_t(log.size())), path);
    const LogRead read = readLogFile(path);
    QCOMPARE(read.lines, inOrder.lines);
    QCOMPARE(read.failure.has_value(), inOrder.failure.has_value());
    if (read.failure) {
        QCOMPARE(read.failure->line, inOrder.failure->line);
        QCOMPARE(int(read.failure->kind), int(inOrder.failure->kind));
    }
    QVERIFY(read.text == inOrder.text);

    // Handed on in pieces, the text is the same.
    std::string pieces;
    const LogRead streamed = streamLogFile(path, [&](const std::string& piece) { pieces += piece; }, 1 << 20);
    QVERIFY(streamed.text.empty());
    QCOMPARE(streamed.lines, inOrder.lines);
    QVERIFY(pieces == inOrder.text);

    // Passed on as read, long lines included, the text is the same where the log converts.
    std::string passedOn;
    const LogRead passed = streamLogFile(path, [&](const std::string& piece) { passedOn += piece; }, 1 << 20,
                                               LongLines::PassedOn);
    QCOMPARE(passed.lines, inOrder.lines);
    QCOMPARE(passed.failure.has_value(), inOrder.failure.has_value());
    if (!passed.failure)
        QVERIFY(passedOn == inOrder.text);

    // Only checked, the verdict is the same.
    const LogRead checked = checkLogFile(path);
    QVERIFY(checked.text.empty());
    QCOMPARE(checked.lines, inOrder.lines);
    QCOMPARE(checked.failure.has_value(), inOrder.failure.has_value());
    if (checked.failure) {
        QCOMPARE(checked.failure->line, inOrder.failure->line);
        QCOMPARE(checked.failure->reason, inOrder.failure->reason);
    }
}
