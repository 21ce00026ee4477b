#pragma once
// Qt ends a program with abort() and a page of advice when its window system cannot be
// reached (no display, a platform plugin that is missing or does not load). While a
// WindowSystemStart lives, that failure ends the program instead with one line on standard
// error saying what is missing, and exit status 1. Qt's other messages of the start are held
// back and passed on once the start has succeeded (finished()).

#include <QString>
#include <QStringList>

namespace vrx {

class WindowSystemStart {
public:
    WindowSystemStart();
    ~WindowSystemStart();
    WindowSystemStart(const WindowSystemStart&) = delete;
    WindowSystemStart& operator=(const WindowSystemStart&) = delete;

    // The window system is up: Qt's own handling of messages comes back.
    void finished();

    // The one line (without its line end) for Qt's messages of a failed start, the last of them
    // the fatal one.
    static QString failureLine(const QStringList& messages);

private:
    bool m_active = false;
};

} // namespace vrx
