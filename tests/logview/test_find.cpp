// Finding a text in the loaded log: the match is selected in the display, or a message says
// that there is none. The search stops at either end of the text.

#include "tests/logview/Harness.h"
#include "platform/Identity.h"
#include "tests/logview/LogViewTests.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QTextCursor>

using namespace vrx;
using vrx::test::Harness;

namespace {

// Display text: "Alpha beta", "ALPHA gamma", "alpha" LF "beta Ärger". In the text box the
// CR LF and the LF are one character each: ALPHA at 11, alpha at 23, the second beta at 29.
const QByteArray SmallLog("Alpha beta\r\nALPHA gamma\r\nalpha\nbeta \xC4rger");

// 60,000 lines, so that the text box holds several lines a paragraph, and lone line feeds
// inside lines; the marker is on a line near the end.
QByteArray longLog()
{
    QByteArray log;
    for (int i = 0; i < 60000; ++i) {
        log += "Record " + QByteArray::number(i) + (i % 7 == 0 ? "\nnote" : "") + " ok";
        if (i == 59990)
            log += " Late Marker";
        if (i + 1 < 60000)
            log += "\r\n";
    }
    return log;
}

// The same with LF alone, as a file transfer leaves a log: one log line of 60,000 display lines.
QByteArray lineFeedLog()
{
    return longLog().replace("\r\n", "\n");
}

} // namespace

void FindTest::findNext_data()
{
    QTest::addColumn<QByteArray>("log");
    QTest::addColumn<int>("selectionStart"); // -1: the end of the text
    QTest::addColumn<int>("selectionEnd");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("matchCase");
    QTest::addColumn<bool>("down");
    QTest::addColumn<int>("expected");       // where the match starts; -1 none

    const QByteArray s = SmallLog;
    QTest::newRow("down from the start, any case") << s << 0 << 0 << "alpha" << false << true << 0;
    QTest::newRow("down after the selection") << s << 0 << 5 << "alpha" << false << true << 11;
    QTest::newRow("down, match case") << s << 0 << 0 << "alpha" << true << true << 23;
    QTest::newRow("down past a line feed inside a line") << s << 11 << 11 << "BETA" << false << true << 29;
    QTest::newRow("up from the end") << s << -1 << -1 << "alpha" << false << false << 23;
    QTest::newRow("up before the selection") << s << 23 << 28 << "alpha" << false << false << 11;
    QTest::newRow("up, match case") << s << -1 << -1 << "ALPHA" << true << false << 11;
    QTest::newRow("up: a match around the cursor is passed") << s << 4 << 4 << "alpha" << false << false << -1;
    QTest::newRow("down stops at the end") << s << 23 << 28 << "alpha" << false << true << -1;
    QTest::newRow("up stops at the start") << s << 0 << 5 << "alpha" << false << false << -1;
    QTest::newRow("not in the log") << s << 0 << 0 << "delta" << false << true << -1;
    QTest::newRow("Windows-1252 letter, any case") << s << 0 << 0 << "äRGER" << false << true << 34;
    QTest::newRow("Windows-1252 letter, match case") << s << 0 << 0 << "ärger" << true << true << -1;
    QTest::newRow("character Windows-1252 lacks") << s << 0 << 0 << "\u03b1" << false << true << -1;
    // Texts of one to three characters are found another way than longer ones.
    QTest::newRow("short, down, any case") << s << 0 << 0 << "pH" << false << true << 2;
    QTest::newRow("short, up, match case") << s << -1 << -1 << "PH" << true << false << 13;
    QTest::newRow("short, down to a later line") << s << 18 << 18 << "al" << false << true << 23;
    QTest::newRow("short, down stops at the end") << s << 24 << 24 << "al" << false << true << -1;
    QTest::newRow("short, Windows-1252 letter, any case") << s << 0 << 0 << "ä" << false << true << 34;
    QTest::newRow("short, Windows-1252 letter, match case") << s << 0 << 0 << "ä" << true << true << -1;
    QTest::newRow("short, up stops at the start") << s << 11 << 11 << "x" << false << false << -1;
    QTest::newRow("empty display") << QByteArray() << 0 << 0 << "alpha" << false << true << -1;
    // The message shows such a text by its first 79 characters and an ellipsis.
    QTest::newRow("32,000 characters not in the log") << s << 0 << 0 << QString(32000, QLatin1Char('x')) << false
                                                     << true << -1;

    const QByteArray l = longLog();
    const int marker = int(QString::fromLatin1(l).replace(QStringLiteral("\r\n"), QStringLiteral("\n"))
                               .indexOf(QStringLiteral("Late Marker")));
    QTest::newRow("late line of a long log") << l << 0 << 0 << "late marker" << false << true << marker;
    QTest::newRow("long log, up from the end") << l << -1 << -1 << "LATE MARKER" << false << false << marker;
    QTest::newRow("long log, short text down") << l << 0 << 0 << "MA" << false << true << marker + 5;
    QTest::newRow("long log, short text up") << l << -1 << -1 << "a" << false << false << marker + 6;
    QTest::newRow("long log, down after the match") << l << marker + 1 << marker + 1 << "Late Marker" << true
                                                    << true << -1;
    const QByteArray lf = lineFeedLog();
    QTest::newRow("LF alone, down") << lf << 0 << 0 << "late marker" << false << true << int(lf.indexOf("Late Marker"));
    QTest::newRow("LF alone, up from the end") << lf << -1 << -1 << "Record 3" << true << false
                                               << int(lf.lastIndexOf("Record 3"));
    QTest::newRow("LF alone, up from the middle") << lf << 400000 << 400000 << "ok" << false << false
                                                  << int(lf.lastIndexOf("ok", 400000 - 2));
}

