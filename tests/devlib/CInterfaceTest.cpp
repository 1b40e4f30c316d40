#include "fautil/fautil_c.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "fautil/TaggedFile.h"

namespace {

struct NullCase {
  const char* name;
  std::function<int32_t()> call;
  int32_t failure;
};

char gText[FAUTIL_TEXT_ROOM];
uint8_t gType;
uint32_t gAddress;
uint16_t gCode;
uint8_t gBytes[16];

void Ignore(void*, const char*) {}
int32_t Accept(void*, const uint8_t*, uint32_t) {
  return 1;
}

class NullPointer : public ::testing::TestWithParam<NullCase> {};

TEST_P(NullPointer, IsAFailureResultNeverACrash) {
  EXPECT_EQ(GetParam().call(), GetParam().failure);
}

INSTANTIATE_TEST_SUITE_P(
    NeededPointers, NullPointer,
    ::testing::Values(
        NullCase{"StrToTypeText", [] { return fautil_StrToType(nullptr, &gType, &gAddress); }, 0},
        NullCase{"StrToTypeType", [] { return fautil_StrToType("X0", nullptr, &gAddress); }, 0},
        NullCase{"TypeToStrBuffer", [] { return fautil_TypeToStr(nullptr, 0x20, 0); }, 0},
        NullCase{"CheckTypeRangeAddress", [] { return fautil_CheckTypeRange(&gType, nullptr); }, 0},
        NullCase{"RefStrRangeToStrList",
                 [] { return fautil_RefStrRangeToStr(nullptr, Ignore, nullptr); }, 0},
        NullCase{"TypeToDocRefCode", [] { return fautil_TypeToDocRef(0x20, 0, nullptr); }, 0},
        NullCase{"RRefToTypeAddress", [] { return fautil_RRefToType(0, &gType, nullptr); }, 0},
        NullCase{"FlashRegStrToRefCode", [] { return fautil_FlashRegStrToRef("R0", nullptr); }, 0},
        NullCase{"LinkStrV40ChgOnOff", [] { return fautil_LinkStrV40ChgOnOff(nullptr); }, 0},
        NullCase{"StrToWordText", [] { return fautil_StrToWord(nullptr, &gCode); }, 0},
        NullCase{"StrToBMemMem", [] { return fautil_StrToBMem("00", nullptr, 1); }, 0},
        NullCase{"BMemToStrMem", [] { return fautil_BMemToStr(gText, nullptr, 1); }, 0},
        NullCase{"RegBinToWordCells", [] { return fautil_RegBinToWord(nullptr, 0, &gCode); }, 0},
        NullCase{"WordToRegDisCells", [] { return fautil_WordToRegDis(nullptr, 1, 0); }, 0},
        NullCase{"DWordToFmtStrBuffer", [] { return fautil_DWordToFmtStr(nullptr, 1, 0); }, 0},
        NullCase{"MemDumpCallback", [] { return fautil_MemDump(gBytes, 16, nullptr, nullptr); }, 0},
        NullCase{"TextToMemLines", [] { return fautil_TextToMem(nullptr, 2, gBytes, 16); }, -1},
        NullCase{"TextToMemOneLine",
                 [] {
                   const char* lines[] = {"01", nullptr};
                   return fautil_TextToMem(lines, 2, gBytes, 16);
                 },
                 -1},
        NullCase{"UTextToMemOneLine",
                 [] {
                   const char* lines[] = {nullptr};
                   return fautil_UTextToMem(lines, 1, gBytes, 16);
                 },
                 -1},
        NullCase{"UStrToMemItem", [] { return fautil_UStrToMem(nullptr, gBytes, 16); }, -1},
        NullCase{
            "WriteFileTagCallback",
            [] { return fautil_FD2WriteFileTag(nullptr, nullptr, FAUTIL_FILE_FORMAT_VERSION); }, 0},
        NullCase{"CheckFileTagTag",
                 [] { return fautil_FD2CheckFileTag(nullptr, FAUTIL_FILE_FORMAT_VERSION); }, 0},
        NullCase{"WriteNodeData",
                 [] { return fautil_FD2WriteNodeEx(Accept, nullptr, 1, 4, nullptr); }, 0},
        NullCase{"NodeSetWordCursor", [] { return fautil_FD2NodeSetWord(gBytes, 16, nullptr, 1); },
                 0},
        NullCase{"NodeGetDWordValue",
                 [] {
                   int32_t cursor = 0;
                   return fautil_FD2NodeGetDWord(gBytes, 16, &cursor, nullptr);
                 },
                 0},
        NullCase{"NodeSetAnsiStringValue",
                 [] {
                   int32_t cursor = 0;
                   return fautil_FD2NodeSetAnsiString(gBytes, 16, &cursor, nullptr);
                 },
                 0},
        NullCase{"TelphoneToRegRegs", [] { return fautil_TelphoneToReg("1", nullptr); }, 0},
        NullCase{"DecomposeStrText", [] { return fautil_DecomposeStr(nullptr, gText, gText); }, 0},
        NullCase{"LadderUnMask", [] { return fautil_LadderUnMask(nullptr); }, 0},
        NullCase{"Randomize", [] { return fautil_Randomize(nullptr, 4); }, 0},
        NullCase{"ShiftKeyMembers", [] { return fautil_ShiftKey(nullptr, 1, &gCode); }, 0}),
    [](const auto& info) { return std::string(info.param.name); });

struct Captured {
  std::string bytes;
  int refuseAfter = -1;  // calls accepted before refusing; -1 never refuses
  int calls = 0;
};

int32_t Capture(void* context, const uint8_t* data, uint32_t length) {
  auto* c = static_cast<Captured*>(context);
  if (c->refuseAfter >= 0 && c->calls >= c->refuseAfter) return 0;
  ++c->calls;
  c->bytes.append(reinterpret_cast<const char*>(data), length);
  return 1;
}

TEST(WriteCallback, ReceivesExactlyTheBytesTheStreamWritersWrite) {
  const uint8_t data[] = {1, 2, 3, 4, 5};
  Captured c;
  ASSERT_EQ(fautil_FD2WriteFileTag(Capture, &c, FAUTIL_FILE_FORMAT_VERSION), 1);
  ASSERT_EQ(fautil_FD2WriteNodeEx(Capture, &c, 7, sizeof data, data), 1);
  ASSERT_EQ(fautil_FD2WriteEOF(Capture, &c), 1);

  std::ostringstream expected;
  fautil::FD2WriteFileTag(&expected, fautil::kFileFormatVersion);
  fautil::FD2WriteNodeEx(&expected, fautil::TFileNodeEx2{7, sizeof data, data});
  fautil::FD2WriteEOF(&expected);
  EXPECT_EQ(c.bytes, expected.str());
}

TEST(WriteCallback, RefusedWriteFailsTheWriter) {
  const uint8_t data[] = {1, 2, 3, 4, 5};
  for (int accepted : {0, 1}) {
    Captured c;
    c.refuseAfter = accepted;
    EXPECT_EQ(fautil_FD2WriteNodeEx(Capture, &c, 7, sizeof data, data), 0) << accepted;
  }
  Captured refused;
  refused.refuseAfter = 0;
  EXPECT_EQ(fautil_FD2WriteFileTag(Capture, &refused, FAUTIL_FILE_FORMAT_VERSION), 0);
  EXPECT_EQ(fautil_FD2WriteEOF(Capture, &refused), 0);
}

struct FieldCase {
  const char* name;
  std::function<int32_t(uint8_t* data, uint32_t size, int32_t* cursor)> call;
  uint32_t size;
  int32_t cursor;
  int32_t result;
  int32_t cursorAfter;
};

class NodeField : public ::testing::TestWithParam<FieldCase> {};

// The C functions take the data's size, which C++ leaves to the caller: a
// field that does not fit fails and leaves the data and the cursor alone.
TEST_P(NodeField, FitsInsideTheDataOrFailsTouchingNothing) {
  std::vector<uint8_t> data(64, 0xEE);
  // A string field "AB" (count 3) at 8 and one claiming 40 bytes at 20.
  const uint8_t ab[] = {3, 0, 'A', 'B', 0};
  std::memcpy(data.data() + 8, ab, sizeof ab);
  data[20] = 40;
  data[21] = 0;
  const std::vector<uint8_t> before = data;
  int32_t cursor = GetParam().cursor;
  EXPECT_EQ(GetParam().call(data.data(), GetParam().size, &cursor), GetParam().result);
  EXPECT_EQ(cursor, GetParam().cursorAfter);
  if (GetParam().result == 0) {
    EXPECT_EQ(data, before);
  }
}

int32_t GetString(uint8_t* d, uint32_t size, int32_t* cursor, uint32_t room) {
  char text[8] = {};
  return fautil_FD2NodeGetAnsiString(d, size, cursor, text, room);
}

INSTANTIATE_TEST_SUITE_P(
    Bounds, NodeField,
    ::testing::Values(
        FieldCase{
            "ByteAtTheLastPlace",
            [](uint8_t* d, uint32_t s, int32_t* c) { return fautil_FD2NodeSetByte(d, s, c, 1); }, 4,
            3, 1, 4},
        FieldCase{
            "BytePastTheEnd",
            [](uint8_t* d, uint32_t s, int32_t* c) { return fautil_FD2NodeSetByte(d, s, c, 1); }, 4,
            4, 0, 4},
        FieldCase{
            "WordAcrossTheEnd",
            [](uint8_t* d, uint32_t s, int32_t* c) { return fautil_FD2NodeSetWord(d, s, c, 1); }, 4,
            3, 0, 3},
        FieldCase{"NegativeCursor",
                  [](uint8_t* d, uint32_t s, int32_t* c) {
                    uint32_t v = 0;
                    return fautil_FD2NodeGetDWord(d, s, c, &v);
                  },
                  64, -1, 0, -1},
        FieldCase{"StringThatFits",
                  [](uint8_t* d, uint32_t s, int32_t* c) {
                    return fautil_FD2NodeSetAnsiString(d, s, c, "XY");
                  },
                  13, 8, 1, 13},
        FieldCase{"StringOneBytePastTheEnd",
                  [](uint8_t* d, uint32_t s, int32_t* c) {
                    return fautil_FD2NodeSetAnsiString(d, s, c, "XY");
                  },
                  12, 8, 0, 8},
        FieldCase{
            "CrcAcrossTheEnd",
            [](uint8_t* d, uint32_t s, int32_t* c) { return fautil_FD2NodeSetCRC16(d, s, c); }, 9,
            8, 0, 8},
        FieldCase{"ReadStringInsideTheData",
                  [](uint8_t* d, uint32_t s, int32_t* c) { return GetString(d, s, c, 8); }, 64, 8,
                  1, 13},
        FieldCase{"ReadStringWhoseCountRunsPastTheData",
                  [](uint8_t* d, uint32_t s, int32_t* c) { return GetString(d, s, c, 8); }, 64, 20,
                  0, 20},
        FieldCase{"ReadStringIntoTooSmallARoom",
                  [](uint8_t* d, uint32_t s, int32_t* c) { return GetString(d, s, c, 2); }, 64, 8,
                  0, 8}),
    [](const auto& info) { return std::string(info.param.name); });

struct Lines {
  std::vector<std::string> items;
};
void Collect(void* context, const char* line) {
  static_cast<Lines*>(context)->items.emplace_back(line);
}

TEST(LineCallback, ReferenceListPassesOnTheItemsBeforeAFailure) {
  Lines seen;
  EXPECT_EQ(fautil_RefStrRangeToStr("X0-X1,BAD,Y0", Collect, &seen), 0);
  EXPECT_EQ(seen.items, (std::vector<std::string>{"X0", "X1"}));
  EXPECT_EQ(fautil_RefStrRangeToStr("X0-X1,Y0", nullptr, nullptr), 1)
      << "without a callback the list is only checked";
}

// C callers cannot throw, but a C++ caller's callback can: the exception
// must end as the function's failure, not run through the C frames.
TEST(CallbackException, EndsAsAFailureResult) {
  const auto throwingLine = [](void*, const char*) { throw std::runtime_error("line"); };
  const auto throwingWrite = [](void*, const uint8_t*, uint32_t) -> int32_t {
    throw std::runtime_error("write");
  };
  EXPECT_EQ(fautil_RefStrRangeToStr("X0-X3", throwingLine, nullptr), 0);
  EXPECT_EQ(fautil_MemDump(gBytes, 16, throwingLine, nullptr), 0);
  EXPECT_EQ(fautil_FD2WriteEOF(throwingWrite, nullptr), 0);
}

TEST(EmptyArray, WithoutAnArrayWritesTheEmptyText) {
  char text[4] = "XYZ";
  EXPECT_EQ(fautil_BMemToStr(text, nullptr, 0), 1);
  EXPECT_STREQ(text, "");
  std::strcpy(text, "XYZ");
  EXPECT_EQ(fautil_WMemToStr(text, nullptr, 0), 1);
  EXPECT_STREQ(text, "");
}

TEST(AnsiStringRoom, HoldsTheLongestFieldWithoutItsZero) {
  std::vector<uint8_t> field(2 + 65535, 'A');
  field[0] = 0xFF;
  field[1] = 0xFF;
  std::vector<char> text(FAUTIL_MAX_ANSI_STRING_ROOM);
  int32_t cursor = 0;
  ASSERT_EQ(fautil_FD2NodeGetAnsiString(field.data(), static_cast<uint32_t>(field.size()), &cursor,
                                        text.data(), static_cast<uint32_t>(text.size())),
            1);
  EXPECT_EQ(std::strlen(text.data()), 65535u);
  EXPECT_EQ(cursor, 2 + 65535);
}

TEST(ShiftKeyMembers, AboveDoubleClickIsRefused) {
  const uint8_t members[] = {FAUTIL_SS_ALT, 7};
  uint16_t mask = 0xABCD;
  EXPECT_EQ(fautil_ShiftKey(members, 2, &mask), 0);
  EXPECT_EQ(mask, 0xABCD);
  EXPECT_EQ(fautil_ShiftKey(members, 1, &mask), 1);
  EXPECT_EQ(mask, 0x02);
}

}  // namespace
