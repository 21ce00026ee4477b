#include "Application.h"

#include "Identity.h"
#include "Platform.h"

namespace vrx {

namespace {
const QString SettingsSection = QStringLiteral("Settings");
const QString DefaultPathKey = QStringLiteral("DefaultPath");
} // namespace

QString mainCaption()
{
    return ProgramTitle + QStringLiteral(", v") + VersionText() + QStringLiteral(" - ") + ReleaseDate
        + QStringLiteral(" / QX");
}

QString establishDefaultDir(Platform& platform)
{
    const QString dataFolder = platform.userDataFolder();
    QString folder = platform.readSetting(SettingsAppName, SettingsSection, DefaultPathKey, dataFolder).toString();
    if (!platform.exists(folder)) {
        folder = dataFolder;
        if (!platform.exists(folder))
            folder = platform.homeFolder();
    }
    return folder;
}

bool saveDefaultDirIfChanged(Platform& platform, const QString& savedDefaultDir, const QString& defaultDir)
{
    if (defaultDir == savedDefaultDir)
        return false;
    platform.writeSetting(SettingsAppName, SettingsSection, DefaultPathKey, defaultDir);
    return true;
}

QString captionToLabelText(const QString& caption)
{
    QString text;
    text.reserve(caption.size());
    for (qsizetype i = 0; i < caption.size(); ++i) {
        if (caption.at(i) == QLatin1Char('&')) {
            if (i + 1 < caption.size() && caption.at(i + 1) == QLatin1Char('&'))
                ++i; // "&&": keep one
            else
                continue; // access-key marker
        }
        text.append(caption.at(i));
    }
    return text;
}

} // namespace vrx
