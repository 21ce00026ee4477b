#include "platform/Platform.h"

#include <QDir>
#include <QStandardPaths>

namespace vrx {

QString Platform::appDataFolder()
{
    QString folder = environment(QStringLiteral("AppData"));
    if (folder.isEmpty())
        folder = QDir::toNativeSeparators(
            QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation));
    while (folder.size() > 1 && (folder.endsWith(QLatin1Char('/')) || folder.endsWith(QDir::separator())))
        folder.chop(1);
    return folder;
}

QString Platform::userDataFolder()
{
    return joinPath(appDataFolder(), QStringLiteral("VRX PV"));
}

QString joinPath(const QString& folder, const QString& name)
{
    if (folder.endsWith(QDir::separator()))
        return folder + name;
    return folder + QDir::separator() + name;
}

} // namespace vrx
