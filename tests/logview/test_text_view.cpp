// The log's text box on its own: selection with keys and mouse, copy, scrolling to a line, and
// the text a screen reader reads through the accessible interface.

#include "tests/logview/LogViewTests.h"
#include "logview/CaretNavigation.h"
#include "logview/LogTextView.h"
#include "logview/ScrollBarMapping.h"

#include <QAccessible>
#include <QApplication>
#include <QClipboard>
#include <QKeyEvent>
#include <QPlainTextEdit>
#include <QTextBlock>

#include <climits>
#include <cmath>
#include <QScrollBar>
#include <QTest>

using namespace vrx;

namespace {

const QString Text = QStringLiteral("alpha beta\ngamma\n\ndelta epsilon");

struct Shown {
    LogTextView view;
    explicit Shown(const QString& text)
    {
        view.resize(400, 200);
        view.setPlainText(text);
        view.show();
        view.setFocus();
    }
    QPoint at(qint64 offset) const { return view.characterRect(offset).center(); }
};

} // namespace

void TextViewTest::selection_data()
{
    QTest::addColumn<qint64>("start");         // caret before the keys
    QTest::addColumn<QKeySequence>("keys");
    QTest::addColumn<QString>("selected");
    QTest::addColumn<qint64>("caret");
    QTest::newRow("Shift+Down takes a line and its end") << qint64(0) << QKeySequence(Qt::SHIFT | Qt::Key_Down)
                                                        << "alpha beta\n" << qint64(11);
    QTest::newRow("Shift+End to the end of the line") << qint64(0) << QKeySequence(Qt::SHIFT | Qt::Key_End)
                                                     << "alpha beta" << qint64(10);
    QTest::newRow("Shift+Left across a line end") << qint64(11) << QKeySequence(Qt::SHIFT | Qt::Key_Left) << "\n"
                                                 << qint64(10);
    QTest::newRow("Right at a line end goes to the next line") << qint64(10) << QKeySequence(Qt::Key_Right) << ""
                                                              << qint64(11);
    QTest::newRow("Down keeps the column where the line allows") << qint64(8) << QKeySequence(Qt::Key_Down) << ""
                                                                << qint64(16);
    QTest::newRow("Ctrl+Right to the next word") << qint64(0) << QKeySequence(Qt::CTRL | Qt::Key_Right) << ""
                                                << qint64(6);
    QTest::newRow("Ctrl+Shift+End selects to the end") << qint64(12) << QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_End)
                                                      << "amma\n\ndelta epsilon" << qint64(Text.size());
    QTest::newRow("Ctrl+A selects all") << qint64(5) << QKeySequence(QKeySequence::SelectAll) << Text
                                       << qint64(Text.size());
}

void TextViewTest::selection()
{
    QFETCH(qint64, start);
    QFETCH(QKeySequence, keys);
    QFETCH(QString, selected);
    QFETCH(qint64, caret);
    Shown s(Text);
    s.view.setCursorPosition(start);
    QTest::keySequence(&s.view, keys);
    QCOMPARE(s.view.selectedText(), selected);
    QCOMPARE(s.view.cursorPosition(), caret);
    // Copy hands the selection over as it reads, lines parted by LF.
    QApplication::clipboard()->clear();
    QTest::keySequence(&s.view, QKeySequence::Copy);
    QCOMPARE(QApplication::clipboard()->text(), selected);
}

void TextViewTest::mouse()
{
    Shown s(Text);
    QVERIFY(QTest::qWaitForWindowExposed(&s.view));
    // A drag from "beta" into "gamma" selects across the line end; a double click, a word.
    QTest::mousePress(s.view.viewport(), Qt::LeftButton, {}, s.at(6) - QPoint(s.view.characterRect(6).width() / 2, 0));
    QTest::mouseMove(s.view.viewport(), s.at(13) - QPoint(s.view.characterRect(13).width() / 2, 0));
    QTest::mouseRelease(s.view.viewport(), Qt::LeftButton, {}, s.at(13) - QPoint(s.view.characterRect(13).width() / 2, 0));
    QCOMPARE(s.view.selectedText(), QStringLiteral("beta\nga"));
    QTest::mouseDClick(s.view.viewport(), Qt::LeftButton, {}, s.at(20));
    QCOMPARE(s.view.selectedText(), QStringLiteral("delta"));
}

