#include "fautil/OperandText.h"

#include <gtest/gtest.h>

#include "ParseCases.h"

#include <algorithm>
#include <cstdint>
#include <iterator>
#include <random>
#include <string>
#include <vector>

namespace fautil {
namespace {

using test::Parse;

void ExpectParses(const std::vector<Parse>& cases) {
  test::ExpectParses(StrToType, cases);
}

std::string Text(uint8_t type, uint32_t address, bool* ok = nullptr) {
  char buffer[32];
  const bool r = TypeToStr(buffer, type, address);
  if (ok != nullptr) *ok = r;
  return buffer;
}

TEST(OperandPrefix, SelectsCodeAndAddress) {
  ExpectParses({
      {"X0", true, 0x20, 0},
      {"x007", true, 0x20, 7},
      {"Y255", true, 0x21, 255},
      {"X256", false},
      {"S999", true, 0x25, 999},
      {"S1000", false},
      {"T5", true, 0x40, 5},
      {"TR5", true, 0x40, 5},
      {"tdr5", true, 0x40, 5},
      {"TD5", true, 0x40, 5},
      {"TRD5", false},
      {"CDR7", true, 0x41, 7},
      {"F8191", true, 0x48, 8191},
      {"F8192", false},
      {"D4095", true, 0x47, 4095},
      {"D4096", false},
      {"DD4094", true, 0x68, 4094},
      {"DD4095", false},
      {"DF8190", true, 0x69, 8190},
      {"DF8191", false},
      {"WX8", true, 0x30, 8},
      {"WX240", true, 0x30, 240},
      {"WX3", false},
      {"WX248", false},
      {"wy16", true, 0x31, 16},
      {"WM1896", true, 0x32, 1896},
      {"WM1904", false},
      {"WS984", true, 0x33, 984},
      {"WS992", false},
      {"DWX224", true, 0x60, 224},
      {"DWX232", false},
      {"DWY8", true, 0x61, 8},
      {"DWM1880", true, 0x62, 1880},
      {"DWM1888", false},
      {"DWS968", true, 0x63, 968},
      {"DWS976", false},
      {"DR3838", true, 0x67, 3838},
      {"DR3839", false},
      {"DR3903", false},
      {"DR3967", false},
      {"DR4166", true, 0x67, 4166},
      {"DR4167", false},
      {"DR4999", false},
      {"DR5000", true, 0x67, 5000},
      {"DR8070", true, 0x67, 8070},
      {"DR8071", false},
  });
}

TEST(OperandPrefix, RejectsMalformedOperands) {
  ExpectParses({
      {"X", false},           {"X 1", false},  {"X-1", false}, {"X1A", false}, {"X1AH", false},
      {"X1.5", false},        {"R5V", false},  {"R5Z", false}, {"V1", false},  {"Z0", false},
      {"P10", false},         {"P", false},    {"PA", false},  {"W", false},   {"WZ8", false},
      {"DW", false},          {"DWZ8", false}, {"DX5", false}, {"D", false},   {"DR", false},
      {"TRR5", false},        {"G5", false},   {"X1H", false}, {"M5B", false}, {"X+1", false},
      {"X4294967296", false},
  });
}

TEST(OperandPrefix, SingleLetterIndexAndPointRegisters) {
  ExpectParses({
      {"V", true, 0x45, 4164},
      {"z", true, 0x45, 4165},
      {"P0", true, 0x47, 4080},
      {"P5", true, 0x47, 4085},
      {"p9", true, 0x47, 4089},
  });
}

TEST(CodeTable, RecodesByAddressBlock) {
  ExpectParses({
      {"M1911", true, 0x23, 1911},
      {"M1912", true, 0x24, 1912},
      {"M2001", true, 0x24, 2001},
      {"M2002", false},
      {"C199", true, 0x41, 199},
      {"C200", true, 0x66, 200},
      {"C255", true, 0x66, 255},
      {"C256", false},
      {"R0", true, 0x42, 0},
      {"R3839", true, 0x42, 3839},
      {"R3840", true, 0x43, 3840},
      {"R3903", true, 0x43, 3903},
      {"R3904", true, 0x44, 3904},
      {"R3967", true, 0x44, 3967},
      {"R3968", true, 0x45, 3968},
      {"R4167", true, 0x45, 4167},
      {"R4168", false},
      {"R4999", false},
      {"R5000", true, 0x46, 5000},
      {"R8071", true, 0x46, 8071},
      {"R8072", false},
  });
}

TEST(CodeTable, CheckTypeRangeBoundaries) {
  struct Case {
    uint8_t type;
    uint32_t address;
    bool ok;
    uint8_t recoded;
  };
  const Case cases[] = {
      {0x00, 0xFFFFFFFF, true, 0x00}, {0x02, 0, false, 0x02},    {0x20, 255, true, 0x20},
      {0x21, 256, false, 0x21},       {0x22, 99999, true, 0x22}, {0x24, 5, true, 0x23},
      {0x23, 1912, true, 0x24},       {0x25, 1000, false, 0x25}, {0x26, 255, true, 0x26},
      {0x26, 256, false, 0x26},       {0x27, 199, true, 0x27},   {0x27, 200, true, 0x66},
      {0x41, 255, true, 0x66},        {0x66, 5, true, 0x66},     {0x66, 256, false, 0x66},
      {0x28, 70000, true, 0x28},      {0x29, 70000, true, 0x29}, {0x2A, 12345, true, 0x2A},
      {0x30, 240, true, 0x30},        {0x30, 244, false, 0x30},  {0x33, 12, false, 0x33},
      {0x46, 0, true, 0x42},          {0x42, 3840, true, 0x43},  {0x42, 3904, true, 0x44},
      {0x42, 4165, true, 0x45},       {0x45, 5000, true, 0x46},  {0x42, 4168, false, 0x42},
      {0x42, 8072, false, 0x42},      {0x4E, 4167, true, 0x4E},  {0x4E, 4168, false, 0x4E},
      {0x4F, 5000, true, 0x4F},       {0x4F, 8072, false, 0x4F}, {0x48, 8191, true, 0x48},
      {0x60, 232, false, 0x60},       {0x67, 3839, false, 0x67}, {0x67, 4166, true, 0x67},
      {0x67, 4999, false, 0x67},      {0x68, 4095, false, 0x68}, {0x69, 8191, false, 0x69},
      {0x01, 0, false, 0x01},         {0x34, 0, false, 0x34},    {0xFF, 0, false, 0xFF},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message()
                 << "code 0x" << std::hex << int{c.type} << " address " << std::dec << c.address);
    uint8_t type = c.type;
    uint32_t address = c.address;
    ASSERT_EQ(CheckTypeRange(type, address), c.ok);
    EXPECT_EQ(address, c.address);
    if (c.ok) {
      EXPECT_EQ(type, c.recoded);
    }
  }
}

TEST(CodeTable, WritesTextForm) {
  struct Case {
    uint8_t type;
    uint32_t address;
    const char* text;
    bool ok;
  };
  const Case cases[] = {
      {0x00, 12, "12", true},
      {0x00, 0xFFFFFFFB, "-5", true},
      {0x00, 0x80000000, "-2147483648", true},
      {0x02, 1, "?", false},
      {0x20, 7, "X7", true},
      {0x21, 0, "Y0", true},
      {0x22, 5, "TR5", true},
      {0x23, 1, "M1", true},
      {0x24, 1999, "M1999", true},
      {0x25, 9, "S9", true},
      {0x26, 3, "T3", true},
      {0x27, 3, "C3", true},
      {0x28, 25, "SO25", true},
      {0x29, 2, "FO2", true},
      {0x2A, 77, "", true},
      {0x30, 8, "WX8", true},
      {0x31, 8, "WY8", true},
      {0x32, 8, "WM8", true},
      {0x33, 8, "WS8", true},
      {0x40, 1, "T1", true},
      {0x41, 1, "C1", true},
      {0x42, 1, "R1", true},
      {0x45, 4163, "R4163", true},
      {0x45, 4164, "V", true},
      {0x45, 4165, "Z", true},
      {0x42, 4164, "R4164", true},
      {0x46, 5000, "R5000", true},
      {0x47, 4079, "D4079", true},
      {0x47, 4080, "P0", true},
      {0x47, 4089, "P9", true},
      {0x47, 4090, "D4090", true},
      {0x48, 3, "F3", true},
      {0x4E, 5, "R5V", true},
      {0x4F, 5, "R5Z", true},
      {0x60, 0, "DWX0", true},
      {0x63, 8, "DWS8", true},
      {0x66, 200, "C200", true},
      {0x67, 2, "DR2", true},
      {0x68, 2, "DD2", true},
      {0x69, 2, "DF2", true},
      {0x34, 0, "?", false},
      {0xFF, 0, "?", false},
      // the address is not range-checked and is written as a signed number
      {0x20, 999, "X999", true},
      {0x62, 0xFFFFFFFF, "DWM-1", true},
      {0x60, 0x80000000, "DWX-2147483648", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "code 0x" << std::hex << int{c.type});
    bool ok = false;
    EXPECT_EQ(Text(c.type, c.address, &ok), c.text);
    EXPECT_EQ(ok, c.ok);
  }
}

TEST(NumberGrammar, DecimalAndBaseSuffixes) {
  ExpectParses({
      {"12", true, 0x00, 12},
      {"0", true, 0x00, 0},
      {"007", true, 0x00, 7},
      {"1010B", true, 0x00, 10},
      {"1010b", true, 0x00, 10},
      {"12B", false},
      {"17O", true, 0x00, 15},
      {"18O", false},
      {"1FH", true, 0x00, 31},
      {"1fh", true, 0x00, 31},
      {"ABH", true, 0x00, 171},
      {"DFH", true, 0x00, 223},
      {"CH", true, 0x00, 12},
      {"FH", true, 0x00, 15},
      {"E5H", true, 0x00, 229},
      {"1B1H", true, 0x00, 0x1B1},
      {"FFFFFFFFH", true, 0x00, 0xFFFFFFFF},
      {"123456789AH", true, 0x00, 0x3456789A},  // base 16 keeps the low 32 bits
      {"99999999999H", true, 0x00, 0x99999999},
      {"1E5H", false},
      {"CAFEH", false},
      {"12HX", false},
      {"12H5", false},
      {"1O1", false},
      {"AB", false},
      {"B", false},
      {"E5", false},
      {"1A", false},
      {"-1H", false},
      {"-1B", false},
      {"-7O", false},
      {"H", false},
      {"O", false},
      {"1G", false},
      {"1 ", false},
      {" 1", false},
      {"1+2", false},
  });
}

TEST(NumberGrammar, OverflowLimits) {
  ExpectParses({
      {"4294967295", true, 0x00, 4294967295u},
      {"4294967296", false},
      {"4294967300", false},
      {"42949672950", false},
      {"00004294967295", true, 0x00, 4294967295u},
      {"-2147483648", true, 0x00, 0x80000000},
      {"-2147483649", false},
      {"-5", true, 0x00, 0xFFFFFFFB},
      {"-0", true, 0x00, 0},
      {"-", false},
      {"-X", false},
      {"-.5", false},
      {"--5", false},
      // a base suffix makes an overlong decimal form valid again
      {"11111111111111111111111111111111B", true, 0x00, 0xFFFFFFFF},
      {"77777777777O", true, 0x00, 0xFFFFFFFF},
  });
}

TEST(QuotedConstant, PacksCharactersAsSignedBytes) {
  ExpectParses({
      {"'A'", true, 0x00, 65},
      {"'AB'", true, 0x00, 0x4142},
      {"''", true, 0x00, 0},
      {"'It''s'", true, 0x00, 0x49742773},
      {"\"A\"\"\"", true, 0x00, 0x4122},
      {"\"It's\"", true, 0x00, 0x49742773},
      {"'ABCDE'", true, 0x00, 0x42434445},  // only the last four characters count
      {"' '", true, 0x00, 0x20},
      {"'\xC1'", true, 0x00, 0xFFFFFFC1},  // sign-extended
      {"'A\xC1'", true, 0x00, 0x41u * 256u + 0xFFFFFFC1u},
      {"'A", false},
      {"'", false},
      {"'A'B", false},
      {"'A'\"", false},
      {"'It''s", false},
  });
}

TEST(RealConstant, ParsesMantissaAndExponent) {
  ExpectParses({
      {"1.5", true, 0x02, 1},
      {".5", true, 0x02, 0},
      {"-1.5", true, 0x02, 1},  // no sign in the address
      {"12.75", true, 0x02, 12},
      {"1e5", true, 0x02, 1},
      {"25E+3", true, 0x02, 25},
      {"2.5E-3", true, 0x02, 2},
      {"99999999999.5", true, 0x02, 1215752191},  // low 32 bits of the integer part
      {"5.", false},
      {".", false},
      {"1E", false},
      {"1E+", false},
      {"1.E5", false},
      {"1.5.5", false},
      {"1E5E5", false},
      {"1E5.5", false},
      {"1E+-5", false},
      {"1E5+", false},
      {"1.5H", false},
      {"1.5B", false},
      {"1.A", false},
      {"1E5A", false},
      {"A.5", false},
  });
}

TEST(RealConstant, SinglePrecisionRangeTest) {
  ExpectParses({
      {"3.4E38", true, 0x02, 3},
      {"3.3E38", true, 0x02, 3},
      {"3.5E38", false},
      {"4E38", false},  // the exponent's own digit counts as the second
      {"3E38", true, 0x02, 3},
      {"-5.5E38", false},
      {"1E39", false},
      {"34E37", true, 0x02, 34},
      {"35E37", false},
      {"0.34E39", true, 0x02, 0},
      {"0.35E39", false},
      {"1E-38", true, 0x02, 1},
      {"5E-38", false},
      {"1E-39", false},
      {"0.1E-37", true, 0x02, 0},
      {"0.1E-38", false},
      {"1E99999999999999999999", false},
      {"1E-99999999999999999999", false},
      {"99999999999999999999999999999999999999999999.0", true, 0x02,
       0xFFFFFFFF},  // no exponent: no test
  });
}

TEST(ParseFailure, EmptyTextLeavesOutputsUntouched) {
  uint8_t type = 0x33;
  uint32_t address = 77;
  EXPECT_FALSE(StrToType("", type, address));
  EXPECT_FALSE(StrToType(nullptr, type, address));
  EXPECT_EQ(type, 0x33);
  EXPECT_EQ(address, 77u);
}

TEST(Normalize, WritesCanonicalText) {
  struct Case {
    const char* text;
    bool ok;
    const char* out;
  };
  const Case cases[] = {
      {"x007", true, "X7"},   {"R4164", true, "V"},      {"D4085", true, "P5"},
      {"tdr05", true, "T5"},  {"-5", true, "-5"},        {"1FH", true, "31"},
      {"'A'", true, "65"},    {"dwm016", true, "DWM16"}, {"1.5", false, "?"},
      {"X256", false, "old"}, {"", false, "old"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    char buffer[32] = "old";
    EXPECT_EQ(StrNormalize(buffer, c.text), c.ok);
    EXPECT_STREQ(buffer, c.out);
  }
  EXPECT_FALSE(StrNormalize(nullptr, "X1"));
}

TEST(Normalize, IsIdempotent) {
  const char* texts[] = {"x007",  "tdr5",       "cr0201",     "m01912", "r3840",  "r4165",
                         "p3",    "d0001",      "-0012",      "0ABH",   "17o",    "'ab'",
                         "wx016", "dws08",      "dr10",       "c5",     "dd4094", "df8190",
                         "f0",    "4294967295", "-2147483648"};
  for (const char* text : texts) {
    SCOPED_TRACE(text);
    char once[32];
    char twice[32];
    ASSERT_TRUE(StrNormalize(once, text));
    ASSERT_TRUE(StrNormalize(twice, once));
    EXPECT_STREQ(once, twice);
  }
}

TEST(Reserved, TypeToDTypeChangesNothing) {
  uint8_t type = 0x99;
  uint32_t address = 123456;
  EXPECT_TRUE(TypeToDType(type, address));
  EXPECT_EQ(type, 0x99);
  EXPECT_EQ(address, 123456u);
}

// Codes whose text names another operand: the T and C bits (and TR) read
// back as registers, and a 32-bit C register below 200 as a 16-bit one.
uint8_t ExpectedReadBack(uint8_t type, uint32_t address) {
  switch (type) {
    case 0x22:
    case 0x26:
      return 0x40;
    case 0x27:
      return address >= 200 ? 0x66 : 0x41;
    case 0x66:
      return address >= 200 ? 0x66 : 0x41;
    default: {
      uint8_t recoded = type;
      CheckTypeRange(recoded, address);
      return recoded;
    }
  }
}

TEST(RoundTrip, EveryCodeAndValidAddressReadsBack) {
  // Without text form or without parseable text: real, SO, FO, no operand,
  // indexed registers.
  const uint8_t noReadBack[] = {0x02, 0x28, 0x29, 0x2A, 0x4E, 0x4F};
  int checked = 0;
  for (int code = 0x01; code <= 0xFF; ++code) {
    if (std::find(std::begin(noReadBack), std::end(noReadBack), code) != std::end(noReadBack)) {
      continue;
    }
    for (uint32_t address = 0; address <= 9000; ++address) {
      uint8_t type = static_cast<uint8_t>(code);
      uint32_t a = address;
      if (code != 0x22 && !CheckTypeRange(type, a)) continue;
      if (code == 0x22 && address > 255) break;  // TR text reads as a T register
      char text[32];
      ASSERT_TRUE(TypeToStr(text, static_cast<uint8_t>(code), address));
      uint8_t back = 0;
      uint32_t backAddress = 0;
      ASSERT_TRUE(StrToType(text, back, backAddress)) << text;
      ASSERT_EQ(back, ExpectedReadBack(static_cast<uint8_t>(code), address)) << text;
      ASSERT_EQ(backAddress, address) << text;
      ++checked;
    }
  }
  EXPECT_GT(checked, 40000);
}

TEST(RoundTrip, ConstantsReadBackOverTheWholeRange) {
  for (uint64_t v = 0; v <= 0xFFFFFFFFull; v += 65521) {
    for (uint32_t address : {static_cast<uint32_t>(v), static_cast<uint32_t>(~v)}) {
      char text[32];
      ASSERT_TRUE(TypeToStr(text, 0x00, address));
      uint8_t type = 0xEE;
      uint32_t back = 0;
      ASSERT_TRUE(StrToType(text, type, back)) << text;
      EXPECT_EQ(type, 0x00);
      EXPECT_EQ(back, address);
    }
  }
}

TEST(RoundTrip, TextsWithoutParseableFormStillWriteTheirTable) {
  EXPECT_EQ(Text(0x28, 3), "SO3");
  EXPECT_EQ(Text(0x4E, 7), "R7V");
  uint8_t type = 0;
  uint32_t address = 0;
  EXPECT_FALSE(StrToType("SO3", type, address));
  EXPECT_FALSE(StrToType("FO1", type, address));
  EXPECT_FALSE(StrToType("R7V", type, address));
}

// Random texts over the characters the grammar cares about: whatever is
// accepted normalises to a text that parses back to the same pair.
TEST(RandomText, AcceptedTextsNormaliseConsistently) {
  const char alphabet[] = "0123456789ABCDEFHOXYMSTRVZPWdfhbeo.-+'\" ~,";
  std::mt19937 random(37);
  std::uniform_int_distribution<size_t> pick(0, sizeof alphabet - 2);
  std::uniform_int_distribution<int> length(1, 9);
  int accepted = 0;
  for (int i = 0; i < 200000; ++i) {
    std::string text;
    for (int n = length(random); n > 0; --n) text += alphabet[pick(random)];
    uint8_t type = 0;
    uint32_t address = 0;
    if (!StrToType(text.c_str(), type, address)) continue;
    ++accepted;
    char canonical[32];
    if (!TypeToStr(canonical, type, address)) {
      ASSERT_EQ(type, 0x02) << text;  // only real constants lack a text form
      continue;
    }
    uint8_t back = 0;
    uint32_t backAddress = 0;
    ASSERT_TRUE(StrToType(canonical, back, backAddress)) << text << " -> " << canonical;
    ASSERT_EQ(back, type) << text << " -> " << canonical;
    ASSERT_EQ(backAddress, address) << text << " -> " << canonical;
  }
  EXPECT_GT(accepted, 1000);
}

}  // namespace
}  // namespace fautil
