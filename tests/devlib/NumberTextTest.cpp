#include "fautil/NumberText.h"

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <string>
#include <vector>

namespace fautil {
namespace {

// --- Hex text to numbers -------------------------------------------------

TEST(HexTextToNumbers, UncheckedParsersReadOnlyDigitsAndUpperCaseLetters) {
  EXPECT_EQ(StrToChar('7'), 7);
  EXPECT_EQ(StrToChar('F'), 15);
  EXPECT_EQ(StrToChar('a'), 0);
  EXPECT_EQ(StrToChar('G'), 0);
  EXPECT_EQ(StrToByte("1a"), 0x10);
  EXPECT_EQ(StrToByte("A5"), 0xA5);
  EXPECT_EQ(StrToWord("12AB"), 0x12AB);
  EXPECT_EQ(StrToDWord("DEADBEEF"), 0xDEADBEEFu);
  // Exactly the stated characters are read; no terminator is needed.
  const char packed[] = {'C', '3', 'X'};
  EXPECT_EQ(StrToByte(packed), 0xC3);
}

TEST(HexTextToNumbers, StrToHexValidatesLengthAndDigits) {
  struct Case {
    const char* text;
    bool ok;
    uint8_t value;
  };
  const Case cases[] = {
      {"F", true, 0x0F}, {"1a", true, 0x1A},  {"fF", true, 0xFF}, {"00", true, 0x00},
      {"", false, 0},    {"123", false, 0},   {"G1", false, 0},   {"1G", false, 0x01},
      {" 1", false, 0},  {"1 ", false, 0x01},
  };
  for (const Case& c : cases) {
    uint8_t value = 0x55;
    EXPECT_EQ(StrToHex(c.text, value), c.ok) << '"' << c.text << '"';
    EXPECT_EQ(value, c.value) << '"' << c.text << '"';
  }
  uint8_t value = 0x55;
  EXPECT_FALSE(StrToHex(nullptr, value));
  EXPECT_EQ(value, 0);
}

TEST(HexTextToNumbers, ArraysRoundTripThroughText) {
  const std::vector<uint8_t> bytes = {0x00, 0x0F, 0xA0, 0x35, 0xFF};
  char text[2 * 5 + 1];
  BMemToStr(text, bytes.data(), 5);
  EXPECT_STREQ(text, "000FA035FF");
  std::vector<uint8_t> back(5);
  StrToBMem(text, back.data(), 5);
  EXPECT_EQ(back, bytes);

  const std::vector<uint16_t> words = {0x0000, 0x12AB, 0xFFFF};
  char wtext[4 * 3 + 1];
  WMemToStr(wtext, words.data(), 3);
  EXPECT_STREQ(wtext, "000012ABFFFF");
  std::vector<uint16_t> wback(3);
  StrToWMem(wtext, wback.data(), 3);
  EXPECT_EQ(wback, words);
}

// --- Numbers to hex text -------------------------------------------------

TEST(NumbersToHexText, FixedWidthWritersLeaveNoTerminator) {
  char out[6] = "*****";
  ByteToStr(out, 0xA0);
  EXPECT_STREQ(out, "A0***");
  ByteToStr(out, 0x0F);
  EXPECT_STREQ(out, "0F***");
  WordToStr(out, 0x12AB);
  EXPECT_STREQ(out, "12AB*");
}

TEST(NumbersToHexText, ArrayWritersTerminateAndStayInsideTheirRoom) {
  const uint8_t bytes[] = {0x35, 0xA0};
  char out[8] = "*******";
  BMemToStr(out, bytes, 2);
  EXPECT_EQ(std::string(out, 7), std::string("35A0\0**", 7));
  // An empty array is the empty string, not whatever the buffer held.
  std::memcpy(out, "*******", 8);
  BMemToStr(out, bytes, 0);
  EXPECT_EQ(std::string(out, 7), std::string("\0******", 7));
  const uint16_t words[] = {0xBEEF};
  std::memcpy(out, "*******", 8);
  WMemToStr(out, words, 0);
  EXPECT_EQ(out[0], '\0');
  EXPECT_EQ(out[1], '*');
}

// --- Point cells ---------------------------------------------------------

TEST(PointCells, PackReadsBinOrDisBitAndStopsAtTheTableEnd) {
  std::vector<uint16_t> table(kPointCellCount + 16, 0);
  for (std::size_t i = 0; i < table.size(); ++i) table[i] = (i % 3 == 0) ? 0xAB01 : 0xCD1E;
  // Cells past the table are all ones so that reading them would show.
  for (std::size_t i = kPointCellCount; i < table.size(); ++i) table[i] = 0xFFFF;

  EXPECT_EQ(RegBinToWord(&table[0], 0), 0x9249);  // every third cell
  EXPECT_EQ(RegDisToWord(&table[0], 0), 0x6DB6);  // the other cells have bit 4
  EXPECT_EQ(RegBinToWord(&table[4060], 4060) & 0xFFC0, 0);
  EXPECT_EQ(RegBinToWord(&table[4060], 4060), 0x0024);  // cells 4062 and 4065
  EXPECT_EQ(RegBinToWord(&table[4066], 4066), 0);
  EXPECT_EQ(RegBinToWord(&table[0], 0xFFFF), 0);
}

TEST(PointCells, DoubleWordPacksThirtyTwoCells) {
  std::array<uint16_t, 32> cells{};
  for (std::size_t i = 0; i < cells.size(); ++i)
    cells[i] = (0x80000001u >> i) & 1u ? 0xFF01 : 0xFF10;
  EXPECT_EQ(RegBinToDWord(cells.data()), 0x80000001u);
}

TEST(PointCells, UnpackWritesOneFlagBitAndKeepsTheRest) {
  std::array<uint16_t, 16> cells;
  cells.fill(0xA5FE);
  WordToRegBin(cells.data(), 0x0001, 0);
  EXPECT_EQ(cells[0], 0xA5F1);
  for (std::size_t i = 1; i < 16; ++i) EXPECT_EQ(cells[i], 0xA5F0) << i;

  cells.fill(0xA5EF);
  WordToRegDis(cells.data(), 0x8000, 0);
  EXPECT_EQ(cells[15], 0xA51F);
  for (std::size_t i = 0; i < 15; ++i) EXPECT_EQ(cells[i], 0xA50F) << i;

  // Round trip through both nibbles at once.
  cells.fill(0);
  WordToRegBin(cells.data(), 0x1234, 0);
  WordToRegDis(cells.data(), 0xFEDC, 0);
  EXPECT_EQ(RegBinToWord(cells.data(), 0), 0x1234);
  EXPECT_EQ(RegDisToWord(cells.data(), 0), 0xFEDC);
}

TEST(PointCells, UnpackNeverWritesPastTheTableEnd) {
  std::vector<uint16_t> table(kPointCellCount + 16, 0x7777);
  WordToRegBin(&table[4060], 0xFFFF, 4060);
  WordToRegDis(&table[4060], 0x0000, 4060);
  for (std::size_t i = 4060; i < kPointCellCount; ++i) EXPECT_EQ(table[i], 0x7701) << i;
  for (std::size_t i = kPointCellCount; i < table.size(); ++i) EXPECT_EQ(table[i], 0x7777) << i;
}

// --- Formatted text ------------------------------------------------------

struct FmtCase {
  uint32_t value;
  uint16_t selector;
  const char* text;
};

TEST(FormattedText, WordEverySelector) {
  const FmtCase cases[] = {
      {0xFFFF, 0, "-1"},
      {0x7FFF, 0, "32767"},
      {0x8000, 0, "-32768"},
      {0xFFFF, 1, "1111111111111111B"},
      {0x0005, 1, "0000000000000101B"},
      {0xFFFF, 2, "FFFFH"},
      {0x00A0, 2, "00A0H"},
      {0x4142, 3, "'AB'"},
      {0x4127, 3, "'A'''"},
      {0x0041, 3, "' A'"},
      {0x80FF, 3, "'  '"},
      {0x7F20, 3, "'  '"},
      {0xFFFF, 4, "65535"},
      {0x3F80, 5, ""},
      {0xFFFF, 9, ""},
  };
  for (const FmtCase& c : cases) {
    char out[kWordFmtRoom + 1];
    std::memset(out, '*', sizeof out);
    WordToFmtStr(out, static_cast<uint16_t>(c.value), c.selector);
    EXPECT_STREQ(out, c.text) << std::hex << c.value << " sel " << c.selector;
    EXPECT_EQ(out[kWordFmtRoom], '*');
  }
}

TEST(FormattedText, DoubleWordEverySelectorAndNaNShownAsInfinity) {
  const FmtCase cases[] = {
      {0xFFFFFFFF, 0, "-1"},
      {0x80000000, 0, "-2147483648"},
      {0x80000001, 1, "10000000000000000000000000000001B"},
      {0x0000BEEF, 2, "0000BEEFH"},
      {0x41424344, 3, "'ABCD'"},
      {0x27272727, 3, "''''''''''"},
      {0x00410A42, 3, "' A B'"},
      {0xFFFFFFFF, 4, "4294967295"},
      {0x3F800000, 5, "1"},
      {0x40490FDB, 5, "3.1415927"},
      {0x00000001, 5, "1.4012985E-45"},
      {0xFF7FFFFF, 5, "-3.4028235E+38"},
      {0x7F800000, 5, "INF"},
      {0x7FC00000, 5, "INF"},
      {0x7F800001, 5, "INF"},
      {0xFFC00000, 5, "-INF"},
      {0x12345678, 6, ""},
  };
  for (const FmtCase& c : cases) {
    char out[kDWordFmtRoom + 1];
    std::memset(out, '*', sizeof out);
    DWordToFmtStr(out, c.value, c.selector);
    EXPECT_STREQ(out, c.text) << std::hex << c.value << " sel " << c.selector;
    EXPECT_EQ(out[kDWordFmtRoom], '*');
  }
}

}  // namespace
}  // namespace fautil
