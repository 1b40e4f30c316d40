#include "fautil/MemoryDump.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

namespace fautil {
namespace {

using Bytes = std::vector<uint8_t>;

Bytes RandomBytes(std::size_t n, unsigned seed) {
  std::mt19937 rng(seed);
  Bytes data(n);
  for (auto& b : data) b = static_cast<uint8_t>(rng());
  return data;
}

// --- Dumps ---------------------------------------------------------------

TEST(MemDump, FullAndShortLinesHaveFixedColumns) {
  Bytes data = {0x00, 0x1F, 0x20, 0x41, 0x7E, 0x7F, 0x80, 0xFF, 0x30,
                0x31, 0x2C, 0x27, 0x61, 0x3A, 0x0A, 0x0D, 0x42};
  TStrings lines = {"kept"};
  EXPECT_TRUE(MemDump(&lines, data.data(), static_cast<int32_t>(data.size())));
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[0], "kept");
  EXPECT_EQ(lines[1],
            ":00000000  00 1F 20 41 7E 7F 80 FF 30 31 2C 27 61 3A 0A 0D  .. A~...01,'a:..");
  EXPECT_EQ(lines[2], ":00000010  42" + std::string(47, ' ') + "B" + std::string(15, ' '));
  EXPECT_EQ(lines[1].size(), 76u);
  EXPECT_EQ(lines[2].size(), 76u);
}

TEST(MemDump, LineCountFollowsLength) {
  const Bytes data(40, 0x55);
  for (int32_t length : {0, 1, 16, 17, 32, 40}) {
    TStrings lines;
    MemDump(&lines, data.data(), length);
    EXPECT_EQ(lines.size(), static_cast<std::size_t>((length + 15) / 16)) << length;
  }
  TStrings lines;
  EXPECT_TRUE(MemDump(&lines, data.data(), -5));
  EXPECT_TRUE(MemDump(&lines, nullptr, 5));
  EXPECT_TRUE(MemDump(nullptr, data.data(), 5));
  EXPECT_TRUE(lines.empty());
}

TEST(WordMemDump, WordIndexAndHighByteFirst) {
  std::vector<uint16_t> words = {0x4142, 0x0001, 0x7F20, 0xFFFF, 0x3031,
                                 0x1234, 0x5A5A, 0x0000, 0x4344};
  TStrings lines;
  EXPECT_TRUE(WordMemDump(&lines, words.data(), static_cast<int32_t>(words.size())));
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0], ":00000000  4142 0001 7F20 FFFF 3031 1234 5A5A 0000    AB... ..01.4ZZ..");
  EXPECT_EQ(lines[1], ":00000008  4344" + std::string(39, ' ') + "CD" + std::string(14, ' '));
  EXPECT_EQ(lines[0].size(), 70u);
  EXPECT_EQ(lines[1].size(), 70u);
}

// --- TextToMem -----------------------------------------------------------

TEST(TextToMem, ReadsBackItsOwnDumpForEveryShortLengthAndALargeOne) {
  std::vector<std::size_t> lengths;
  for (std::size_t n = 0; n <= 64; ++n) lengths.push_back(n);
  lengths.push_back(100003);
  for (std::size_t n : lengths) {
    // Any byte values: spaces and commas in the character column included.
    Bytes data = RandomBytes(n, static_cast<unsigned>(n));
    for (std::size_t i = 0; i < n; i += 5) data[i] = (i % 2) ? ' ' : ',';
    TStrings lines;
    MemDump(&lines, data.data(), static_cast<int32_t>(n));
    Bytes back(n + 16, 0xEE);
    ASSERT_EQ(TextToMem(&lines, back.data(), static_cast<int32_t>(n + 16)), static_cast<int32_t>(n))
        << n;
    EXPECT_TRUE(std::equal(data.begin(), data.end(), back.begin())) << n;
    EXPECT_EQ(back[n], 0xEE) << n;
  }
}

