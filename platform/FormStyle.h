#pragma once
// What the windows share in their look: the design fonts and the first placement.

#include <QFont>

class QWidget;

namespace vrx {

// A font of the design: the named face at the given point size. Where that face is missing
// the Liberation face of the same metrics is taken (Arial's for "MS Sans Serif", Courier New's
// for "Courier" and "Courier New", Times New Roman's), and the style hint keeps the kind
// (sans-serif, fixed-pitch, serif) if that is missing too.
QFont designFont(const QString& family, qreal points, QFont::StyleHint hint);

// Moves a top-level window so that it stands in the middle of its screen's work area.
void centreOnScreen(QWidget* window);

} // namespace vrx
