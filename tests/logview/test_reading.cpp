// A large log read while the window answers: its first lines at once, the rest with their
// progress, the outcome of "&Open File" at the end; Clear and another log that end the reading
// at once; a search that goes on while the window answers; and a log whose file changes while
// it is shown. The file is read as slowly as from a
// slow disk, so that each case sees the reading going on.

#include "tests/logview/Harness.h"
#include "platform/Identity.h"
#include "platform/LogFiles.h"
#include "tests/logview/LogViewTests.h"

#include <QAccessible>
#include <QClipboard>
#include <QDateTime>
#include <QGuiApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProgressBar>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <atomic>
#include <chrono>
#include <thread>

using namespace vrx;
using vrx::test::Harness;
using vrx::test::writeFile;

namespace {

// A log of sample-like lines (runs of spaces, words, repaired characters, now and then a line
// whose CR LF became LF alone, or one that failed) of about `bytes` bytes, ending with a marker
// line.
QByteArray largeLog(qsizetype bytes)
{
    QByteArray log;
    log.reserve(bytes + 100);
    for (int i = 0; log.size() < bytes; ++i) {
        log += "DC VOLTS 200mV RANGE\x01)\x04\x01!" + QByteArray::number(i) + "\x05\x01 \x0e\x01\x1f" "190.0 \xf1" "0.1\x05"
               "\x01 " + (i % 5000 == 4999 ? "\x10" : "\x0f");
        log += i % 1000 == 7 ? "\n" : "\r\n";
    }
    return log + "LAST LINE\r\n";
}

// Reads past the first megabyte take a while each, as from a slow disk.
void slowDisk(LogSource& file)
{
    file.setReadHook([](std::int64_t offset) {
        if (offset >= (1 << 20))
            std::this_thread::sleep_for(std::chrono::milliseconds(15));
    });
}

// Whether this process holds the file open (a log the window let go of must not stay open:
// Windows would not let it be deleted or replaced). Looked at where the system lists it.
bool heldOpen(const QString& path)
{
    const QString target = QFileInfo(path).canonicalFilePath();
    const QDir fds(QStringLiteral("/proc/self/fd"));
    for (const QFileInfo& fd : fds.entryInfoList(QDir::Files | QDir::System))
        if (fd.symLinkTarget() == target)
            return true;
    return false;
}

} // namespace

void ReadingTest::firstScreenWhileReading()
{
    QTemporaryDir dir;
    // Past 32 MB: two halves are read at once.
    const QByteArray log = largeLog(40 << 20);
    const QString path = writeFile(dir, QStringLiteral("large.log"), log);
    writeFile(dir, QStringLiteral("large.tst"), "1,-1\r\n");
    Harness h;
    h.view->setFileOpened(slowDisk);
    h.window.show();
    h.load(path);

    // The first lines are there at once, and how far the reading has come.
    QVERIFY(h.view->isReading());
    QVERIFY(h.display->lineCount() > 1000);
    const QByteArray firstLine = log.left(log.indexOf('\r'));
    QCOMPARE(std::string(h.display->lineText(0)),
             convertLogBytes(std::string_view(firstLine.constData(), size_t(firstLine.size()))).text);
    QProgressBar* bar = h.display->progressBar();
    QVERIFY(bar);
    QCOMPARE(bar->format(), QStringLiteral("Reading %p%"));
    QVERIFY(bar->value() < 100);
    QVERIFY(!h.printDisplay.isEnabled());
    QVERIFY(h.clearTests.isEnabled());   // Clear ends the reading
    QCOMPARE(h.platform.processEventsCalls, 0);
    // The box answers meanwhile: the caret moves through what is read so far.
    QTest::keyClick(h.display, Qt::Key_PageDown);
    QVERIFY(h.display->cursorPosition() > 0);

    QTRY_VERIFY_WITH_TIMEOUT(!h.view->isReading(), 60000);
    // Then as "&Open File" leaves it.
    QVERIFY2(h.platform.messages.isEmpty(), qPrintable(h.platform.messages.value(0).text));
    QVERIFY(!h.display->progressBar());
    QVERIFY(h.printDisplay.isEnabled());
    QVERIFY(h.clearTests.isEnabled());
    QVERIFY(h.showTestStatus.isEnabled());
    QCOMPARE(h.platform.processEventsCalls, 1);
    QCOMPARE(h.items(), (QStringList{"Test # 1  - PASS", "Test # 2  - FAIL"}));
    QVERIFY(h.display->cursorPosition() > 0);   // where the user left it
    QVERIFY(h.view->displayLines().text() == readLogFile(path).text);
    QCOMPARE(h.view->displayLines().line(h.view->displayLines().count() - 1), std::string_view("LAST LINE"));
}

