#pragma once
// The program's fixed identity: title, release, and the values every window shares.

#include <QString>

namespace vrx {

inline const QString ProgramTitle = QStringLiteral("View & Print VRX Log Files");

inline constexpr int VersionMajor = 1;
inline constexpr int VersionMinor = 3;
inline constexpr int VersionRevision = 0;

inline const QString ReleaseDate = QStringLiteral("Jan 2025");

// The lines of the display text are joined with CR LF, as the test program's own tools expect.
inline const QString NewLine = QStringLiteral("\r\n");

// Application name under which the one setting is stored (two blanks between "Vevod" and "Uri").
inline const QString SettingsAppName = QStringLiteral("Zero & Vevod  Uri Raviz");

// major "." minor revision, then one trailing "0" dropped: 1,3,0 -> "1.3"; 1,10,0 -> "1.10".
QString versionText(int major, int minor, int revision);

// The version of this release, as shown to the user.
inline QString VersionText() { return versionText(VersionMajor, VersionMinor, VersionRevision); }

} // namespace vrx
