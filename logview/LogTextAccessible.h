#pragma once
// What a screen reader sees of the log box: a read-only multi-line text whose characters are
// served from the lines on request. Nothing is sent ahead: a reader asks for the lines it reads
// (the line at the caret, the lines in view), and a whole log pushed onto the bus at every load
// would cost the program and the reader seconds and hundreds of megabytes. A request for more
// than MaxTextRequest characters gets the empty answer.

#include <QAccessibleWidget>

namespace vrx {

class LogTextView;

class LogTextAccessible : public QAccessibleWidget, public QAccessibleTextInterface {
public:
    explicit LogTextAccessible(LogTextView* view);

    // Makes the log boxes known to Qt's accessibility; once is enough.
    static void install();

    void* interface_cast(QAccessible::InterfaceType type) override;
    QAccessible::State state() const override;
    QString text(QAccessible::Text t) const override;

    // QAccessibleTextInterface
    void selection(int selectionIndex, int* startOffset, int* endOffset) const override;
    int selectionCount() const override;
    void addSelection(int startOffset, int endOffset) override;
    void removeSelection(int selectionIndex) override;
    void setSelection(int selectionIndex, int startOffset, int endOffset) override;
    int cursorPosition() const override;
    void setCursorPosition(int position) override;
    QString text(int startOffset, int endOffset) const override;
    QString textBeforeOffset(int offset, QAccessible::TextBoundaryType boundaryType, int* startOffset,
                             int* endOffset) const override;
    QString textAfterOffset(int offset, QAccessible::TextBoundaryType boundaryType, int* startOffset,
                            int* endOffset) const override;
    QString textAtOffset(int offset, QAccessible::TextBoundaryType boundaryType, int* startOffset,
                         int* endOffset) const override;
    int characterCount() const override;
    QRect characterRect(int offset) const override;
    int offsetAtPoint(const QPoint& point) const override;
    void scrollToSubstring(int startIndex, int endIndex) override;
    QString attributes(int offset, int* startOffset, int* endOffset) const override;

private:
    LogTextView* view() const;
    // The unit (character, word, line) at offset, or the one before or after it.
    QString textNear(int offset, QAccessible::TextBoundaryType boundary, int direction, int* startOffset,
                     int* endOffset) const;
};

} // namespace vrx
