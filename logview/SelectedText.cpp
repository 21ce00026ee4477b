#include "logview/SelectedText.h"

#include "platform/DisplayText.h"

#include <algorithm>
#include <new>

namespace vrx {

QString textOf(const DisplayLines& lines, qint64 start, qint64 end)
{
    const qint64 total = qint64(lines.characters()) + (lines.endsWithLineEnd() ? 1 : 0);
    start = std::clamp<qint64>(start, 0, total);
    end = std::clamp<qint64>(end, start, total);
    QString out;
    if (start == end)
        return out;
    out.reserve(qsizetype(end - start));
    const size_t first = lines.lineAtOffset(std::uint64_t(start));
    const size_t last = lines.lineAtOffset(std::uint64_t(end));
    qint64 at = qint64(lines.lineOffset(first));
    lines.forEach(first, last - first + 1, [&](std::string_view text, LineEnd) {
        const qint64 from = std::max<qint64>(start - at, 0);
        const qint64 to = std::min<qint64>(end - at, qint64(text.size()));
        if (to > from)
            out += decodeWindows1252(text.substr(size_t(from), size_t(to - from)));
        if (end > at + qint64(text.size()) && start <= at + qint64(text.size()))
            out += QLatin1Char('\n');
        at += qint64(text.size()) + 1;
    });
    return out;
}

SelectedText::SelectedText(std::shared_ptr<const DisplayLines> lines, qint64 start, qint64 end)
    : m_lines(std::move(lines)), m_start(start), m_end(end)
{
}

QStringList SelectedText::formats() const
{
    return {QStringLiteral("text/plain")};
}

bool SelectedText::hasFormat(const QString& mimeType) const
{
    return mimeType == QLatin1String("text/plain");
}

QVariant SelectedText::retrieveData(const QString& mimeType, QMetaType type) const
{
    if (mimeType != QLatin1String("text/plain") || m_end - m_start > MaxTextRequest)
        return {};
    // Called by the event loop on a paste from any program: running out of memory here gives
    // nothing rather than a part, and must not end the program.
    try {
        const QString text = textOf(*m_lines, m_start, m_end);
        if (type.id() == QMetaType::QByteArray)
            return text.toUtf8();
        return text;
    } catch (const std::bad_alloc&) {
        return {};
    }
}

} // namespace vrx
