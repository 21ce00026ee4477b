#include "cli/OutputFile.h"
#include "cli/Vrxlog.h"
#ifdef VRXLOG_QUICK_PDF
#include "cli/QuickPdf.h"
#endif

#include <QGuiApplication>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <fcntl.h>
#include <unistd.h>

namespace {

// Qt's own warnings about the desktop session (no runtime folder, no display) mean nothing
// to a command-line user; only what vrxlog itself says goes to standard error.
void quietQtMessages(QtMsgType type, const QMessageLogContext&, const QString& message)
{
    if (type == QtCriticalMsg || type == QtFatalMsg)
        std::fprintf(stderr, "vrxlog: %s\n", qPrintable(message));
}

// A standard stream the caller closed (`>&-`) is held open on /dev/null in the opposite
// direction: a file opened later cannot take its number and receive text meant for the
// terminal, and writing to it fails, which is then reported.
void holdClosedStandardStreams()
{
    for (int fd = 0; fd <= 2; ++fd) {
        if (::fcntl(fd, F_GETFD) == -1 && errno == EBADF) {
            const int held = ::open("/dev/null", fd == 0 ? O_WRONLY : O_RDONLY);
            if (held >= 0 && held != fd) {
                ::dup2(held, fd);
                ::close(held);
            }
        }
    }
}

} // namespace

int main(int argc, char* argv[])
{
    holdClosedStandardStreams();
    vrx::installTemporaryCleanup();
    qInstallMessageHandler(quietQtMessages);
    // A command-line tool: it draws PDF pages but never opens a window, so it needs no display,
    // whatever platform the desktop session names.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    // Qt takes options such as -platform or -reverse out of the command line it is given, even
    // after "--": it gets the program name only, and the arguments are read here, as the
    // system's bytes, so any file name reaches vrxlog unchanged.
    int qtArgc = 1;
    char* qtArgv[] = {argv[0], nullptr};
    // Only the PDF is drawn with Qt's graphics (fonts, painter, printer); text and status do
    // without them, and so without the font set-up that would take most of their start.
    std::unique_ptr<QCoreApplication> app;
    if (argc > 1 && std::strcmp(argv[1], "pdf") == 0) {
#ifdef VRXLOG_QUICK_PDF
        vrx::keepLargeBlocks();
#endif
        app = std::make_unique<QGuiApplication>(qtArgc, qtArgv);
    } else
        app = std::make_unique<QCoreApplication>(qtArgc, qtArgv);
    QCoreApplication::setApplicationName(QStringLiteral("vrxlog"));
    QByteArrayList arguments;
    for (int i = 1; i < argc; ++i)
        arguments.append(QByteArray(argv[i]));
    return vrx::runVrxlog(arguments, stdout, stderr);
}
