// Default printer switching on Windows, against a stand-in for the Windows functions.
// The rows live in DefaultPrinterCases.h, which the Windows build runs as well.

#include "tests/print/DefaultPrinterCases.h"
#include "platform/Identity.h"
#include "tests/support/ScriptedPlatform.h"
#include "print/SystemDefaultPrinter.h"
#include "tests/print/TestPrint.h"

#include <QtTest>

using namespace vrx;

namespace {

template <typename Case>
void addRows(const std::vector<Case>& cases)
{
    QTest::addColumn<int>("row");
    for (std::size_t i = 0; i < cases.size(); ++i)
        QTest::newRow(cases[i].name) << int(i);
}

template <typename Case>
void runRow(const std::vector<Case>& cases)
{
    QFETCH(int, row);
    const std::string failure = test::run(cases[std::size_t(row)]);
    QVERIFY2(failure.empty(), failure.c_str());
}

} // namespace

void TestDefaultPrinter::methodByPlatform_data() { addRows(test::methodCases); }
void TestDefaultPrinter::methodByPlatform() { runRow(test::methodCases); }
void TestDefaultPrinter::profile_data() { addRows(test::profileCases); }
void TestDefaultPrinter::profile() { runRow(test::profileCases); }
void TestDefaultPrinter::splitDriverPort_data() { addRows(test::splitCases); }
void TestDefaultPrinter::splitDriverPort() { runRow(test::splitCases); }
void TestDefaultPrinter::spooler_data() { addRows(test::spoolerCases); }
void TestDefaultPrinter::spooler() { runRow(test::spoolerCases); }
void TestDefaultPrinter::copyStringAt_data() { addRows(test::copyCases); }
void TestDefaultPrinter::copyStringAt() { runRow(test::copyCases); }

void TestDefaultPrinter::spoolerLongNames()
{
    const std::string failure = test::runSpoolerLongNames();
    QVERIFY2(failure.empty(), failure.c_str());
}

void TestDefaultPrinter::messageThroughPlatform()
{
    // The refused SetPrinterA reaches the user as the program's own message box.
    test::FakeWindowsApi api;
    api.spooler["Laser"] = test::SpoolerPrinter{"Laser", "LPT1:", 0, 15000, 45000};
    api.setPrinterFails = true;
    test::ScriptedPlatform platform;
    MarkPrinterDefault(api, messageBoxOn(platform), "Laser");

    QCOMPARE(platform.messages.size(), 1);
    QCOMPARE(platform.messages[0].text, QStringLiteral("SetPrinterFailed. Error code: 5"));
    QCOMPARE(platform.messages[0].title, ProgramTitle);
    QCOMPARE(platform.messages[0].buttons, MessageButtons::Ok);
    QCOMPARE(platform.messages[0].icon, MessageIcon::None);
}