void ReadingTest::failureAfterTheFirstScreen()
{
    QTemporaryDir dir;
    QByteArray log = largeLog(8 << 20);
    const int lines = int(log.count('\r'));
    log += "\x01\x05\r\nnever shown\r\n";
    const QString path = writeFile(dir, QStringLiteral("bad.log"), log);
    Harness h;
    h.view->setFileOpened(slowDisk);
    h.statusList->addItem(QStringLiteral("from before"));
    h.load(path);
    QVERIFY(h.view->isReading());
    QTRY_VERIFY_WITH_TIMEOUT(!h.view->isReading(), 60000);
    // The lines before the failing one stay, and the message is the one of a log read at once.
    QCOMPARE(h.platform.messages.size(), 1);
    QCOMPARE(h.platform.messages[0].text,
             QStringLiteral("The log file \"%1\" cannot be shown from line %2 on.\n"
                            "A run of spaces has no valid count character.\n"
                            "Only the lines before line %2 are shown.")
                 .arg(path)
                 .arg(lines + 1));
    QVERIFY(h.view->displayLines().text() == readLogFile(path).text);
    QVERIFY(!h.printDisplay.isEnabled());
    QCOMPARE(h.items(), QStringList{QStringLiteral("from before")});
}

void ReadingTest::stoppedAtOnce_data()
{
    QTest::addColumn<bool>("clear");          // Clear answered Yes, else another log opened
    QTest::addColumn<QString>("shown");
    QTest::addColumn<QStringList>("items");
    QTest::addColumn<bool>("printable");
    QTest::addColumn<QStringList>("titles");  // of the messages

    QTest::newRow("cleared") << true << QString() << QStringList() << false
                             << QStringList{QStringLiteral("Create Log File")};
    QTest::newRow("another log opened") << false << QStringLiteral("second") << QStringList{"Test # 1  - PASS"}
                                        << true << QStringList();
}