TEST(TextToMem, CharacterColumnIsReadOnlyOffTheDumpLayout) {
  struct Case {
    const char* name;
    TStrings lines;
    int32_t result;
    Bytes stored;
  };
  const std::string ab = ":00000000  41 42" + std::string(44, ' ') + "AB";
  const Case cases[] = {
      {"2-byte dump line", {ab}, 2, {0x41, 0x42}},
      {"lower-case index and cells",
       {":0000000a  4a 42" + std::string(44, ' ') + "JB"},
       2,
       {0x4A, 0x42}},
      {"split column of a full line",
       {":00000000  41 42 20 43 44 20 45 46 47 48 49 4A 4B 4C 4D 4E  AB CD EFGHIJKLMN"},
       16,
       {0x41, 0x42, 0x20, 0x43, 0x44, 0x20, 0x45, 0x46, 0x47, 0x48, 0x49, 0x4A, 0x4B, 0x4C, 0x4D,
        0x4E}},
      {"word dump line of one word", {":00000000  4142" + std::string(39, ' ') + "AB"}, 0, {}},
      {"column shifted by one",
       {":00000000  41 42" + std::string(43, ' ') + "AB"},
       3,
       {0x41, 0x42, 0xAB}},
      {"short hand-written line", {":0000 1 22 333 44"}, 2, {0x22, 0x44}},
      {"not hex off the layout", {":00000000 01 .."}, -1, {0x01}},
  };
  for (const Case& c : cases) {
    Bytes out(20, 0xEE);
    EXPECT_EQ(TextToMem(&c.lines, out.data(), 20), c.result) << c.name;
    for (std::size_t i = 0; i < c.stored.size(); ++i) EXPECT_EQ(out[i], c.stored[i]) << c.name;
    EXPECT_EQ(out[c.stored.size()], 0xEE) << c.name;
  }
}

TEST(TextToMem, WordDumpLinesGiveNothing) {
  for (int32_t count : {1, 7, 8, 64}) {
    std::vector<uint16_t> words(static_cast<std::size_t>(count));
    for (std::size_t i = 0; i < words.size(); ++i) words[i] = static_cast<uint16_t>(0x4142 + i);
    TStrings lines;
    WordMemDump(&lines, words.data(), count);
    Bytes out(4, 0xEE);
    EXPECT_EQ(TextToMem(&lines, out.data(), 4), 0) << count;
    EXPECT_EQ(out, Bytes(4, 0xEE)) << count;
  }
}

TEST(TextToMem, TokenRules) {
  struct Case {
    const char* name;
    TStrings lines;
    int32_t result;
    Bytes stored;
  };
  const Case cases[] = {
      {"lower case and single digits", {"ff,a 0F"}, 3, {0xFF, 0x0A, 0x0F}},
      {"runs of separators", {",, 01 ,\r\n02\r"}, 2, {0x01, 0x02}},
      {"comments and empty lines skipped", {"; 99 zz", "", "10", ";"}, 1, {0x10}},
      {"three characters off a dump line", {"01 123"}, -1, {0x01}},
      {"bad hex keeps earlier bytes", {"01 02", "G3"}, -1, {0x01, 0x02}},
      {"tab is not a separator", {"01\t02"}, -1, {}},
      {"zero character is not a digit", {std::string("0\0", 2)}, -1, {}},
  };
  for (const Case& c : cases) {
    Bytes out(8, 0xEE);
    EXPECT_EQ(TextToMem(&c.lines, out.data(), 8), c.result) << c.name;
    for (std::size_t i = 0; i < c.stored.size(); ++i) EXPECT_EQ(out[i], c.stored[i]) << c.name;
    EXPECT_EQ(out[c.stored.size()], 0xEE) << c.name;
  }
}

