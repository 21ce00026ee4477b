#include "logview/LogTextAccessible.h"

#include "logview/CaretNavigation.h"
#include "logview/LogTextView.h"
#include "logview/SelectedText.h"

#include <algorithm>
#include <climits>
#include <new>

namespace vrx {

namespace {

// A reader calls in from the event loop: running out of memory while it reads a line gives
// the empty answer, never the end of the program.
template <class Result, class Read>
Result guarded(Result none, Read&& read)
{
    try {
        return read();
    } catch (const std::bad_alloc&) {
        return none;
    }
}

// Words are looked for this many characters either side of the offset, so that a word on a
// line of any length costs little; a log's lines are far shorter.
constexpr qint64 WordWindow = 1 << 16;

QAccessibleInterface* factory(const QString& className, QObject* object)
{
    if (className == QLatin1String("vrx::LogTextView") && object && object->isWidgetType())
        return new LogTextAccessible(static_cast<LogTextView*>(object));
    return nullptr;
}

} // namespace

LogTextAccessible::LogTextAccessible(LogTextView* view) : QAccessibleWidget(view, QAccessible::EditableText) {}

void LogTextAccessible::install()
{
    static const bool installed = [] {
        QAccessible::installFactory(&factory);
        return true;
    }();
    Q_UNUSED(installed);
}

LogTextView* LogTextAccessible::view() const
{
    return static_cast<LogTextView*>(object());
}

void* LogTextAccessible::interface_cast(QAccessible::InterfaceType type)
{
    if (type == QAccessible::TextInterface)
        return static_cast<QAccessibleTextInterface*>(this);
    return QAccessibleWidget::interface_cast(type);
}

QAccessible::State LogTextAccessible::state() const
{
    QAccessible::State s = QAccessibleWidget::state();
    s.readOnly = true;
    s.multiLine = true;
    s.selectableText = true;
    s.focusable = true;
    return s;
}

// The value of a text box is its text; here it is read through the text interface only.
QString LogTextAccessible::text(QAccessible::Text t) const
{
    if (t == QAccessible::Value)
        return {};
    return QAccessibleWidget::text(t);
}

void LogTextAccessible::selection(int selectionIndex, int* startOffset, int* endOffset) const
{
    *startOffset = *endOffset = 0;
    if (selectionIndex == 0 && view()->hasSelection()) {
        guarded(0, [&] {
            *startOffset = clampToInt(view()->selectionStart());
            *endOffset = clampToInt(view()->selectionEnd());
            return 0;
        });
    }
}

int LogTextAccessible::selectionCount() const
{
    return view()->hasSelection() ? 1 : 0;
}

void LogTextAccessible::addSelection(int startOffset, int endOffset)
{
    setSelection(0, startOffset, endOffset);
}

void LogTextAccessible::removeSelection(int selectionIndex)
{
    if (selectionIndex == 0)
        guarded(0, [this] { view()->setCursorPosition(view()->cursorPosition()); return 0; });
}

void LogTextAccessible::setSelection(int selectionIndex, int startOffset, int endOffset)
{
    if (selectionIndex == 0)
        guarded(0, [&] { view()->setSelection(startOffset, endOffset); return 0; });
}

int LogTextAccessible::cursorPosition() const
{
    return guarded(0, [this] { return clampToInt(view()->cursorPosition()); });
}

void LogTextAccessible::setCursorPosition(int position)
{
    guarded(0, [&] { view()->setCursorPosition(position); return 0; });
}

QString LogTextAccessible::text(int startOffset, int endOffset) const
{
    const qint64 count = view()->characterCount();
    const qint64 start = std::clamp<qint64>(startOffset, 0, count);
    const qint64 end = std::clamp<qint64>(endOffset, start, count);
    if (end - start > MaxTextRequest)
        return {};
    return view()->textBetween(start, end);
}

QString LogTextAccessible::textBeforeOffset(int offset, QAccessible::TextBoundaryType boundaryType, int* startOffset,
                                            int* endOffset) const
{
    return textNear(offset, boundaryType, -1, startOffset, endOffset);
}

QString LogTextAccessible::textAfterOffset(int offset, QAccessible::TextBoundaryType boundaryType, int* startOffset,
                                           int* endOffset) const
{
    return textNear(offset, boundaryType, 1, startOffset, endOffset);
}

QString LogTextAccessible::textAtOffset(int offset, QAccessible::TextBoundaryType boundaryType, int* startOffset,
                                        int* endOffset) const
{
    return textNear(offset, boundaryType, 0, startOffset, endOffset);
}

int LogTextAccessible::characterCount() const
{
    return clampToInt(view()->characterCount());
}

QRect LogTextAccessible::characterRect(int offset) const
{
    const QRect r = guarded(QRect(), [&] { return view()->characterRect(offset); });
    if (r.isEmpty())
        return {};
    return QRect(view()->viewport()->mapToGlobal(r.topLeft()), r.size());
}

int LogTextAccessible::offsetAtPoint(const QPoint& point) const
{
    return guarded(-1, [&] { return clampToInt(view()->offsetAt(view()->viewport()->mapFromGlobal(point))); });
}

void LogTextAccessible::scrollToSubstring(int startIndex, int endIndex)
{
    guarded(0, [&] { view()->setSelection(endIndex, startIndex); return 0; });
}

QString LogTextAccessible::attributes(int offset, int* startOffset, int* endOffset) const
{
    // One run of plain text: no attributes anywhere.
    Q_UNUSED(offset);
    *startOffset = 0;
    *endOffset = characterCount();
    return {};
}

QString LogTextAccessible::textNear(int offset, QAccessible::TextBoundaryType boundary, int direction,
                                   int* startOffset, int* endOffset) const
{
    *startOffset = *endOffset = -1;
    const LogTextView* lines = view();
    const int count = characterCount();
    if (offset == -2) // the caret, as AT-SPI may ask
        offset = cursorPosition();
    if (offset < 0 || offset > count || count == 0)
        return {};
    // A unit longer than a request may be is refused with the empty answer.
    const auto answer = [&](int start, int end) {
        if (qint64(end) - start > MaxTextRequest)
            return QString();
        *startOffset = start;
        *endOffset = end;
        return text(start, end);
    };
    if (boundary == QAccessible::NoBoundary)
        return answer(0, count);
    if (boundary == QAccessible::CharBoundary) {
        const int at = offset + direction;
        if (at < 0 || at >= count)
            return {};
        return answer(at, at + 1);
    }
    return guarded(QString(), [&] {
        // Lines (and sentences and paragraphs, which a log has not) include their line end.
        const auto lineRange = [&](size_t line, int* start, int* end) {
            *start = clampToInt(qint64(lines->lineStart(line)));
            *end = std::min(count, clampToInt(qint64(lines->lineStart(line + 1))));
        };
        size_t line = lines->lineOf(offset);
        if (boundary != QAccessible::WordBoundary) {
            if (direction < 0 && line == 0)
                return QString();
            if (direction > 0 && line + 1 >= lines->lineCount())
                return QString();
            line = size_t(qint64(line) + direction);
            int start = 0;
            int end = 0;
            lineRange(line, &start, &end);
            return answer(start, end);
        }
        // Words: a run of word characters with the blanks after it.
        int start = 0;
        int end = 0;
        lineRange(line, &start, &end);
        start = int(std::max<qint64>(start, qint64(offset) - WordWindow));
        end = int(std::min<qint64>(end, qint64(offset) + WordWindow));
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
            return QString();
        *startOffset = s;
        *endOffset = e;
        return text(s, e);
    });
}

} // namespace vrx