void TextViewTest::scrolling()
{
    QStringList lines;
    for (int i = 0; i < 3000; ++i)
        lines << QStringLiteral("line %1").arg(i);
    Shown s(lines.join(QLatin1Char('\n')));
    s.view.scrollToLine(1000);
    QCOMPARE(s.view.firstVisibleLine(), size_t(1000));
    QCOMPARE(s.view.verticalScrollBar()->value(), 1000);
    // Moving the caret far away brings its line into view; the last line shows at the bottom.
    const qint64 line2500 = qint64(s.view.lineStart(2500));
    s.view.setCursorPosition(line2500);
    QVERIFY(s.view.characterRect(line2500).isValid());
    QTest::keyClick(&s.view, Qt::Key_End, Qt::ControlModifier);
    QVERIFY(s.view.characterRect(s.view.characterCount() - 1).isValid());
    QCOMPARE(s.view.verticalScrollBar()->value(), s.view.verticalScrollBar()->maximum());
    QTest::keyClick(&s.view, Qt::Key_PageUp);
    QVERIFY(s.view.firstVisibleLine() < size_t(s.view.verticalScrollBar()->maximum()));
}

void TextViewTest::accessibleText()
{
    Shown s(Text + QLatin1Char('\n'));
    QAccessibleInterface* box = QAccessible::queryAccessibleInterface(&s.view);
    QVERIFY(box && box->textInterface());
    QCOMPARE(box->role(), QAccessible::EditableText);
    QVERIFY(box->state().readOnly && box->state().multiLine);
    QVERIFY(box->text(QAccessible::Value).isEmpty()); // the text is read in parts, never whole
    QAccessibleTextInterface* text = box->textInterface();
    QCOMPARE(text->characterCount(), int(Text.size()) + 1);
    QCOMPARE(text->text(0, text->characterCount()), Text + QLatin1Char('\n'));
    const struct {
        int offset;
        QAccessible::TextBoundaryType boundary;
        QString expected;
        int start;
    } rows[] = {
        {13, QAccessible::LineBoundary, QStringLiteral("gamma\n"), 11},
        {17, QAccessible::LineBoundary, QStringLiteral("\n"), 17},
        {2, QAccessible::WordBoundary, QStringLiteral("alpha "), 0},
        {2, QAccessible::CharBoundary, QStringLiteral("p"), 2},
    };
    for (const auto& row : rows) {
        int start = -1;
        int end = -1;
        QCOMPARE(text->textAtOffset(row.offset, row.boundary, &start, &end), row.expected);
        QCOMPARE(start, row.start);
        QCOMPARE(end, row.start + int(row.expected.size()));
    }
    int start = -1;
    int end = -1;
    QCOMPARE(text->textAfterOffset(13, QAccessible::LineBoundary, &start, &end), QStringLiteral("\n"));
    QCOMPARE(text->textBeforeOffset(13, QAccessible::LineBoundary, &start, &end), QStringLiteral("alpha beta\n"));
    // The reader's caret and selection are the box's.
    text->setSelection(0, 6, 10);
    QCOMPARE(s.view.selectedText(), QStringLiteral("beta"));
    QCOMPARE(text->cursorPosition(), 10);
    text->selection(0, &start, &end);
    QCOMPARE(start, 6);
    QCOMPARE(end, 10);
}

