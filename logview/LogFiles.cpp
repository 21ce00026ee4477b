#include "LogFiles.h"

#include "RegularFile.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>

#include <dirent.h>
#include <sys/stat.h>

namespace vrx {

namespace {

LogReadResult fromCore(LogRead&& read, const QString& path)
{
    LogReadResult result;
    result.opened = read.opened;
    result.text = std::move(read.text);
    result.lines = read.lines;
    if (read.failure)
        result.error = LogReadError{read.failure->kind, path, read.failure->line,
                                    QString::fromLocal8Bit(read.failure->reason)};
    return result;
}

} // namespace

LogReadResult readLogFile(const QString& path)
{
    return fromCore(readLog(nativePathBytes(path).toStdString()), path);
}

LogReadResult streamLogFile(const QString& path, const LogTextSink& sink, size_t pieceSize, LongLines longLines)
{
    return fromCore(streamLog(nativePathBytes(path).toStdString(), sink, pieceSize, longLines), path);
}

LogReadResult checkLogFile(const QString& path)
{
    return fromCore(checkLog(nativePathBytes(path).toStdString()), path);
}

LogReadResult convertLogBytes(std::string_view bytes, const QString& fileName)
{
    return fromCore(convertLog(bytes, nativePathBytes(fileName).toStdString()), fileName);
}

LogFailure logFailureOf(const LogReadError& error)
{
    return LogFailure{error.kind, nativePathBytes(error.file).toStdString(), error.line, error.reason.toStdString(),
                      EarlierLines::Shown};
}

QString logReadMessage(const LogReadError& error)
{
    return QString::fromStdString(logFailureMessage(logFailureOf(error), shownPath(error.file).toStdString()));
}

QString decodeWindows1252(std::string_view bytes)
{
    QString text(static_cast<qsizetype>(bytes.size()), Qt::Uninitialized);
    auto* out = reinterpret_cast<char16_t*>(text.data());
    const auto* in = reinterpret_cast<const unsigned char*>(bytes.data());
    const std::array<char16_t, 256>& table = windows1252Table();
    for (size_t i = 0, n = bytes.size(); i < n; ++i)
        out[i] = table[in[i]];
    return text;
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
    if (DIR* dir = ::opendir(folder.isEmpty() ? "." : folder.constData())) {
        while (const dirent* entry = ::readdir(dir)) {
            const QByteArray name(entry->d_name);
            if (name != "." && name != "..")
                names.push_back(pathFromNativeBytes(name));
        }
        ::closedir(dir);
    }
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
    struct stat info {};
    if (::stat(nativePathBytes(derived).constData(), &info) == 0)
        return derived;
    const qsizetype slash = derived.lastIndexOf(QLatin1Char('/'));
    const QString name = derived.mid(slash + 1);
    const QString folder = slash < 0 ? QString() : derived.left(slash + 1);
    for (const QString& entry : listings.names(nativePathBytes(folder))) {
        if (entry.compare(name, Qt::CaseInsensitive) != 0)
            continue;
        // Any entry but a folder, as the listing of files has always taken it.
        const QString candidate = folder + entry;
        if (::stat(nativePathBytes(candidate).constData(), &info) != 0 || !S_ISDIR(info.st_mode))
            return candidate;
    }
    return derived;
}

QString outcomeWord(int value)
{
    switch (value) {
    case -1:
        return QStringLiteral("FAIL");
    case 0:
        return QStringLiteral("N/A");
    case 1:
        return QStringLiteral("PASS");
    }
    return {};
}

QString statusItemText(int testNumber, int value)
{
    QString label = QStringLiteral("Test # ") + QString::number(testNumber) + QLatin1Char(' ');
    label.truncate(qMax<qsizetype>(9, label.size() - 1));
    return label + QStringLiteral(" - ") + outcomeWord(value);
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

bool isBlank(char c)
{
    return c == ' ' || c == '\t';
}

// What one value of a status file reads as.
enum class StatusValueKind {
    Record,      // -1, 0 or 1
    OtherNumber, // any other number that fits a signed 16-bit integer
    Invalid,     // not a number, or one outside -32768..32767
};

struct StatusValue {
    StatusValueKind kind = StatusValueKind::Invalid;
    int value = 0; // for a record
};

// An optional sign and digits; leading zeros are of no weight.
StatusValue parseStatusValue(std::string_view field)
{
    bool negative = false;
    if (!field.empty() && (field.front() == '+' || field.front() == '-')) {
        negative = field.front() == '-';
        field.remove_prefix(1);
    }
    if (field.empty())
        return {};
    for (char c : field)
        if (c < '0' || c > '9')
            return {};
    while (field.size() > 1 && field.front() == '0')
        field.remove_prefix(1);
    if (field.size() > 5)
        return {};
    int magnitude = 0;
    for (char c : field)
        magnitude = magnitude * 10 + (c - '0');
    const int value = negative ? -magnitude : magnitude;
    if (value < -32768 || value > 32767)
        return {};
    if (value >= -1 && value <= 1)
        return {StatusValueKind::Record, value};
    return {StatusValueKind::OtherNumber, value};
}

// Collects the values of a status file and turns them into records.
class StatusReader {
public:
    StatusReader(StatusFileResult& result, const QString& path) : m_r(result), m_path(path) {}

    // False once the file is found bad.
    bool feed(const char* data, size_t size)
    {
        for (size_t i = 0; i < size; ++i) {
            const char c = data[i];
            if (c == ',' || c == '\r' || c == '\n') {
                if (!endValue())
                    return false;
            } else if (redundant(c)) {
                continue;
            } else if (m_field.size() < 64) {
                m_field.push_back(c);
            } else {
                // No 16-bit number, whatever follows: the file is bad here, and the rest of
                // it (which may be very large, or never end) need not be read.
                m_tooLong = true;
                return endValue();
            }
        }
        return true;
    }

    // Characters that cannot change what a value reads as, and are not kept, so that only a
    // value that is bad anyway can outgrow the field: blanks in front, a blank after a blank,
    // and leading zeros beyond the first.
    bool redundant(char c) const
    {
        if (isBlank(c))
            return m_field.empty() || isBlank(m_field.back());
        return c == '0' && (m_field == "0" || m_field == "+0" || m_field == "-0");
    }

    bool endValue()
    {
        std::string_view field(m_field);
        while (!field.empty() && isBlank(field.front()))
            field.remove_prefix(1);
        while (!field.empty() && isBlank(field.back()))
            field.remove_suffix(1);
        const bool blank = field.empty() && !m_tooLong;
        // A value that outgrew the field is no number of 16 bits, whatever it holds.
        const StatusValue value = m_tooLong ? StatusValue{} : parseStatusValue(field);
        m_field.clear();
        m_tooLong = false;
        if (blank)
            return true;
        if (value.kind != StatusValueKind::Record) {
            // A first value that is no 16-bit number at all fails like a file without any
            // value: the message names the file. Later, and for other numbers, it is corrupt.
            const bool unreadable = m_records == 0 && value.kind == StatusValueKind::Invalid;
            m_r.errorLine = unreadable ? shownPath(m_path) : CorruptStatusLine;
            return false;
        }
        if (m_records == 32767) {
            m_r.errorLine = TooManyTestsLine;
            return false;
        }
        ++m_records;
        const int index = value.value == 1 ? 0 : value.value == -1 ? 1 : 2;
        ++m_r.counts[index];
        m_r.items.append(statusItemText(m_records, value.value));
        return true;
    }

    // After the last byte: the value still open ends, and a file without any value fails
    // before its first record. False once the file is found bad.
    bool finish()
    {
        if (!endValue())
            return false;
        if (m_records == 0) {
            m_r.errorLine = shownPath(m_path);
            return false;
        }
        return true;
    }

private:
    StatusFileResult& m_r;
    QString m_path;
    std::string m_field;
    bool m_tooLong = false;
    int m_records = 0;
};

} // namespace

StatusFileResult readStatusFile(const QString& path)
{
    StatusFileResult result;
    RegularFile file(nativePathBytes(path).toStdString());
    if (file.error() == ENOENT) {
        result.errorLine = statusNotFoundLine(path);
        return result;
    }
    if (file.notRegular() && !file.isFolder()) {
        // A FIFO or a device would block or never end; it is named for what it is.
        result.errorLine = QStringLiteral("\"%1\" is %2, not a regular file.").arg(shownPath(path), QString::fromStdString(file.kind()));
        return result;
    }
    if (!file.isOpen()) {
        result.errorLine = shownPath(path);
        return result;
    }
    StatusReader reader(result, path);
    std::string chunk(64 * 1024, '\0');
    for (;;) {
        const qint64 got = file.read(chunk.data(), chunk.size());
        if (got < 0) {
            result.errorLine = shownPath(path);
            return result;
        }
        if (got == 0)
            break;
        if (!reader.feed(chunk.data(), static_cast<size_t>(got)))
            return result;
    }
    reader.finish();
    return result;
}

StatusFileResult parseStatusText(std::string_view text, const QString& path)
{
    StatusFileResult result;
    StatusReader reader(result, path);
    if (reader.feed(text.data(), text.size()))
        reader.finish();
    return result;
}

} // namespace vrx
