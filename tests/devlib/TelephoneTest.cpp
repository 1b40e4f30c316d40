#include "fautil/Telephone.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <string>

namespace fautil {
namespace {

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using Regs = std::array<uint16_t, 6>;

struct PackCase {
  const char* text;
  Regs regs;
};

class TelephonePack : public ::testing::TestWithParam<PackCase> {};

TEST_P(TelephonePack, PacksCodesLowNibbleFirstWithEndCode) {
  Regs regs;
  regs.fill(0xAAAA);
  ASSERT_TRUE(TelphoneToReg(GetParam().text, regs.data()));
  EXPECT_THAT(regs, ElementsAreArray(GetParam().regs));
}

INSTANTIATE_TEST_SUITE_P(Cases, TelephonePack,
                         ::testing::Values(PackCase{"", {0x000F, 0, 0, 0, 0, 0}},
                                           PackCase{"123", {0xE321, 0, 0, 0, 0, 0}},
                                           PackCase{"1234", {0x4321, 0x000E, 0, 0, 0, 0}},
                                           PackCase{"A,#*", {0xCBAA, 0x000E, 0, 0, 0, 0}},
                                           PackCase{
                                               "09876543210987654321098",
                                               {0x7890, 0x3456, 0x9012, 0x5678, 0x1234, 0xE890}}));

TEST(TelephonePackFailure, RejectsBadCharactersAndLeavesRegistersUntouched) {
  for (const char* text : {"a", "12 3", "1-2", "x", "+49", "24 digits", "123456789012345678901234",
                           "0000000000000000000000000000"}) {
    Regs regs;
    regs.fill(0x5555);
    EXPECT_FALSE(TelphoneToReg(text, regs.data())) << text;
    EXPECT_THAT(regs, ::testing::Each(0x5555)) << text;
  }
  Regs regs{};
  EXPECT_FALSE(TelphoneToReg(nullptr, regs.data()));
  EXPECT_FALSE(TelphoneToReg("1", nullptr));
}

TEST(TelephoneUnpack, GivesTheNumber) {
  char text[kTelephoneTextSize];
  const Regs regs{0xE321, 0, 0, 0, 0, 0};
  ASSERT_TRUE(RegToTelphone(regs.data(), text));
  EXPECT_STREQ(text, "123");

  const Regs letters{0xCBAA, 0x000E, 0, 0, 0, 0};
  ASSERT_TRUE(RegToTelphone(letters.data(), text));
  EXPECT_STREQ(text, ",,#*");
}

struct UnpackFailure {
  const char* name;
  Regs regs;
};

class TelephoneUnpackFailure : public ::testing::TestWithParam<UnpackFailure> {};

TEST_P(TelephoneUnpackFailure, ReturnsFalseAndLeavesTextUntouched) {
  char text[kTelephoneTextSize];
  std::memset(text, '?', sizeof text);
  EXPECT_FALSE(RegToTelphone(GetParam().regs.data(), text));
  EXPECT_THAT(text, ::testing::Each('?'));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, TelephoneUnpackFailure,
    ::testing::Values(UnpackFailure{"EmptyNumber", {0x000F, 0, 0, 0, 0, 0}},
                      UnpackFailure{"NoEndCode", {0x0021, 0, 0, 0, 0, 0}},
                      UnpackFailure{"CodeD", {0xED21, 0, 0, 0, 0, 0}},
                      UnpackFailure{"CodeFAfterDigits", {0x0F21, 0, 0, 0, 0, 0x000E}},
                      UnpackFailure{"AllDigits", {0x9999, 0x9999, 0x9999, 0x9999, 0x9999, 0x9999}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(TelephoneRoundTrip, EveryCharacterAtEveryLength) {
  const std::string valid = "0123456789,#*A";
  for (char c : valid) {
    for (int length = 0; length <= kTelephoneMaxDigits; ++length) {
      const std::string number(static_cast<std::size_t>(length), c);
      Regs regs;
      ASSERT_TRUE(TelphoneToReg(number.c_str(), regs.data())) << c << " x" << length;
      char text[kTelephoneTextSize];
      std::memset(text, '?', sizeof text);
      if (length == 0) {
        EXPECT_FALSE(RegToTelphone(regs.data(), text));
        continue;
      }
      ASSERT_TRUE(RegToTelphone(regs.data(), text)) << c << " x" << length;
      EXPECT_EQ(text, std::string(static_cast<std::size_t>(length), c == 'A' ? ',' : c));
    }
    const std::string tooLong(kTelephoneMaxDigits + 1, c);
    Regs regs{};
    EXPECT_FALSE(TelphoneToReg(tooLong.c_str(), regs.data())) << c;
  }
}

TEST(TelephoneRoundTrip, MixedNumberOfMaximumLength) {
  const char* number = "0123456789,#*0123456789";
  Regs regs;
  ASSERT_TRUE(TelphoneToReg(number, regs.data()));
  EXPECT_EQ(regs[5] >> 12, 0xE);
  char text[kTelephoneTextSize];
  ASSERT_TRUE(RegToTelphone(regs.data(), text));
  EXPECT_STREQ(text, number);
}

}  // namespace
}  // namespace fautil
