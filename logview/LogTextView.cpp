#include "logview/LogTextView.h"

#include "core/Windows1252.h"
#include "platform/DisplayText.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QApplication>
#include <QClipboard>
#include <QKeyEvent>
#include <QMenu>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QTextLayout>

#include <algorithm>
#include <climits>
#include <new>

namespace vrx {

namespace {

// Room between the frame and the text, as a text box leaves it.
constexpr int Margin = 4;
// A line longer than this is shown in rows of as many characters as fit, each laid out on its
// own when it is on the screen: laying out a line of millions of characters at once would
// take seconds and more memory than the log.
constexpr qsizetype LongLineCharacters = 8192;
// Lines laid out and kept at most; beyond, the layouts are made again when needed.
constexpr size_t KeptLayouts = 512;

int clampToInt(qint64 value)
{
    return int(std::clamp<qint64>(value, 0, INT_MAX));
}

// The selection or the copied text, made only when someone asks for it: a log of a million
// lines selected whole would otherwise be decoded into the clipboard at every Select All.
class SelectedText : public QMimeData {
public:
    SelectedText(std::shared_ptr<const DisplayLines> lines, qint64 start, qint64 end)
        : m_lines(std::move(lines)), m_start(start), m_end(end)
    {
    }
    QStringList formats() const override { return {QStringLiteral("text/plain")}; }
    bool hasFormat(const QString& mimeType) const override { return mimeType == QLatin1String("text/plain"); }

protected:
    QVariant retrieveData(const QString& mimeType, QMetaType type) const override
    {
        if (mimeType != QLatin1String("text/plain"))
            return {};
        QString text;
        try {
            text = textOf(*m_lines, m_start, m_end);
        } catch (const std::bad_alloc&) {
            return {}; // more text than memory holds: nothing rather than a part
        }
        if (type.id() == QMetaType::QByteArray)
            return text.toUtf8();
        return text;
    }

public:
    // The text from start to end; a text that ends with a line end has one more character
    // than its lines joined, the line end itself.
    static QString textOf(const DisplayLines& lines, qint64 start, qint64 end)
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

private:
    std::shared_ptr<const DisplayLines> m_lines;
    qint64 m_start;
    qint64 m_end;
};

bool isWordCharacter(char16_t c)
{
    return QChar(c).isLetterOrNumber() || c == u'_';
}

} // namespace

// What a screen reader sees of the view: a read-only multi-line text whose characters are
// served from the lines on request. Nothing is sent ahead: a reader asks for the lines it
// reads (the line at the caret, the lines in view), and a whole log pushed onto the bus at
// every load would cost the program and the reader seconds and hundreds of megabytes.
class LogTextAccessible : public QAccessibleWidget, public QAccessibleTextInterface {
public:
    explicit LogTextAccessible(LogTextView* view) : QAccessibleWidget(view, QAccessible::EditableText) {}

    static QAccessibleInterface* factory(const QString& className, QObject* object)
    {
        if (className == QLatin1String("vrx::LogTextView") && object && object->isWidgetType())
            return new LogTextAccessible(static_cast<LogTextView*>(object));
        return nullptr;
    }

    void* interface_cast(QAccessible::InterfaceType type) override
    {
        if (type == QAccessible::TextInterface)
            return static_cast<QAccessibleTextInterface*>(this);
        return QAccessibleWidget::interface_cast(type);
    }

    QAccessible::State state() const override
    {
        QAccessible::State s = QAccessibleWidget::state();
        s.readOnly = true;
        s.multiLine = true;
        s.selectableText = true;
        s.focusable = true;
        return s;
    }

    // The value of a text box is its text; here it is read through the text interface only.
    QString text(QAccessible::Text t) const override
    {
        if (t == QAccessible::Value)
            return {};
        return QAccessibleWidget::text(t);
    }

