#include "fautil/ShiftKey.h"

namespace fautil {

uint16_t ShiftKey(TShiftState state) {
  constexpr TShiftMember kMembers[] = {
      TShiftMember::ssShift, TShiftMember::ssAlt,    TShiftMember::ssCtrl,   TShiftMember::ssLeft,
      TShiftMember::ssRight, TShiftMember::ssMiddle, TShiftMember::ssDouble,
  };
  uint16_t mask = 0;
  for (TShiftMember m : kMembers) {
    if (state.Contains(m)) mask |= static_cast<uint16_t>(1u << static_cast<unsigned>(m));
  }
  return mask;
}

}  // namespace fautil