TEST(TextToMem, LimitStopsExactlyAndNothingIsWrittenPastIt) {
  const TStrings lines = {"01 02 03", "ZZ"};
  for (int32_t limit : {0, 1, 2, 3}) {
    Bytes out(5, 0xEE);
    EXPECT_EQ(TextToMem(&lines, out.data(), limit), limit);
    for (std::size_t i = static_cast<std::size_t>(limit); i < out.size(); ++i) {
      EXPECT_EQ(out[i], 0xEE) << "limit " << limit;
    }
  }
  Bytes out(5, 0xEE);
  EXPECT_EQ(TextToMem(&lines, out.data(), 4), -1);
  EXPECT_EQ(TextToMem(&lines, out.data(), -3), 0);
  EXPECT_EQ(TextToMem(&lines, nullptr, 4), 0);
  EXPECT_EQ(TextToMem(nullptr, out.data(), 4), 0);
}

TEST(TextToMem, OverlongLineFailsWhileLongCommentIsSkipped) {
  Bytes out(1024, 0);
  std::string longest;
  while (longest.size() + 3 <= kMaxTextLine) longest += "AB ";
  longest.resize(kMaxTextLine, ' ');
  TStrings lines = {longest};
  EXPECT_EQ(TextToMem(&lines, out.data(), 1024), 341);
  lines = {longest + " "};
  EXPECT_EQ(TextToMem(&lines, out.data(), 1024), -1);
  lines = {";" + std::string(5000, 'x'), "01"};
  EXPECT_EQ(TextToMem(&lines, out.data(), 1024), 1);
}

// --- UStrToMem -----------------------------------------------------------

TEST(UStrToMem, ItemSyntax) {
  struct Case {
    const char* item;
    int32_t result;
    Bytes stored;
  };
  const Case cases[] = {
      {"255", 1, {0xFF}},
      {"256", 1, {0x00}},
      {"7", 1, {0x07}},
      {"FFH", 1, {0xFF}},
      {"ffh", 1, {0xFF}},
      {"1FH", 1, {0x1F}},
      {"AH", 1, {0x0A}},
      {"1H2", 1, {12}},
      {"'AB'", 2, {'A', 'B'}},
      {"''''", 1, {'\''}},
      {"'a''b'", 3, {'a', '\'', 'b'}},
      {"' ,\r'", 3, {' ', ',', '\r'}},
      {"''", 0, {}},
      {"FF", -1, {}},
      {"A", -1, {}},
      {"1234", 0, {}},
      {"0FFH", 0, {}},
      {"H", 0, {}},
      {"-5", 0, {}},
      {"1.", 0, {}},
      {"'AB", -1, {'A', 'B'}},
      {"'A'B", -1, {'A'}},
      {"", -1, {}},
  };
  for (const Case& c : cases) {
    Bytes out(8, 0xEE);
    EXPECT_EQ(UStrToMem(c.item, out.data(), 8), c.result) << c.item;
    for (std::size_t i = 0; i < c.stored.size(); ++i) EXPECT_EQ(out[i], c.stored[i]) << c.item;
    EXPECT_EQ(out[c.stored.size()], 0xEE) << c.item;
  }
  uint8_t byte = 0;
  EXPECT_EQ(UStrToMem(nullptr, &byte, 1), -1);
}

TEST(UStrToMem, ItemLargerThanTheRoomFailsWithoutOverrun) {
  Bytes out(6, 0xEE);
  EXPECT_EQ(UStrToMem("'ABCD'", out.data(), 4), 4);
  EXPECT_EQ(UStrToMem("'ABCDE'", out.data(), 4), -1);
  EXPECT_EQ(out[4], 0xEE);
  EXPECT_EQ(UStrToMem("12", out.data(), 0), -1);
  EXPECT_EQ(UStrToMem("12", nullptr, 4), -1);
  EXPECT_EQ(UStrToMem("''", nullptr, 0), 0);
}

// --- UTextToMem ----------------------------------------------------------

