#pragma once
// The toolkit's keyboard modifiers and mouse buttons as the library's
// shift-state set (fautil/ShiftKey.h). Pure functions, any thread.

#include <Qt>

#include "fautil/ShiftKey.h"

class QInputEvent;

namespace fautil {

// Shift, Alt, Ctrl and the left, right and middle buttons map to their
// members; other modifiers and buttons are ignored.
TShiftState ShiftStateFromQt(Qt::KeyboardModifiers modifiers, Qt::MouseButtons buttons,
                             bool doubleClick = false);

// The state of an input event: its modifiers, and for a mouse event its
// buttons (double click for a double-click event).
TShiftState ShiftStateOf(const QInputEvent& event);

}  // namespace fautil
