#pragma once
// Window geometry is laid out in twips (1/1440 inch). This is the one place that turns
// twips into pixels, by the screen's logical DPI (15 twips a pixel at 96 DPI).

#include <QRect>

class QWidget;

namespace vrx {

// Logical DPI of the screen the widget is on (or the primary screen).
qreal logicalDpi(const QWidget* widget = nullptr);

int twipsToPixels(int twips, qreal dpi);

// A rectangle given in twips, in pixels for the widget's screen.
QRect twipsRect(const QWidget* widget, int left, int top, int width, int height);
int twips(const QWidget* widget, int value);

} // namespace vrx