void ReadingTest::stoppedAtOnce()
{
    QFETCH(bool, clear);
    QFETCH(QString, shown);
    QFETCH(QStringList, items);
    QFETCH(bool, printable);
    QFETCH(QStringList, titles);
    QTemporaryDir dir;
    const QString first = writeFile(dir, QStringLiteral("large.log"), largeLog(8 << 20));
    writeFile(dir, QStringLiteral("large.tst"), "0,0,0\r\n");
    const QString second = writeFile(dir, QStringLiteral("second.log"), "second\r\n");
    writeFile(dir, QStringLiteral("second.tst"), "1\r\n");
    Harness h;
    // The first log from a disk slow enough that its reading would go on for a second;
    // every read of it once it should have stopped is counted.
    std::atomic<bool> stopped{false};
    std::atomic<int> lateReads{0};
    int filesOpened = 0;
    h.view->setFileOpened([&](LogSource& file) {
        if (filesOpened++ > 0)
            return;
        file.setReadHook([&](std::int64_t offset) {
            if (stopped.load())
                ++lateReads;
            if (offset >= (1 << 20))
                std::this_thread::sleep_for(std::chrono::milliseconds(150));
        });
    });
    h.load(first);
    QVERIFY(h.view->isReading());
    QVERIFY(!h.display->isEmpty());
#ifdef Q_OS_LINUX
    QVERIFY(heldOpen(first));
#endif

    QElapsedTimer took;
    took.start();
    if (clear) {
        h.platform.messageAnswers.append(MessageResult::Yes);
        QVERIFY(h.view->clear());
    } else {
        h.load(second);
    }
    stopped.store(true);
    QVERIFY2(took.elapsed() < 500, qPrintable(QString::number(took.elapsed())));
    QVERIFY(!h.view->isReading());

    // Nothing of the first log comes after: no read, no signal, no message.
    QSignalSpy printableSpy(h.view, &LogView::printableChanged);
    QSignalSpy openedSpy(h.view, &LogView::logOpened);
    QSignalSpy statusSpy(h.view, &LogView::statusAvailableChanged);
    QTest::qWait(300);
    QCOMPARE(lateReads.load(), 0);
    QCOMPARE(printableSpy.count() + openedSpy.count() + statusSpy.count(), 0);
    QStringList shownTitles;
    for (const auto& m : h.platform.messages)
        shownTitles << m.title;
    QCOMPARE(shownTitles, titles);
    QCOMPARE(h.display->toPlainText(), shown);
    QVERIFY(!h.display->progressBar());
    QCOMPARE(h.items(), items);
    QCOMPARE(h.printDisplay.isEnabled(), printable);
    QCOMPARE(h.view->logFileName(), clear ? QString() : QStringLiteral("second.log"));
#ifdef Q_OS_LINUX
    QVERIFY(!heldOpen(first));
#endif
}

void ReadingTest::findWhileTheWindowAnswers()
{
    QTemporaryDir dir;
    const QString path = writeFile(dir, QStringLiteral("large.log"), largeLog(24 << 20));
    writeFile(dir, QStringLiteral("large.tst"), "1\r\n");
    Harness h;
    h.view->setFileOpened(slowDisk);
    int selected = 0;
    QObject::connect(h.view, &LogView::matchSelected, [&selected] { ++selected; });
    h.load(path);
    QVERIFY(h.view->isReading());

    // F8 goes through the lines read so far at once.
    QTRY_VERIFY(h.display->lineCount() > 5000);
    QVERIFY(h.view->findFailure(true));
    QVERIFY(h.view->isReading());
    QCOMPARE(h.display->lineOf(h.display->selectionStart()), size_t(4999));
    QVERIFY(h.display->selectedText().startsWith(QLatin1String("DC VOLTS 200mV RANGE")));
    QVERIFY(h.display->selectedText().endsWith(QLatin1String(" FAIL")));
    QCOMPARE(selected, 1);

    // A search asked for while a log is read is made once it has been, over all its lines.
    QVERIFY(!h.view->findNext({QStringLiteral("last line"), false, true}));
    QVERIFY(!h.view->isFinding());
    QTRY_COMPARE_WITH_TIMEOUT(selected, 2, 60000);
    QCOMPARE(h.display->selectedText(), QStringLiteral("LAST LINE"));
    QVERIFY(h.platform.messages.isEmpty());

    // A long search goes on with its progress shown; Esc stops it, and nothing is said.
    h.display->setCursorPosition(0);
    QVERIFY(!h.view->findNext({QStringLiteral("no such text"), false, true}));
    QVERIFY(h.view->isFinding());
    QCOMPARE(h.display->progressBar()->format(), QStringLiteral("Finding %p%"));
    QTest::keyClick(h.view, Qt::Key_Escape);
    QVERIFY(!h.view->isFinding());
    QVERIFY(!h.display->progressBar());
    QTest::qWait(200);
    QVERIFY(h.platform.messages.isEmpty());
    QCOMPARE(h.display->cursorPosition(), 0);
    QCOMPARE(selected, 2);
}