TEST(UTextToMem, ItemLines) {
  struct Case {
    const char* name;
    TStrings lines;
    int32_t limit;
    int32_t result;
    Bytes stored;
  };
  const Case cases[] = {
      {"mixed items", {"1, 'A B', 10H"}, 8, 5, {0x01, 0x41, 0x20, 0x42, 0x10}},
      {"string that does not fit is not split", {"1, 'A B', 10H"}, 2, 1, {0x01}},
      {"stops when the limit is reached", {"1 2 3", "ZZ"}, 2, 2, {0x01, 0x02}},
      {"no room at all", {"1"}, 0, 0, {}},
      {"several lines, empty ones skipped", {"1", "", "'x''y'\r"}, 8, 4, {1, 'x', '\'', 'y'}},
      {"separators inside quotes are text", {"',\r '"}, 8, 3, {',', '\r', ' '}},
      {"line feed is part of an item", {"1\n2"}, 8, -1, {}},
      {"unterminated string", {"1 'AB"}, 8, -1, {0x01}},
      {"empty string is an error", {"''"}, 8, -1, {}},
      {"not an item", {"2 1234"}, 8, -1, {0x02}},
      {"no comment lines", {"; 1"}, 8, -1, {}},
      {"string keeps zero characters", {std::string("'\0'", 3)}, 8, 1, {0x00}},
  };
  for (const Case& c : cases) {
    Bytes out(9, 0xEE);
    EXPECT_EQ(UTextToMem(&c.lines, out.data(), c.limit), c.result) << c.name;
    for (std::size_t i = 0; i < c.stored.size(); ++i) EXPECT_EQ(out[i], c.stored[i]) << c.name;
    EXPECT_EQ(out[c.stored.size()], 0xEE) << c.name;
  }
  uint8_t byte = 0;
  EXPECT_EQ(UTextToMem(nullptr, &byte, 1), 0);
}

TEST(UTextToMem, LongestLineHoldsOneLongStringAndLongerLinesFail) {
  Bytes out(2048, 0);
  const std::string body(kMaxTextLine - 2, 'q');
  TStrings lines = {"'" + body + "'"};
  EXPECT_EQ(UTextToMem(&lines, out.data(), 2048), static_cast<int32_t>(body.size()));
  EXPECT_EQ(out[body.size() - 1], 'q');
  lines = {"'" + body + "q'"};
  EXPECT_EQ(UTextToMem(&lines, out.data(), 2048), -1);
}

// --- Both parsers on arbitrary text ---------------------------------------

TEST(TextParsers, RandomTextNeverWritesPastTheLimit) {
  std::mt19937 rng(2024);
  const std::string alphabet = "0123456789ABCDEFafHh',; :\r\n\tXZ.";
  for (int round = 0; round < 2000; ++round) {
    TStrings lines(rng() % 4);
    for (auto& line : lines) {
      line.resize(rng() % (round % 50 == 0 ? 1100 : 40));
      for (auto& c : line) c = alphabet[rng() % alphabet.size()];
    }
    const auto limit = static_cast<int32_t>(rng() % 8);
    for (auto* parse : {&TextToMem, &UTextToMem}) {
      Bytes out(16, 0xEE);
      const int32_t n = parse(&lines, out.data(), limit);
      EXPECT_GE(n, -1);
      EXPECT_LE(n, limit);
      for (std::size_t i = static_cast<std::size_t>(limit); i < out.size(); ++i) {
        ASSERT_EQ(out[i], 0xEE) << "round " << round;
      }
    }
    if (!lines.empty()) {
      Bytes out(16, 0xEE);
      const int32_t n = UStrToMem(lines[0].c_str(), out.data(), limit);
      EXPECT_LE(n, limit);
      for (std::size_t i = static_cast<std::size_t>(limit); i < out.size(); ++i) {
        ASSERT_EQ(out[i], 0xEE) << "round " << round;
      }
    }
  }
}

}  // namespace
}  // namespace fautil
