// Runs every test class of the printing library; fails when any of them fails.

#include "tests/print/TestPrint.h"
#include "tests/print/OwnDefaultPrinter.h"

#include <QApplication>
#include <QtTest>

#if defined(__SANITIZE_ADDRESS__)
// libcups keeps a few strings of a PPD's cache unfreed when Qt looks at a PostScript queue's
// options (cupsMarkOptions); they are not this program's to free. Any other leak still fails.
extern "C" const char* __lsan_default_suppressions()
{
    return "leak:_ppdCacheCreateWithPPD\n";
}
#endif

int main(int argc, char** argv)
{
#ifndef _WIN32
    const vrx::test::OwnDefaultPrinter ownDefault("VRX-PDF-A");
#endif
    QApplication app(argc, argv);
    int failures = 0;
    {
        TestPrintLayout t;
        failures += QTest::qExec(&t, argc, argv);
    }
    {
        TestPrintPdf t;
        failures += QTest::qExec(&t, argc, argv);
    }
    {
        TestDefaultPrinter t;
        failures += QTest::qExec(&t, argc, argv);
    }
    {
        TestPrintCommand t;
        failures += QTest::qExec(&t, argc, argv);
    }
#ifndef _WIN32
    {
        TestPrintCups t;
        failures += QTest::qExec(&t, argc, argv);
    }
#endif
    return failures == 0 ? 0 : 1;
}
