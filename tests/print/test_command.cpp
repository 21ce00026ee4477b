// The print command against a stand-in for the system's printers.

#include "platform/Identity.h"
#include "print/PrintCommand.h"
#include "print/PrinterSystem.h"
#include "tests/print/RecordingPrinter.h"
#include "tests/support/ScriptedPlatform.h"
#include "tests/print/TestPrint.h"
#include "tests/support/ChangingLog.h"

#include <QtTest>

#include <algorithm>
#include <functional>

using namespace vrx;
using vrx::test::RecordingPrinter;

Q_DECLARE_METATYPE(vrx::PageSelection)
Q_DECLARE_METATYPE(std::optional<QString>)

namespace {

class FakePrinters : public PrinterSystem {
public:
    QString defaultPrinter = QStringLiteral("Office");
    // Like the Windows dialog: the printer picked becomes the default while printing.
    bool openingMakesDefault = false;
    bool selectWorks = true;
    bool failDefaultQuery = false;
    bool goneAfterDialog = false;   // the printing system stops answering once the dialog is shown
    int defaultQueries = 0;
    bool failOpen = false;
    QSizeF printable{11906, 16838};   // A4, no unprintable edge
    QStringList events;
    QList<test::PrintedDocument> documents;   // every document ended with pages on it
    QStringList jobNames;                      // and its job's name
    std::function<void()> afterDocument;       // called as each document with pages ends

    QString defaultPrinterName() override
    {
        if (failDefaultQuery)
            throw PrintError("no printer system");
        if (goneAfterDialog && defaultQueries++ > 0)
            return {};
        return defaultPrinter;
    }
    void selectDefaultPrinter(const QString& name) override
    {
        events << QStringLiteral("select ") + name;
        if (selectWorks)
            defaultPrinter = name;
    }
    std::unique_ptr<Printer> openPrinter(const PrinterChoice& choice) override
    {
        const QString& name = choice.printerName;
        events << QStringLiteral("open ") + name;
        if (failOpen)
            throw PrintError("The printer \"" + name.toStdString() + "\" is not available.");
        if (openingMakesDefault)
            defaultPrinter = name;
        auto made = std::make_unique<LoggingPrinter>(*this);
        made->name = name;
        made->printable = printable;
        return made;
    }

private:
    class LoggingPrinter : public RecordingPrinter {
    public:
        explicit LoggingPrinter(FakePrinters& system) : m_system(system) {}
        void endDoc() override
        {
            m_system.events << (current.isEmpty() ? QStringLiteral("end empty")
                                                  : QStringLiteral("end %1 pages").arg(current.size()));
            const bool pages = !current.isEmpty();
            if (pages) {
                m_system.documents << current;
                m_system.jobNames << jobName;
            }
            RecordingPrinter::endDoc();
            if (pages && m_system.afterDocument)
                m_system.afterDocument();
        }

    private:
        FakePrinters& m_system;
    };
};

QString lines(int n)
{
    QStringList list;
    for (int i = 1; i <= n; ++i)
        list << QStringLiteral("line %1").arg(i);
    return list.join(NewLine);
}

} // namespace

void TestPrintCommand::dialogRequest()
{
    test::ScriptedPlatform platform;
    FakePrinters printers;
    PrintDisplay_Click(platform, nullptr, lines(97), printers);   // cancelled: no answer scripted
    QCOMPARE(platform.printerRequests.size(), 1);
    QCOMPARE(platform.printerRequests[0].copies, 1);
    QVERIFY(platform.printerRequests[0].hidePrintToFile);
    QVERIFY(platform.printerRequests[0].noSelection);
    QCOMPARE(platform.printerRequests[0].pageCount, qint64(3));   // the range offered is 1 to 3
}

