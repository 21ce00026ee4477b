// The log's text box on its own: selection with keys and mouse, copy, scrolling to a line, and
// the text a screen reader reads through the accessible interface.

#include "tests/logview/LogViewTests.h"
#include "logview/LogTextView.h"

#include <QAccessible>
#include <QApplication>
#include <QClipboard>
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
