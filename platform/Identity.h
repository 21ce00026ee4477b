#pragma once
// The program's identity texts (ProgramIdentity.h) as the windows use them.

#include "core/ProgramIdentity.h"

#include <QString>

namespace vrx {

inline QString toQString(std::string_view text)
{
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

inline const QString ProgramTitle = toQString(identity::ProgramTitle);

inline constexpr int VersionMajor = identity::VersionMajor;
inline constexpr int VersionMinor = identity::VersionMinor;
inline constexpr int VersionRevision = identity::VersionRevision;

inline const QString ReleaseDate = toQString(identity::ReleaseDate);
inline const QString NewLine = toQString(identity::NewLine);
inline const QString SettingsAppName = toQString(identity::SettingsAppName);

inline QString versionText(int major, int minor, int revision)
{
    return toQString(identity::versionText(major, minor, revision));
}

inline QString VersionText() { return toQString(identity::versionText()); }

inline QString VersionLine(std::string_view program) { return toQString(identity::versionLine(program)); }

} // namespace vrx