void TestPrintCommand::runs_data()
{
    QTest::addColumn<QString>("picked");
    QTest::addColumn<int>("copies");
    QTest::addColumn<bool>("openingMakesDefault");
    QTest::addColumn<QString>("text");
    QTest::addColumn<PageSelection>("pages");
    QTest::addColumn<QString>("logName");
    QTest::addColumn<QStringList>("events");
    QTest::addColumn<QStringList>("footers");   // of each copy's pages
    QTest::addColumn<QStringList>("jobs");

    const QString title = ProgramTitle;
    QTest::newRow("keep default, one copy") << "Office" << 1 << false << lines(3) << PageSelection{}
        << "scope-fail.log" << QStringList{"open Office", "end 1 pages", "end empty"}
        << QStringList{"Page 1 of 1"} << QStringList{"scope-fail.log"};
    QTest::newRow("other printer, two copies") << "Lab" << 2 << false << lines(60) << PageSelection{}
        << "scope-fail.log" << QStringList{"open Lab", "end 2 pages", "end 2 pages", "end empty"}
        << QStringList{"Page 1 of 2", "Page 2 of 2"}
        << QStringList{"scope-fail.log (copy 1 of 2)", "scope-fail.log (copy 2 of 2)"};
    QTest::newRow("dialog changed the default") << "Lab" << 2 << true << lines(60) << PageSelection{} << ""
        << QStringList{"open Lab", "end 2 pages", "end 2 pages", "end empty", "select Office"}
        << QStringList{"Page 1 of 2", "Page 2 of 2"}
        << QStringList{title + " (copy 1 of 2)", title + " (copy 2 of 2)"};
    QTest::newRow("same printer picked") << "Office" << 1 << true << lines(1) << PageSelection{} << ""
        << QStringList{"open Office", "end 1 pages", "end empty"} << QStringList{"Page 1 of 1"} << QStringList{title};
    QTest::newRow("empty display") << "Lab" << 2 << false << QString() << PageSelection{} << "a.log"
        << QStringList{"open Lab", "end empty", "end empty", "end empty"} << QStringList() << QStringList();
    QTest::newRow("pages 2 to 3 of 4") << "Office" << 2 << false << lines(4 * 48) << PageSelection{{2, 3}} << "a.log"
        << QStringList{"open Office", "end 2 pages", "end 2 pages", "end empty"}
        << QStringList{"Page 2 of 4", "Page 3 of 4"} << QStringList{"a.log (copy 1 of 2)", "a.log (copy 2 of 2)"};
    QTest::newRow("range past the end stops at the last page") << "Office" << 1 << false << lines(4 * 48 - 1)
        << PageSelection{{3, 9}} << "a.log" << QStringList{"open Office", "end 2 pages", "end empty"}
        << QStringList{"Page 3 of 4", "Page 4 of 4"} << QStringList{"a.log"};
    QTest::newRow("several ranges") << "Office" << 1 << false << lines(5 * 48) << PageSelection{{4, 4}, {1, 2}}
        << "a.log" << QStringList{"open Office", "end 3 pages", "end empty"}
        << QStringList{"Page 1 of 5", "Page 2 of 5", "Page 4 of 5"} << QStringList{"a.log"};
}

void TestPrintCommand::runs()
{
    QFETCH(QString, picked);
    QFETCH(int, copies);
    QFETCH(bool, openingMakesDefault);
    QFETCH(QString, text);
    QFETCH(PageSelection, pages);
    QFETCH(QString, logName);
    QFETCH(QStringList, events);
    QFETCH(QStringList, footers);
    QFETCH(QStringList, jobs);

    test::ScriptedPlatform platform;
    platform.printerAnswers << PrinterChoice{picked, copies, pages, nullptr};
    FakePrinters printers;
    printers.openingMakesDefault = openingMakesDefault;
    PrintDisplay_Click(platform, nullptr, text, printers, logName);

    QCOMPARE(printers.events, events);
    QCOMPARE(printers.defaultPrinter, QStringLiteral("Office"));
    QVERIFY(platform.messages.isEmpty());
    QVERIFY(!platform.busy);
    QCOMPARE(platform.busyOnCalls, platform.busyOffCalls);
    QVERIFY(platform.busyOnCalls >= 1);
    QCOMPARE(printers.jobNames, jobs);
    // Every copy is complete: its pages with the whole document's count, lines from the top.
    for (const auto& document : printers.documents) {
        QStringList printed;
        for (const auto& page : document) {
            printed << page[0].text;
            QCOMPARE(page[1].y, 1417.5f);
        }
        QCOMPARE(printed, footers);
    }
    const int firstPage = footers.isEmpty() ? 1 : footers[0].section(QLatin1Char(' '), 1, 1).toInt();
    if (!printers.documents.isEmpty())
        QCOMPARE(printers.documents[0][0][1].text, QStringLiteral("line %1").arg((firstPage - 1) * 48 + 1));
}

