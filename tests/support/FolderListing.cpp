#include "FolderListing.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>

namespace vrx::test {

QStringList folderListing(const QString& folder)
{
    QStringList entries;
    QDirIterator it(folder, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        it.next();
        const QFileInfo info = it.fileInfo();
        QString entry = info.filePath() + QLatin1Char(' ');
        if (info.isSymLink()) {
            entry += QStringLiteral("link to ") + info.symLinkTarget();
        } else if (info.isDir()) {
            entry += QStringLiteral("folder ") + info.lastModified().toString(Qt::ISODateWithMs);
        } else {
            entry += QString::number(info.size()) + QLatin1Char(' ')
                + info.lastModified().toString(Qt::ISODateWithMs);
            QFile f(info.filePath());
            if (f.open(QIODevice::ReadOnly)) {
                QCryptographicHash hash(QCryptographicHash::Sha256);
                hash.addData(&f);
                entry += QLatin1Char(' ') + QString::fromLatin1(hash.result().toHex());
            }
        }
        entries.append(entry);
    }
    entries.sort();
    return entries;
}

} // namespace vrx::test