namespace {

// The caret tables' text: a line that wraps onto two rows at a blank, short and empty lines, a
// line of more than 8,192 characters without blanks, a line with punctuation, a long line of
// words of several lengths, and a last line.
QString caretText()
{
    QString digits;
    for (int i = 0; digits.size() < 9000; ++i)
        digits += QString::number(i % 10);
    QString words;
    for (int i = 0; words.size() < 9000; ++i)
        words += QStringLiteral("w%1 ").arg(i * 37 % 1000);
    return QStringLiteral("alpha beta gamma delta epsilon zeta eta theta iota kappa\nshort\n\n") + digits
           + QStringLiteral("\nx = 1.5 mV, limit 2\n") + words + QStringLiteral("\nend");
}

// The same text in a read-only QPlainTextEdit and laid out in rows of the same width and font,
// 30 characters a row (a width at which the fixed-pitch font's rounded advance, which a long
// line's rows are cut by, and its exact one, which wraps, give the same count).
struct CaretScene {
    QString text = caretText();
    QPlainTextEdit edit;
    TextRows rows;
    CaretNavigation navigation{rows};
    qsizetype rowCharacters = 0;
    int page = 0;
    qint64 digits = text.indexOf(QLatin1Char('0'));
    qint64 punctuation = text.indexOf(QStringLiteral("x = "));
    qint64 words = text.indexOf(QStringLiteral("w0 "));

    CaretScene()
    {
        QFont font(QStringLiteral("Liberation Mono"));
        font.setPixelSize(12);
        edit.setFont(font);
        edit.setReadOnly(true);
        // As the log box: read-only, with the caret moved and the text selected by keys.
        edit.setTextInteractionFlags(Qt::TextSelectableByKeyboard | Qt::TextSelectableByMouse);
        edit.setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
        edit.setPlainText(text);
        edit.show();
        QTest::qWaitForWindowExposed(&edit);
        const qreal advance = std::max<qreal>(QFontMetricsF(font).horizontalAdvance(QLatin1Char('M')),
                                              QFontMetrics(font).horizontalAdvance(QLatin1Char('M')));
        const int margin = int(edit.document()->documentMargin());
        edit.resize(int(std::ceil(30 * advance)) + 2 * margin + edit.width() - edit.viewport()->width(), 300);
        QCoreApplication::processEvents();

        std::string bytes;
        for (const QChar c : text)
            bytes += c == QLatin1Char('\n') ? std::string("\r\n") : std::string(1, char(c.unicode()));
        rows.setLines(std::make_shared<const DisplayLines>(bytes));
        rows.setFont(font);
        rows.setWidth(edit.viewport()->width() - 2 * margin);
        rowCharacters = rows.rowCharacters();
        page = std::max(1, edit.viewport()->height() / rows.rowHeight() - 1);
    }

    TextPlace placeOf(qint64 offset) const
    {
        const size_t line = rows.lines().lineAtOffset(std::uint64_t(offset));
        return {line, qsizetype(offset - qint64(rows.lines().lineOffset(line)))};
    }
    qint64 offsetOf(const TextPlace& place) const { return qint64(rows.lines().lineOffset(place.line)) + place.column; }
};

} // namespace

