#include "fautil/TaggedFile.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "fautil/Crc16.h"

namespace fautil {
namespace {

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using Bytes = std::vector<uint8_t>;

Bytes BytesOf(const std::ostringstream& out) {
  const std::string s = out.str();
  return Bytes(s.begin(), s.end());
}

Bytes ExpectedTag() {
  Bytes tag(256, 0);
  const std::string banner = "Tarno Assistant File Format 1";
  std::memcpy(tag.data(), banner.data(), banner.size());
  std::memcpy(tag.data() + 128, "Koval", 5);
  std::memcpy(tag.data() + 144, "ZOMV1", 5);
  const uint8_t numbers[] = {0x71, 0x2B, 0x00, 0x01, 0x00, 0x00, 0x01, 0x80};
  std::memcpy(tag.data() + 160, numbers, sizeof numbers);
  std::fill(tag.begin() + 208, tag.end(), 0xFF);
  return tag;
}

TFileTag2 TagFromBytes(const Bytes& bytes) {
  TFileTag2 tag;
  std::memcpy(&tag, bytes.data(), sizeof tag);
  return tag;
}

// A node as read back from a file: its word and a copy of its data.
struct ReadNode {
  uint32_t node;
  Bytes data;
};

uint32_t Le32(const uint8_t* p) {
  return p[0] | (p[1] << 8) | (p[2] << 16) | (uint32_t{p[3]} << 24);
}

// The reader a caller writes: tag, then node headers and data up to the end
// record; nullopt for a bad tag, a truncated file or a node failing its CRC.
std::optional<std::vector<ReadNode>> ReadFile(const Bytes& file) {
  if (file.size() < 256) return std::nullopt;
  const TFileTag2 tag = TagFromBytes(file);
  if (!FD2CheckFileTag(&tag, kFileFormatVersion)) return std::nullopt;
  std::vector<ReadNode> nodes;
  std::size_t pos = 256;
  for (;;) {
    if (file.size() - pos < 8) return std::nullopt;
    const uint32_t word = Le32(&file[pos]);
    const uint32_t length = Le32(&file[pos + 4]);
    pos += 8;
    if (word == kEndNodeWord && length == 0) break;
    if (file.size() - pos < length) return std::nullopt;
    ReadNode node{word, Bytes(file.begin() + pos, file.begin() + pos + length)};
    pos += length;
    if (!FD2CheckNodeEx({node.node, length, node.data.data()})) return std::nullopt;
    nodes.push_back(std::move(node));
  }
  if (pos != file.size()) return std::nullopt;
  return nodes;
}

TEST(TaggedFileWrite, TagIsByteForByteTheLayout) {
  std::ostringstream out;
  ASSERT_TRUE(FD2WriteFileTag(&out, 11121));
  EXPECT_THAT(BytesOf(out), ElementsAreArray(ExpectedTag()));
}

TEST(TaggedFileWrite, RefusesOtherVersionsAndNoStream) {
  std::ostringstream out;
  EXPECT_FALSE(FD2WriteFileTag(&out, 11120));
  EXPECT_FALSE(FD2WriteFileTag(&out, 0));
  EXPECT_TRUE(out.str().empty());
  EXPECT_FALSE(FD2WriteFileTag(nullptr, 11121));
  EXPECT_FALSE(FD2WriteEOF(nullptr));
  EXPECT_FALSE(FD2WriteNodeEx(nullptr, {1, 0, nullptr}));
}

TEST(TaggedFileWrite, FileWithoutNodesIsTagAndEndRecord) {
  std::ostringstream out;
  ASSERT_TRUE(FD2WriteFileTag(&out, kFileFormatVersion));
  ASSERT_TRUE(FD2WriteEOF(&out));
  const Bytes file = BytesOf(out);
  ASSERT_EQ(file.size(), 264u);
  EXPECT_THAT(Bytes(file.begin() + 256, file.end()),
              ElementsAre(0xFF, 0xFF, 0xFF, 0x00, 0x00, 0x00, 0x00, 0x00));
  EXPECT_THAT(ReadFile(file), ::testing::Optional(::testing::IsEmpty()));
}

TEST(TaggedFileWrite, NodeIsHeaderThenDataLittleEndian) {
  const uint8_t data[] = {1, 2, 3, 4, 5};
  std::ostringstream out;
  ASSERT_TRUE(FD2WriteNodeEx(&out, {0x01020304, 5, data}));
  EXPECT_THAT(BytesOf(out), ElementsAre(0x04, 0x03, 0x02, 0x01, 5, 0, 0, 0, 1, 2, 3, 4, 5));
}

TEST(TaggedFileWrite, NodeWithLengthButNoDataWritesNothing) {
  std::ostringstream out;
  EXPECT_FALSE(FD2WriteNodeEx(&out, {7, 5, nullptr}));
  EXPECT_TRUE(out.str().empty());
}

TEST(TaggedFileWrite, FailedStreamIsReported) {
  std::ostringstream out;
  out.setstate(std::ios::badbit);
  const uint8_t data[] = {1};
  EXPECT_FALSE(FD2WriteFileTag(&out, kFileFormatVersion));
  EXPECT_FALSE(FD2WriteNodeEx(&out, {0, 1, data}));
  EXPECT_FALSE(FD2WriteEOF(&out));
}

TEST(TaggedFileRoundTrip, NodesWithFieldsAndCrcReadBack) {
  uint8_t settings[64];
  int32_t cursor = 0;
  ASSERT_TRUE(FD2NodeSetByte(settings, cursor, 0x7A));
  ASSERT_TRUE(FD2NodeSetWord(settings, cursor, 0xBEEF));
  ASSERT_TRUE(FD2NodeSetDWord(settings, cursor, 0xDEADBEEF));
  ASSERT_TRUE(FD2NodeSetAnsiString(settings, cursor, "KV-37"));
  ASSERT_TRUE(FD2NodeSetCRC16(settings, cursor));
  const uint8_t plain[] = {9, 8, 7, 6, 5};

  std::ostringstream out;
  ASSERT_TRUE(FD2WriteFileTag(&out, kFileFormatVersion));
  ASSERT_TRUE(FD2WriteNodeEx(&out, {kNodeCrcFlag | 1, static_cast<uint32_t>(cursor), settings}));
  ASSERT_TRUE(FD2WriteNodeEx(&out, {2, 5, plain}));
  ASSERT_TRUE(FD2WriteEOF(&out));
  const Bytes file = BytesOf(out);
  EXPECT_EQ(file.size(), 264u + 8 + cursor + 13);

  const auto nodes = ReadFile(file);
  ASSERT_TRUE(nodes.has_value());
  ASSERT_EQ(nodes->size(), 2u);
  EXPECT_EQ((*nodes)[0].node, kNodeCrcFlag | 1);
  EXPECT_EQ((*nodes)[1].node, 2u);
  EXPECT_THAT((*nodes)[1].data, ElementsAreArray(plain));

  const uint8_t* data = (*nodes)[0].data.data();
  int32_t at = 0;
  uint8_t b;
  uint16_t w;
  uint32_t d;
  std::string s;
  ASSERT_TRUE(FD2NodeGetByte(data, at, b));
  ASSERT_TRUE(FD2NodeGetWord(data, at, w));
  ASSERT_TRUE(FD2NodeGetDWord(data, at, d));
  ASSERT_TRUE(FD2NodeGetAnsiString(data, at, s));
  EXPECT_EQ(b, 0x7A);
  EXPECT_EQ(w, 0xBEEF);
  EXPECT_EQ(d, 0xDEADBEEF);
  EXPECT_EQ(s, "KV-37");
  EXPECT_EQ(at + 2, cursor);
}

TEST(TaggedFileRoundTrip, CorruptedNodeIsRejectedByTheReader) {
  uint8_t data[8] = {1, 2, 3};
  int32_t cursor = 3;
  ASSERT_TRUE(FD2NodeSetCRC16(data, cursor));
  std::ostringstream out;
  FD2WriteFileTag(&out, kFileFormatVersion);
  FD2WriteNodeEx(&out, {kNodeCrcFlag, 5, data});
  FD2WriteEOF(&out);
  Bytes file = BytesOf(out);
  ASSERT_TRUE(ReadFile(file).has_value());
  file[256 + 8 + 1] ^= 0x10;
  EXPECT_FALSE(ReadFile(file).has_value());
}

struct TagCase {
  const char* name;
  void (*change)(Bytes&);
  uint16_t expected;
  bool passes;
};

class FileTagCheck : public ::testing::TestWithParam<TagCase> {};

TEST_P(FileTagCheck, AcceptsOnlyMatchingMakerMagicVersionAndSize) {
  Bytes bytes = ExpectedTag();
  GetParam().change(bytes);
  const TFileTag2 tag = TagFromBytes(bytes);
  EXPECT_EQ(FD2CheckFileTag(&tag, GetParam().expected), GetParam().passes);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FileTagCheck,
    ::testing::Values(TagCase{"AsWritten", [](Bytes&) {}, 11121, true},
                      TagCase{"OtherBanner",
                              [](Bytes& t) { std::memcpy(t.data(), "Another banner", 15); }, 11121,
                              true},
                      TagCase{"OtherSignatureAndFiller",
                              [](Bytes& t) {
                                t[164] = 0;
                                t[200] = 0x55;
                                t[255] = 0;
                              },
                              11121, true},
                      TagCase{"ExpectedVersionDiffers", [](Bytes&) {}, 11120, false},
                      TagCase{"HeldAndExpected11120",
                              [](Bytes& t) {
                                t[160] = 0x70;
                                t[161] = 0x2B;
                              },
                              11120, false},
                      TagCase{"MakerDiffers", [](Bytes& t) { t[128] = 'k'; }, 11121, false},
                      TagCase{"MakerLonger", [](Bytes& t) { t[133] = 'X'; }, 11121, false},
                      TagCase{"MagicDiffers", [](Bytes& t) { t[148] = '2'; }, 11121, false},
                      TagCase{"SizeDiffers", [](Bytes& t) { t[163] = 0x02; }, 11121, false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(FileTagCheckNull, MissingTagFails) {
  EXPECT_FALSE(FD2CheckFileTag(nullptr, 11121));
}

TEST(NodeCheck, CrcFlagRules) {
  uint8_t data[8] = {1, 2, 3};
  int32_t cursor = 3;
  ASSERT_TRUE(FD2NodeSetCRC16(data, cursor));
  ASSERT_EQ(cursor, 5);
  EXPECT_TRUE(FD2CheckNodeEx({kNodeCrcFlag, 5, data}));
  EXPECT_TRUE(FD2CheckNodeEx({0x00123456, 5, data}));
  for (int i = 0; i < 5; ++i) {
    uint8_t changed[5];
    std::memcpy(changed, data, 5);
    changed[i] ^= 0x01;
    EXPECT_FALSE(FD2CheckNodeEx({kNodeCrcFlag, 5, changed})) << "byte " << i;
    EXPECT_TRUE(FD2CheckNodeEx({0, 5, changed})) << "byte " << i;
  }
  EXPECT_TRUE(FD2CheckNodeEx({kNodeCrcFlag, 0, nullptr}));
  EXPECT_FALSE(FD2CheckNodeEx({kNodeCrcFlag, 5, nullptr}));
}

TEST(NodeFields, NumbersArePackedLowByteFirst) {
  uint8_t data[7] = {};
  int32_t cursor = 0;
  FD2NodeSetByte(data, cursor, 0xAB);
  FD2NodeSetWord(data, cursor, 0x1234);
  FD2NodeSetDWord(data, cursor, 0x89ABCDEF);
  EXPECT_EQ(cursor, 7);
  EXPECT_THAT(data, ElementsAre(0xAB, 0x34, 0x12, 0xEF, 0xCD, 0xAB, 0x89));
}

TEST(NodeFields, WordIsReadLowByteFirstOnAnyHost) {
  const uint8_t data[] = {0x34, 0x12};
  int32_t cursor = 0;
  uint16_t value = 0;
  ASSERT_TRUE(FD2NodeGetWord(data, cursor, value));
  EXPECT_EQ(value, 0x1234);
  EXPECT_EQ(cursor, 2);
}

TEST(NodeFields, StringsArePackedWithCountAndTerminator) {
  uint8_t data[8];
  std::memset(data, 0xEE, sizeof data);
  int32_t cursor = 1;
  ASSERT_TRUE(FD2NodeSetAnsiString(data, cursor, "AB"));
  EXPECT_EQ(cursor, 6);
  EXPECT_THAT(data, ElementsAre(0xEE, 0x03, 0x00, 0x41, 0x42, 0x00, 0xEE, 0xEE));

  uint8_t empty[4];
  std::memset(empty, 0xEE, sizeof empty);
  cursor = 0;
  ASSERT_TRUE(FD2NodeSetAnsiString(empty, cursor, ""));
  EXPECT_EQ(cursor, 3);
  EXPECT_THAT(empty, ElementsAre(0x01, 0x00, 0x00, 0xEE));
}

TEST(NodeFields, StringUnpackAdvancesByTheStoredCount) {
  // Count 6 but text "AB": the cursor skips the whole field.
  const uint8_t data[] = {0x06, 0x00, 'A', 'B', 0, 'x', 'y', 0, 0x42};
  int32_t cursor = 0;
  std::string text = "old";
  ASSERT_TRUE(FD2NodeGetAnsiString(data, cursor, text));
  EXPECT_EQ(text, "AB");
  EXPECT_EQ(cursor, 8);
}

TEST(NodeFields, StringUnpackStopsAtTheFieldEndWithoutTerminator) {
  const uint8_t data[] = {0x03, 0x00, 'A', 'B', 'C', 'D', 'E'};
  int32_t cursor = 0;
  std::string text;
  ASSERT_TRUE(FD2NodeGetAnsiString(data, cursor, text));
  EXPECT_EQ(text, "ABC");
  EXPECT_EQ(cursor, 5);
}

TEST(NodeFields, OversizedStringIsRefusedWithoutWriting) {
  uint8_t data[4] = {0xEE, 0xEE, 0xEE, 0xEE};
  int32_t cursor = 0;
  EXPECT_FALSE(FD2NodeSetAnsiString(data, cursor, std::string(65535, 'x')));
  EXPECT_EQ(cursor, 0);
  EXPECT_THAT(data, ElementsAre(0xEE, 0xEE, 0xEE, 0xEE));

  std::vector<uint8_t> big(65537);
  EXPECT_TRUE(FD2NodeSetAnsiString(big.data(), cursor, std::string(65534, 'x')));
  EXPECT_EQ(cursor, 65537);
  EXPECT_EQ(big[0], 0xFF);
  EXPECT_EQ(big[1], 0xFF);
  EXPECT_EQ(big[65536], 0);
}

TEST(NodeFields, UnusableCursorIsRefusedAndOutputZeroed) {
  uint8_t data[8] = {1, 2, 3, 4, 5, 6, 7, 8};
  int32_t negative = -1;
  uint32_t value = 99;
  EXPECT_FALSE(FD2NodeGetDWord(data, negative, value));
  EXPECT_EQ(value, 0u);
  EXPECT_FALSE(FD2NodeSetWord(data, negative, 1));
  EXPECT_FALSE(FD2NodeSetCRC16(data, negative));
  EXPECT_EQ(negative, -1);
  int32_t nearMax = INT32_MAX - 1;
  EXPECT_FALSE(FD2NodeSetDWord(data, nearMax, 1));
  int32_t zero = 0;
  EXPECT_FALSE(FD2NodeSetByte(nullptr, zero, 1));
  std::string text = "x";
  EXPECT_FALSE(FD2NodeGetAnsiString(nullptr, zero, text));
  EXPECT_EQ(text, "");
  EXPECT_THAT(data, ElementsAre(1, 2, 3, 4, 5, 6, 7, 8));
}

}  // namespace
}  // namespace fautil
