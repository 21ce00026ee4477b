// The print command against a stand-in for the system's printers.

#include "platform/Identity.h"
#include "print/PrintCommand.h"
#include "print/PrinterSystem.h"
#include "tests/print/RecordingPrinter.h"
#include "tests/support/ScriptedPlatform.h"
#include "tests/print/TestPrint.h"

#include <QtTest>

using namespace vrx;
using vrx::test::RecordingPrinter;

namespace {

class FakePrinters : public PrinterSystem {
public:
    QString defaultPrinter = QStringLiteral("Office");
    // Like the Windows dialog: the printer picked becomes the default while printing.
    bool openingMakesDefault = false;
    bool selectWorks = true;
    bool failDefaultQuery = false;
    bool failOpen = false;
    QStringList events;
    QList<test::PrintedDocument> documents;   // every document ended with pages on it

    QString defaultPrinterName() override
    {
        if (failDefaultQuery)
            throw PrintError("no printer system");
        return defaultPrinter;
    }
    void selectDefaultPrinter(const QString& name) override
    {
        events << QStringLiteral("select ") + name;
        if (selectWorks)
            defaultPrinter = name;
    }
    std::unique_ptr<Printer> openPrinter(const QString& name) override
    {
        events << QStringLiteral("open ") + name;
        if (failOpen)
            throw PrintError("The printer \"" + name.toStdString() + "\" is not available.");
        if (openingMakesDefault)
            defaultPrinter = name;
        auto made = std::make_unique<LoggingPrinter>(*this);
        made->name = name;
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
            if (!current.isEmpty())
                m_system.documents << current;
            RecordingPrinter::endDoc();
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
    PrintDisplay_Click(platform, nullptr, lines(3), printers);   // cancelled: no answer scripted
    QCOMPARE(platform.printerRequests.size(), 1);
    QCOMPARE(platform.printerRequests[0].copies, 1);
    QVERIFY(platform.printerRequests[0].hidePrintToFile);
    QVERIFY(platform.printerRequests[0].noSelection);
}

void TestPrintCommand::runs_data()
{
    QTest::addColumn<QString>("picked");
    QTest::addColumn<int>("copies");
    QTest::addColumn<bool>("openingMakesDefault");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("events");

    QTest::newRow("keep default, one copy") << "Office" << 1 << false << lines(3)
        << QStringList{"open Office", "end 1 pages", "end empty"};
    QTest::newRow("other printer, two copies") << "Lab" << 2 << false << lines(60)
        << QStringList{"open Lab", "end 2 pages", "end 2 pages", "end empty"};
    QTest::newRow("dialog changed the default") << "Lab" << 2 << true << lines(60)
        << QStringList{"open Lab", "end 2 pages", "end 2 pages", "end empty", "select Office"};
    QTest::newRow("same printer picked") << "Office" << 1 << true << lines(1)
        << QStringList{"open Office", "end 1 pages", "end empty"};
    QTest::newRow("empty display") << "Lab" << 2 << false << QString()
        << QStringList{"open Lab", "end empty", "end empty", "end empty"};
}

void TestPrintCommand::runs()
{
    QFETCH(QString, picked);
    QFETCH(int, copies);
    QFETCH(bool, openingMakesDefault);
    QFETCH(QString, text);
    QFETCH(QStringList, events);

    test::ScriptedPlatform platform;
    platform.printerAnswers << PrinterChoice{picked, copies};
    FakePrinters printers;
    printers.openingMakesDefault = openingMakesDefault;
    PrintDisplay_Click(platform, nullptr, text, printers);

    QCOMPARE(printers.events, events);
    QCOMPARE(printers.defaultPrinter, QStringLiteral("Office"));
    QVERIFY(platform.messages.isEmpty());
    QVERIFY(!platform.busy);
    QCOMPARE(platform.busyOnCalls, platform.busyOffCalls);
    QVERIFY(platform.busyOnCalls >= 1);
    // Every copy is complete and numbered from page 1.
    for (const auto& document : printers.documents) {
        for (int p = 0; p < document.size(); ++p)
            QCOMPARE(document[p][0].text, QStringLiteral("Page %1 of %2").arg(p + 1).arg(document.size()));
    }
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

void TestPrintCommand::noPrinterInstalled()
{
    // No dialog whose Print button could only fail: the message says why nothing prints.
    test::ScriptedPlatform platform;
    platform.printers = false;
    platform.printerAnswers << PrinterChoice{QString(), 1};
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
    platform.printerAnswers << PrinterChoice{QStringLiteral("Lab"), 1};
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
    platform.printerAnswers << PrinterChoice{QStringLiteral("Gone"), 1};
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

void TestPrintCommand::restoreFailureIsReported()
{
    test::ScriptedPlatform platform;
    platform.printerAnswers << PrinterChoice{QStringLiteral("Lab"), 1};
    FakePrinters printers;
    printers.openingMakesDefault = true;
    printers.selectWorks = false;
    PrintDisplay_Click(platform, nullptr, lines(3), printers);
    QCOMPARE(printers.events.last(), QStringLiteral("select Office"));
    QCOMPARE(platform.messages.size(), 1);
    QCOMPARE(platform.messages[0].text, QStringLiteral("The default printer could not be set back to Office."));
    QVERIFY(!platform.busy);
}