void TextViewTest::caretMoves_data()
{
    QTest::addColumn<qint64>("start");
    QTest::addColumn<QKeySequence>("key");
    QTest::addColumn<int>("presses");
    QTest::addColumn<qint64>("expected"); // where the caret goes; -1: where QPlainTextEdit puts it

    const CaretScene s;
    const qsizetype row = s.rowCharacters;
    const QKeySequence down(Qt::Key_Down), up(Qt::Key_Up), end(Qt::Key_End), home(Qt::Key_Home);
    // Rows that wrap at a blank; lines of up to 8,192 characters.
    QTest::newRow("Down to the wrapped row, same x") << qint64(3) << down << 1 << qint64(-1);
    QTest::newRow("Down from the wrapped row to a short line") << qint64(40) << down << 1 << qint64(-1);
    QTest::newRow("Up from the wrapped row") << qint64(40) << up << 1 << qint64(-1);
    QTest::newRow("Down four times keeps x across short lines") << qint64(25) << down << 4 << qint64(-1);
    QTest::newRow("End stops before the blank the row breaks at") << qint64(3) << end << 1 << qint64(-1);
    QTest::newRow("Home of the wrapped row") << qint64(40) << home << 1 << qint64(-1);
    QTest::newRow("End of the line's last row") << qint64(40) << end << 1 << qint64(-1);
    QTest::newRow("Right at a line end") << qint64(56) << QKeySequence(Qt::Key_Right) << 1 << qint64(-1);
    QTest::newRow("Left at a line start") << qint64(57) << QKeySequence(Qt::Key_Left) << 1 << qint64(-1);
    QTest::newRow("Shift+Down selects a row") << qint64(3) << QKeySequence(Qt::SHIFT | Qt::Key_Down) << 1 << qint64(-1);
    QTest::newRow("Shift+Up twice") << qint64(60) << QKeySequence(Qt::SHIFT | Qt::Key_Up) << 2 << qint64(-1);
    QTest::newRow("Shift+End") << qint64(33) << QKeySequence(Qt::SHIFT | Qt::Key_End) << 1 << qint64(-1);
    QTest::newRow("Ctrl+Right to the next word") << qint64(3) << QKeySequence(Qt::CTRL | Qt::Key_Right) << 1 << qint64(-1);
    QTest::newRow("Ctrl+Left to the word's start") << qint64(12) << QKeySequence(Qt::CTRL | Qt::Key_Left) << 1 << qint64(-1);
    QTest::newRow("Ctrl+Shift+Right twice") << qint64(0) << QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Right) << 2
                                            << qint64(-1);
    QTest::newRow("Ctrl+End") << qint64(3) << QKeySequence(Qt::CTRL | Qt::Key_End) << 1 << qint64(-1);
    QTest::newRow("Ctrl+Shift+Home") << s.digits + 5 << QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Home) << 1
                                     << qint64(-1);
    // A line over 8,192 characters, shown in rows cut at 30 characters.
    QTest::newRow("long line: Down from the empty line above") << s.digits - 1 << down << 1 << qint64(-1);
    QTest::newRow("long line: Down a row") << s.digits + 5 << down << 1 << qint64(-1);
    QTest::newRow("long line: Up a row") << s.digits + 65 << up << 1 << qint64(-1);
    QTest::newRow("long line: Up from its first row") << s.digits + 5 << up << 1 << qint64(-1);
    QTest::newRow("long line: Home of a row") << s.digits + 40 << home << 1 << qint64(-1);
    QTest::newRow("long line: Down from its last row") << s.digits + 8999 << down << 1 << qint64(-1);
    QTest::newRow("long line: Shift+Down twice") << s.digits + 7 << QKeySequence(Qt::SHIFT | Qt::Key_Down) << 2
                                                 << qint64(-1);
    QTest::newRow("long line: Ctrl+Right over it whole") << s.digits << QKeySequence(Qt::CTRL | Qt::Key_Right) << 1
                                                         << qint64(-1);
    QTest::newRow("long line of words: Ctrl+Right") << s.words + 1 << QKeySequence(Qt::CTRL | Qt::Key_Right) << 1
                                                    << qint64(-1);

    // Where the box differs on purpose.
    // A word is a run of letters, digits and underscores, as for a double click and for
    // screen readers: Ctrl+Right passes "=" and "." where QPlainTextEdit stops at them.
    QTest::newRow("differs: Ctrl+Right passes punctuation")
        << s.punctuation << QKeySequence(Qt::CTRL | Qt::Key_Right) << 1 << s.punctuation + 4;
    // End on a row that is cut, not broken at a blank, stays on that row; QPlainTextEdit goes
    // to the start of the next row.
    QTest::newRow("differs: End of a cut row stays on it") << s.digits + 5 << end << 1 << s.digits + row - 1;
    // A line over 8,192 characters is cut into rows of equal length rather than at blanks.
    QTest::newRow("differs: long line of words is cut, not wrapped")
        << s.words + 1 << QKeySequence(Qt::SHIFT | Qt::Key_End) << 1 << s.words + row - 1;
    // A page is the rows in view less one, which stays in view; QPlainTextEdit turns a whole page.
    QTest::newRow("differs: PgDn keeps a row") << s.digits + 5 << QKeySequence(Qt::Key_PageDown) << 1
                                               << s.digits + 5 + s.page * row;
    QTest::newRow("differs: Shift+PgUp keeps a row")
        << s.digits + 3005 << QKeySequence(Qt::SHIFT | Qt::Key_PageUp) << 1 << s.digits + 3005 - s.page * row;
}

