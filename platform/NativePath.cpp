#include "platform/NativePath.h"

#include <QDir>
#include <QFile>
#include <QStringList>

#include <dirent.h>
#include <sys/stat.h>

namespace vrx {

QByteArray nativePathBytes(const QString& path)
{
    QByteArray bytes;
    bytes.reserve(path.size());
    qsizetype start = 0;
    for (qsizetype i = 0; i <= path.size(); ++i) {
        const bool escaped = i < path.size() && path.at(i).unicode() >= 0xDC80 && path.at(i).unicode() <= 0xDCFF;
        if (i < path.size() && !escaped)
            continue;
        bytes += QStringView(path).mid(start, i - start).toUtf8();
        if (escaped)
            bytes += static_cast<char>(path.at(i).unicode() - 0xDC00);
        start = i + 1;
    }
    return bytes;
}

QString pathFromNativeBytes(const QByteArray& bytes)
{
    QString path;
    path.reserve(bytes.size());
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.constData());
    const qsizetype n = bytes.size();
    for (qsizetype i = 0; i < n;) {
        // The length of a valid UTF-8 sequence at i (no overlong forms, no surrogates), or 0.
        const unsigned char c = p[i];
        int length = 0;
        if (c < 0x80)
            length = 1;
        else if (c >= 0xC2 && c <= 0xDF)
            length = 2;
        else if (c >= 0xE0 && c <= 0xEF)
            length = 3;
        else if (c >= 0xF0 && c <= 0xF4)
            length = 4;
        if (length > 1) {
            if (i + length > n)
                length = 0;
            for (int k = 1; k < length; ++k)
                if ((p[i + k] & 0xC0) != 0x80)
                    length = 0;
            if (length == 3 && ((c == 0xE0 && p[i + 1] < 0xA0) || (c == 0xED && p[i + 1] >= 0xA0)))
                length = 0;
            if (length == 4 && ((c == 0xF0 && p[i + 1] < 0x90) || (c == 0xF4 && p[i + 1] >= 0x90)))
                length = 0;
        }
        if (length == 0) {
            path += QChar(static_cast<char16_t>(0xDC00 + c));
            ++i;
        } else {
            path += QString::fromUtf8(bytes.constData() + i, length);
            i += length;
        }
    }
    return path;
}

QString shownPath(const QString& path)
{
    const QString native = QDir::toNativeSeparators(path);
    QString shown;
    shown.reserve(native.size());
    for (const QChar ch : native) {
        const char16_t c = ch.unicode();
        if (c == '\n')
            shown += QLatin1String("\\n");
        else if (c == '\t')
            shown += QLatin1String("\\t");
        else if (c == '\r')
            shown += QLatin1String("\\r");
        else if (c < 0x20 || (c >= 0x7F && c <= 0x9F))
            shown += QStringLiteral("\\x%1").arg(int(c), 2, 16, QLatin1Char('0'));
        else if (c >= 0xDC80 && c <= 0xDCFF)
            shown += QStringLiteral("\\x%1").arg(int(c - 0xDC00), 2, 16, QLatin1Char('0'));
        else
            shown += ch;
    }
    return shown;
}

QString resolveReplacedPath(const QString& path)
{
    constexpr QChar Replacement(0xFFFD);
    struct stat st {};
    if (!path.contains(Replacement) || ::stat(nativePathBytes(path).constData(), &st) == 0)
        return path;
    const QStringList parts = QDir::fromNativeSeparators(path).split(QLatin1Char('/'));
    QByteArray resolved;
    for (qsizetype i = 0; i < parts.size(); ++i) {
        if (i > 0)
            resolved += '/';
        if (!parts[i].contains(Replacement)) {
            resolved += nativePathBytes(parts[i]);
            continue;
        }
        DIR* dir = ::opendir(resolved.isEmpty() ? "." : resolved.constData());
        if (!dir)
            return path;
        QByteArray match;
        int matches = 0;
        while (const dirent* entry = ::readdir(dir)) {
            const QByteArray name(entry->d_name);
            if (QFile::decodeName(name) == parts[i]) {
                match = name;
                ++matches;
            }
        }
        ::closedir(dir);
        if (matches != 1)
            return path;
        resolved += match;
    }
    return pathFromNativeBytes(resolved);
}

} // namespace vrx