// Nothing to print, or paper too small for the page: the user is told or asked.
void TestPrintCommand::askedOrTold_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<PageSelection>("pages");
    QTest::addColumn<std::optional<QString>>("pageList");   // as typed in the dialog, if it was
    QTest::addColumn<QSizeF>("printable");    // twips
    QTest::addColumn<QList<MessageResult>>("answers");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QStringList>("events");

    const QSizeF a4(11906, 16838);
    const QString smallPaper = QStringLiteral(
        "The paper chosen leaves 203 x 254 mm for the log's pages, which need 112 x 275 mm: 48 lines and the page "
        "number at the foot. Lines or page numbers would be lost.\r\n\r\nPrint anyway?");
    const std::optional<QString> none;
    QTest::newRow("range past the end") << lines(4 * 48) << PageSelection{{5, 9}} << none << a4 << QList<MessageResult>()
        << "Pages 5 to 9 are not in the log, which has 4 pages. Nothing was printed." << QStringList();
    QTest::newRow("a page of an empty log") << QString() << PageSelection{{1, 1}} << none << a4 << QList<MessageResult>()
        << "Page 1 is not in the log, which has no pages. Nothing was printed." << QStringList();
    // A typed list that is none prints nothing (Qt's dialog would have meant every page), named
    // as typed; pages of a list past the end are named, also when the others are printed.
    const QString noList = QStringLiteral("\" are not a list of pages of this log, which has 4 pages (a list reads like "
                                          "1,3-4). Nothing was printed.");
    for (const char* typed : {"3-1", "0", "1,,-,x"})
        QTest::addRow("typed \"%s\"", typed) << lines(4 * 48) << PageSelection{} << std::optional<QString>(typed) << a4
            << QList<MessageResult>() << QStringLiteral("The pages \"") + typed + noList << QStringList();
    QTest::newRow("typed nothing") << lines(4 * 48) << PageSelection{} << std::optional<QString>(QString()) << a4
        << QList<MessageResult>()
        << "The list of pages is empty; this log has 4 pages (a list reads like 1,3-4). Nothing was printed."
        << QStringList();
    QTest::newRow("typed 99999999999") << lines(4 * 48) << PageSelection{} << std::optional<QString>("99999999999") << a4
        << QList<MessageResult>() << "Page 99999999999 is not in the log, which has 4 pages. Nothing was printed."
        << QStringList();
    QTest::newRow("typed 1,3 on one page") << lines(3) << PageSelection{} << std::optional<QString>("1,3") << a4
        << QList<MessageResult>() << "Page 3 is not in the log, which has 1 page, and was not printed."
        << QStringList{"open Office", "end 1 pages", "end empty"};
    QTest::newRow("typed 4-9, 2 ,3 on four pages") << lines(4 * 48) << PageSelection{} << std::optional<QString>("4-9, 2 ,3")
        << a4 << QList<MessageResult>() << "Pages 5 to 9 are not in the log, which has 4 pages, and were not printed."
        << QStringList{"open Office", "end 3 pages", "end empty"};
    // Letter less a quarter inch at the left and half an inch at the top for the origin, and as
    // much for the printer's border: the footer at 270 mm falls off the page.
    QTest::newRow("small paper, printed anyway") << lines(3) << PageSelection{} << none << QSizeF(11520, 14400)
        << QList<MessageResult>{MessageResult::Yes} << smallPaper
        << QStringList{"open Office", "end 1 pages", "end empty"};
    QTest::newRow("small paper, not printed") << lines(3) << PageSelection{} << none << QSizeF(11520, 14400)
        << QList<MessageResult>{MessageResult::No} << smallPaper << QStringList{"open Office"};
}

void TestPrintCommand::askedOrTold()
{
    QFETCH(QString, text);
    QFETCH(PageSelection, pages);
    QFETCH(std::optional<QString>, pageList);
    QFETCH(QSizeF, printable);
    QFETCH(QList<MessageResult>, answers);
    QFETCH(QString, message);
    QFETCH(QStringList, events);

    test::ScriptedPlatform platform;
    platform.printerAnswers << PrinterChoice{QStringLiteral("Office"), 1, pages, nullptr, pageList};
    platform.messageAnswers = answers;
    FakePrinters printers;
    printers.printable = printable;
    PrintDisplay_Click(platform, nullptr, text, printers);
    QCOMPARE(printers.events, events);
    QCOMPARE(platform.messages.size(), 1);
    QCOMPARE(platform.messages[0].text, message);
    QCOMPARE(platform.messages[0].title, ProgramTitle);
    QCOMPARE(platform.messages[0].buttons, answers.isEmpty() ? MessageButtons::Ok : MessageButtons::YesNo);
    QVERIFY(!platform.busy);
    QCOMPARE(platform.busyOnCalls, platform.busyOffCalls);
}