    // QAccessibleTextInterface
    void selection(int selectionIndex, int* startOffset, int* endOffset) const override
    {
        *startOffset = *endOffset = 0;
        if (selectionIndex == 0 && view()->hasSelection()) {
            *startOffset = clampToInt(view()->selectionStart());
            *endOffset = clampToInt(view()->selectionEnd());
        }
    }
    int selectionCount() const override { return view()->hasSelection() ? 1 : 0; }
    void addSelection(int startOffset, int endOffset) override { setSelection(0, startOffset, endOffset); }
    void removeSelection(int selectionIndex) override
    {
        if (selectionIndex == 0)
            view()->setCursorPosition(view()->cursorPosition());
    }
    void setSelection(int selectionIndex, int startOffset, int endOffset) override
    {
        if (selectionIndex == 0)
            view()->setSelection(startOffset, endOffset);
    }
    int cursorPosition() const override { return clampToInt(view()->cursorPosition()); }
    void setCursorPosition(int position) override { view()->setCursorPosition(position); }
    QString text(int startOffset, int endOffset) const override
    {
        return view()->textBetween(startOffset, endOffset);
    }
    QString textBeforeOffset(int offset, QAccessible::TextBoundaryType boundaryType, int* startOffset,
                             int* endOffset) const override
    {
        return textNear(offset, boundaryType, -1, startOffset, endOffset);
    }
    QString textAfterOffset(int offset, QAccessible::TextBoundaryType boundaryType, int* startOffset,
                            int* endOffset) const override
    {
        return textNear(offset, boundaryType, 1, startOffset, endOffset);
    }
    QString textAtOffset(int offset, QAccessible::TextBoundaryType boundaryType, int* startOffset,
                         int* endOffset) const override
    {
        return textNear(offset, boundaryType, 0, startOffset, endOffset);
    }
    int characterCount() const override { return clampToInt(view()->characterCount()); }
    QRect characterRect(int offset) const override
    {
        const QRect r = view()->characterRect(offset);
        if (r.isEmpty())
            return {};
        return QRect(view()->viewport()->mapToGlobal(r.topLeft()), r.size());
    }
    int offsetAtPoint(const QPoint& point) const override
    {
        return clampToInt(view()->offsetAt(view()->viewport()->mapFromGlobal(point)));
    }
    void scrollToSubstring(int startIndex, int endIndex) override
    {
        view()->setSelection(endIndex, startIndex);
    }
    QString attributes(int offset, int* startOffset, int* endOffset) const override
    {
        // One run of plain text: no attributes anywhere.
        Q_UNUSED(offset);
        *startOffset = 0;
        *endOffset = characterCount();
        return {};
    }

private:
    LogTextView* view() const { return static_cast<LogTextView*>(object()); }

    // The unit (character, word, line) at offset, or the one before or after it.
    QString textNear(int offset, QAccessible::TextBoundaryType boundary, int direction, int* startOffset,
                     int* endOffset) const
    {
        *startOffset = *endOffset = -1;
        const LogTextView* lines = view();
        const int count = characterCount();
        if (offset == -2) // the caret, as AT-SPI may ask
            offset = cursorPosition();
        if (offset < 0 || offset > count || count == 0)
            return {};
        if (boundary == QAccessible::NoBoundary) {
            *startOffset = 0;
            *endOffset = count;
            return text(0, count);
        }
        if (boundary == QAccessible::CharBoundary) {
            const int at = offset + direction;
            if (at < 0 || at >= count)
                return {};
            *startOffset = at;
            *endOffset = at + 1;
            return text(at, at + 1);
        }
        // Lines (and sentences and paragraphs, which a log has not) include their line end.
        const auto lineRange = [&](size_t line, int* start, int* end) {
            *start = clampToInt(qint64(lines->lineStart(line)));
            *end = std::min(count, clampToInt(qint64(lines->lineStart(line + 1))));
        };
        size_t line = lines->lineOf(offset);
        if (boundary != QAccessible::WordBoundary) {
            if (direction < 0 && line == 0)
                return {};
            if (direction > 0 && line + 1 >= lines->lineCount())
                return {};
            line = size_t(qint64(line) + direction);
            lineRange(line, startOffset, endOffset);
            return text(*startOffset, *endOffset);
        }
        // Words: a run of word characters with the blanks after it.
        int start = 0;
        int end = 0;
        lineRange(line, &start, &end);
        const QString lineText = text(start, end);
        const auto wordAround = [&](int at, int* s, int* e) {
            int i = std::clamp(at - start, 0, int(lineText.size()));
            while (i > 0 && isWordCharacter(lineText[i - 1].unicode()))
                --i;
            int j = i;
            while (j < lineText.size() && isWordCharacter(lineText[j].unicode()))
                ++j;
            while (j < lineText.size() && !isWordCharacter(lineText[j].unicode()))
                ++j;
            *s = start + i;
            *e = start + j;
        };
        int s = 0;
        int e = 0;
        wordAround(offset, &s, &e);
        if (direction > 0)
            wordAround(e, &s, &e);
        else if (direction < 0 && s > start)
            wordAround(s - 1, &s, &e);
        else if (direction < 0)
            return {};
        *startOffset = s;
        *endOffset = e;
        return text(s, e);
    }
};

LogTextView::LogTextView(QWidget* parent)
    : QAbstractScrollArea(parent), m_lines(std::make_shared<const DisplayLines>())
{
    static const bool installed = [] {
        QAccessible::installFactory(&LogTextAccessible::factory);
        return true;
    }();
    Q_UNUSED(installed);
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_InputMethodEnabled, false);
    viewport()->setCursor(Qt::IBeamCursor);
    viewport()->setBackgroundRole(QPalette::Base);
    viewport()->setAutoFillBackground(true);
    verticalScrollBar()->setSingleStep(1);
}

