#pragma once
// Checks every window's tests run on its labels and buttons: what a screen reader reads.

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

} // namespace vrx::test