void TestPrintCommand::cancel()
{
    test::ScriptedPlatform platform;
    platform.printerAnswers << std::nullopt;
    FakePrinters printers;
    printers.openingMakesDefault = true;
    PrintDisplay_Click(platform, nullptr, lines(3), printers);
    QVERIFY(printers.events.isEmpty());
    QVERIFY(platform.messages.isEmpty());
    QCOMPARE(platform.busyOnCalls, 0);
    QCOMPARE(printers.defaultPrinter, QStringLiteral("Office"));
}

void TestPrintCommand::progress_data()
{
    QTest::addColumn<int>("cancelAfter");   // updates told before Cancel; -1: never
    QTest::addColumn<QStringList>("told");
    QTest::addColumn<QStringList>("events");
    QTest::addColumn<QStringList>("jobs");

    QTest::newRow("every page told") << -1
        << QStringList{"Printing page 1 of 2, copy 1 of 2 on Lab", "Printing page 2 of 2, copy 1 of 2 on Lab",
                       "Printing page 1 of 2, copy 2 of 2 on Lab", "Printing page 2 of 2, copy 2 of 2 on Lab",
                       "Printing page 2 of 2, copy 2 of 2 on Lab"}
        << QStringList{"open Lab", "end 2 pages", "end 2 pages", "end empty", "select Office"}
        << QStringList{"a.log (copy 1 of 2)", "a.log (copy 2 of 2)"};
    // Cancel in the second copy: the first one is with the printer, the second is dropped, the
    // default printer is put back, and nothing is said.
    QTest::newRow("cancelled in the second copy") << 4
        << QStringList{"Printing page 1 of 2, copy 1 of 2 on Lab", "Printing page 2 of 2, copy 1 of 2 on Lab",
                       "Printing page 1 of 2, copy 2 of 2 on Lab", "Printing page 2 of 2, copy 2 of 2 on Lab"}
        << QStringList{"open Lab", "end 2 pages", "select Office"} << QStringList{"a.log (copy 1 of 2)"};
}

void TestPrintCommand::progress()
{
    QFETCH(int, cancelAfter);
    QFETCH(QStringList, told);
    QFETCH(QStringList, events);
    QFETCH(QStringList, jobs);

    test::ScriptedPlatform platform;
    platform.printerAnswers << PrinterChoice{QStringLiteral("Lab"), 2, {}, nullptr};
    platform.cancelAfterUpdates = cancelAfter;
    FakePrinters printers;
    printers.openingMakesDefault = true;
    PrintDisplay_Click(platform, nullptr, lines(60), printers, QStringLiteral("a.log"));
    QCOMPARE(platform.progressTotals, QList<qint64>{4});
    QCOMPARE(platform.progressTexts, told);
    QCOMPARE(printers.events, events);
    QCOMPARE(printers.jobNames, jobs);
    QCOMPARE(printers.defaultPrinter, QStringLiteral("Office"));
    QVERIFY(platform.messages.isEmpty());
    QVERIFY(!platform.busy);
}

void TestPrintCommand::noPrinterInstalled()
{
    // No dialog whose Print button could only fail: the message says why nothing prints.
    test::ScriptedPlatform platform;
    platform.printers = false;
    platform.printerAnswers << PrinterChoice{QString(), 1, {}, nullptr};
    FakePrinters printers;
    PrintDisplay_Click(platform, nullptr, lines(3), printers);
    QVERIFY(platform.printerRequests.isEmpty());
    QVERIFY(printers.events.isEmpty());
    QCOMPARE(platform.messages.size(), 1);
    QCOMPARE(platform.messages[0].text, QStringLiteral("No printer is installed. Install a printer, then print again."));
    QCOMPARE(platform.messages[0].title, ProgramTitle);
    QCOMPARE(platform.messages[0].buttons, MessageButtons::Ok);
    QCOMPARE(platform.busyOnCalls, 0);
}

