#include "logview/LogTextView.h"

#include "core/Windows1252.h"
#include "logview/LogTextAccessible.h"
#include "logview/ScrollBarMapping.h"
#include "logview/SelectedText.h"
#include "platform/DisplayText.h"

#include <QAccessible>
#include <QApplication>
#include <QClipboard>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QProgressBar>
#include <QScrollBar>
#include <QTextLayout>

#include <algorithm>
#include <climits>
#include <new>

namespace vrx {

namespace {

// Room between the frame and the text, as a text box leaves it.
constexpr int Margin = 4;
// Lines laid out and kept at most; beyond, the layouts are made again when needed.
constexpr size_t KeptLayouts = 512;

} // namespace

LogTextView::LogTextView(QWidget* parent) : QAbstractScrollArea(parent)
{
    LogTextAccessible::install();
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_InputMethodEnabled, false);
    viewport()->setCursor(Qt::IBeamCursor);
    viewport()->setBackgroundRole(QPalette::Base);
    viewport()->setAutoFillBackground(true);
    verticalScrollBar()->setSingleStep(1);
    // The action comes just before the value it leads to; it is known by that value.
    connect(verticalScrollBar(), &QAbstractSlider::actionTriggered, this, [this](int action) {
        m_barAction = action;
        m_barActionValue = verticalScrollBar()->sliderPosition();
    });
    m_rows.setFont(font(), viewport());
    m_rows.setWidth([this] { return textWidth(); });
}

LogTextView::~LogTextView() = default;

void LogTextView::setLines(DisplayLines lines)
{
    const qint64 oldCount = characterCount();
    // A short text goes to screen readers with its change; a long one is read on request.
    const QString oldText = QAccessible::isActive() && oldCount <= 0xFFFF ? toPlainText() : QString();
    m_rows.setLines(std::make_shared<const DisplayLines>(std::move(lines)));
    m_caret = m_anchor = Place{};
    m_topLine = 0;
    m_topRow = 0;
    m_navigation.forgetX();
    updateScrollBar();
    // The first screen is laid out now, so that a line too large for memory fails here.
    int rows = 0;
    for (size_t line = 0; line < lineCount() && rows < visibleRows(); ++line)
        rows += m_rows.rowsOf(line);
    viewport()->update();
    announceText(oldCount, oldText);
    emit selectionChanged();
    emit cursorPositionChanged();
}

void LogTextView::growLines(DisplayLines lines)
{
    m_rows.setLines(std::make_shared<const DisplayLines>(std::move(lines)));
    // The places stand in lines found before, which stay as they were; they are held to the
    // text all the same.
    const auto held = [this](Place place) {
        if (isEmpty())
            return Place{};
        place.line = std::min(place.line, lineCount() - 1);
        place.column = std::min(place.column, m_rows.lineLength(place.line));
        return place;
    };
    m_caret = held(m_caret);
    m_anchor = held(m_anchor);
    m_topLine = isEmpty() ? 0 : std::min(m_topLine, lineCount() - 1);
    updateScrollBar();
    viewport()->update();
}

void LogTextView::showProgress(const QString& format, const QString& accessibleName, int percent)
{
    if (!m_progress) {
        m_progress = new QProgressBar(viewport());
        m_progress->setObjectName(QStringLiteral("progress"));
        m_progress->setRange(0, 100);
        m_progress->setTextVisible(true);
        m_progress->setAlignment(Qt::AlignCenter);
        // The box's own keys and clicks go on as before: the bar only tells.
        m_progress->setFocusPolicy(Qt::NoFocus);
        m_progress->setCursor(Qt::ArrowCursor);
    }
    m_progress->setFormat(format);
    m_progress->setAccessibleName(accessibleName);
    m_progress->setValue(std::clamp(percent, 0, 100));
    if (m_progress->isHidden()) {
        placeProgress();
        m_progress->show();
    }
}

QProgressBar* LogTextView::progressBar() const
{
    return m_progress && !m_progress->isHidden() ? m_progress : nullptr;
}

void LogTextView::hideProgress()
{
    if (m_progress)
        m_progress->hide();
}

void LogTextView::placeProgress()
{
    if (!m_progress)
        return;
    // A line or so high and a fifth of the box wide, in the corner where log lines end.
    const QFontMetrics metrics(m_progress->font());
    const QSize size(std::max(metrics.horizontalAdvance(QStringLiteral("Reading 100%")) * 2, viewport()->width() / 4),
                     metrics.height() + 6);
    const QRect area = viewport()->rect();
    m_progress->setGeometry(QRect(QPoint(area.right() - Margin - size.width() + 1, area.bottom() - Margin - size.height() + 1),
                                  size));
}

