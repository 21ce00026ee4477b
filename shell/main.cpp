#include "Icon.h"
#include "Identity.h"
#include "MainForm.h"
#include "QtPlatform.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("vrxpv"));
    // No application display name: Qt would append it to every window title, and each title
    // bar is to read exactly its own caption. The desktop entry names the program instead.
    QApplication::setDesktopFileName(QStringLiteral("vrxpv"));
    QApplication::setApplicationVersion(vrx::VersionText());
    QApplication::setWindowIcon(vrx::programIcon());

    vrx::QtPlatform platform;
    vrx::MainForm window(platform);
    // Centred on the screen at its first showing. Asking for the focus as well lets the
    // splash appear even where no window manager hands it over.
    window.show();
    window.activateWindow();
    return app.exec();
}
