#include "fautil/StringDecompose.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace fautil {
namespace {

struct SplitCase {
  const char* name;
  const char* text;
  const char* first;
  const char* rest;
};

class DecomposeTest : public ::testing::Test {
 protected:
  void TearDown() override { SetLeadByteTest(nullptr); }

  static std::pair<std::string, std::string> Split(const char* text) {
    char first[kDecomposeFirstSize + 4];
    std::vector<char> rest(std::strlen(text) + 1 + 4);
    std::memset(first, '?', sizeof first);
    std::fill(rest.begin(), rest.end(), '?');
    EXPECT_TRUE(DecomposeStr(text, first, rest.data()));
    EXPECT_LE(std::strlen(first) + 1, std::size_t{kDecomposeFirstSize});
    return {first, rest.data()};
  }
};

class SingleByteSplit : public DecomposeTest, public ::testing::WithParamInterface<SplitCase> {};

TEST_P(SingleByteSplit, CutsAtEightOrAfterTheNearestSpace) {
  SetLeadByteTest(LeadByteTestForCodePage(1252));
  const auto [first, rest] = Split(GetParam().text);
  EXPECT_EQ(first, GetParam().first);
  EXPECT_EQ(rest, GetParam().rest);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SingleByteSplit,
    ::testing::Values(
        SplitCase{"Empty", "", "", ""}, SplitCase{"Short", "ABC", "ABC", ""},
        SplitCase{"EightBytes", "ABCDEFGH", "ABCDEFGH", ""},
        SplitCase{"NineBytes", "ABCDEFGHI", "ABCDEFGH", "I"},
        SplitCase{"SpaceWithShortRest", "ABCDE FGHIJK", "ABCDE ", "FGHIJK"},
        SplitCase{"SpaceWithLongRest", "ABCDE FGHIJKLMNOPQRS", "ABCDE FG", "HIJKLMNOPQRS"},
        SplitCase{"NearestSpaceDecides", "A B CDEFGHIJKLMNOPQ", "A B CDEF", "GHIJKLMNOPQ"},
        SplitCase{"SpaceAtEightIsNotBeforeTheCut", "ABC EFG IJKL", "ABC ", "EFG IJKL"},
        SplitCase{"SpaceAtOne", " ABCDEFGH", " ", "ABCDEFGH"},
        SplitCase{"LongRestKeptWhole", "ABCDEFGHIJKLMNOPQRSTUVWXYZ", "ABCDEFGH",
                  "IJKLMNOPQRSTUVWXYZ"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(DecomposeTest, LeadByteAtEightKeepsTheCharacterWhole) {
  SetLeadByteTest(LeadByteTestForCodePage(932));
  const auto [first, rest] = Split("ABCDEFG\x82\xA0XYZ");
  EXPECT_EQ(first, "ABCDEFG\x82\xA0");
  EXPECT_EQ(rest, "XYZ");
}

TEST_F(DecomposeTest, TrailByteAtEightIsNotTakenForALeadByte) {
  // 0x88 0x9F is one character at bytes 7-8; 0x9F alone would pass as a lead.
  SetLeadByteTest(LeadByteTestForCodePage(932));
  const auto [first, rest] = Split("ABCDEF\x88\x9FXYZ");
  EXPECT_EQ(first, "ABCDEF\x88\x9F");
  EXPECT_EQ(rest, "XYZ");
}

TEST_F(DecomposeTest, SingleByteCodePageNeverKeepsANinthByte) {
  SetLeadByteTest(LeadByteTestForCodePage(1252));
  const auto [first, rest] = Split("ABCDEFG\x82\xA0XYZ");
  EXPECT_EQ(first, "ABCDEFG\x82");
  EXPECT_EQ(rest, "\xA0XYZ");
}

TEST_F(DecomposeTest, NullArgumentsAreHarmless) {
  char first[kDecomposeFirstSize] = "x";
  char rest[4] = "x";
  EXPECT_TRUE(DecomposeStr(nullptr, first, rest));
  EXPECT_STREQ(first, "");
  EXPECT_STREQ(rest, "");
  EXPECT_TRUE(DecomposeStr("ABCDEFGHIJ", nullptr, nullptr));
}

TEST(LeadByteRules, RangesPerCodePage) {
  const LeadByteTest sjis = LeadByteTestForCodePage(932);
  EXPECT_FALSE(sjis(0x80));
  EXPECT_TRUE(sjis(0x81));
  EXPECT_TRUE(sjis(0x9F));
  EXPECT_FALSE(sjis(0xA0));
  EXPECT_FALSE(sjis(0xDF));
  EXPECT_TRUE(sjis(0xE0));
  EXPECT_TRUE(sjis(0xFC));
  EXPECT_FALSE(sjis(0xFD));
  for (int cp : {936, 949, 950}) {
    const LeadByteTest test = LeadByteTestForCodePage(cp);
    EXPECT_FALSE(test(0x80)) << cp;
    EXPECT_TRUE(test(0x81)) << cp;
    EXPECT_TRUE(test(0xFE)) << cp;
    EXPECT_FALSE(test(0xFF)) << cp;
  }
  const LeadByteTest never = LeadByteTestForCodePage(65001);
  for (int b = 0; b < 256; ++b) EXPECT_FALSE(never(static_cast<uint8_t>(b)));
}

TEST(LeadByteRules, CodePageOfLocaleNames) {
  const std::pair<const char*, int> cases[] = {
      {"ja_JP.SJIS", 932},
      {"ja_JP.Shift_JIS", 932},
      {"Japanese_Japan.932", 932},
      {"zh_CN.GBK", 936},
      {"zh_CN.gb2312", 936},
      {"ko_KR.eucKR", 949},
      {"ko_KR.EUC-KR", 949},
      {"zh_TW.Big5", 950},
      {"zh_HK.big5hkscs@stroke", 950},
      {"en_US.UTF-8", 0},
      {"C", 0},
      {"POSIX", 0},
      {"ja_JP.eucJP", 0},
      {"", 0},
  };
  for (const auto& [name, cp] : cases) EXPECT_EQ(DoubleByteCodePageOfLocale(name), cp) << name;
  EXPECT_EQ(DoubleByteCodePageOfLocale(nullptr), 0);
}

TEST(LeadByteRules, DefaultFollowsTheCLocale) {
  SetLeadByteTest(nullptr);
  const LeadByteTest test = CurrentLeadByteTest();  // the process starts in "C"
  EXPECT_FALSE(test(0x82));
}

}  // namespace
}  // namespace fautil
