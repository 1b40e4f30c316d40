#pragma once
// Keeps a window that the design places at a fixed screen position on the
// screen when that screen is too small for it, as on a scaled high-DPI
// desktop. Logical pixels throughout.

#include <QPoint>
#include <QRect>

namespace kv37 {

// Where a window of `frame` (its design position and outer size) goes within
// `available`: the design position when the window fits there, else moved
// left and up just enough, and never past the area's top-left corner, so
// the caption and close box stay reachable even on a screen smaller than
// the window. An empty `available` (no screen known) keeps the design.
QPoint PlaceInside(const QRect& frame, const QRect& available);

}  // namespace kv37
