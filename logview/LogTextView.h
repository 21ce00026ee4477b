#pragma once
// The read-only text box that shows a log: it lays out only the lines on the screen, from the
// one line model, so a log of millions of lines shows at once and costs no more memory than
// its lines. It selects with mouse and keys, copies, selects all and scrolls as a text box
// does, and screen readers read it through its accessible text (see LogTextAccessible).
//
// Places in the text are character offsets in the lines joined by one character each.

#include "core/DisplayLines.h"
#include "logview/CaretNavigation.h"
#include "logview/TextRows.h"

#include <QAbstractScrollArea>
#include <QBasicTimer>
#include <QString>
#include <QtGlobal>

#include <algorithm>
#include <climits>
#include <memory>

class QMenu;
class QPainter;
class QProgressBar;

namespace vrx {

// An offset as the int that accessibility and Qt's text events take.
inline int clampToInt(qint64 value)
{
    return int(std::clamp<qint64>(value, 0, INT_MAX));
}

class LogTextView : public QAbstractScrollArea {
    Q_OBJECT
public:
    explicit LogTextView(QWidget* parent = nullptr);
    ~LogTextView() override;

    // Shows these lines from the top, caret at the start.
    void setLines(DisplayLines lines);
    // Shows these lines in place of the same text's lines found so far (more of them, as a log is
    // read): the caret, the selection and the place scrolled to stay.
    void growLines(DisplayLines lines);
    // A small bar in the box's lower right corner that tells how far a long task has come
    // ("Reading %p%"); hidden again by hideProgress.
    void showProgress(const QString& format, const QString& accessibleName, int percent);
    void hideProgress();
    // The bar, while it is shown; null otherwise.
    QProgressBar* progressBar() const;
    const DisplayLines& lines() const { return m_rows.lines(); }
    // The same for a text whose lines are parted by '\n' (characters Windows-1252 lacks show
    // as '?'); for callers that have text rather than a log.
    void setPlainText(const QString& text);
    void clear();
    bool isEmpty() const { return m_rows.isEmpty(); }
    // The lines joined by '\n'.
    QString toPlainText() const;

    // A text that ends with a line end shows an empty line after it, and counts that line end.
    qint64 characterCount() const { return qint64(lines().characters()) + (lines().endsWithLineEnd() ? 1 : 0); }
    size_t lineCount() const { return m_rows.lineCount(); }
    // Where a line begins; past the last line, one past the end.
    std::uint64_t lineStart(size_t line) const;
    // The line that holds an offset.
    size_t lineOf(qint64 offset) const;
    std::string_view lineText(size_t line) const { return m_rows.lineText(line); }
    qint64 cursorPosition() const { return offsetOf(m_caret); }
    qint64 anchorPosition() const { return offsetOf(m_anchor); }
    qint64 selectionStart() const { return qMin(cursorPosition(), anchorPosition()); }
    qint64 selectionEnd() const { return qMax(cursorPosition(), anchorPosition()); }
    bool hasSelection() const { return !(m_caret == m_anchor); }
    QString selectedText() const { return textBetween(selectionStart(), selectionEnd()); }
    // The text from start to end, lines parted by '\n'; empty when memory runs out or when a
    // part of the log no longer reads as it did.
    QString textBetween(qint64 start, qint64 end) const;
    // Selects from anchor to position (the caret), clamped to the text; scrolls the caret into view.
    void setSelection(qint64 anchor, qint64 position);
    void setCursorPosition(qint64 position) { setSelection(position, position); }

    // The line shown at the top.
    size_t firstVisibleLine() const { return m_topLine; }
    // Scrolls so that this line is at the top, or as near as the end of the text allows.
    void scrollToLine(size_t line);
    // Whether the last line is in view; scrolls so that it is.
    bool showsEnd() const { return m_topLine >= m_maxTop; }
    void scrollToEnd() { scrollToLine(lineCount()); }
    // Selects a line whole and scrolls it into view.
    void selectLine(size_t line);
    void ensureCursorVisible();

    // The box's own menu for a click at position (viewport coordinates): Copy, Select All.
    QMenu* createStandardContextMenu(const QPoint& position);

    // For the accessible text: a character's rectangle on the viewport (empty when it is not
    // on the screen) and the character at a viewport point (-1 when none).
    QRect characterRect(qint64 offset) const;
    qint64 offsetAt(const QPoint& point) const;

public slots:
    // Puts the selection's text on the clipboard, made now: a paste later gives what was
    // copied, whatever becomes of the file. One larger than MaxTextRequest is refused with
    // copyRefused, one that memory cannot hold with copyOutOfMemory, and one of a log that no
    // longer reads as it did with copyRefusedChanged; the clipboard is emptied then.
    void copy();
    void selectAll();

signals:
    void selectionChanged();
    void cursorPositionChanged();
    // Copy was refused: the selection holds this many characters.
    void copyRefused(qint64 characters);
    void copyOutOfMemory();
    void copyRefusedChanged();

protected:
    bool event(QEvent* event) override;
    bool viewportEvent(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void paintLines(QPainter& painter);
    void resizeEvent(QResizeEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void timerEvent(QTimerEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    using Place = TextPlace;

    // The rows are laid out at the viewport's width less the margins, in the box's font.
    int textWidth() const;
    int visibleRows() const;
    qint64 offsetOf(const Place& place) const;
    Place placeOf(qint64 offset) const;
    Place placeAt(const QPoint& point) const;
    // Moves the caret; with extend the anchor stays (a selection grows), else it follows.
    void moveCaret(const Place& to, bool extend);
    void updateScrollBar();
    void setTop(size_t line, int row);
    void placeProgress();
    void announceText(qint64 oldCount, const QString& oldText);

    TextRows m_rows;
    CaretNavigation m_navigation{m_rows};
    Place m_caret;
    Place m_anchor;
    size_t m_topLine = 0;
    size_t m_maxTop = 0;
    int m_topRow = 0;
    bool m_settingScrollBar = false;
    int m_barValue = 0;   // the scroll bar's value as the box last set it
    int m_barAction = 0;  // the scroll bar's last action, and the value it leads to
    int m_barActionValue = -1;
    bool m_dragging = false;
    QPoint m_dragPoint;
    QBasicTimer m_dragScroll;
    QProgressBar* m_progress = nullptr;
};

} // namespace vrx