// The caret moves over the rows as laid out, with no window; compared with QPlainTextEdit.
void TextViewTest::caretMoves()
{
    QFETCH(qint64, start);
    QFETCH(QKeySequence, key);
    QFETCH(int, presses);
    QFETCH(qint64, expected);

    CaretScene s;
    QCOMPARE(s.rowCharacters, qsizetype(30));
    QTextCursor cursor(s.edit.document());
    cursor.setPosition(int(start));
    s.edit.setTextCursor(cursor);
    const QKeyEvent event(QEvent::KeyPress, key[0].key(), key[0].keyboardModifiers());
    const std::optional<CaretKey> move = caretKeyOf(&event);
    QVERIFY(move);
    const TextPlace anchor = s.placeOf(start);
    TextPlace caret = anchor;
    for (int i = 0; i < presses; ++i) {
        QTest::keySequence(&s.edit, key);
        caret = s.navigation.move(move->move, caret, move->extend ? anchor : caret, move->extend, s.page);
    }
    const qint64 edit = s.edit.textCursor().position();
    if (expected < 0) {
        QCOMPARE(s.offsetOf(caret), edit);
        QCOMPARE(move->extend ? start : s.offsetOf(caret), qint64(s.edit.textCursor().anchor()));
    } else {
        QCOMPARE(s.offsetOf(caret), expected);
        QVERIFY2(edit != expected, "QPlainTextEdit agrees now");
    }
}

void TextViewTest::scrollBarMapping_data()
{
    QTest::addColumn<quint64>("top");
    QTest::addColumn<quint64>("maxTop");
    QTest::addColumn<int>("from");   // the bar's value before the user moved it
    QTest::addColumn<int>("to");
    QTest::addColumn<bool>("byStep");
    QTest::addColumn<quint64>("expected");

    const quint64 huge = (quint64(1) << 32) + 1960; // more lines than a scroll bar counts
    QTest::newRow("lines as values: wheel") << quint64(1000) << quint64(3000) << 1000 << 997 << true << quint64(997);
    QTest::newRow("lines as values: drag") << quint64(1000) << quint64(3000) << 1000 << 2500 << false << quint64(2500);
    QTest::newRow("scaled: wheel up from the end") << huge << huge << INT_MAX << INT_MAX - 3 << true << huge - 3;
    QTest::newRow("scaled: wheel down") << quint64(3500000000) << huge << scrollbar::valueFor(3500000000, huge)
                                        << scrollbar::valueFor(3500000000, huge) + 3 << true << quint64(3500000003);
    QTest::newRow("scaled: page up in the middle") << quint64(3000000000) << huge
                                                   << scrollbar::valueFor(3000000000, huge)
                                                   << scrollbar::valueFor(3000000000, huge) - 40 << true
                                                   << quint64(2999999960);
    QTest::newRow("scaled: drag to the middle") << quint64(0) << huge << 0 << INT_MAX / 2 + 1 << false << huge / 2;
    QTest::newRow("scaled: to the top") << quint64(12345) << huge << 3 << 0 << true << quint64(0);
    QTest::newRow("scaled: to the bottom") << quint64(12345) << huge << 3 << INT_MAX << false << huge;
}

// The top line is the box's own, in 64 bits; the bar mirrors it, scaled past INT_MAX lines.
void TextViewTest::scrollBarMapping()
{
    QFETCH(quint64, top);
    QFETCH(quint64, maxTop);
    QFETCH(int, from);
    QFETCH(int, to);
    QFETCH(bool, byStep);
    QFETCH(quint64, expected);
    const quint64 moved = scrollbar::topAfterMove(top, maxTop, from, to, byStep);
    QVERIFY2(moved + 1 >= expected && moved <= expected + 1, qPrintable(QString::number(moved)));
    // The bar shows its ends only at the text's ends, and otherwise where the line is.
    const int value = scrollbar::valueFor(moved, maxTop);
    QCOMPARE(value == 0, moved == 0);
    QCOMPARE(value == scrollbar::maximumFor(maxTop), moved == maxTop);
    if (!byStep || !scrollbar::scaled(maxTop))
        QCOMPARE(scrollbar::topFor(value, maxTop) / 1000, moved / 1000);
}