void ReadingTest::changedWhileShown_data()
{
    QTest::addColumn<QString>("change");   // append, rewrite, replace, delete
    QTest::addColumn<bool>("reopen");      // the answer to the question
    QTest::addColumn<QString>("message");  // %1 the quoted path
    QTest::addColumn<QString>("shown");    // afterwards

    const QString again = QStringLiteral("\nThe window keeps showing it as it was read.\nDo you want to open it again?");
    QTest::newRow("appended to: followed")
        << "append" << false << QString() << "first\nsecond\nthird";
    QTest::newRow("rewritten shorter, kept")
        << "rewrite" << false << QStringLiteral("The log file %1 has been shortened since it was opened.") + again
        << "first\nsecond";
    // A second run of the same test: as long as before, its time put back; only the time of the
    // file's last change of any kind, which no one sets, tells.
    QTest::newRow("rewritten as long, time put back, kept")
        << "same length" << false << QStringLiteral("The log file %1 has changed since it was opened.") + again
        << "first\nsecond";
    QTest::newRow("replaced, kept")
        << "replace" << false
        << QStringLiteral("The log file %1 has been replaced by another file since it was opened.") + again
        << "first\nsecond";
    QTest::newRow("replaced, opened again")
        << "replace" << true
        << QStringLiteral("The log file %1 has been replaced by another file since it was opened.") + again
        << "new";
    QTest::newRow("deleted")
        << "delete" << false
        << QStringLiteral("The log file %1 is no longer there.\nThe window keeps showing it as it was read.")
        << "first\nsecond";
}

void ReadingTest::changedWhileShown()
{
    QFETCH(QString, change);
    QFETCH(bool, reopen);
    QFETCH(QString, message);
    QFETCH(QString, shown);
    QTemporaryDir dir;
    const QString path = writeFile(dir, QStringLiteral("run1.log"), "first\r\nsecond\r\n");
    writeFile(dir, QStringLiteral("run1.tst"), "1\r\n");
    Harness h;
    h.load(path);
    QVERIFY(h.platform.messages.isEmpty());
    h.view->lookForChange();
    QVERIFY(h.platform.messages.isEmpty());

    QFile file(path);
    if (change == QLatin1String("append")) {
        QVERIFY(file.open(QIODevice::Append) && file.write("third\r\n") == 7);
    } else if (change == QLatin1String("rewrite")) {
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write("other\r\n") == 7);
    } else if (change == QLatin1String("same length")) {
        const QDateTime modified = QFileInfo(path).lastModified();
        QVERIFY(file.open(QIODevice::ReadWrite) && file.write("FIRST\r\nSECOND\r\n") == 15 && file.flush());
        QVERIFY(file.setFileTime(modified, QFileDevice::FileModificationTime));
    } else if (change == QLatin1String("replace")) {
        writeFile(dir, QStringLiteral("new.log"), "new\r\n");
        QVERIFY(QFile::remove(path) && QFile::rename(dir.filePath(QStringLiteral("new.log")), path));
    } else {
        QVERIFY(QFile::remove(path));
    }
    file.close();

    h.platform.messageAnswers.append(reopen ? MessageResult::Yes : MessageResult::No);
    h.view->lookForChange();
    if (message.isEmpty()) {
        QVERIFY(h.platform.messages.isEmpty());
        QCOMPARE(h.display->toPlainText(), shown);
        return;
    }
    QCOMPARE(h.platform.messages.size(), 1);
    const auto& m = h.platform.messages[0];
    QCOMPARE(m.text, message.arg(QLatin1Char('"') + path + QLatin1Char('"')));
    QCOMPARE(m.title, ProgramTitle);
    QCOMPARE(m.buttons, change == QLatin1String("delete") ? MessageButtons::Ok : MessageButtons::YesNo);
    // Opened again as "&Open File" opens it, or kept as it was: never a mix of the two.
    QCOMPARE(h.display->toPlainText(), shown);
    QVERIFY(h.printDisplay.isEnabled());
    // Said once.
    h.view->lookForChange();
    QCOMPARE(h.platform.messages.size(), 1);
}

