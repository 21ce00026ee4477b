#pragma once
// Checks every window's tests run on its labels and buttons: what a screen reader reads, and
// whether each text fits its box in the font the control really got.

#include <QList>
#include <QStringList>

class QLabel;
class QWidget;

namespace vrx::test {

// The text a label shows. With a buddy, "&x" marks an access key (shown as "x") and "&&" is
// one "&"; without one, the text is drawn as it is.
QString shownText(const QLabel* label);

// Each label whose accessible name is not the text it shows, and each button whose name is not
// its caption, with both texts, parted by "; ". Empty when a screen reader reads them all as
// they look.
QString misreadControls(const QWidget* form);

// What one text of a control needs and the room the control has for it, in pixels.
struct TextFit {
    QString control;   // object name
    QString text;      // the line, word or caption measured
    QString measure;   // "width" or "height"
    int needed = 0;
    int room = 0;
    bool fits() const { return needed <= room; }
    QString describe() const;
};

// Every text of the form's labels and push buttons, measured in the control's font:
// - a label that does not wrap: each line's width against its contents' width, and the
//   height of all lines against its contents' height;
// - a word-wrapped label: each word's width against its contents' width, and the height it
//   asks for at its width (trailing line breaks left out: they show nothing) against its own;
// - a push button: its caption plus the style's margins and frame against its width.
QList<TextFit> textFits(const QWidget* form);

// Each control showing text (labels, buttons, text boxes and lists; the menus keep the
// desktop's font) whose font resolved to a face other than the one it names first or that
// face's metric-compatible Liberation stand-in, parted by "; ". Empty when all are as named.
QString fontsNotAsNamed(const QWidget* form);

} // namespace vrx::test
