#include "tests/support/FolderListing.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>

#include <sys/stat.h>

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
            // Only a regular file's bytes are compared: a FIFO would block, a device never ends.
            // A file of hundreds of megabytes (sparse in the tests) is judged by size and time.
            QFile f(info.filePath());
            struct stat st {};
            const bool regular = ::lstat(QFile::encodeName(info.filePath()).constData(), &st) == 0 && S_ISREG(st.st_mode);
            if (regular && st.st_size <= 256 * 1024 * 1024 && f.open(QIODevice::ReadOnly)) {
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
