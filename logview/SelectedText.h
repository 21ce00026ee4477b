#pragma once
// The log box's text as others take it: the clipboard and the X selection get the selection's
// text, made when it is copied; screen readers get the parts they ask for.

#include "core/DisplayLines.h"

#include <QString>
#include <QtGlobal>

namespace vrx {

// The most characters handed over at once, to the clipboard or to a screen reader: 16 Mi
// characters, some 50 MB as UTF-8 and far more than anyone reads or pastes. A larger request
// is refused rather than served, since text of the size of a huge log (gigabytes) could not be
// made at all, or only after a long freeze, by this program and again by the one that asked.
inline constexpr qint64 MaxTextRequest = qint64(16) << 20;

// The text from start to end of the lines joined by '\n'. A text that ends with a line end has
// one more character than its lines joined, the line end itself.
QString textOf(const DisplayLines& lines, qint64 start, qint64 end);

} // namespace vrx