void TestPrintCommand::failureBeforeDialogIsQuiet()
{
    test::ScriptedPlatform platform;
    platform.printerAnswers << PrinterChoice{QStringLiteral("Lab"), 1, {}, nullptr};
    FakePrinters printers;
    printers.failDefaultQuery = true;
    PrintDisplay_Click(platform, nullptr, lines(3), printers);
    QVERIFY(platform.printerRequests.isEmpty());
    QVERIFY(printers.events.isEmpty());
    QVERIFY(platform.messages.isEmpty());
}

void TestPrintCommand::printingFailureIsReported()
{
    test::ScriptedPlatform platform;
    platform.printerAnswers << PrinterChoice{QStringLiteral("Gone"), 1, {}, nullptr};
    FakePrinters printers;
    printers.failOpen = true;
    PrintDisplay_Click(platform, nullptr, lines(3), printers);
    QCOMPARE(platform.messages.size(), 1);
    QCOMPARE(platform.messages[0].text,
             QStringLiteral("The log could not be printed on Gone.\r\nThe printer \"Gone\" is not available."));
    QCOMPARE(platform.messages[0].title, ProgramTitle);
    QCOMPARE(platform.messages[0].buttons, MessageButtons::Ok);
    QVERIFY(!platform.busy);
}

// The log is rewritten in place, as long as before, after the first of two copies went to the
// printer: the second stops at the first part that no longer reads as it did and never reaches
// the printer. The command says nothing itself: the log's owner tells the change, once.
void TestPrintCommand::logChangedWhilePrinting()
{
    std::string log;
    for (int i = 1; i <= 400; ++i)
        log += "Test " + std::to_string(1000 + i) + " \x0F\r\n";
    const auto bytes = std::make_shared<test::ChangingBytes>(log);
    const DisplayLines lines = test::checkedLines(bytes);
    test::ScriptedPlatform platform;
    platform.printerAnswers << PrinterChoice{QStringLiteral("Lab"), 2, {}, nullptr};
    FakePrinters printers;
    printers.openingMakesDefault = true;
    printers.afterDocument = [&] {
        std::string other = log;
        std::replace(other.begin(), other.end(), '\x0F', '\x10');
        bytes->set(other);
    };
    QCOMPARE(PrintDisplay_Click(platform, nullptr, lines, printers, QStringLiteral("a.log")), PrintOutcome::LogChanged);
    QCOMPARE(printers.documents.size(), 1);
    QCOMPARE(printers.events, (QStringList{"open Lab", "end 9 pages", "select Office"}));
    QVERIFY(platform.messages.isEmpty());
    QVERIFY(!platform.busy);
}

void TestPrintCommand::restoreFailureIsReported_data()
{
    QTest::addColumn<bool>("selectWorks");
    QTest::addColumn<bool>("goneAfterDialog");
    QTest::addColumn<QStringList>("events");
    QTest::addColumn<QStringList>("messages");
    QTest::newRow("the default cannot be set") << false << false
        << QStringList{"open Lab", "end 1 pages", "end empty", "select Office"}
        << QStringList{"The default printer could not be set back to Office."};
    // The scheduler stopped while the dialog was open: nothing is known to have changed.
    QTest::newRow("the printing system went away") << true << true
        << QStringList{"open Lab", "end 1 pages", "end empty"} << QStringList();
}

void TestPrintCommand::restoreFailureIsReported()
{
    QFETCH(bool, selectWorks);
    QFETCH(bool, goneAfterDialog);
    QFETCH(QStringList, events);
    QFETCH(QStringList, messages);
    test::ScriptedPlatform platform;
    platform.printerAnswers << PrinterChoice{QStringLiteral("Lab"), 1, {}, nullptr};
    FakePrinters printers;
    printers.openingMakesDefault = !goneAfterDialog;
    printers.selectWorks = selectWorks;
    printers.goneAfterDialog = goneAfterDialog;
    PrintDisplay_Click(platform, nullptr, lines(3), printers);
    QCOMPARE(printers.events, events);
    QStringList shown;
    for (const auto& message : platform.messages)
        shown << message.text;
    QCOMPARE(shown, messages);
    QVERIFY(!platform.busy);
}