void FindTest::findNext()
{
    QFETCH(QByteArray, log);
    QFETCH(int, selectionStart);
    QFETCH(int, selectionEnd);
    QFETCH(QString, text);
    QFETCH(bool, matchCase);
    QFETCH(bool, down);
    QFETCH(int, expected);

    Harness h;
    QTemporaryDir dir;
    if (!log.isEmpty()) {
        const QString path = dir.filePath(QStringLiteral("find.log"));
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(log);
        f.close();
        h.load(path);
        h.platform.messages.clear(); // no status file: not what this test is about
    }
    const qint64 end = h.display->characterCount();
    const qint64 before = selectionStart < 0 ? end : selectionStart;
    const qint64 beforeEnd = selectionEnd < 0 ? end : selectionEnd;
    h.display->setSelection(before, beforeEnd);

    const bool found = h.view->findNext({text, matchCase, down});

    QCOMPARE(found, expected >= 0);
    if (found) {
        QVERIFY(h.platform.messages.isEmpty());
        QCOMPARE(h.display->selectionStart(), expected);
        QCOMPARE(h.display->selectionEnd(), expected + text.size());
        QCOMPARE(h.display->selectedText().compare(text, matchCase ? Qt::CaseSensitive : Qt::CaseInsensitive), 0);
        // The match is on the screen.
        QVERIFY(h.display->characterRect(expected).isValid() || !h.window.isVisible());
    } else {
        QCOMPARE(h.platform.messages.size(), 1);
        const QString shown = text.size() > 80 ? text.left(79) + QChar(0x2026) : text;
        QCOMPARE(h.platform.messages[0].text, QStringLiteral("Cannot find \"") + shown + QLatin1Char('"'));
        QCOMPARE(h.platform.messages[0].title, ProgramTitle);
        QCOMPARE(h.platform.messages[0].buttons, MessageButtons::Ok);
        QCOMPARE(h.platform.messages[0].icon, MessageIcon::Information);
        QCOMPARE(h.display->selectionStart(), std::min(before, beforeEnd));
        QCOMPARE(h.display->selectionEnd(), std::max(before, beforeEnd));
    }
}

void FindTest::failures_data()
{
    QTest::addColumn<QByteArray>("log");
    QTest::addColumn<int>("caret");            // -1: the end of the text
    QTest::addColumn<QString>("keys");         // one letter a press: n F8, p Shift+F8
    QTest::addColumn<QStringList>("selected"); // the line selected after each; empty: "Cannot find"

    // FAIL as a word of its own, in capitals: not in FAILED, FAIL_1, xFAIL, ÄFAIL or fail.
    const QByteArray none("Test 1 FAILED\r\nFAIL_1 xFAIL \xC4\x46\x41IL\r\nfail\nFail");
    QTest::newRow("none") << none << 0 << "np" << QStringList{QString(), QString()};
    const QByteArray log("FAIL at 5 mV\r\nTest 2 \x0F\r\nTest 3 FAILED\r\nTest 4 (\x10)\nLIMIT 3\r\nTest 5 FAIL.");
    QTest::newRow("first line, on down")
        << log << 0 << "nnnnp"
        << QStringList{"FAIL at 5 mV", "Test 4 (FAIL)", "Test 5 FAIL.", QString(), "Test 4 (FAIL)"};
    QTest::newRow("last line, going up")
        << log << -1 << "ppnp" << QStringList{"Test 5 FAIL.", "Test 4 (FAIL)", "Test 5 FAIL.", "Test 4 (FAIL)"};
    QTest::newRow("from the middle of a line") << log << 20 << "np" << QStringList{"Test 4 (FAIL)", "FAIL at 5 mV"};
}

// F8 and Shift+F8: the next or previous line that holds the word FAIL is selected whole and
// shown; past the last one, the message Find gives.
void FindTest::failures()
{
    QFETCH(QByteArray, log);
    QFETCH(int, caret);
    QFETCH(QString, keys);
    QFETCH(QStringList, selected);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("run.log"));
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly) && f.write(log) == log.size());
    f.close();
    Harness h;
    h.load(path);
    h.platform.messages.clear();
    h.display->setCursorPosition(caret < 0 ? h.display->characterCount() : caret);
    for (qsizetype k = 0; k < keys.size(); ++k) {
        const bool found = h.view->findFailure(keys[k] == QLatin1Char('n'));
        QCOMPARE(found, !selected[k].isEmpty());
        if (found) {
            QCOMPARE(h.display->selectedText(), selected[k]);
            QVERIFY(h.platform.messages.isEmpty());
            continue;
        }
        QCOMPARE(h.platform.messages.size(), 1);
        QCOMPARE(h.platform.messages.takeFirst().text, QStringLiteral("Cannot find \"FAIL\""));
    }
}