void ReadingTest::followedWhileWritten_data()
{
    QTest::addColumn<QByteArrayList>("writes");    // appended to the log one after the other; "tst:" to the status file
    QTest::addColumn<QStringList>("shown");        // the display's last lines after each
    QTest::addColumn<QString>("counters");         // after the last write
    QTest::newRow("CR LF in the middle of a write")
        << QByteArrayList{"third\r", "\nfourth\r\n"} << QStringList{"third", "third\nfourth"} << "1 0 0";
    QTest::newRow("a write that ends inside a run of spaces")
        << QByteArrayList{"Test 3\x01", "(\x0F\r\n"} << QStringList{"second", "Test 3          PASS"} << "1 0 0";
    QTest::newRow("a line without its end yet")
        << QByteArrayList{"thi", "rd\r\n", "fourth\r\n"} << QStringList{"thi", "third", "third\nfourth"} << "1 0 0";
    QTest::newRow("the status file growing with it")
        << QByteArrayList{"third \x10\r\n", "tst:-1\r\n", "fourth \x0F\r\n", "tst:1\r\n"}
        << QStringList{"third FAIL", "third FAIL", "third FAIL\nfourth PASS", "third FAIL\nfourth PASS"} << "2 1 0";
}

// A log shown while its test writes it: what is added shows at once, with no question, and the
// view stays at the end where it was there; the status list and counters follow the status file.
// A rewrite afterwards is still told.
void ReadingTest::followedWhileWritten()
{
    QFETCH(QByteArrayList, writes);
    QFETCH(QStringList, shown);
    QFETCH(QString, counters);
    QTemporaryDir dir;
    QByteArray log;
    for (int i = 1; i <= 100; ++i)
        log += "line " + QByteArray::number(i) + "\r\n";
    const QString path = writeFile(dir, QStringLiteral("run1.log"), log + "first\r\nsecond\r\n");
    const QString status = writeFile(dir, QStringLiteral("run1.tst"), "1\r\n");
    Harness h;
    h.load(path);
    h.display->scrollToEnd();
    QVERIFY(h.display->showsEnd());
    const auto append = [](const QString& file, const QByteArray& bytes) {
        QFile f(file);
        return f.open(QIODevice::Append) && f.write(bytes) == bytes.size();
    };
    for (qsizetype step = 0; step < writes.size(); ++step) {
        const QByteArray& write = writes[step];
        QVERIFY(write.startsWith("tst:") ? append(status, write.mid(4)) : append(path, write));
        h.view->lookForChange();
        QVERIFY2(h.platform.messages.isEmpty(), qPrintable(h.platform.messages.value(0).text));
        QVERIFY2(h.display->toPlainText().endsWith(QLatin1Char('\n') + shown[step]), qPrintable(shown[step]));
        QVERIFY(h.display->showsEnd());
    }
    QCOMPARE(h.captions().join(QLatin1Char(' ')), counters);
    QVERIFY(h.printDisplay.isEnabled());

    // Scrolled back to the top, the view stays there as lines come.
    h.display->scrollToLine(0);
    QVERIFY(append(path, "fifth\r\n"));
    h.view->lookForChange();
    QCOMPARE(h.display->firstVisibleLine(), size_t(0));
    QVERIFY(h.display->toPlainText().endsWith(QStringLiteral("\nfifth")));

    // Rewritten in place afterwards: told, not followed.
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadWrite) && file.write("LINE") == 4);
    file.close();
    h.platform.messageAnswers.append(MessageResult::No);
    h.view->lookForChange();
    QCOMPARE(h.platform.messages.size(), 1);
    QVERIFY(h.platform.messages[0].text.contains(QLatin1String("has changed since it was opened")));
    QVERIFY(!h.display->toPlainText().contains(QLatin1String("LINE")));
}

