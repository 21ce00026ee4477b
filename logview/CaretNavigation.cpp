#include "logview/CaretNavigation.h"

#include "core/Windows1252.h"

#include <QChar>
#include <QKeyEvent>
#include <QTextLayout>

#include <algorithm>
#include <array>

namespace vrx {

namespace {

// Word characters by byte: words are found in the line's bytes where they stand, so that a
// word move on a line of any length needs no copy of it.
const std::array<bool, 256>& wordBytes()
{
    static const std::array<bool, 256> table = [] {
        std::array<bool, 256> t{};
        for (int b = 0; b < 256; ++b)
            t[size_t(b)] = isWordCharacter(windows1252ToUnicode(static_cast<unsigned char>(b)));
        return t;
    }();
    return table;
}

bool isWordByte(char c)
{
    return wordBytes()[static_cast<unsigned char>(c)];
}

} // namespace

bool isWordCharacter(char16_t c)
{
    return QChar(c).isLetterOrNumber() || c == u'_';
}

std::optional<CaretKey> caretKeyOf(const QKeyEvent* event)
{
    struct Binding {
        CaretMove move;
        QKeySequence::StandardKey key;
        QKeySequence::StandardKey select;
    };
    static const Binding bindings[] = {
        {CaretMove::NextChar, QKeySequence::MoveToNextChar, QKeySequence::SelectNextChar},
        {CaretMove::PreviousChar, QKeySequence::MoveToPreviousChar, QKeySequence::SelectPreviousChar},
        {CaretMove::NextLine, QKeySequence::MoveToNextLine, QKeySequence::SelectNextLine},
        {CaretMove::PreviousLine, QKeySequence::MoveToPreviousLine, QKeySequence::SelectPreviousLine},
        {CaretMove::NextPage, QKeySequence::MoveToNextPage, QKeySequence::SelectNextPage},
        {CaretMove::PreviousPage, QKeySequence::MoveToPreviousPage, QKeySequence::SelectPreviousPage},
        {CaretMove::StartOfLine, QKeySequence::MoveToStartOfLine, QKeySequence::SelectStartOfLine},
        {CaretMove::EndOfLine, QKeySequence::MoveToEndOfLine, QKeySequence::SelectEndOfLine},
        {CaretMove::StartOfDocument, QKeySequence::MoveToStartOfDocument, QKeySequence::SelectStartOfDocument},
        {CaretMove::EndOfDocument, QKeySequence::MoveToEndOfDocument, QKeySequence::SelectEndOfDocument},
        {CaretMove::NextWord, QKeySequence::MoveToNextWord, QKeySequence::SelectNextWord},
        {CaretMove::PreviousWord, QKeySequence::MoveToPreviousWord, QKeySequence::SelectPreviousWord},
    };
    for (const Binding& b : bindings) {
        if (event->matches(b.select))
            return CaretKey{b.move, true};
        if (event->matches(b.key))
            return CaretKey{b.move, false};
    }
    return std::nullopt;
}

TextPlace CaretNavigation::move(CaretMove move, const TextPlace& caret, const TextPlace& anchor, bool extend,
                                int pageRows)
{
    const size_t last = m_rows.lineCount() - 1;
    const bool selection = !(caret == anchor);
    TextPlace to = caret;
    bool keepX = false;
    switch (move) {
    case CaretMove::NextChar:
        if (!extend && selection)
            to = std::max(caret, anchor);
        else if (to.column < m_rows.lineLength(to.line))
            ++to.column;
        else if (to.line < last)
            to = {to.line + 1, 0};
        break;
    case CaretMove::PreviousChar:
        if (!extend && selection)
            to = std::min(caret, anchor);
        else if (to.column > 0)
            --to.column;
        else if (to.line > 0)
            to = {to.line - 1, m_rows.lineLength(to.line - 1)};
        break;
    case CaretMove::NextLine:
    case CaretMove::PreviousLine:
    case CaretMove::NextPage:
    case CaretMove::PreviousPage: {
        if (m_wantedX < 0)
            m_wantedX = m_rows.xOf(caret);
        keepX = true;
        const int rows = move == CaretMove::NextLine       ? 1
                         : move == CaretMove::PreviousLine ? -1
                         : move == CaretMove::NextPage     ? pageRows
                                                           : -pageRows;
        to = rowsAway(caret, rows, m_wantedX);
        break;
    }
    case CaretMove::StartOfLine:
    case CaretMove::EndOfLine: {
        const TextRows::Row r = m_rows.row(to.line, m_rows.rowOf(to));
        const QTextLine textLine = r.layout->lineAt(r.index);
        if (move == CaretMove::StartOfLine) {
            to.column = r.first + textLine.textStart();
        } else {
            qsizetype end = r.first + textLine.textStart() + textLine.textLength();
            // Before the blank at which a wrapped row breaks, as a text box puts it.
            if (end < m_rows.lineLength(to.line) && end > r.first + textLine.textStart())
                --end;
            to.column = std::min(end, m_rows.lineLength(to.line));
        }
        break;
    }
    case CaretMove::StartOfDocument:
        to = TextPlace{};
        break;
    case CaretMove::EndOfDocument:
        to = TextPlace{last, m_rows.lineLength(last)};
        break;
    case CaretMove::NextWord:
        to = nextWord(to);
        break;
    case CaretMove::PreviousWord:
        to = previousWord(to);
        break;
    }
    if (!keepX)
        m_wantedX = -1;
    return to;
}

TextPlace CaretNavigation::rowsAway(const TextPlace& from, int rows, qreal x) const
{
    int index = m_rows.rowOf(from) + rows;
    TextPlace to{from.line, 0};
    // Past the first row the caret goes to the start, past the last to the end.
    const int beyond = m_rows.settleRow(to.line, index);
    if (beyond < 0)
        return to;
    if (beyond > 0)
        return {to.line, m_rows.lineLength(to.line)};
    return m_rows.placeInRow(to.line, index, x);
}

TextPlace CaretNavigation::nextWord(TextPlace p) const
{
    const std::string_view text = m_rows.lineText(p.line);
    const auto size = qsizetype(text.size());
    if (p.column >= size)
        return p.line + 1 < m_rows.lineCount() ? TextPlace{p.line + 1, 0} : p;
    while (p.column < size && isWordByte(text[size_t(p.column)]))
        ++p.column;
    while (p.column < size && !isWordByte(text[size_t(p.column)]))
        ++p.column;
    return p;
}

TextPlace CaretNavigation::previousWord(TextPlace p) const
{
    if (p.column == 0)
        return p.line > 0 ? TextPlace{p.line - 1, m_rows.lineLength(p.line - 1)} : p;
    const std::string_view text = m_rows.lineText(p.line);
    p.column = std::min(p.column, qsizetype(text.size()));
    while (p.column > 0 && !isWordByte(text[size_t(p.column - 1)]))
        --p.column;
    while (p.column > 0 && isWordByte(text[size_t(p.column - 1)]))
        --p.column;
    return p;
}

void CaretNavigation::wordAt(const TextPlace& place, TextPlace& start, TextPlace& end) const
{
    const std::string_view text = m_rows.lineText(place.line);
    const auto size = qsizetype(text.size());
    qsizetype i = std::min(place.column, size);
    qsizetype j = i;
    if (j < size && isWordByte(text[size_t(j)])) {
        while (i > 0 && isWordByte(text[size_t(i - 1)]))
            --i;
        while (j < size && isWordByte(text[size_t(j)]))
            ++j;
    } else if (j < size) {
        ++j;
    }
    start = {place.line, i};
    end = {place.line, j};
}

} // namespace vrx
