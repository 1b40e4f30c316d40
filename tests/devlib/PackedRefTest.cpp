#include "fautil/PackedRef.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "fautil/OperandText.h"

namespace fautil {
namespace {

using DecodeFn = bool (*)(uint16_t, uint8_t&, uint32_t&);
using EncodeFn = bool (*)(uint8_t, uint32_t, uint16_t&);

struct Decoded {
  uint16_t code;
  bool ok;
  uint8_t type = 0;
  uint32_t address = 0;
};

void ExpectDecodes(DecodeFn decode, const std::vector<Decoded>& cases) {
  for (const Decoded& c : cases) {
    SCOPED_TRACE(testing::Message() << "code 0x" << std::hex << c.code);
    uint8_t type = 0;
    uint32_t address = 0;
    ASSERT_EQ(decode(c.code, type, address), c.ok);
    if (!c.ok) continue;
    EXPECT_EQ(type, c.type);
    EXPECT_EQ(address, c.address);
  }
}

struct Encoded {
  uint8_t type;
  uint32_t address;
  bool ok;
  uint16_t code = 0;
};

void ExpectEncodes(EncodeFn encode, const std::vector<Encoded>& cases) {
  for (const Encoded& c : cases) {
    SCOPED_TRACE(testing::Message()
                 << "type 0x" << std::hex << int{c.type} << " address " << std::dec << c.address);
    uint16_t code = 0xABCD;
    ASSERT_EQ(encode(c.type, c.address, code), c.ok);
    EXPECT_EQ(code, c.ok ? c.code : 0xABCD);  // untouched on failure
  }
}

TEST(DocRef, DecoderRowBoundaries) {
  ExpectDecodes(DocRefToType, {
                                  {0x0000, true, 0x20, 0},
                                  {0x00FF, true, 0x20, 255},
                                  {0x0100, true, 0x21, 0},
                                  {0x01FF, true, 0x21, 255},
                                  {0x0200, true, 0x26, 0},
                                  {0x02FF, true, 0x26, 255},
                                  {0x0300, true, 0x27, 0},
                                  {0x03C7, true, 0x27, 199},
                                  {0x03C8, true, 0x66, 200},
                                  {0x03FF, true, 0x66, 255},
                                  {0x0400, false},
                                  {0x0420, false},
                                  {0x0427, false},
                                  {0x0428, true, 0x25, 0},
                                  {0x080F, true, 0x25, 999},
                                  {0x0810, true, 0x23, 0},
                                  {0x0810 + 1911, true, 0x23, 1911},
                                  {0x0810 + 1912, true, 0x24, 1912},
                                  {0x0FE1, true, 0x24, 2001},
                                  {0x0FE2, false},
                                  {0x1FFF, false},
                                  {0x2000, true, 0x30, 0},
                                  {0x2003, false},
                                  {0x2008, true, 0x30, 8},
                                  {0x20F0, true, 0x30, 240},
                                  {0x20F8, false},
                                  {0x20FF, false},
                                  {0x2100, true, 0x31, 0},
                                  {0x21F0, true, 0x31, 240},
                                  {0x2200, false},
                                  {0x2427, false},
                                  {0x2428, true, 0x33, 0},
                                  {0x2428 + 984, true, 0x33, 984},
                                  {0x281F, false},
                                  {0x2820, true, 0x32, 0},
                                  {0x2820 + 1896, true, 0x32, 1896},
                                  {0x2FF1, false},
                                  {0x2FF2, false},
                                  {0x2FFF, false},
                                  {0x3000, true, 0x47, 0},
                                  {0x3FFF, true, 0x47, 4095},
                                  {0x4000, true, 0x42, 0},
                                  {0x4000 + 3840, true, 0x43, 3840},
                                  {0x4000 + 4167, true, 0x45, 4167},
                                  {0x4000 + 4168, false},
                                  {0x4000 + 4999, false},
                                  {0x4000 + 5000, true, 0x46, 5000},
                                  {0x5F87, true, 0x46, 8071},
                                  {0x5F88, false},
                                  {0xFFFF, false},
                              });
}

TEST(DocRef, EncoderBases) {
  ExpectEncodes(TypeToDocRef, {
                                  {0x20, 5, true, 0x0005},
                                  {0x21, 5, true, 0x0105},
                                  {0x26, 5, true, 0x0205},
                                  {0x40, 5, true, 0x0205},
                                  {0x27, 5, true, 0x0305},
                                  {0x41, 5, true, 0x0305},
                                  {0x66, 201, true, 0x03C9},
                                  {0x25, 5, true, 0x042D},
                                  {0x23, 5, true, 0x0815},
                                  {0x24, 1912, true, 0x0F88},
                                  {0x30, 8, true, 0x2008},
                                  {0x31, 8, true, 0x2108},
                                  {0x33, 8, true, 0x2430},
                                  {0x32, 8, true, 0x2828},
                                  {0x47, 5, true, 0x3005},
                                  {0x42, 5, true, 0x4005},
                                  {0x45, 4164, true, 0x5044},
                                  {0x46, 8071, true, 0x5F87},
                                  {0x20, 0x10005, true, 0x0005},  // low 16 bits, unchecked
                                  {0x00, 5, false},
                                  {0x22, 5, false},
                                  {0x48, 5, false},
                                  {0x4E, 5, false},
                                  {0x60, 0, false},
                                  {0x67, 0, false},
                                  {0x2A, 0, false},
                              });
}

TEST(DocRef, TextWrappers) {
  uint16_t code = 0;
  ASSERT_TRUE(StrToDocRef("T5", code));
  EXPECT_EQ(code, 0x0205);
  char text[32];
  ASSERT_TRUE(DocRefToStr(text, 0x0205));
  EXPECT_STREQ(text, "T5");
  code = 0x1234;
  EXPECT_FALSE(StrToDocRef("F5", code));
  EXPECT_FALSE(StrToDocRef("X256", code));
  EXPECT_FALSE(StrToDocRef(nullptr, code));
  EXPECT_EQ(code, 0x1234);
  EXPECT_FALSE(DocRefToStr(text, 0x0420));
  EXPECT_FALSE(DocRefToStr(nullptr, 0x0205));
}

TEST(DRef, DecoderRowBoundaries) {
  ExpectDecodes(DRefToType, {
                                {0x0000, true, 0x20, 0}, {0x00FF, true, 0x20, 255},
                                {0x0100, true, 0x21, 0}, {0x01FF, true, 0x21, 255},
                                {0x0200, true, 0x26, 0}, {0x02FF, true, 0x26, 255},
                                {0x0300, true, 0x27, 0}, {0x03FF, true, 0x66, 255},
                                {0x0400, true, 0x22, 0}, {0x0427, true, 0x22, 39},
                                {0x0428, true, 0x25, 0}, {0x080F, true, 0x25, 999},
                                {0x0810, true, 0x23, 0}, {0x0FE1, true, 0x24, 2001},
                                {0x0FE2, true, 0x28, 0}, {0x0FFB, true, 0x28, 25},
                                {0x0FFC, true, 0x29, 0}, {0x0FFE, true, 0x29, 2},
                                {0x0FFF, true, 0x2A, 0}, {0x1000, false},
                                {0x2000, false},         {0xFFFF, false},
                            });
}

TEST(DRef, EncoderBases) {
  ExpectEncodes(TypeToDRef, {
                                {0x20, 7, true, 0x0007},
                                {0x21, 7, true, 0x0107},
                                {0x26, 7, true, 0x0207},
                                {0x40, 7, true, 0x0207},
                                {0x27, 7, true, 0x0307},
                                {0x41, 7, true, 0x0307},
                                {0x66, 255, true, 0x03FF},
                                {0x25, 7, true, 0x042F},
                                {0x23, 7, true, 0x0817},
                                {0x24, 2001, true, 0x0FE1},
                                {0x22, 7, false},
                                {0x28, 7, false},
                                {0x29, 1, false},
                                {0x2A, 0, false},
                                {0x30, 8, false},
                                {0x42, 7, false},
                                {0x47, 7, false},
                            });
}

TEST(DRef, NoOperandWritesEmptyText) {
  char text[32] = "old";
  ASSERT_TRUE(DRefToStr(text, 0x0FFF));
  EXPECT_STREQ(text, "");
  EXPECT_FALSE(DRefToStr(text, 0x1000));
  ASSERT_TRUE(DRefToStr(text, 0x0FE3));
  EXPECT_STREQ(text, "SO1");
  uint16_t code = 0;
  ASSERT_TRUE(StrToDRef("m1912", code));
  EXPECT_EQ(code, 0x0810 + 1912);
}

TEST(RRef, DecoderRowBoundaries) {
  ExpectDecodes(RRefToType, {
                                {0xC000, true, 0x4E, 0},
                                {0xC005, true, 0x4E, 5},
                                {0xC000 + 4167, true, 0x4E, 4167},
                                {0xC000 + 4168, false},
                                {0xC000 + 5000, true, 0x4E, 5000},
                                {0xC000 + 8072, false},
                                {0xFFFF, false},
                                {0x8005, true, 0x4F, 5},
                                {0x8000 + 8071, true, 0x4F, 8071},
                                {0xBFFF, false},
                                {0x0000, true, 0x00, 0},
                                {0x0042, true, 0x00, 66},
                                {0x00FF, true, 0x00, 255},
                                {0x0100, true, 0x43, 3840},
                                {0x0101, true, 0x43, 3840},
                                {0x0180, true, 0x44, 3904},
                                {0x0200, true, 0x45, 3968},
                                {0x038F, true, 0x45, 4167},
                                {0x0390, true, 0x40, 0},
                                {0x058F, true, 0x40, 255},
                                {0x0590, true, 0x41, 0},
                                {0x071F, true, 0x41, 199},
                                {0x0720, true, 0x66, 200},
                                {0x0723, true, 0x66, 200},
                                {0x0724, true, 0x66, 201},
                                {0x07FF, true, 0x66, 255},
                                {0x0800, true, 0x30, 0},
                                {0x081E, true, 0x30, 240},
                                {0x081F, false},
                                {0x0820, true, 0x31, 0},
                                {0x083F, false},
                                {0x0840, true, 0x40, 0},
                                {0x085F, true, 0x40, 248},
                                {0x0860, true, 0x41, 0},
                                {0x0879, true, 0x66, 200},
                                {0x087F, true, 0x66, 248},
                                {0x0880, false},
                                {0x0882, false},
                                {0x0884, false},
                                {0x0885, true, 0x33, 0},
                                {0x0900, true, 0x33, 984},
                                {0x0901, false},
                                {0x0902, true, 0x32, 0},
                                {0x0902 + 237, true, 0x32, 1896},
                                {0x09FF, false},
                                {0x0A00, true, 0x42, 0},
                                {0x27FF, true, 0x42, 3839},
                                {0x2800, true, 0x46, 5000},
                                {0x3FFF, true, 0x46, 8071},
                                {0x4000, true, 0x47, 0},
                                {0x5FFF, true, 0x47, 4095},
                                {0x6000, false},
                                {0x7FFF, false},
                            });
}

TEST(RRef, EncoderBases) {
  ExpectEncodes(
      TypeToRRef,
      {
          {0x26, 5, true, 0x039A},    {0x40, 5, true, 0x039A},    {0x27, 5, true, 0x059A},
          {0x41, 5, true, 0x059A},    {0x66, 201, true, 0x0724},  {0x42, 100, true, 0x0AC8},
          {0x43, 3840, true, 0x0100}, {0x44, 3904, true, 0x0180}, {0x45, 4167, true, 0x038E},
          {0x46, 5000, true, 0x2800}, {0x47, 1, true, 0x4002},    {0x30, 16, true, 0x0802},
          {0x31, 16, true, 0x0822},   {0x32, 16, true, 0x0904},   {0x33, 16, true, 0x0887},
          {0x00, 5, false},           {0x20, 1, false},           {0x23, 1, false},
          {0x4E, 5, false},           {0x4F, 5, false},           {0x48, 5, false},
          {0x67, 0, false},           {0x60, 0, false},
      });
}

TEST(RRef, TextWrappers) {
  struct Case {
    const char* text;
    bool ok;
    uint16_t code;
  };
  const Case cases[] = {
      {"R100", true, 0x0AC8}, {"D1", true, 0x4002}, {"C201", true, 0x0724},
      {"V", true, 0x0388},    {"X1", false, 0},     {"R5V", false, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    uint16_t code = 0;
    EXPECT_EQ(StrToRRef(c.text, code), c.ok);
    if (c.ok) {
      EXPECT_EQ(code, c.code);
    }
  }
  char text[32];
  ASSERT_TRUE(RRefToStr(text, 0xC005));
  EXPECT_STREQ(text, "R5V");
  ASSERT_TRUE(RRefToStr(text, 0x8005));
  EXPECT_STREQ(text, "R5Z");
  ASSERT_TRUE(RRefToStr(text, 0x0042));
  EXPECT_STREQ(text, "66");
  EXPECT_FALSE(RRefToStr(text, 0x6000));
}

TEST(RegRef, DecoderRowBoundaries) {
  ExpectDecodes(RegRefToType, {
                                  {0x0000, true, 0x20, 0},
                                  {0x00FF, true, 0x20, 255},
                                  {0x0100, true, 0x21, 0},
                                  {0x01FF, true, 0x21, 255},
                                  {0x0200, true, 0x26, 0},
                                  {0x02FF, true, 0x26, 255},
                                  {0x0300, true, 0x27, 0},
                                  {0x03FF, true, 0x66, 255},
                                  {0x0400, true, 0x25, 0},
                                  {0x07E7, true, 0x25, 999},
                                  {0x07E8, true, 0x23, 0},
                                  {0x0FB9, true, 0x24, 2001},
                                  {0x0FBA, true, 0x42, 0},
                                  {0x0FBA + 4167, true, 0x45, 4167},
                                  {0x0FBA + 4168, false},
                                  {0x0FBA + 4999, false},
                                  {0x0FBA + 5000, true, 0x46, 5000},
                                  {0x2F41, true, 0x46, 8071},
                                  {0x2F42, true, 0x47, 0},
                                  {0x3B41, true, 0x47, 3071},
                                  {0x3B42, true, 0x40, 0},
                                  {0x3C41, true, 0x40, 255},
                                  {0x3C42, true, 0x41, 0},
                                  {0x3D09, true, 0x41, 199},
                                  {0x3D0A, true, 0x66, 200},
                                  {0x3D0B, true, 0x66, 200},
                                  {0x3D79, true, 0x66, 255},
                                  {0x3D7A, false},
                                  {0xFFFF, false},
                              });
}

TEST(RegRef, EncoderUsesItsOwnLayout) {
  ExpectEncodes(TypeToRegRef, {
                                  {0x20, 5, true, 0x0005},
                                  {0x30, 8, true, 0x0008},
                                  {0x60, 8, true, 0x0008},
                                  {0x21, 5, true, 0x0105},
                                  {0x31, 8, true, 0x0108},
                                  {0x61, 8, true, 0x0108},
                                  {0x26, 5, true, 0x0205},
                                  {0x34, 5, true, 0x0205},
                                  {0x27, 5, true, 0x0305},
                                  {0x35, 5, true, 0x0305},
                                  {0x25, 0, true, 0x0428},
                                  {0x33, 8, true, 0x0430},
                                  {0x63, 8, true, 0x0430},
                                  {0x23, 5, true, 0x0815},
                                  {0x24, 1912, true, 0x0F88},
                                  {0x32, 8, true, 0x0818},
                                  {0x62, 8, true, 0x0818},
                                  {0x42, 5, true, 0x1005},
                                  {0x46, 8071, true, 0x2F87},
                                  {0x67, 5, true, 0x1005},
                                  {0x47, 0, true, 0x2F88},
                                  {0x47, 3071, true, 0x3B87},
                                  {0x47, 3072, true, 0x3DC0},
                                  {0x68, 4094, true, 0x3DC0 + 1022},
                                  {0x40, 5, true, 0x3B8D},
                                  {0x41, 5, true, 0x3C8D},
                                  {0x66, 201, true, 0x3D52},
                                  {0x48, 5, true, 0x41C5},
                                  {0x69, 8190, true, 0x41C0 + 8190},
                                  {0x00, 5, false},
                                  {0x22, 5, false},
                                  {0x4E, 5, false},
                                  {0x2A, 0, false},
                              });
}

// The two RegRef layouts agree below 0x0400 only.
TEST(RegRef, RoundTripHoldsOnlyForBits) {
  struct Case {
    uint8_t type;
    uint32_t address;
    bool same;
  };
  const Case cases[] = {
      {0x20, 7, true},  {0x21, 7, true},  {0x26, 7, true},    {0x27, 7, true},
      {0x25, 0, false}, {0x23, 0, false}, {0x42, 0, false},   {0x47, 0, false},
      {0x40, 0, false}, {0x41, 0, false}, {0x66, 200, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "type 0x" << std::hex << int{c.type});
    uint16_t code = 0;
    ASSERT_TRUE(TypeToRegRef(c.type, c.address, code));
    uint8_t type = 0;
    uint32_t address = 0;
    const bool decoded = RegRefToType(code, type, address);
    EXPECT_EQ(decoded && type == c.type && address == c.address, c.same);
  }
  uint8_t type = 0;
  uint32_t address = 0;
  ASSERT_TRUE(RegRefToType(0x0400, type, address));
  EXPECT_EQ(type, 0x25);
  EXPECT_EQ(address, 0u);
}

// Encode every valid operand a family takes both ways, decode it again.
TEST(RoundTrip, DecodeOfEncodeGivesTheOperand) {
  struct Family {
    const char* name;
    EncodeFn encode;
    DecodeFn decode;
    std::vector<uint8_t> types;
  };
  const Family families[] = {
      {"DocRef",
       TypeToDocRef,
       DocRefToType,
       {0x20, 0x21, 0x26, 0x27, 0x25, 0x23, 0x30, 0x31, 0x32, 0x33, 0x47, 0x42, 0x40, 0x41, 0x66}},
      {"DRef", TypeToDRef, DRefToType, {0x20, 0x21, 0x26, 0x27, 0x25, 0x23, 0x40, 0x41, 0x66}},
      {"RRef",
       TypeToRRef,
       RRefToType,
       {0x26, 0x27, 0x40, 0x41, 0x66, 0x42, 0x47, 0x30, 0x31, 0x32, 0x33}},
  };
  for (const Family& f : families) {
    for (uint8_t given : f.types) {
      int count = 0;
      for (uint32_t address = 0; address <= 8200; ++address) {
        uint8_t type = given;
        if (!CheckTypeRange(type, address)) continue;
        if (given == 0x66 && address < 200) continue;  // 32-bit C starts at C200
        SCOPED_TRACE(testing::Message() << f.name << " type 0x" << std::hex << int{type} << std::dec
                                        << " address " << address);
        uint16_t code = 0;
        ASSERT_TRUE(f.encode(type, address, code));
        uint8_t back = 0;
        uint32_t backAddress = 0;
        ASSERT_TRUE(f.decode(code, back, backAddress));
        uint8_t expected = type;
        if (f.decode != RRefToType && type == 0x40) expected = 0x26;  // T register as T bit
        if (f.decode != RRefToType && type == 0x41) expected = 0x27;  // C register as C bit
        if (f.decode == RRefToType && type == 0x26) expected = 0x40;  // RRef holds registers
        if (f.decode == RRefToType && type == 0x27) expected = 0x41;
        ASSERT_EQ(back, expected);
        ASSERT_EQ(backAddress, address);
        ++count;
      }
      EXPECT_GT(count, 0) << f.name << " type " << int{given};
    }
  }
}

// Codes whose text reads back as another operand of the same number.
uint8_t TextAlias(uint8_t type) {
  switch (type) {
    case 0x22:  // TR
    case 0x26:  // T bit
      return 0x40;
    case 0x27:  // C bit below 200
      return 0x41;
    default:
      return type;
  }
}

// Every code of every decoder: accepted codes write operand text that parses
// back to the same pair; the count of accepted codes matches the layout.
TEST(Exhaustive, EveryAcceptedCodeReadsBack) {
  struct Family {
    const char* name;
    DecodeFn decode;
    int accepted;
  };
  const Family families[] = {
      // X Y T C (4 x 256), S 1000, M 2002, WX WY 31 each, WS 124, WM 238, D 4096, R 7240
      {"DocRef", DocRefToType, 15786},
      // X Y T C (4 x 256), TR 40, S 1000, M 2002, SO 26, FO 3, no operand 1
      {"DRef", DRefToType, 4096},
      // RV and RZ 7240 each, constants 256, R3840-R4167 656, T 512, C 400, C32 224,
      // WX WY 31 each, T and C groups 32 each, WS 124, WM 238, R 7680, R5000 6144, D 8192
      {"RRef", RRefToType, 39032},
      // X Y T C 1024, S 1000, M 2002, R 7240, D 3072, T 256, C 200, C32 112
      {"RegRef", RegRefToType, 14906},
  };
  for (const Family& f : families) {
    SCOPED_TRACE(f.name);
    int accepted = 0;
    for (uint32_t code = 0; code <= 0xFFFF; ++code) {
      uint8_t type = 0;
      uint32_t address = 0;
      if (!f.decode(static_cast<uint16_t>(code), type, address)) continue;
      ++accepted;
      char text[32];
      const bool written = TypeToStr(text, type, address);
      ASSERT_TRUE(written) << code;
      uint8_t back = 0;
      uint32_t backAddress = 0;
      const bool parsed = StrToType(text, back, backAddress);
      if (type == 0x28 || type == 0x29 || type == 0x2A || type == 0x4E || type == 0x4F) {
        EXPECT_FALSE(parsed) << text;  // SO, FO, no operand, indexed R: no operand text
        continue;
      }
      ASSERT_TRUE(parsed) << code << " " << text;
      ASSERT_EQ(back, TextAlias(type)) << text;
      ASSERT_EQ(backAddress, address) << text;
    }
    EXPECT_EQ(accepted, f.accepted);
  }
}

TEST(FlashReg, TextToCode) {
  struct Case {
    const char* text;
    bool ok;
    uint16_t code;
  };
  const Case cases[] = {
      {"R0", true, 0},       {"R3839", true, 3839}, {"R3840", false, 0},    {"R3900", false, 0},
      {"R3999", false, 0},   {"R4000", true, 4000}, {"V", true, 4164},      {"Z", true, 4165},
      {"R4165", true, 4165}, {"R4166", false, 0},   {"R5000", true, 5000},  {"R8071", true, 8071},
      {"D5", true, 10005},   {"P0", true, 14080},   {"D4095", true, 14095}, {"X1", false, 0},
      {"F1", false, 0},      {"12", false, 0},      {"", false, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    uint16_t code = 0xABCD;
    EXPECT_EQ(FlashRegStrToRef(c.text, code), c.ok);
    EXPECT_EQ(code, c.ok ? c.code : 0xABCD);
  }
}

TEST(FlashReg, CodeToText) {
  struct Case {
    uint16_t code;
    const char* text;  // null: rejected
  };
  const Case cases[] = {
      {0, "R0"},       {3839, "R3839"},  {3840, nullptr},  {3900, nullptr},  {3999, nullptr},
      {4000, "R4000"}, {4164, "R4164"},  {4165, "R4165"},  {4166, nullptr},  {4999, nullptr},
      {5000, "R5000"}, {8071, "R8071"},  {8072, nullptr},  {9999, nullptr},  {10000, "D0"},
      {10005, "D5"},   {14085, "D4085"}, {14095, "D4095"}, {14096, nullptr}, {65535, nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.code);
    char text[32] = "old";
    EXPECT_EQ(FlashRegRefToStr(text, c.code), c.text != nullptr);
    EXPECT_STREQ(text, c.text != nullptr ? c.text : "old");
  }
  EXPECT_FALSE(FlashRegRefToStr(nullptr, 5));
}

TEST(Exhaustive, EveryFlashRegCodeReadsBack) {
  int accepted = 0;
  for (uint32_t code = 0; code <= 0xFFFF; ++code) {
    char text[32];
    if (!FlashRegRefToStr(text, static_cast<uint16_t>(code))) continue;
    ++accepted;
    uint16_t back = 0;
    ASSERT_TRUE(FlashRegStrToRef(text, back)) << text;
    ASSERT_EQ(back, code) << text;
  }
  EXPECT_EQ(accepted, 3840 + 166 + 3072 + 4096);
}

}  // namespace
}  // namespace fautil
