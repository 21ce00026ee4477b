#pragma once
// What the windows share in their look: their fonts and their first placement.

#include <QFont>

class QWidget;

namespace vrx {

// A window's font: the named Windows face at the given point size, the face the window's twips
// geometry is sized for. Where that face is missing the Liberation face of the same metrics is
// taken (Arial's for "MS Sans Serif", Courier New's for "Courier" and "Courier New", Times New
// Roman's), and the style hint keeps the kind (sans-serif, fixed-pitch, serif) if that is
// missing too.
QFont designFont(const QString& family, qreal points, QFont::StyleHint hint);

// The desktop's own fonts (the application font, and those of menus, message boxes and
// tooltips) get the same stand-ins where their face is not installed: under Wine the dialog
// and menu faces Windows names are missing, and Qt would fall back to a serif face.
void useStandInsForMissingFaces();

// Moves a top-level window so that it stands in the middle of its screen's work area.
void centreOnScreen(QWidget* window);

} // namespace vrx
