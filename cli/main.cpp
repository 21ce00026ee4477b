#include "Vrxlog.h"

#include <QGuiApplication>
#include <cstdio>

namespace {

// Qt's own warnings about the desktop session (no runtime folder, no display) mean nothing
// to a command-line user; only what vrxlog itself says goes to standard error.
void quietQtMessages(QtMsgType type, const QMessageLogContext&, const QString& message)
{
    if (type == QtCriticalMsg || type == QtFatalMsg)
        std::fprintf(stderr, "vrxlog: %s\n", qPrintable(message));
}

} // namespace

int main(int argc, char* argv[])
{
    qInstallMessageHandler(quietQtMessages);
    // A command-line tool: it draws PDF pages but never opens a window.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    QGuiApplication::setApplicationName(QStringLiteral("vrxlog"));
    QStringList arguments = QGuiApplication::arguments();
    arguments.removeFirst();
    return vrx::runVrxlog(arguments, stdout, stderr);
}
