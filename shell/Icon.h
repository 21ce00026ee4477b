#pragma once

#include <QIcon>
#include <QImage>

namespace vrx {

// The 32 x 32 program image: "Log" and, below it and to the right, "File", in yellow
// with a one-pixel black shadow, on a transparent ground. `size` renders it larger.
QImage programImage(int size = 32);
QIcon programIcon();

} // namespace vrx
