#include "platform/LogFiles.h"

#include "files/Files.h"

#include <algorithm>

namespace vrx {

std::string systemName(const QString& path)
{
    return nativePathBytes(path).toStdString();
}

LogRead readLogFile(const QString& path)
{
    return readLog(systemName(path));
}

LogRead streamLogFile(const QString& path, const LogTextSink& sink, size_t pieceSize, LongLines longLines)
{
    return streamLog(systemName(path), sink, pieceSize, longLines);
}

LogRead checkLogFile(const QString& path)
{
    return checkLog(systemName(path));
}

LogRead convertLogBytes(std::string_view bytes, const QString& fileName)
{
    return convertLog(bytes, systemName(fileName));
}

QString logReadMessage(const LogFailure& failure)
{
    const QString shown = shownPath(pathFromNativeBytes(QByteArray::fromStdString(failure.file)));
    return QString::fromStdString(logFailureMessage(failure, shown.toStdString()));
}

// ---- Test status file ----

QString derivedStatusPath(const QString& logPath)
{
    return logPath.left(qMax<qsizetype>(0, logPath.size() - 3)) + QStringLiteral("tst");
}

const std::vector<QString>& FolderListings::names(const QByteArray& folder)
{
    const auto found = m_names.find(folder);
    if (found != m_names.end())
        return found->second;
    std::vector<QString>& names = m_names[folder];
    for (const std::string& name : files::folderEntries(folder.toStdString()))
        names.push_back(pathFromNativeBytes(QByteArray::fromStdString(name)));
    std::sort(names.begin(), names.end());
    return names;
}

QString statusFilePath(const QString& logPath)
{
    FolderListings listings;
    return statusFilePath(logPath, listings);
}

QString statusFilePath(const QString& logPath, FolderListings& listings)
{
    const QString derived = derivedStatusPath(logPath);
    // By the name's bytes, as the readers open it (and in UTF-16 on Windows).
    const auto isFolder = [](const QString& path) {
        return files::kindOfPath(systemName(path)) == files::PathKind::Folder;
    };
    const files::PathKind derivedKind = files::kindOfPath(systemName(derived));
    if (derivedKind == files::PathKind::Regular || derivedKind == files::PathKind::Other)
        return derived;
#ifndef _WIN32
    // DOS media carry upper-case names: a file whose name differs only in case is the status
    // file, but never a folder, which holds no values (a folder "a.tst" beside "A.TST").
    const qsizetype slash = derived.lastIndexOf(QLatin1Char('/'));
    const QString name = derived.mid(slash + 1);
    const QString folder = slash < 0 ? QString() : derived.left(slash + 1);
    for (const QString& entry : listings.names(nativePathBytes(folder))) {
        if (entry.compare(name, Qt::CaseInsensitive) != 0)
            continue;
        const QString candidate = folder + entry;
        if (!isFolder(candidate))
            return candidate;
    }
#else
    // Windows' names ignore case already.
    (void)listings;
    (void)isFolder;
#endif
    return derived;
}

QString statusItemText(int testNumber, int value)
{
    return QString::fromStdString(statusItemLabel(testNumber, value));
}

QString statusNotFoundLine(const QString& path)
{
    return QLatin1Char('"') + shownPath(path) + QStringLiteral("\"  not found.");
}

QString statusErrorMessage(const QString& firstLine)
{
    return firstLine + QLatin1Char('\n') + StatusUnavailableLine;
}

namespace {

StatusFileResult fromCore(const StatusRead& read, const QString& path)
{
    StatusFileResult result;
    result.items.reserve(qsizetype(read.values.size()));
    for (size_t i = 0; i < read.values.size(); ++i)
        result.items.append(statusItemText(int(i) + 1, read.values[i]));
    result.counts = read.counts;
    switch (read.failure) {
    case StatusFailure::None:
        break;
    case StatusFailure::NotFound:
        result.errorLine = statusNotFoundLine(path);
        break;
    case StatusFailure::NotRegular:
        // A FIFO or a device would block or never end; it is named for what it is.
        result.errorLine = QStringLiteral("\"%1\" is %2, not a regular file.")
                               .arg(shownPath(path), QString::fromStdString(read.fileKind));
        break;
    case StatusFailure::Unreadable:
    case StatusFailure::NoValue:
        result.errorLine = shownPath(path);
        break;
    case StatusFailure::Corrupt:
        result.errorLine = CorruptStatusLine;
        break;
    case StatusFailure::TooManyTests:
        result.errorLine = TooManyTestsLine;
        break;
    }
    return result;
}

} // namespace

StatusFileResult readStatusFile(const QString& path)
{
    return fromCore(readStatus(systemName(path)), path);
}

StatusFileResult parseStatusText(std::string_view text, const QString& path)
{
    return fromCore(parseStatus(text), path);
}

} // namespace vrx
