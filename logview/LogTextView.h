#pragma once
// The read-only text box that shows a log: it lays out only the lines on the screen, from the
// one line model, so a log of millions of lines shows at once and costs no more memory than
// its lines. It selects with mouse and keys, copies, selects all and scrolls as a text box
// does, and screen readers read it through its accessible text (see LogTextAccessible).
//
// Places in the text are character offsets in the lines joined by one character each.

#include "core/DisplayLines.h"

#include <QAbstractScrollArea>
#include <QBasicTimer>
#include <QString>
#include <QtGlobal>

#include <memory>
#include <unordered_map>

class QMenu;
class QPainter;
class QTextLayout;

namespace vrx {

class LogTextView : public QAbstractScrollArea {
    Q_OBJECT
public:
    explicit LogTextView(QWidget* parent = nullptr);
    ~LogTextView() override;

    // Shows these lines from the top, caret at the start.
    void setLines(DisplayLines lines);
    const DisplayLines& lines() const { return *m_lines; }
    // The same for a text whose lines are parted by '\n' (characters Windows-1252 lacks show
    // as '?'); for callers that have text rather than a log.
    void setPlainText(const QString& text);
    void clear();
    bool isEmpty() const { return lineCount() == 0; }
    // The lines joined by '\n'.
    QString toPlainText() const;

    // A text that ends with a line end shows an empty line after it, and counts that line end.
    qint64 characterCount() const { return qint64(m_lines->characters()) + (m_lines->endsWithLineEnd() ? 1 : 0); }
    size_t lineCount() const;
    // Where a line begins; past the last line, one past the end.
    std::uint64_t lineStart(size_t line) const;
    // The line that holds an offset.
    size_t lineOf(qint64 offset) const;
    std::string_view lineText(size_t line) const;
    qint64 cursorPosition() const { return offsetOf(m_caret); }
    qint64 anchorPosition() const { return offsetOf(m_anchor); }
    qint64 selectionStart() const { return qMin(cursorPosition(), anchorPosition()); }
    qint64 selectionEnd() const { return qMax(cursorPosition(), anchorPosition()); }
    bool hasSelection() const { return !(m_caret == m_anchor); }
    QString selectedText() const { return textBetween(selectionStart(), selectionEnd()); }
    // The text from start to end, lines parted by '\n'.
    QString textBetween(qint64 start, qint64 end) const;
    // Selects from anchor to position (the caret), clamped to the text; scrolls the caret into view.
    void setSelection(qint64 anchor, qint64 position);
    void setCursorPosition(qint64 position) { setSelection(position, position); }

    // The line shown at the top.
    size_t firstVisibleLine() const { return m_topLine; }
    // Scrolls so that this line is at the top, or as near as the end of the text allows.
    void scrollToLine(size_t line);
    void ensureCursorVisible();

    // The box's own menu for a click at position (viewport coordinates): Copy, Select All.
    QMenu* createStandardContextMenu(const QPoint& position);

    // For the accessible text: a character's rectangle on the viewport (empty when it is not
    // on the screen) and the character at a viewport point (-1 when none).
    QRect characterRect(qint64 offset) const;
    qint64 offsetAt(const QPoint& point) const;

public slots:
    void copy();
    void selectAll();

signals:
    void selectionChanged();
    void cursorPositionChanged();

protected:
    bool event(QEvent* event) override;
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
    struct Place {
        size_t line = 0;
        qsizetype column = 0;
        bool operator==(const Place&) const = default;
        bool operator<(const Place& o) const { return line < o.line || (line == o.line && column < o.column); }
    };
    // A line laid out at the viewport's width; only the lines on the screen are.
    struct Laid {
        qsizetype length = 0;                 // characters of the line
        std::unique_ptr<QTextLayout> layout;  // null for a long line, shown in rows of its own
        mutable std::unordered_map<int, std::unique_ptr<QTextLayout>> segments; // a long line's rows
    };
    // One row on the screen: a line of a layout, whose text begins at the line's column first.
    struct Row {
        QTextLayout* layout;
        int index;
        qsizetype first;
    };

    const Laid& laid(size_t line) const;
    int rowsOf(size_t line) const;
    Row row(size_t line, int index) const;
    // Characters in a row of a long line.
    qsizetype rowCharacters() const;
    qsizetype lineLength(size_t line) const;
    // Brings a row counted from a line's first (negative, or past its last) onto the line that
    // holds it, clamped to the text: -1 when clamped at its start, 1 at its end, else 0.
    int settleRow(size_t& line, int& row) const;
    int rowHeight() const;
    int textWidth() const;
    int visibleRows() const;
    qint64 offsetOf(const Place& place) const;
    Place placeOf(qint64 offset) const;
    Place placeAt(const QPoint& point) const;
    // The row of the caret's line that holds it.
    int rowOf(const Place& place) const;
    // Moves the caret; with extend the anchor stays (a selection grows), else it follows.
    void moveCaret(const Place& to, bool extend);
    // Moves the caret by rows of the screen, keeping its x.
    Place rowsAway(const Place& from, int rows) const;
    void updateScrollBar();
    void setTop(size_t line, int row);
    void forgetLayouts();
    void announceText(qint64 oldCount, const QString& oldText);
    void wordAt(const Place& place, Place& start, Place& end) const;

    std::shared_ptr<const DisplayLines> m_lines;
    mutable std::unordered_map<size_t, Laid> m_laid;
    Place m_caret;
    Place m_anchor;
    size_t m_topLine = 0;
    size_t m_maxTop = 0;
    int m_topRow = 0;
    bool m_settingScrollBar = false;
    bool m_dragging = false;
    QPoint m_dragPoint;
    QBasicTimer m_dragScroll;
    qreal m_wantedX = -1; // the caret's x kept through Up and Down
    friend class LogTextAccessible;
};

} // namespace vrx