void LogTextView::setPlainText(const QString& text)
{
    setLines(DisplayLines(encodeWindows1252(QString(text).replace(QLatin1Char('\n'), QStringLiteral("\r\n")))));
}

void LogTextView::clear()
{
    setLines(DisplayLines());
}

std::uint64_t LogTextView::lineStart(size_t line) const
{
    if (line >= lineCount())
        return std::uint64_t(characterCount()) + 1;
    return lines().lineOffset(line);
}

size_t LogTextView::lineOf(qint64 offset) const
{
    if (lines().endsWithLineEnd() && offset > qint64(lines().characters()))
        return lines().count();
    return lines().lineAtOffset(std::uint64_t(std::max<qint64>(offset, 0)));
}

QString LogTextView::toPlainText() const
{
    return textBetween(0, characterCount());
}

QString LogTextView::textBetween(qint64 start, qint64 end) const
{
    try {
        QString text = textOf(lines(), start, end);
        // Made of a log whose part no longer read as it did: nothing rather than a mix.
        return lines().intact() ? text : QString();
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

int LogTextView::textWidth() const
{
    return std::max(1, viewport()->width() - 2 * Margin);
}

int LogTextView::visibleRows() const
{
    return std::max(1, (viewport()->height() - Margin) / m_rows.rowHeight());
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
    return {line, qsizetype(std::min<qint64>(column, m_rows.lineLength(line)))};
}

LogTextView::Place LogTextView::placeAt(const QPoint& point) const
{
    if (isEmpty())
        return {};
    // The row under the point, counted from the top row.
    const int rowHeight = m_rows.rowHeight();
    int rows = (point.y() - Margin) / rowHeight + m_topRow;
    if (point.y() < Margin)
        rows = m_topRow - 1 - (Margin - point.y()) / rowHeight;
    size_t line = m_topLine;
    int index = rows;
    m_rows.settleRow(line, index);
    return m_rows.placeInRow(line, index, point.x() - Margin);
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
    const int rowHeight = m_rows.rowHeight();
    int y = Margin - m_topRow * rowHeight;
    for (size_t line = m_topLine; line < place.line; ++line) {
        y += m_rows.rowsOf(line) * rowHeight;
        if (y > viewport()->height())
            return {};
    }
    const int index = m_rows.rowOf(place);
    y += index * rowHeight;
    if (y + rowHeight <= 0 || y > viewport()->height())
        return {};
    const TextRows::Row r = m_rows.row(place.line, index);
    const QTextLine textLine = r.layout->lineAt(r.index);
    const qreal x = textLine.cursorToX(int(place.column - r.first));
    const qreal next = textLine.cursorToX(int(place.column - r.first + 1));
    return QRect(Margin + int(x), y, std::max(1, int(next - x)), rowHeight);
}

// ---- scrolling ----

void LogTextView::updateScrollBar()
{
    // The top line at most: the one from which the last lines fill the view.
    const int need = visibleRows();
    size_t top = lineCount();
    int rows = 0;
    while (top > 0 && rows + m_rows.rowsOf(top - 1) <= need) {
        rows += m_rows.rowsOf(top - 1);
        --top;
    }
    if (top == lineCount() && top > 0)
        --top;
    m_maxTop = top;
    m_settingScrollBar = true;
    QScrollBar* bar = verticalScrollBar();
    bar->setRange(0, scrollbar::maximumFor(m_maxTop));
    bar->setPageStep(need);
    m_barValue = scrollbar::valueFor(m_topLine, m_maxTop);
    bar->setValue(m_barValue);
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
        row = std::clamp(row, 0, m_rows.rowsOf(line) - 1);
    if (line == m_topLine && row == m_topRow)
        return;
    m_topLine = line;
    m_topRow = row;
    m_settingScrollBar = true;
    m_barValue = scrollbar::valueFor(line, m_maxTop);
    verticalScrollBar()->setValue(m_barValue);
    m_settingScrollBar = false;
    viewport()->update();
}

void LogTextView::scrollContentsBy(int, int)
{
    if (m_settingScrollBar)
        return;
    QScrollBar* bar = verticalScrollBar();
    const int value = bar->value();
    const int action = value == m_barActionValue ? m_barAction : int(QAbstractSlider::SliderNoAction);
    m_barAction = QAbstractSlider::SliderNoAction;
    // Arrows, page clicks, keys and the wheel step the bar; a drag or a jump places it.
    const bool byStep = action == QAbstractSlider::SliderSingleStepAdd || action == QAbstractSlider::SliderSingleStepSub
                        || action == QAbstractSlider::SliderPageStepAdd || action == QAbstractSlider::SliderPageStepSub
                        || (action == QAbstractSlider::SliderMove && !bar->isSliderDown());
    m_topLine = size_t(scrollbar::topAfterMove(m_topLine, m_maxTop, m_barValue, value, byStep));
    m_topRow = 0;
    m_barValue = value;
    if (scrollbar::valueFor(m_topLine, m_maxTop) != value) {
        // Scaled, a step may leave the bar short of where the line belongs on it.
        m_settingScrollBar = true;
        m_barValue = scrollbar::valueFor(m_topLine, m_maxTop);
        bar->setValue(m_barValue);
        m_settingScrollBar = false;
    }
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
    const int caretRow = m_rows.rowOf(m_caret);
    if (m_caret.line < m_topLine || (m_caret.line == m_topLine && caretRow < m_topRow)) {
        setTop(m_caret.line, caretRow);
        return;
    }
    // Rows from the top of the view down to the caret's row, as far as a view goes.
    const int need = visibleRows();
    int rows = -m_topRow;
    for (size_t line = m_topLine; line < m_caret.line && rows < need; ++line)
        rows += m_rows.rowsOf(line);
    rows += caretRow;
    if (rows < need)
        return;
    // Below the view: the caret's row becomes the last one shown.
    size_t line = m_caret.line;
    int row = caretRow - (need - 1);
    m_rows.settleRow(line, row);
    setTop(line, row);
}

void LogTextView::resizeEvent(QResizeEvent* event)
{
    QAbstractScrollArea::resizeEvent(event);
    m_rows.forget();
    updateScrollBar();
    placeProgress();
}

void LogTextView::changeEvent(QEvent* event)
{
    QAbstractScrollArea::changeEvent(event);
    if (event->type() == QEvent::FontChange) {
        m_rows.setFont(font(), viewport());
        updateScrollBar();
        viewport()->update();
    }
}

// ---- painting ----

void LogTextView::paintEvent(QPaintEvent*)
{
    if (m_rows.laidCount() > KeptLayouts)
        m_rows.forget();
    QPainter painter(viewport());
    try {
        paintLines(painter);
    } catch (const std::bad_alloc&) {
        // A line too large for the memory left is not drawn; the rest of the program goes on.
        m_rows.forget();
    }
}

void LogTextView::paintLines(QPainter& painter)
{
    const int rowH = m_rows.rowHeight();
    if (isEmpty()) {
        if (hasFocus())
            painter.fillRect(QRect(Margin, Margin, 1, rowH), palette().text());
        return;
    }
    const Place selStart = std::min(m_caret, m_anchor);
    const Place selEnd = std::max(m_caret, m_anchor);
    QTextCharFormat selected;
    selected.setBackground(palette().brush(QPalette::Highlight));
    selected.setForeground(palette().brush(QPalette::HighlightedText));
    painter.setPen(palette().color(QPalette::Text));
    const int height = viewport()->height();
    int y = Margin - m_topRow * rowH;
    for (size_t line = m_topLine; line < lineCount() && y < height; ++line) {
        const int rows = m_rows.rowsOf(line);
        const qsizetype length = m_rows.lineLength(line);
        // The selected part of this line.
        qsizetype from = 0;
        qsizetype to = 0;
        if (hasSelection() && !(line < selStart.line) && !(selEnd.line < line)) {
            from = line == selStart.line ? selStart.column : 0;
            to = line == selEnd.line ? selEnd.column : length;
        }
        const bool caretHere = line == m_caret.line && hasFocus();
        // A laid-out line draws all its rows at once; a long line row by row.
        const bool wholeLine = length <= TextRows::LongLineCharacters;
        const int caretRow = caretHere ? m_rows.rowOf(m_caret) : -1;
        for (int index = 0; index < rows; ++index) {
            const int rowY = y + index * rowH;
            if (!wholeLine && (rowY + rowH <= 0 || rowY >= height))
                continue;
            const TextRows::Row r = m_rows.row(line, index);
            const QPointF origin(Margin, wholeLine ? y : rowY);
            QList<QTextLayout::FormatRange> ranges;
            const qsizetype start = std::max<qsizetype>(from - r.first, 0);
            const qsizetype end = std::min<qsizetype>(to - r.first, r.layout->text().size());
            if (end > start)
                ranges.append({int(start), int(end - start), selected});
            r.layout->draw(&painter, origin, ranges);
            if (caretHere && (wholeLine || caretRow == index))
                r.layout->drawCursor(&painter, origin, int(m_caret.column - r.first));
            if (wholeLine)
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
    m_navigation.forgetX();
    const Place a = placeOf(anchor);
    moveCaret(placeOf(position), true);
    if (!(m_anchor == a)) {
        m_anchor = a;
        viewport()->update();
        emit selectionChanged();
    }
    ensureCursorVisible();
}

void LogTextView::selectLine(size_t line)
{
    if (isEmpty())
        return;
    line = std::min(line, lineCount() - 1);
    setSelection(qint64(lineStart(line)), qint64(lineStart(line)) + m_rows.lineLength(line));
}

void LogTextView::selectAll()
{
    if (isEmpty())
        return;
    const size_t last = lineCount() - 1;
    m_anchor = Place{};
    moveCaret(Place{last, m_rows.lineLength(last)}, true);
    viewport()->update();
    emit selectionChanged();
}

void LogTextView::copy()
{
    if (!hasSelection())
        return;
    QClipboard* clipboard = QGuiApplication::clipboard();
    const qint64 characters = selectionEnd() - selectionStart();
    // What was on the clipboard before is not what the user meant to paste now: it goes
    // whenever the copy is refused.
    if (characters > MaxTextRequest) {
        clipboard->clear();
        emit copyRefused(characters);
        return;
    }
    QString text;
    try {
        text = textOf(lines(), selectionStart(), selectionEnd());
    } catch (const std::bad_alloc&) {
        clipboard->clear();
        emit copyOutOfMemory();
        return;
    }
    if (!lines().intact()) {
        clipboard->clear();
        emit copyRefusedChanged();
        return;
    }
    clipboard->setText(text);
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
    const std::optional<CaretKey> key = isEmpty() ? std::nullopt : caretKeyOf(event);
    if (!key) {
        QAbstractScrollArea::keyPressEvent(event);
        return;
    }
    const int page = std::max(1, visibleRows() - 1);
    const Place to = m_navigation.move(key->move, m_caret, m_anchor, key->extend, page);
    if (key->move == CaretMove::NextPage || key->move == CaretMove::PreviousPage) {
        // The view turns the page with the caret.
        size_t line = m_topLine;
        int row = m_topRow + (key->move == CaretMove::NextPage ? page : -page);
        m_rows.settleRow(line, row);
        setTop(line, row);
    }
    moveCaret(to, key->extend);
    ensureCursorVisible();
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
    // Every event may lay out or convert lines; memory running out for a huge line ends that
    // one event, never the program.
    try {
        return QAbstractScrollArea::event(event);
    } catch (const std::bad_alloc&) {
        m_rows.forget();
        return true;
    }
}

bool LogTextView::viewportEvent(QEvent* event)
{
    try {
        return QAbstractScrollArea::viewportEvent(event);
    } catch (const std::bad_alloc&) {
        m_rows.forget();
        return true;
    }
}

// ---- mouse ----

void LogTextView::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton) {
        QAbstractScrollArea::mousePressEvent(event);
        return;
    }
    m_navigation.forgetX();
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
    const qreal x = m_dragPoint.x() - Margin;
    m_navigation.setX(x);
    moveCaret(m_navigation.rowsAway(m_caret, m_dragPoint.y() < 0 ? -1 : 1, x), true);
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
    m_navigation.forgetX();
    QClipboard* clipboard = QGuiApplication::clipboard();
    if (!hasSelection() || !clipboard->supportsSelection())
        return;
    // The selection is made into text now, as a copy is; one too large to hand over, or of a log
    // that no longer reads as it did, leaves no older one behind to be pasted instead.
    const QString text = selectionEnd() - selectionStart() > MaxTextRequest ? QString() : selectedText();
    if (text.isEmpty())
        clipboard->clear(QClipboard::Selection);
    else
        clipboard->setText(text, QClipboard::Selection);
}

void LogTextView::mouseDoubleClickEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton || isEmpty()) {
        QAbstractScrollArea::mouseDoubleClickEvent(event);
        return;
    }
    Place start;
    Place end;
    m_navigation.wordAt(placeAt(event->position().toPoint()), start, end);
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
