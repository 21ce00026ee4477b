#include <QApplication>

int runUpdateCheckTests(int argc, char** argv);
int runAboutFormTests(int argc, char** argv);

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    int failures = runUpdateCheckTests(argc, argv);
    failures += runAboutFormTests(argc, argv);
    return failures == 0 ? 0 : 1;
}
