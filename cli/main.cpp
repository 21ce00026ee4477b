#include "cli/Vrxlog.h"
#include "files/Files.h"
#ifdef VRXLOG_QUICK_PDF
#include "cli/QuickPdf.h"
#endif

#include <QGuiApplication>
#include <cstdio>
#include <cstring>
#include <memory>

namespace {

// Qt's own warnings about the desktop session (no runtime folder, no display) mean nothing
// to a command-line user; only what vrxlog itself says goes to standard error.
void quietQtMessages(QtMsgType type, const QMessageLogContext&, const QString& message)
{
    // As every message of vrxlog: a line behind "vrxlog: ", any further ones indented.
    if (type == QtCriticalMsg || type == QtFatalMsg)
        std::fprintf(stderr, "vrxlog: %s\n", qPrintable(QString(message).replace(QLatin1Char('\n'), QStringLiteral("\n  "))));
}

} // namespace

int main(int argc, char* argv[])
{
    vrx::files::prepareStandardStreams();
    vrx::files::removeTemporariesOnInterrupt();
    qInstallMessageHandler(quietQtMessages);
    // A command-line tool: it draws PDF pages but never opens a window, so it needs no display,
    // whatever platform the desktop session names. On Windows the system's own platform needs
    // none either, and is the one that finds the system's fonts.
#ifdef _WIN32
    qputenv("QT_QPA_PLATFORM", "windows");
#else
    qputenv("QT_QPA_PLATFORM", "offscreen");
#endif
    // Qt takes options such as -platform or -reverse out of the command line it is given, even
    // after "--": it gets the program name only, and the arguments are read here, as the
    // system's bytes, so any file name reaches vrxlog unchanged.
    const std::vector<std::string> words = vrx::files::commandLineArguments(argc, argv);
    int qtArgc = 1;
    char* qtArgv[] = {argv[0], nullptr};
    // Only the PDF is drawn with Qt's graphics (fonts, painter, PDF writer); text and status do
    // without them, and so without the font set-up that would take most of their start.
    std::unique_ptr<QCoreApplication> app;
    if (!words.empty() && words.front() == "pdf") {
#ifdef VRXLOG_QUICK_PDF
        vrx::keepLargeBlocks();
#endif
        app = std::make_unique<QGuiApplication>(qtArgc, qtArgv);
    } else
        app = std::make_unique<QCoreApplication>(qtArgc, qtArgv);
    QCoreApplication::setApplicationName(QStringLiteral("vrxlog"));
    QByteArrayList arguments;
    for (const std::string& word : words)
        arguments.append(QByteArray::fromStdString(word));
    return vrx::runVrxlog(arguments, stdout, stderr);
}
