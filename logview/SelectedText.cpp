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

} // namespace vrx
