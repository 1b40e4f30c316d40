#include "fautil/ui/ShiftState.h"

#include <QMouseEvent>

namespace fautil {

TShiftState ShiftStateFromQt(Qt::KeyboardModifiers modifiers, Qt::MouseButtons buttons,
                             bool doubleClick) {
  TShiftState state;
  if (modifiers & Qt::ShiftModifier) state.Include(TShiftMember::ssShift);
  if (modifiers & Qt::AltModifier) state.Include(TShiftMember::ssAlt);
  if (modifiers & Qt::ControlModifier) state.Include(TShiftMember::ssCtrl);
  if (buttons & Qt::LeftButton) state.Include(TShiftMember::ssLeft);
  if (buttons & Qt::RightButton) state.Include(TShiftMember::ssRight);
  if (buttons & Qt::MiddleButton) state.Include(TShiftMember::ssMiddle);
  if (doubleClick) state.Include(TShiftMember::ssDouble);
  return state;
}

TShiftState ShiftStateOf(const QInputEvent& event) {
  if (const auto* mouse = dynamic_cast<const QMouseEvent*>(&event)) {
    return ShiftStateFromQt(mouse->modifiers(), mouse->buttons(),
                            mouse->type() == QEvent::MouseButtonDblClick);
  }
  return ShiftStateFromQt(event.modifiers(), Qt::NoButton);
}

}  // namespace fautil