LogTextView::~LogTextView() = default;

void LogTextView::setLines(DisplayLines lines)
{
    const qint64 oldCount = characterCount();
    // A short text goes to screen readers with its change; a long one is read on request.
    const QString oldText = QAccessible::isActive() && oldCount <= 0xFFFF ? toPlainText() : QString();
    m_lines = std::make_shared<const DisplayLines>(std::move(lines));
    forgetLayouts();
    m_caret = m_anchor = Place{};
    m_topLine = 0;
    m_topRow = 0;
    m_wantedX = -1;
    updateScrollBar();
    // The first screen is laid out now, so that a line too large for memory fails here.
    int rows = 0;
    for (size_t line = 0; line < lineCount() && rows < visibleRows(); ++line)
        rows += rowsOf(line);
    viewport()->update();
    announceText(oldCount, oldText);
    emit selectionChanged();
    emit cursorPositionChanged();
}

void LogTextView::setPlainText(const QString& text)
{
    std::string bytes;
    bytes.reserve(size_t(text.size()));
    for (const QChar c : text) {
        if (c == QLatin1Char('\n'))
            bytes += "\r\n";
        else
            bytes += static_cast<char>(windows1252Byte(c.unicode()).value_or('?'));
    }
    setLines(DisplayLines(std::move(bytes)));
}

void LogTextView::clear()
{
    setLines(DisplayLines());
}

size_t LogTextView::lineCount() const
{
    return m_lines->count() + (m_lines->endsWithLineEnd() ? 1 : 0);
}

std::uint64_t LogTextView::lineStart(size_t line) const
{
    if (line >= lineCount())
        return std::uint64_t(characterCount()) + 1;
    return m_lines->lineOffset(line);
}

size_t LogTextView::lineOf(qint64 offset) const
{
    if (m_lines->endsWithLineEnd() && offset > qint64(m_lines->characters()))
        return m_lines->count();
    return m_lines->lineAtOffset(std::uint64_t(std::max<qint64>(offset, 0)));
}

std::string_view LogTextView::lineText(size_t line) const
{
    return line < m_lines->count() ? m_lines->line(line) : std::string_view();
}

QString LogTextView::toPlainText() const
{
    return textBetween(0, characterCount());
}

QString LogTextView::textBetween(qint64 start, qint64 end) const
{
    try {
        return SelectedText::textOf(*m_lines, start, end);
    } catch (const std::bad_alloc&) {
        return {}; // more text than memory holds: nothing rather than a part
    }
}

void LogTextView::announceText(qint64 oldCount, const QString& oldText)
{
    if (!QAccessible::isActive())
        return;
    if (oldCount <= 0xFFFF && characterCount() <= 0xFFFF) {
        if (!oldText.isEmpty()) {
            QAccessibleTextRemoveEvent removed(this, 0, oldText);
            QAccessible::updateAccessibility(&removed);
        }
        const QString newText = toPlainText();
        if (!newText.isEmpty()) {
            QAccessibleTextInsertEvent inserted(this, 0, newText);
            QAccessible::updateAccessibility(&inserted);
        }
    }
    QAccessibleTextCursorEvent caret(this, 0);
    QAccessible::updateAccessibility(&caret);
}

// ---- layout ----

int LogTextView::rowHeight() const
{
    return std::max(1, fontMetrics().lineSpacing());
}

int LogTextView::textWidth() const
{
    return std::max(1, viewport()->width() - 2 * Margin);
}

int LogTextView::visibleRows() const
{
    return std::max(1, (viewport()->height() - Margin) / rowHeight());
}

void LogTextView::forgetLayouts()
{
    m_laid.clear();
}

