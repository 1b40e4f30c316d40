#include "fautil/ShiftKey.h"

#include <gtest/gtest.h>

namespace fautil {
namespace {

using M = TShiftMember;

TEST(ShiftKey, EmptySetIsZero) {
  EXPECT_EQ(ShiftKey({}), 0);
}

TEST(ShiftKey, ShiftWithCtrl) {
  EXPECT_EQ(ShiftKey({M::ssShift, M::ssCtrl}), 0x05);
}

TEST(ShiftKey, AllSevenMembers) {
  EXPECT_EQ(
      ShiftKey({M::ssShift, M::ssAlt, M::ssCtrl, M::ssLeft, M::ssRight, M::ssMiddle, M::ssDouble}),
      0x7F);
}

TEST(ShiftKey, EachMemberSetsItsOwnBit) {
  const std::pair<M, uint16_t> table[] = {
      {M::ssShift, 0x01}, {M::ssAlt, 0x02},    {M::ssCtrl, 0x04},   {M::ssLeft, 0x08},
      {M::ssRight, 0x10}, {M::ssMiddle, 0x20}, {M::ssDouble, 0x40},
  };
  for (const auto& [member, bit] : table) EXPECT_EQ(ShiftKey({member}), bit) << int(member);
}

TEST(ShiftState, IncludeExcludeContains) {
  TShiftState state;
  EXPECT_TRUE(state.Empty());
  state.Include(M::ssAlt).Include(M::ssDouble);
  EXPECT_TRUE(state.Contains(M::ssAlt));
  EXPECT_FALSE(state.Contains(M::ssShift));
  state.Exclude(M::ssAlt);
  EXPECT_EQ(state, TShiftState({M::ssDouble}));
  EXPECT_EQ(ShiftKey(state), 0x40);
}

}  // namespace
}  // namespace fautil
