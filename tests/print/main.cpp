// Runs every test class of the printing library; fails when any of them fails.

#include "tests/print/TestPrint.h"

#include <QApplication>
#include <QtTest>

int main(int argc, char** argv)
{
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