const LogTextView::Laid& LogTextView::laid(size_t line) const
{
    Laid& l = m_laid[line];
    if (l.layout || l.length > LongLineCharacters)
        return l;
    // One character for each byte: a long line is measured without being decoded.
    const std::string_view bytes = lineText(line);
    l.length = qsizetype(bytes.size());
    if (l.length > LongLineCharacters)
        return l;
    l.layout = std::make_unique<QTextLayout>(decodeWindows1252(bytes), font(), viewport());
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    l.layout->setTextOption(option);
    l.layout->setCacheEnabled(true);
    l.layout->beginLayout();
    const int width = textWidth();
    const int height = rowHeight();
    for (int row = 0;; ++row) {
        QTextLine textLine = l.layout->createLine();
        if (!textLine.isValid())
            break;
        textLine.setLineWidth(width);
        textLine.setPosition(QPointF(0, row * height));
    }
    l.layout->endLayout();
    return l;
}

qsizetype LogTextView::rowCharacters() const
{
    return std::max<qsizetype>(1, textWidth() / std::max(1, fontMetrics().horizontalAdvance(QLatin1Char('M'))));
}

int LogTextView::rowsOf(size_t line) const
{
    const Laid& l = laid(line);
    if (l.layout)
        return std::max(1, l.layout->lineCount());
    return clampToInt((l.length + rowCharacters() - 1) / rowCharacters());
}

LogTextView::Row LogTextView::row(size_t line, int index) const
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
        segment = std::make_unique<QTextLayout>(
            decodeWindows1252(text.substr(from, size_t(rowCharacters()))), font(), viewport());
        segment->beginLayout();
        QTextLine textLine = segment->createLine();
        textLine.setLineWidth(INT_MAX / 4);
        textLine.setPosition(QPointF(0, 0));
        segment->endLayout();
    }
    return {segment.get(), 0, first};
}

int LogTextView::rowOf(const Place& place) const
{
    const Laid& l = laid(place.line);
    if (!l.layout)
        return std::min(rowsOf(place.line) - 1, clampToInt(place.column / rowCharacters()));
    for (int i = l.layout->lineCount() - 1; i > 0; --i)
        if (place.column >= l.layout->lineAt(i).textStart())
            return i;
    return 0;
}

int LogTextView::settleRow(size_t& line, int& row) const
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

qsizetype LogTextView::lineLength(size_t line) const
{
    return laid(line).length;
}

// ---- places ----

qint64 LogTextView::offsetOf(const Place& place) const
{
    if (isEmpty())
        return 0;
    return qint64(lineStart(place.line)) + place.column;
}

LogTextView::Place LogTextView::placeOf(qint64 offset) const
{
    if (isEmpty())
        return {};
    offset = std::clamp<qint64>(offset, 0, characterCount());
    const size_t line = lineOf(std::uint64_t(offset));
    const qint64 column = offset - qint64(lineStart(line));
    return {line, qsizetype(std::min<qint64>(column, lineLength(line)))};
}

LogTextView::Place LogTextView::placeAt(const QPoint& point) const
{
    if (isEmpty())
        return {};
    // The row under the point, counted from the top row.
    int rows = (point.y() - Margin) / rowHeight() + m_topRow;
    if (point.y() < Margin)
        rows = m_topRow - 1 - (Margin - point.y()) / rowHeight();
    Place place{m_topLine, 0};
    int index = rows;
    settleRow(place.line, index);
    const Row r = row(place.line, index);
    const QTextLine textLine = r.layout->lineAt(r.index);
    const int column = textLine.xToCursor(point.x() - Margin, QTextLine::CursorBetweenCharacters);
    place.column = std::min(r.first + column, lineLength(place.line));
    return place;
}

qint64 LogTextView::offsetAt(const QPoint& point) const
{
    if (isEmpty() || !viewport()->rect().contains(point))
        return -1;
    return offsetOf(placeAt(point));
}

QRect LogTextView::characterRect(qint64 offset) const
{
    if (isEmpty() || offset < 0 || offset >= characterCount())
        return {};
    const Place place = placeOf(offset);
    // Rows from the top of the view to the character's row.
    if (place.line < m_topLine)
        return {};
    int y = Margin - m_topRow * rowHeight();
    for (size_t line = m_topLine; line < place.line; ++line) {
        y += rowsOf(line) * rowHeight();
        if (y > viewport()->height())
            return {};
    }
    const int index = rowOf(place);
    y += index * rowHeight();
    if (y + rowHeight() <= 0 || y > viewport()->height())
        return {};
    const Row r = row(place.line, index);
    const QTextLine textLine = r.layout->lineAt(r.index);
    const qreal x = textLine.cursorToX(int(place.column - r.first));
    const qreal next = textLine.cursorToX(int(place.column - r.first + 1));
    return QRect(Margin + int(x), y, std::max(1, int(next - x)), rowHeight());
}

// ---- scrolling ----

