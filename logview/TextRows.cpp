#include "logview/TextRows.h"

#include "platform/DisplayText.h"

#include <QFontMetrics>
#include <QTextLayout>

#include <algorithm>
#include <climits>

namespace vrx {

TextRows::TextRows() : m_lines(std::make_shared<const DisplayLines>()) {}

TextRows::~TextRows() = default;

void TextRows::setLines(std::shared_ptr<const DisplayLines> lines)
{
    m_lines = std::move(lines);
    forget();
}

void TextRows::setFont(const QFont& font, QPaintDevice* device)
{
    m_font = font;
    m_device = device;
    forget();
}

void TextRows::forget()
{
    m_laid.clear();
}

int TextRows::rowHeight() const
{
    return std::max(1, QFontMetrics(m_font).lineSpacing());
}

qsizetype TextRows::rowCharacters() const
{
    return std::max<qsizetype>(1, width() / std::max(1, QFontMetrics(m_font).horizontalAdvance(QLatin1Char('M'))));
}

const TextRows::Laid& TextRows::laid(size_t line) const
{
    Laid& l = m_laid[line];
    if (l.layout || l.length > LongLineCharacters)
        return l;
    // One character for each byte: a long line is measured without being decoded.
    const std::string_view bytes = lineText(line);
    l.length = qsizetype(bytes.size());
    if (l.length > LongLineCharacters)
        return l;
    l.layout = std::make_unique<QTextLayout>(decodeWindows1252(bytes), m_font, m_device);
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    l.layout->setTextOption(option);
    l.layout->setCacheEnabled(true);
    l.layout->beginLayout();
    const int lineWidth = width();
    const int height = rowHeight();
    for (int row = 0;; ++row) {
        QTextLine textLine = l.layout->createLine();
        if (!textLine.isValid())
            break;
        textLine.setLineWidth(lineWidth);
        textLine.setPosition(QPointF(0, row * height));
    }
    l.layout->endLayout();
    return l;
}

int TextRows::rowsOf(size_t line) const
{
    const Laid& l = laid(line);
    if (l.layout)
        return std::max(1, l.layout->lineCount());
    return int(std::clamp<qint64>((l.length + rowCharacters() - 1) / rowCharacters(), 0, INT_MAX));
}

TextRows::Row TextRows::row(size_t line, int index) const
{
    const Laid& l = laid(line);
    if (l.layout)
        return {l.layout.get(), index, 0};
    // A long line: the row's characters alone, laid out without wrapping.
    const qsizetype first = qsizetype(index) * rowCharacters();
    auto& segment = l.segments[index];
    if (!segment) {
        const std::string_view text = lineText(line);
        const size_t from = std::min(text.size(), size_t(first));
        segment = std::make_unique<QTextLayout>(decodeWindows1252(text.substr(from, size_t(rowCharacters()))),
                                                m_font, m_device);
        segment->beginLayout();
        QTextLine textLine = segment->createLine();
        textLine.setLineWidth(INT_MAX / 4);
        textLine.setPosition(QPointF(0, 0));
        segment->endLayout();
    }
    return {segment.get(), 0, first};
}

int TextRows::rowOf(const TextPlace& place) const
{
    const Laid& l = laid(place.line);
    if (!l.layout)
        return std::min(rowsOf(place.line) - 1, int(std::clamp<qint64>(place.column / rowCharacters(), 0, INT_MAX)));
    for (int i = l.layout->lineCount() - 1; i > 0; --i)
        if (place.column >= l.layout->lineAt(i).textStart())
            return i;
    return 0;
}

int TextRows::settleRow(size_t& line, int& row) const
{
    while (row < 0 && line > 0)
        row += rowsOf(--line);
    while (row >= rowsOf(line) && line + 1 < lineCount())
        row -= rowsOf(line++);
    if (row < 0) {
        row = 0;
        return -1;
    }
    if (row >= rowsOf(line)) {
        row = rowsOf(line) - 1;
        return 1;
    }
    return 0;
}

TextPlace TextRows::placeInRow(size_t line, int index, qreal x) const
{
    const Row r = row(line, index);
    const QTextLine textLine = r.layout->lineAt(r.index);
    const int column = textLine.xToCursor(x, QTextLine::CursorBetweenCharacters);
    return {line, std::min(r.first + column, lineLength(line))};
}

qreal TextRows::xOf(const TextPlace& place) const
{
    const Row r = row(place.line, rowOf(place));
    return r.layout->lineAt(r.index).cursorToX(int(place.column - r.first));
}

} // namespace vrx
