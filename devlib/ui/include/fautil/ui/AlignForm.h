#pragma once
// Places a pop-up form beside a rectangle on the primary screen, above or
// below it, so that it stays on the screen's width and never above its top.
// GUI thread only.

#include <QPoint>
#include <QRect>
#include <QSize>

class QWidget;

namespace fautil {

enum class TAlign { alNone, alTop, alBottom, alLeft, alRight, alClient };

// The form's new geometry (pixels, screen coordinates) for a form now at
// `form`, beside `rect` given relative to `origin`, on a screen of `screen`
// pixels. `rect`'s bottom edge is y() + height(), the first row below it.
//   alTop: above the rectangle, its bottom edge one pixel clear of it, or
//     below it when there is no room above.
//   alBottom: below the rectangle, or above it when it would pass the
//     screen's bottom.
//   Both keep the left at the rectangle's left unless the form would pass the
//   screen's right edge, where it is pulled back to end at that edge.
//   alClient: the moved rectangle. alNone, alLeft, alRight: where it is.
// In every case a negative top becomes 0; the left is not clamped.
QRect AlignedFormRect(QPoint origin, QRect rect, TAlign align, QRect form, QSize screen);

// Moves `form` (a top-level widget, not owned) by AlignedFormRect against its
// frame and the primary screen's size; alClient sets its geometry. Null, or
// no screen, does nothing.
void AlignForm(QPoint origin, QRect rect, TAlign align, QWidget* form);

}  // namespace fautil