void LogTextView::updateScrollBar()
{
    // The top line at most: the one from which the last lines fill the view.
    const int need = visibleRows();
    size_t top = lineCount();
    int rows = 0;
    while (top > 0 && rows + rowsOf(top - 1) <= need) {
        rows += rowsOf(top - 1);
        --top;
    }
    if (top == lineCount() && top > 0)
        --top;
    m_maxTop = top;
    m_settingScrollBar = true;
    QScrollBar* bar = verticalScrollBar();
    bar->setRange(0, clampToInt(qint64(m_maxTop)));
    bar->setPageStep(need);
    bar->setValue(clampToInt(qint64(m_topLine)));
    m_settingScrollBar = false;
}

void LogTextView::setTop(size_t line, int row)
{
    if (isEmpty()) {
        line = 0;
        row = 0;
    } else if (line > m_maxTop) {
        // Beyond the last full view only within a line taller than the view.
        if (line != m_maxTop || m_maxTop + 1 != lineCount())
            line = m_maxTop;
    }
    if (!isEmpty())
        row = std::clamp(row, 0, rowsOf(line) - 1);
    if (line == m_topLine && row == m_topRow)
        return;
    m_topLine = line;
    m_topRow = row;
    m_settingScrollBar = true;
    verticalScrollBar()->setValue(clampToInt(qint64(line)));
    m_settingScrollBar = false;
    viewport()->update();
}

void LogTextView::scrollContentsBy(int, int)
{
    if (m_settingScrollBar)
        return;
    m_topLine = size_t(verticalScrollBar()->value());
    m_topRow = 0;
    viewport()->update();
}

void LogTextView::scrollToLine(size_t line)
{
    setTop(std::min(line, m_maxTop), 0);
}

void LogTextView::ensureCursorVisible()
{
    if (isEmpty())
        return;
    const int caretRow = rowOf(m_caret);
    if (m_caret.line < m_topLine || (m_caret.line == m_topLine && caretRow < m_topRow)) {
        setTop(m_caret.line, caretRow);
        return;
    }
    // Rows from the top of the view down to the caret's row, as far as a view goes.
    const int need = visibleRows();
    int rows = -m_topRow;
    for (size_t line = m_topLine; line < m_caret.line && rows < need; ++line)
        rows += rowsOf(line);
    rows += caretRow;
    if (rows < need)
        return;
    // Below the view: the caret's row becomes the last one shown.
    size_t line = m_caret.line;
    int row = caretRow - (need - 1);
    settleRow(line, row);
    setTop(line, row);
}

void LogTextView::resizeEvent(QResizeEvent* event)
{
    QAbstractScrollArea::resizeEvent(event);
    forgetLayouts();
    updateScrollBar();
}

void LogTextView::changeEvent(QEvent* event)
{
    QAbstractScrollArea::changeEvent(event);
    if (event->type() == QEvent::FontChange) {
        forgetLayouts();
        updateScrollBar();
        viewport()->update();
    }
}

// ---- painting ----

void LogTextView::paintEvent(QPaintEvent*)
{
    if (m_laid.size() > KeptLayouts)
        forgetLayouts();
    QPainter painter(viewport());
    try {
        paintLines(painter);
    } catch (const std::bad_alloc&) {
        // A line too large for the memory left is not drawn; the rest of the program goes on.
        forgetLayouts();
    }
}

void LogTextView::paintLines(QPainter& painter)
{
    if (isEmpty()) {
        if (hasFocus())
            painter.fillRect(QRect(Margin, Margin, 1, rowHeight()), palette().text());
        return;
    }
    const Place selStart = std::min(m_caret, m_anchor);
    const Place selEnd = std::max(m_caret, m_anchor);
    QTextCharFormat selected;
    selected.setBackground(palette().brush(QPalette::Highlight));
    selected.setForeground(palette().brush(QPalette::HighlightedText));
    painter.setPen(palette().color(QPalette::Text));
    const int height = viewport()->height();
    const int rowH = rowHeight();
    int y = Margin - m_topRow * rowH;
    for (size_t line = m_topLine; line < lineCount() && y < height; ++line) {
        const int rows = rowsOf(line);
        const Laid& l = laid(line);
        // The selected part of this line.
        qsizetype from = 0;
        qsizetype to = 0;
        if (hasSelection() && !(line < selStart.line) && !(selEnd.line < line)) {
            from = line == selStart.line ? selStart.column : 0;
            to = line == selEnd.line ? selEnd.column : l.length;
        }
        const bool caretHere = line == m_caret.line && hasFocus();
        // A laid-out line draws all its rows at once; a long line row by row.
        const int caretRow = caretHere ? rowOf(m_caret) : -1;
        for (int index = 0; index < rows; ++index) {
            const int rowY = y + index * rowH;
            if (!l.layout && (rowY + rowH <= 0 || rowY >= height))
                continue;
            const Row r = row(line, index);
            const QPointF origin(Margin, l.layout ? y : rowY);
            QList<QTextLayout::FormatRange> ranges;
            const qsizetype start = std::max<qsizetype>(from - r.first, 0);
            const qsizetype end = std::min<qsizetype>(to - r.first, r.layout->text().size());
            if (end > start)
                ranges.append({int(start), int(end - start), selected});
            r.layout->draw(&painter, origin, ranges);
            if (caretHere && (l.layout || caretRow == index))
                r.layout->drawCursor(&painter, origin, int(m_caret.column - r.first));
            if (l.layout)
                break;
        }
        y += rows * rowH;
    }
}

