#include <QApplication>

int runUpdateCheckTests(int argc, char** argv);
int runAboutFormTests(int argc, char** argv);
int runCheckUntilKilled(int argc, char** argv);

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    // Run as the check that a test ends by a signal.
    if (const int checked = runCheckUntilKilled(argc, argv); checked >= 0)
        return checked;
    int failures = runUpdateCheckTests(argc, argv);
    failures += runAboutFormTests(argc, argv);
    return failures == 0 ? 0 : 1;
}
