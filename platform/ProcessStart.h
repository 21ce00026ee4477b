#pragma once
// What a program learns from the system as it starts: its arguments as the system spells them,
// where a relative path on its command line points, and on Windows a console to answer in.

#include <QString>
#include <QStringList>

namespace vrx {

// The command line, arguments[0] the program. On Linux the arguments are bytes, kept as
// pathFromNativeBytes spells them so that a Latin-1 name from DOS media still opens; on Windows
// they are the UTF-16 command line, which names any file.
QStringList commandLineArguments(int argc, char* argv[]);

// The same once the application object has taken its own options (-platform, -style, ...) out
// of argc and argv.
QStringList applicationArguments(int argc, char* argv[]);

// A path from the command line made absolute against the working folder as the system spells
// it (a drive letter or a UNC name counts as absolute on Windows); empty stays empty.
QString absoluteCommandLinePath(const QString& path);

// Windows starts a window program without a console: an answer to --help or --version would go
// nowhere. This attaches the program to the console of the shell that started it, when there is
// one and standard output is not redirected already. Elsewhere it does nothing.
void attachParentConsole();

// Before the application object is made: on Windows text is drawn through DirectWrite unless
// QT_QPA_PLATFORM says otherwise (Qt 6.4 takes GDI, which under Wine leaves out glyphs such as
// a capital I of the Liberation faces). Elsewhere it does nothing.
void chooseTextRendering();

} // namespace vrx