// ---- caret and selection ----

void LogTextView::moveCaret(const Place& to, bool extend)
{
    const Place oldCaret = m_caret;
    const Place oldAnchor = m_anchor;
    m_caret = to;
    if (!extend)
        m_anchor = to;
    if (m_caret == oldCaret && m_anchor == oldAnchor)
        return;
    viewport()->update();
    if (QAccessible::isActive()) {
        if (!(m_anchor == oldAnchor) || hasSelection()) {
            QAccessibleTextSelectionEvent selection(this, clampToInt(selectionStart()), clampToInt(selectionEnd()));
            QAccessible::updateAccessibility(&selection);
        }
        QAccessibleTextCursorEvent caret(this, clampToInt(cursorPosition()));
        QAccessible::updateAccessibility(&caret);
    }
    if (!(m_anchor == oldAnchor) || hasSelection() || !(oldCaret == oldAnchor))
        emit selectionChanged();
    if (!(m_caret == oldCaret))
        emit cursorPositionChanged();
}

void LogTextView::setSelection(qint64 anchor, qint64 position)
{
    m_wantedX = -1;
    const Place a = placeOf(anchor);
    moveCaret(placeOf(position), true);
    if (!(m_anchor == a)) {
        m_anchor = a;
        viewport()->update();
        emit selectionChanged();
    }
    ensureCursorVisible();
}

void LogTextView::selectAll()
{
    if (isEmpty())
        return;
    const size_t last = lineCount() - 1;
    m_anchor = Place{};
    moveCaret(Place{last, lineLength(last)}, true);
    viewport()->update();
    emit selectionChanged();
}

void LogTextView::copy()
{
    if (!hasSelection())
        return;
    QGuiApplication::clipboard()->setMimeData(new SelectedText(m_lines, selectionStart(), selectionEnd()));
}

LogTextView::Place LogTextView::rowsAway(const Place& from, int rows) const
{
    int index = rowOf(from) + rows;
    Place to{from.line, 0};
    // Past the first row the caret goes to the start, past the last to the end.
    const int beyond = settleRow(to.line, index);
    if (beyond < 0)
        return to;
    if (beyond > 0)
        return {to.line, lineLength(to.line)};
    const Row r = row(to.line, index);
    const QTextLine textLine = r.layout->lineAt(r.index);
    const int column = textLine.xToCursor(m_wantedX, QTextLine::CursorBetweenCharacters);
    to.column = std::min(r.first + column, lineLength(to.line));
    return to;
}

void LogTextView::wordAt(const Place& place, Place& start, Place& end) const
{
    const QString text = decodeWindows1252(lineText(place.line));
    qsizetype i = std::min(place.column, text.size());
    qsizetype j = i;
    if (j < text.size() && isWordCharacter(text[j].unicode())) {
        while (i > 0 && isWordCharacter(text[i - 1].unicode()))
            --i;
        while (j < text.size() && isWordCharacter(text[j].unicode()))
            ++j;
    } else if (j < text.size()) {
        ++j;
    }
    start = {place.line, i};
    end = {place.line, j};
}

