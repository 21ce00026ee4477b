#pragma once
// Start-up values of the main window and its one persistent setting.

#include <QString>
#include <QStringList>

namespace vrx {

class Platform;

// "View & Print VRX Log Files, v1.3 - Jan 2025 / QX"
QString mainCaption();

// The folder the open dialog starts in: the stored "Settings"/"DefaultPath" when that still
// exists, else the per-user data folder when it exists, else the user's home folder.
// Nothing is created or written.
QString establishDefaultDir(Platform& platform);

// Writes DefaultDir at exit, only when it differs (case-sensitively) from the value at start.
// Returns true when it wrote.
bool saveDefaultDirIfChanged(Platform& platform, const QString& savedDefaultDir, const QString& defaultDir);

// A label caption as the user sees it: "&&" is one literal ampersand, a single "&" only marks
// an access key and is not shown. Labels here have no buddy, so they show plain text.
QString captionToLabelText(const QString& caption);

// What the command line asks for: vrxpv [--help | --version | FILE...].
struct CommandLine {
    enum class Action { Run, Help, Version, Error };
    Action action = Action::Run;
    QString logPath;   // Run: the first FILE (as pathFromNativeBytes spells it), or empty
    QString output;    // Help, Version: the text for standard output; Error: for standard error
};

// Reads the arguments (arguments[0] is the program). The options every Qt program takes
// (-platform NAME, -reverse, ...) are passed over as QApplication takes them, so that --help
// and --version are answered, and a wrong command line refused, before a display is needed.
// Only the first FILE counts; an unknown option is an error (exit status 2).
CommandLine parseCommandLine(const QStringList& arguments);

} // namespace vrx