void ReadingTest::rewrittenUnderTheWindow_data()
{
    QTest::addColumn<qint64>("held");   // logs of up to this many bytes are held as read
    QTest::newRow("held as read") << qint64(LogSource::HeldSize);
    QTest::newRow("read again from the file") << qint64(0);
}

// A second run of the same test rewrites a shown log in place, every line as long as before,
// and puts its time back. A copy made before pastes what was copied; the window shows, copies,
// finds and reads out the log as it was read, or, where it cannot, says so: never a line of the
// second run.
void ReadingTest::rewrittenUnderTheWindow()
{
    QFETCH(qint64, held);
    QTemporaryDir dir;
    QByteArray log;
    for (int i = 1; i <= 3000; ++i)
        log += "Test " + QByteArray::number(10000 + i) + " \x0F\r\n";
    const QString path = writeFile(dir, QStringLiteral("run1.log"), log);
    writeFile(dir, QStringLiteral("run1.tst"), "1\r\n");
    Harness h;
    h.view->setHeldSize(held);
    h.platform.messageAnswers.append(MessageResult::No);   // not opened again
    h.load(path);
    QTRY_VERIFY(!h.view->isReading());
    const QString before = h.display->toPlainText();
    QVERIFY(before.startsWith(QStringLiteral("Test 10001 PASS\nTest 10002 PASS")));
    h.display->selectAll();
    h.display->copy();
    QCOMPARE(QGuiApplication::clipboard()->text(), before);

    QFile file(path);
    const QDateTime modified = QFileInfo(path).lastModified();
    QVERIFY(file.open(QIODevice::ReadWrite) && file.write(QByteArray(log).replace('\x0F', '\x10')) == log.size()
            && file.flush() && file.setFileTime(modified, QFileDevice::FileModificationTime));
    file.close();
    QCOMPARE(QGuiApplication::clipboard()->text(), before);

    // The lines are read again (as the screen, a screen reader and Copy read them).
    QAccessibleTextInterface* reader = QAccessible::queryAccessibleInterface(h.display)->textInterface();
    const QString readOut = reader->text(0, int(h.display->characterCount()));
    h.display->copy();
    const QString copied = QGuiApplication::clipboard()->text();
    h.view->lookForChange();
    QTRY_COMPARE(h.platform.messages.size(), 1);
    const QString shownPath = QLatin1Char('"') + path + QLatin1Char('"');
    if (held) {
        QCOMPARE(readOut, before);
        QCOMPARE(copied, before);
        QCOMPARE(h.platform.messages[0].text, QStringLiteral("The log file %1 has changed since it was opened.\n"
                                                              "The window keeps showing it as it was read.\n"
                                                              "Do you want to open it again?")
                                                  .arg(shownPath));
    } else {
        QVERIFY(readOut.isEmpty());
        QVERIFY(copied.isEmpty());
        QCOMPARE(h.platform.messages[0].text,
                 QStringLiteral("The log file %1 has changed since it was opened.\n"
                                "The window keeps showing the parts of it that still read as they did; the others "
                                "show as empty lines, and nothing of it can be copied, searched or printed.\n"
                                "Do you want to open it again?")
                     .arg(shownPath));
    }
    QVERIFY(!h.display->toPlainText().contains(QLatin1String("FAIL")));

    // Told once; what is asked afterwards is answered on its own.
    h.view->lookForChange();
    h.view->findNext({QStringLiteral("FAIL"), true, true});
    QTRY_COMPARE(h.platform.messages.size(), 2);
    QCOMPARE(h.platform.messages[1].text,
             held ? QStringLiteral("Cannot find \"FAIL\"")
                  : QStringLiteral("The log file %1 has changed since it was opened.\n"
                                   "The search was not made; open it again to search it as it is now.")
                        .arg(shownPath));
    h.display->copy();
    QCOMPARE(h.platform.messages.size(), held ? 2 : 3);
    QCOMPARE(QGuiApplication::clipboard()->text(), held ? before : QString());
}