void LogTextView::keyPressEvent(QKeyEvent* event)
{
    if (event->matches(QKeySequence::Copy)) {
        copy();
        return;
    }
    if (event->matches(QKeySequence::SelectAll)) {
        selectAll();
        return;
    }
    if (isEmpty()) {
        QAbstractScrollArea::keyPressEvent(event);
        return;
    }
    const size_t last = lineCount() - 1;
    const auto caretX = [this] {
        if (m_wantedX < 0) {
            const Row r = row(m_caret.line, rowOf(m_caret));
            m_wantedX = r.layout->lineAt(r.index).cursorToX(int(m_caret.column - r.first));
        }
    };
    const auto nextWord = [this, last](Place p) {
        const QString text = decodeWindows1252(lineText(p.line));
        if (p.column >= text.size())
            return p.line < last ? Place{p.line + 1, 0} : p;
        while (p.column < text.size() && isWordCharacter(text[p.column].unicode()))
            ++p.column;
        while (p.column < text.size() && !isWordCharacter(text[p.column].unicode()))
            ++p.column;
        return p;
    };
    const auto previousWord = [this](Place p) {
        if (p.column == 0)
            return p.line > 0 ? Place{p.line - 1, lineLength(p.line - 1)} : p;
        const QString text = decodeWindows1252(lineText(p.line));
        p.column = std::min(p.column, text.size());
        while (p.column > 0 && !isWordCharacter(text[p.column - 1].unicode()))
            --p.column;
        while (p.column > 0 && isWordCharacter(text[p.column - 1].unicode()))
            --p.column;
        return p;
    };
    struct Move {
        QKeySequence::StandardKey move;
        QKeySequence::StandardKey select;
    };
    const Move moves[] = {
        {QKeySequence::MoveToNextChar, QKeySequence::SelectNextChar},
        {QKeySequence::MoveToPreviousChar, QKeySequence::SelectPreviousChar},
        {QKeySequence::MoveToNextLine, QKeySequence::SelectNextLine},
        {QKeySequence::MoveToPreviousLine, QKeySequence::SelectPreviousLine},
        {QKeySequence::MoveToNextPage, QKeySequence::SelectNextPage},
        {QKeySequence::MoveToPreviousPage, QKeySequence::SelectPreviousPage},
        {QKeySequence::MoveToStartOfLine, QKeySequence::SelectStartOfLine},
        {QKeySequence::MoveToEndOfLine, QKeySequence::SelectEndOfLine},
        {QKeySequence::MoveToStartOfDocument, QKeySequence::SelectStartOfDocument},
        {QKeySequence::MoveToEndOfDocument, QKeySequence::SelectEndOfDocument},
        {QKeySequence::MoveToNextWord, QKeySequence::SelectNextWord},
        {QKeySequence::MoveToPreviousWord, QKeySequence::SelectPreviousWord},
    };
    for (const Move& m : moves) {
        const bool extend = event->matches(m.select);
        if (!extend && !event->matches(m.move))
            continue;
        Place to = m_caret;
        bool keepX = false;
        switch (m.move) {
        case QKeySequence::MoveToNextChar:
            if (!extend && hasSelection())
                to = std::max(m_caret, m_anchor);
            else if (to.column < lineLength(to.line))
                ++to.column;
            else if (to.line < last)
                to = {to.line + 1, 0};
            break;
        case QKeySequence::MoveToPreviousChar:
            if (!extend && hasSelection())
                to = std::min(m_caret, m_anchor);
            else if (to.column > 0)
                --to.column;
            else if (to.line > 0)
                to = {to.line - 1, lineLength(to.line - 1)};
            break;
        case QKeySequence::MoveToNextLine:
        case QKeySequence::MoveToPreviousLine:
        case QKeySequence::MoveToNextPage:
        case QKeySequence::MoveToPreviousPage: {
            caretX();
            keepX = true;
            const int page = std::max(1, visibleRows() - 1);
            const int rows = m.move == QKeySequence::MoveToNextLine       ? 1
                             : m.move == QKeySequence::MoveToPreviousLine ? -1
                             : m.move == QKeySequence::MoveToNextPage     ? page
                                                                          : -page;
            to = rowsAway(m_caret, rows);
            if (m.move == QKeySequence::MoveToNextPage || m.move == QKeySequence::MoveToPreviousPage) {
                // The view turns the page with the caret.
                size_t line = m_topLine;
                int row = m_topRow + rows;
                settleRow(line, row);
                setTop(line, row);
            }
            break;
        }
        case QKeySequence::MoveToStartOfLine:
        case QKeySequence::MoveToEndOfLine: {
            const Row r = row(to.line, rowOf(to));
            const QTextLine textLine = r.layout->lineAt(r.index);
            if (m.move == QKeySequence::MoveToStartOfLine) {
                to.column = r.first + textLine.textStart();
            } else {
                qsizetype end = r.first + textLine.textStart() + textLine.textLength();
                // Before the blank at which a wrapped row breaks, as a text box puts it.
                if (end < lineLength(to.line) && end > r.first + textLine.textStart())
                    --end;
                to.column = std::min(end, lineLength(to.line));
            }
            break;
        }
        case QKeySequence::MoveToStartOfDocument:
            to = Place{};
            break;
        case QKeySequence::MoveToEndOfDocument:
            to = Place{last, lineLength(last)};
            break;
        case QKeySequence::MoveToNextWord:
            to = nextWord(to);
            break;
        case QKeySequence::MoveToPreviousWord:
            to = previousWord(to);
            break;
        default:
            break;
        }
        if (!keepX)
            m_wantedX = -1;
        moveCaret(to, extend);
        ensureCursorVisible();
        return;
    }
    QAbstractScrollArea::keyPressEvent(event);
}

