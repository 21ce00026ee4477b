#pragma once
// Where the keys take the caret in the log box: by characters, words, rows of the screen,
// pages, to the ends of a row and of the text, with or without Shift. It works on the rows as
// laid out (TextRows) and needs no window.

#include "logview/TextRows.h"

#include <QKeySequence>

#include <optional>

class QKeyEvent;

namespace vrx {

enum class CaretMove {
    NextChar,
    PreviousChar,
    NextLine,       // the row below, as the screen shows it
    PreviousLine,
    NextPage,
    PreviousPage,
    StartOfLine,    // of the row
    EndOfLine,
    StartOfDocument,
    EndOfDocument,
    NextWord,
    PreviousWord,
};

// A key as a caret move; extend when it selects (Shift).
struct CaretKey {
    CaretMove move;
    bool extend;
};
// The move a key asks for by the platform's key bindings, if any.
std::optional<CaretKey> caretKeyOf(const QKeyEvent* event);

// Letters, digits and the underscore make words.
bool isWordCharacter(char16_t c);

class CaretNavigation {
public:
    explicit CaretNavigation(const TextRows& rows) : m_rows(rows) {}

    // Where a move takes the caret. With a selection and no Shift, Left and Right go to its
    // near end. Up, Down and the page keys keep the caret's x of the first of them (until
    // forgetX). A page is pageRows rows.
    TextPlace move(CaretMove move, const TextPlace& caret, const TextPlace& anchor, bool extend, int pageRows);

    // The place rows away by rows of the screen, at x (pixels in the row): past the first row
    // the start of the text, past the last its end.
    TextPlace rowsAway(const TextPlace& from, int rows, qreal x) const;
    // The word at a place, or the one character there when it is none (a double click).
    void wordAt(const TextPlace& place, TextPlace& start, TextPlace& end) const;

    // The x that Up and Down keep; a move of another kind, a click or a new text forgets it.
    void forgetX() { m_wantedX = -1; }
    void setX(qreal x) { m_wantedX = x; }

private:
    TextPlace nextWord(TextPlace p) const;
    TextPlace previousWord(TextPlace p) const;

    const TextRows& m_rows;
    qreal m_wantedX = -1;
};

} // namespace vrx
