#include "fautil/OperandRange.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fautil/OperandText.h"

namespace fautil {
namespace {

TEST(TableSize, LargestTableFromStart) {
  struct Case {
    const char* start;
    int area;
    int size;
  };
  const Case cases[] = {
      {"R0", 0, 3840},
      {"R3839", 0, 1},
      {"R3840", 0, 0},
      {"R4000", 0, 0},
      {"V", 0, 0},
      {"D4000", 0, 96},
      {"D0", 0, 4096},
      {"P9", 0, 7},
      {"R5000", 100, 100},
      {"R5050", 100, 50},
      {"R5099", 100, 1},
      {"R5100", 100, 2972},
      {"R5000", 0, 3072},
      {"R5000", -5, 3072},
      {"R8071", 0, 1},
      {"X0", 0, 0},
      {"F0", 0, 0},
      {"12", 0, 0},
      {"R8072", 0, 0},
      {"", 0, 0},
      // an area larger than the R5000 block is the block
      {"R5000", 5000, 3072},
      {"R8000", 100000, 72},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.start << " area " << c.area);
    EXPECT_EQ(GetTableMaxSize(c.start, c.area), c.size);
  }
  EXPECT_EQ(GetTableMaxSize(nullptr, 0), 0);
}

TEST(TableSize, CheckTableFitsItsArea) {
  struct Case {
    const char* start;
    int size;
    int area;
    int result;
  };
  const Case cases[] = {
      {"R3830", 10, 0, 0},       {"R3830", 11, 0, -2},      {"R3840", 1, 0, -2},
      {"D4090", 6, 0, 0},        {"D4090", 7, 0, -2},       {"R5090", 10, 100, 0},
      {"R5090", 11, 100, -2},    {"R5100", 2972, 100, 0},   {"R5100", 2973, 100, -2},
      {"R5000", 3072, 0, 0},     {"R5000", 3073, 0, -2},    {"R0", 0, 0, 0},
      {"R10", -100, 0, 0},       {"bad", 1, 0, -1},         {"X0", 100000, 0, 0},
      {"R0", 2147483647, 0, -2}, {"D1", 2147483647, 0, -2}, {"R5000", 3073, 100000, -2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.start << " size " << c.size << " area " << c.area);
    EXPECT_EQ(CheckTableRange(c.start, c.size, c.area), c.result);
  }
  EXPECT_EQ(CheckTableRange(nullptr, 1, 0), -1);
}

using Lines = std::vector<std::string>;

struct ListCase {
  const char* text;
  bool ok;
  Lines lines;
};

void ExpectLists(const std::vector<ListCase>& cases) {
  for (const ListCase& c : cases) {
    SCOPED_TRACE(c.text);
    TStrings result;
    EXPECT_EQ(RefStrRangeToStr(c.text, &result), c.ok);
    EXPECT_EQ(result, c.lines);
    EXPECT_EQ(RefStrRangeToStr(c.text, nullptr), c.ok);
  }
}

TEST(ListExpansion, ItemsAndRanges) {
  ExpectLists({
      {"X0-X3,Y5", true, {"X0", "X1", "X2", "X3", "Y5"}},
      {"WX0~WX32", true, {"WX0", "WX16", "WX32"}},
      {"DWX0-DWX64", true, {"DWX0", "DWX32", "DWX64"}},
      {"D10-D7", true, {"D10", "D9", "D8", "D7"}},
      {"DR0-DR5", true, {"DR0", "DR2", "DR4"}},
      {"DR5-DR0", true, {"DR5", "DR3", "DR1"}},
      {"M1910-M1913", true, {"M1910", "M1911", "M1912", "M1913"}},
      {"C198-C201", true, {"C198", "C199", "C200", "C201"}},
      {"R3838-R3841", true, {"R3838", "R3839", "R3840", "R3841"}},
      {"R4163-R4166", true, {"R4163", "V", "Z", "R4166"}},
      {"D4079~P1", true, {"D4079", "P0", "P1"}},
      {"X5-X5", true, {"X5"}},
      {"x007", true, {"x007"}},  // a single operand is kept as written
      {"1.5", true, {"1.5"}},
      {"-X5", true, {"X5"}},
      {"~-X5", true, {"X5"}},
      {"", true, {}},
      {",,\n,", true, {}},
      {"X1\nY2\nM3", true, {"X1", "Y2", "M3"}},
      {"X0-X1\nY7,Y5", true, {"X0", "X1", "Y7", "Y5"}},
  });
}

TEST(ListExpansion, RejectsItems) {
  ExpectLists({
      {"X0-Y3", false, {}},
      {"5", false, {}},
      {"-5", false, {}},
      {"R5V", false, {}},
      {"X0--X3", false, {}},
      {"X0-", false, {}},
      {"-", false, {}},
      {"X0 - X3", false, {}},
      {"5-7", false, {}},
      {"F1-F2,DF0-DF2", true, {"F1", "F2", "DF0", "DF2"}},
      {"TR1-TR2", true, {"T1", "T2"}},  // TR parses as a T register
      {"1.5-2.5", false, {}},
      {"X1,X2,Y9-X0,X3", false, {"X1", "X2"}},  // earlier items stay
      {"X256", false, {}},
      {"X1,bad", false, {"X1"}},
  });
}

TEST(ListExpansion, RejectsOverlongTextAndEnds) {
  std::string list;
  for (int i = 0; i < 341; ++i) list += "X1,";
  ASSERT_EQ(list.size(), 1023u);
  TStrings result;
  EXPECT_TRUE(RefStrRangeToStr(list.c_str(), &result));
  EXPECT_EQ(result.size(), 341u);

  list += "1";
  result.clear();
  EXPECT_FALSE(RefStrRangeToStr(list.c_str(), &result));
  EXPECT_TRUE(result.empty());

  const std::string longEnd = "X" + std::string(30, '0') + "1";  // 32 characters
  EXPECT_FALSE(RefStrRangeToStr(longEnd.c_str(), nullptr));
  EXPECT_TRUE(RefStrRangeToStr(("X" + std::string(29, '0') + "1").c_str(), nullptr));
  EXPECT_FALSE(RefStrRangeToStr(("X0-" + longEnd).c_str(), nullptr));
  EXPECT_FALSE(RefStrRangeToStr(nullptr, &result));
}

TEST(ListExpansion, WholeAreasExpand) {
  TStrings result;
  ASSERT_TRUE(RefStrRangeToStr("R8071-R0", &result));
  ASSERT_EQ(result.size(), 8072u);
  EXPECT_EQ(result.front(), "R8071");
  EXPECT_EQ(result[8071 - 4999], "R4999");  // the gap is listed too
  EXPECT_EQ(result[8071 - 4165], "R4165");  // written under the first end's code
  EXPECT_EQ(result.back(), "R0");
}

struct StepCase {
  const char* text;
  bool next;
  const char* out;  // null: fails
};

TEST(SteppingRing, WrapsWithinEachArea) {
  const StepCase cases[] = {
      {"X255", true, "X0"},      {"X0", false, "X255"},      {"Y7", true, "Y8"},
      {"S999", true, "S0"},      {"S0", false, "S999"},      {"M2001", true, "M0"},
      {"M0", false, "M2001"},    {"M1911", true, "M1912"},   {"T255", true, "T0"},
      {"TR5", true, "T6"},       {"C255", true, "C0"},       {"C199", true, "C200"},
      {"C200", false, "C199"},   {"C0", false, "C255"},      {"R4167", true, "R5000"},
      {"R5000", false, "R4167"}, {"R8071", true, "R0"},      {"R0", false, "R8071"},
      {"V", true, "Z"},          {"R4163", true, "V"},       {"Z", true, "R4166"},
      {"R3839", true, "R3840"},  {"D3071", true, "D0"},      {"D0", false, "D3071"},
      {"D3073", false, "D0"},    {"D4095", false, "D0"},     {"P5", true, "D0"},
      {"P5", false, "D0"},       {"WX240", true, "WX0"},     {"WX0", false, "WX240"},
      {"WY8", true, "WY16"},     {"WM0", false, "WM1896"},   {"WS984", true, "WS0"},
      {"DWX224", true, "DWX0"},  {"DWY0", false, "DWY224"},  {"DWM1880", true, "DWM0"},
      {"DWS968", true, "DWS0"},  {"DR4166", true, "DR5000"}, {"DR5000", false, "DR4166"},
      {"DR8070", true, "DR0"},   {"DR0", false, "DR8070"},   {"DD3070", true, "DD0"},
      {"DD0", false, "DD3070"},  {"DD4000", true, "DD0"},    {"F5", true, nullptr},
      {"F5", false, nullptr},    {"5", true, nullptr},       {"5", false, nullptr},
      {"1.5", true, nullptr},    {"DF2", true, nullptr},     {"X256", true, nullptr},
      {"", true, nullptr},
  };
  for (const StepCase& c : cases) {
    SCOPED_TRACE(testing::Message() << c.text << (c.next ? " next" : " previous"));
    char buffer[32] = "old";
    EXPECT_EQ(GetNextRef(c.text, buffer, c.next), c.out != nullptr);
    EXPECT_STREQ(buffer, c.out != nullptr ? c.out : "old");
  }
  EXPECT_FALSE(GetNextRef("X1", nullptr, true));
}

TEST(SteppingRing, RegisterPairsSkipBlockEnds) {
  const StepCase cases[] = {
      {"DR3838", true, "DR3840"},  {"DR3840", false, "DR3838"}, {"DR3902", true, "DR3904"},
      {"DR3904", false, "DR3902"}, {"DR3966", true, "DR3968"},  {"DR3968", false, "DR3966"},
  };
  for (const StepCase& c : cases) {
    SCOPED_TRACE(testing::Message() << c.text << (c.next ? " next" : " previous"));
    char buffer[32] = "";
    EXPECT_TRUE(GetNextRef(c.text, buffer, c.next));
    EXPECT_STREQ(buffer, c.out);
  }
}

// Walking a whole ring in either direction visits every operand once and
// never produces a text the parser refuses.
TEST(SteppingRing, FullWalksStayParseable) {
  struct Ring {
    const char* start;
    int length;
  };
  const Ring rings[] = {{"X0", 256},   {"M0", 2002}, {"S0", 1000},  {"R0", 4168 + 3072},
                        {"D0", 3072},  {"WM0", 238}, {"DWS0", 122}, {"DR0", 4167 - 3 + 3071},
                        {"DD0", 3071}, {"C0", 256}};
  for (const Ring& ring : rings) {
    for (bool next : {true, false}) {
      SCOPED_TRACE(testing::Message() << ring.start << (next ? " next" : " previous"));
      std::string text = ring.start;
      int steps = 0;
      do {
        char buffer[32];
        ASSERT_TRUE(GetNextRef(text.c_str(), buffer, next)) << text;
        uint8_t type = 0;
        uint32_t address = 0;
        ASSERT_TRUE(StrToType(buffer, type, address)) << buffer;
        text = buffer;
        ++steps;
      } while (text != ring.start && steps <= ring.length);
      EXPECT_EQ(steps, ring.length);
    }
  }
}

}  // namespace
}  // namespace fautil