bool LogTextView::event(QEvent* event)
{
    if (event->type() == QEvent::ShortcutOverride) {
        // Copy and Select All are the box's own while it has the focus.
        auto* key = static_cast<QKeyEvent*>(event);
        if (key->matches(QKeySequence::Copy) || key->matches(QKeySequence::SelectAll)) {
            event->accept();
            return true;
        }
    }
    return QAbstractScrollArea::event(event);
}

// ---- mouse ----

void LogTextView::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton) {
        QAbstractScrollArea::mousePressEvent(event);
        return;
    }
    m_wantedX = -1;
    moveCaret(placeAt(event->position().toPoint()), event->modifiers() & Qt::ShiftModifier);
    m_dragging = true;
    m_dragPoint = event->position().toPoint();
}

void LogTextView::mouseMoveEvent(QMouseEvent* event)
{
    if (!m_dragging || !(event->buttons() & Qt::LeftButton))
        return;
    m_dragPoint = event->position().toPoint();
    moveCaret(placeAt(m_dragPoint), true);
    // Beyond the top or the bottom the text scrolls while the button is held.
    if (m_dragPoint.y() < 0 || m_dragPoint.y() >= viewport()->height()) {
        if (!m_dragScroll.isActive())
            m_dragScroll.start(50, this);
    } else {
        m_dragScroll.stop();
    }
}

void LogTextView::timerEvent(QTimerEvent* event)
{
    if (event->timerId() != m_dragScroll.timerId()) {
        QAbstractScrollArea::timerEvent(event);
        return;
    }
    if (!m_dragging) {
        m_dragScroll.stop();
        return;
    }
    m_wantedX = m_dragPoint.x() - Margin;
    moveCaret(rowsAway(m_caret, m_dragPoint.y() < 0 ? -1 : 1), true);
    ensureCursorVisible();
}

void LogTextView::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton) {
        QAbstractScrollArea::mouseReleaseEvent(event);
        return;
    }
    m_dragging = false;
    m_dragScroll.stop();
    m_wantedX = -1;
    QClipboard* clipboard = QGuiApplication::clipboard();
    if (hasSelection() && clipboard->supportsSelection())
        clipboard->setMimeData(new SelectedText(m_lines, selectionStart(), selectionEnd()), QClipboard::Selection);
}

void LogTextView::mouseDoubleClickEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton || isEmpty()) {
        QAbstractScrollArea::mouseDoubleClickEvent(event);
        return;
    }
    Place start;
    Place end;
    wordAt(placeAt(event->position().toPoint()), start, end);
    m_anchor = start;
    moveCaret(end, true);
    viewport()->update();
    emit selectionChanged();
}

void LogTextView::focusInEvent(QFocusEvent* event)
{
    QAbstractScrollArea::focusInEvent(event);
    viewport()->update();
}

void LogTextView::focusOutEvent(QFocusEvent* event)
{
    QAbstractScrollArea::focusOutEvent(event);
    viewport()->update();
}

QMenu* LogTextView::createStandardContextMenu(const QPoint&)
{
    auto* menu = new QMenu(this);
    QAction* copyAction = menu->addAction(tr("&Copy") + QLatin1Char('\t') + QKeySequence(QKeySequence::Copy).toString(
                                              QKeySequence::NativeText),
                                          this, &LogTextView::copy);
    copyAction->setObjectName(QStringLiteral("edit-copy"));
    copyAction->setEnabled(hasSelection());
    QAction* all = menu->addAction(tr("Select All") + QLatin1Char('\t') + QKeySequence(QKeySequence::SelectAll).toString(
                                       QKeySequence::NativeText),
                                   this, &LogTextView::selectAll);
    all->setObjectName(QStringLiteral("select-all"));
    all->setEnabled(!isEmpty());
    return menu;
}

} // namespace vrx
