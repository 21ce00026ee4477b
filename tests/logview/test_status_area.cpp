// The status area's three states and the commands that move between them.

#include "tests/logview/Harness.h"
#include "platform/Identity.h"
#include "tests/logview/LogViewTests.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace vrx;
using vrx::test::Harness;

namespace {

// Loads a log with a good status file: the status area is available.
void loadGood(Harness& h, const QTemporaryDir& dir)
{
    const QString log = dir.filePath(QStringLiteral("t.log"));
    QFile f(log);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write("line 1\r\nline 2");
    f.close();
    QFile s(dir.filePath(QStringLiteral("t.tst")));
    QVERIFY(s.open(QIODevice::WriteOnly));
    s.write("1,-1,0");
    s.close();
    h.load(log);
    QVERIFY(h.platform.messages.isEmpty());
    QVERIFY(h.showTestStatus.isEnabled());
}

} // namespace

void StatusAreaTest::toggle()
{
    QTemporaryDir dir;
    Harness h;
    QVERIFY(h.covered());
    loadGood(h, dir);
    QVERIFY(h.covered());
    QVERIFY(!h.showTestStatus.isChecked());
    h.toggleStatus();
    QVERIFY(h.shown());
    QVERIFY(h.showTestStatus.isChecked());
    QCOMPARE(h.display->geometry().left(), twips(h.display, 120));
    QCOMPARE(h.display->geometry().width(), twips(h.display, 9975));
    h.toggleStatus();
    QVERIFY(h.covered());
    QVERIFY(!h.showTestStatus.isChecked());
}

void StatusAreaTest::toggleThroughMenuItem()
{
    // A checkable menu item turns its mark over before its handler runs; the handler must
    // still show the area on the first choice and cover it on the second.
    QTemporaryDir dir;
    Harness h;
    QObject::connect(&h.showTestStatus, &QAction::triggered, [&h] { h.toggleStatus(); });
    loadGood(h, dir);
    h.showTestStatus.trigger();
    QVERIFY(h.shown());
    QVERIFY(h.showTestStatus.isChecked());
    h.showTestStatus.trigger();
    QVERIFY(h.covered());
    QVERIFY(!h.showTestStatus.isChecked());
}

void StatusAreaTest::clear_data()
{
    QTest::addColumn<bool>("loaded");
    QTest::addColumn<bool>("shownBefore");
    QTest::addColumn<int>("answer"); // MessageResult
    QTest::addColumn<bool>("asked");
    QTest::addColumn<bool>("cleared");

    QTest::newRow("empty display: no question") << false << false << int(MessageResult::No) << false << true;
    QTest::newRow("covered, Yes") << true << false << int(MessageResult::Yes) << true << true;
    QTest::newRow("shown, Yes") << true << true << int(MessageResult::Yes) << true << true;
    QTest::newRow("covered, No") << true << false << int(MessageResult::No) << true << false;
    QTest::newRow("shown, No") << true << true << int(MessageResult::No) << true << false;
}

void StatusAreaTest::clear()
{
    QFETCH(bool, loaded);
    QFETCH(bool, shownBefore);
    QFETCH(int, answer);
    QFETCH(bool, asked);
    QFETCH(bool, cleared);

    QTemporaryDir dir;
    Harness h;
    if (loaded)
        loadGood(h, dir);
    if (shownBefore)
        h.toggleStatus();
    const QStringList itemsBefore = h.items();
    const QStringList captionsBefore = h.captions();
    const bool printBefore = h.printDisplay.isEnabled();
    const bool showEnabledBefore = h.showTestStatus.isEnabled();
    const QString textBefore = h.display->toPlainText();

    h.platform.messageAnswers.append(MessageResult(answer));
    h.view->clear();

    if (asked) {
        QCOMPARE(h.platform.messages.size(), 1);
        const auto& m = h.platform.messages.first();
        QCOMPARE(m.text, QStringLiteral("This will clear screen and (re)set all test status.\r\nDo you want to continue ?"));
        QCOMPARE(m.title, QStringLiteral("Create Log File"));
        QCOMPARE(m.buttons, MessageButtons::YesNo);
        QCOMPARE(m.icon, MessageIcon::Question);
    } else {
        QVERIFY(h.platform.messages.isEmpty());
    }

    if (cleared) {
        QCOMPARE(h.display->toPlainText(), QString());
        QVERIFY(h.view->displayText().isEmpty());
        QVERIFY(!h.printDisplay.isEnabled());
        QVERIFY(!h.showTestStatus.isEnabled());
        QVERIFY(!h.showTestStatus.isChecked());
        QVERIFY(h.covered());
    } else {
        QCOMPARE(h.display->toPlainText(), textBefore);
        QCOMPARE(h.printDisplay.isEnabled(), printBefore);
        QCOMPARE(h.showTestStatus.isEnabled(), showEnabledBefore);
        QCOMPARE(h.showTestStatus.isChecked(), shownBefore);
        QCOMPARE(h.shown(), shownBefore);
    }
    // The list and the counters are never emptied here; "&Clear Display/Status" stays as it was.
    QCOMPARE(h.items(), itemsBefore);
    QCOMPARE(h.captions(), captionsBefore);
    QCOMPARE(h.clearTests.isEnabled(), loaded);
}
