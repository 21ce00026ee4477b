#include "shell/Application.h"
#include "shell/Icon.h"
#include "platform/Identity.h"
#include "shell/MainForm.h"
#include "files/Files.h"
#include "platform/FormStyle.h"
#include "platform/ProcessStart.h"
#include "platform/QtPlatform.h"
#include "platform/WindowSystemStart.h"

#include <QApplication>

#include <cstdio>
#include <cstring>

namespace {

int answer(const vrx::CommandLine& line)
{
    if (line.action == vrx::CommandLine::Action::Error) {
        std::fputs(line.output.toLocal8Bit().constData(), stderr);
        return 2;
    }
    std::fputs(line.output.toLocal8Bit().constData(), stdout);
    return std::fflush(stdout) == 0 && !std::ferror(stdout) ? 0 : 1;
}

} // namespace

int main(int argc, char* argv[])
{
    // --help, --version and a wrong command line show no window: they are answered before
    // anything needs a display, so they work over ssh as well.
    vrx::CommandLine line = vrx::parseCommandLine(vrx::commandLineArguments(argc, argv));
    if (line.action != vrx::CommandLine::Action::Run) {
        vrx::attachParentConsole();
        return answer(line);
    }

    // Ended by SIGINT, SIGTERM or SIGHUP, the program still removes the files it had begun
    // (an update check's download) and then ends as the signal asks.
    vrx::files::removeTemporariesOnInterrupt();

    // Without a display Qt would abort with a page of advice; this says in one line what is
    // missing and ends with status 1.
    vrx::chooseTextRendering();
    vrx::WindowSystemStart start;
    QApplication app(argc, argv);
    start.finished();
    QApplication::setApplicationName(QStringLiteral("vrxpv"));
    // No application display name: Qt would append it to every window title, and each title
    // bar is to read exactly its own caption. The desktop entry names the program instead.
    QApplication::setDesktopFileName(QStringLiteral("vrxpv"));
    QApplication::setApplicationVersion(vrx::VersionText());
    QApplication::setWindowIcon(vrx::programIcon());
    vrx::useStandInsForMissingFaces();

    // Qt has taken its own options out of argv; what is left is read once more.
    line = vrx::parseCommandLine(vrx::applicationArguments(argc, argv));
    if (line.action != vrx::CommandLine::Action::Run) {
        vrx::attachParentConsole();
        return answer(line);
    }

    vrx::QtPlatform platform;
    vrx::MainForm window(platform);
    window.setStartLog(vrx::absoluteCommandLinePath(line.logPath));
    // Centred on the screen at its first showing. Asking for the focus as well lets the
    // splash appear even where no window manager hands it over.
    window.show();
    window.activateWindow();
    return app.exec();
}
