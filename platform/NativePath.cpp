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

namespace {

bool isSurrogate(char32_t c)
{
    return c >= 0xD800 && c <= 0xDFFF;
}

// Characters that act on the text around them instead of showing: C0 and C1 controls and DEL,
// line and paragraph separators, format characters; and lone surrogates, which are no
// characters at all.
bool isUnsafe(char32_t c)
{
    if (c < 0x20 || (c >= 0x7F && c <= 0x9F) || isSurrogate(c))
        return true;
    const QChar::Category category = QChar::category(c);
    return category == QChar::Separator_Line || category == QChar::Separator_Paragraph
        || category == QChar::Other_Format;
}

QString hex(char32_t value, int digits)
{
    return QStringLiteral("%1").arg(uint(value), digits, 16, QLatin1Char('0'));
}

QString escaped(char32_t c)
{
    switch (c) {
    case '\n': return QStringLiteral("\\n");
    case '\t': return QStringLiteral("\\t");
    case '\r': return QStringLiteral("\\r");
    case '\\': return QStringLiteral("\\\\");
    default: break;
    }
    // ASCII controls are bytes as they stand; a byte of no valid UTF-8 is kept as U+DC80..U+DCFF.
    if (c < 0x80)
        return QStringLiteral("\\x") + hex(c, 2);
    if (c >= 0xDC80 && c <= 0xDCFF)
        return QStringLiteral("\\x") + hex(c - 0xDC00, 2);
    return c <= 0xFFFF ? QStringLiteral("\\u") + hex(c, 4) : QStringLiteral("\\U") + hex(c, 8);
}

QString shown(QStringView text, UnsafeShown how, bool escapeBackslash)
{
    QString result;
    result.reserve(text.size());
    for (qsizetype i = 0; i < text.size();) {
        char32_t c = text[i].unicode();
        qsizetype length = 1;
        if (QChar::isHighSurrogate(c) && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
            c = QChar::surrogateToUcs4(text[i], text[i + 1]);
            length = 2;
        }
        const bool keep = how == UnsafeShown::Escaped ? !isUnsafe(c) && !(c == '\\' && escapeBackslash)
                                                      : !isUnsafe(c) || c == '\t';
        if (keep)
            result += text.mid(i, length);
        else if (how == UnsafeShown::Escaped)
            result += escaped(c);
        else
            result += QChar::ReplacementCharacter;
        i += length;
    }
    return result;
}

} // namespace

QString shownText(QStringView text, UnsafeShown how)
{
    return shown(text, how, true);
}

QString shownPath(const QString& path)
{
#ifdef Q_OS_WIN
    // The backslash parts folders there, and no name can hold one.
    return shown(QDir::toNativeSeparators(path), UnsafeShown::Escaped, false);
#else
    return shownText(path, UnsafeShown::Escaped);
#endif
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
