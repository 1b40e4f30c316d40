#pragma once
// The keyboard and mouse shift state as a set of seven members, and its
// 16-bit mask: member k sets bit k (Shift 0x01 ... double click 0x40).
// fautil_ui converts the toolkit's modifiers and buttons into this set.

#include <initializer_list>

#include "fautil/Types.h"

namespace fautil {

enum class TShiftMember : uint8_t {
  ssShift = 0,
  ssAlt = 1,
  ssCtrl = 2,
  ssLeft = 3,    // left mouse button
  ssRight = 4,   // right mouse button
  ssMiddle = 5,  // middle mouse button
  ssDouble = 6,  // double click
};

// A set of TShiftMember values. A plain value type.
class TShiftState {
 public:
  constexpr TShiftState() = default;
  constexpr TShiftState(std::initializer_list<TShiftMember> members) {
    for (TShiftMember m : members) Include(m);
  }
  constexpr TShiftState& Include(TShiftMember m) {
    bits_ |= Bit(m);
    return *this;
  }
  constexpr TShiftState& Exclude(TShiftMember m) {
    bits_ &= static_cast<uint8_t>(~Bit(m));
    return *this;
  }
  constexpr bool Contains(TShiftMember m) const { return (bits_ & Bit(m)) != 0; }
  constexpr bool Empty() const { return bits_ == 0; }
  friend constexpr bool operator==(TShiftState, TShiftState) = default;

 private:
  static constexpr uint8_t Bit(TShiftMember m) {
    return static_cast<uint8_t>(1u << static_cast<unsigned>(m));
  }
  uint8_t bits_ = 0;
};

// The mask of `state`: bit k for each member k present; bits 7-15 are 0.
FAUTIL_API uint16_t ShiftKey(TShiftState state);

}  // namespace fautil
