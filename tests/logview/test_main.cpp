#include "tests/logview/LogViewTests.h"

#include <QApplication>
#include <QTest>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    int status = 0;
    {
        ConvertTest t;
        status |= QTest::qExec(&t, argc, argv);
    }
    {
        LoaderTest t;
        status |= QTest::qExec(&t, argc, argv);
    }
    {
        StatusAreaTest t;
        status |= QTest::qExec(&t, argc, argv);
    }
    {
        FindTest t;
        status |= QTest::qExec(&t, argc, argv);
    }
    {
        TextViewTest t;
        status |= QTest::qExec(&t, argc, argv);
    }
    {
        ReadingTest t;
        status |= QTest::qExec(&t, argc, argv);
    }
    return status;
}
