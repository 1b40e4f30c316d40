#include <gtest/gtest.h>

#include <vector>

#include "UpdateFrames.h"

namespace kv37 {
namespace {

using Bytes = std::vector<uint8_t>;

ChunkClass Classify(const Bytes& b) {
  return ClassifyChunk(b.data(), b.size());
}

TEST(FrameCheckSum, StartCommandObeysTheGeneralLayout) {
  const auto sum = FrameCheckSum(kStartCommand.data(), kStartCommand.size());
  ASSERT_TRUE(sum);
  EXPECT_EQ(*sum, 0x0057);
  EXPECT_EQ(kStartCommand[2] << 8 | kStartCommand[3], 0x0057);
}

TEST(FrameCheckSum, SumsNothingBelowFourBytesAndWrapsAt16Bits) {
  const Bytes shortFrame{0x02, 0x03};
  EXPECT_EQ(FrameCheckSum(shortFrame.data(), 2), 0);
  Bytes big(600, 0xFF);
  big.front() = 0x02;
  big.back() = 0x03;
  EXPECT_EQ(*FrameCheckSum(big.data(), 600), static_cast<uint16_t>(0x02 + 0xFF * 596));
}

struct ClassCase {
  const char* name;
  Bytes chunk;
  ChunkKind kind;
  uint16_t page;
};

class ClassifyChunkRules : public ::testing::TestWithParam<ClassCase> {};

TEST_P(ClassifyChunkRules, GivesTheFrameKind) {
  const ClassCase& c = GetParam();
  const ChunkClass got = Classify(c.chunk);
  EXPECT_EQ(got.kind, c.kind);
  if (c.kind == ChunkKind::PageRequest) {
    EXPECT_EQ(got.page, c.page);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Frames, ClassifyChunkRules,
    ::testing::Values(
        ClassCase{
            "RequestPage0", {0x02, 0xAA, 0x00, 0x00, 0x00, 0xAC, 0x03}, ChunkKind::PageRequest, 0},
        ClassCase{
            "RequestPage1", {0x02, 0xAA, 0x00, 0x01, 0x00, 0xAD, 0x03}, ChunkKind::PageRequest, 1},
        ClassCase{"RequestPage1F",
                  {0x02, 0xAA, 0x00, 0x1F, 0x00, 0xCB, 0x03},
                  ChunkKind::PageRequest,
                  0x1F},
        ClassCase{"RequestPage511",
                  {0x02, 0xAA, 0x01, 0xFF, 0x01, 0xAC, 0x03},
                  ChunkKind::PageRequest,
                  511},
        ClassCase{"RequestBeyondTheImage",
                  {0x02, 0xAA, 0xFF, 0xFF, 0x02, 0xAA, 0x03},
                  ChunkKind::PageRequest,
                  0xFFFF},
        ClassCase{"EightByteChunkComparesBytesFourAndFive",
                  {0x02, 0xAA, 0x00, 0x00, 0x00, 0xAC, 0x55, 0x03},
                  ChunkKind::PageRequest,
                  0},
        ClassCase{"SwappedChecksumBytes",
                  {0x02, 0xAA, 0x00, 0x00, 0xAC, 0x00, 0x03},
                  ChunkKind::ChecksumFault,
                  0},
        ClassCase{"WrongStxWithRightChecksum",
                  {0x01, 0xAA, 0x00, 0x00, 0x00, 0xAB, 0x03},
                  ChunkKind::DelimiterFault,
                  0},
        ClassCase{"WrongInBothWaysIsADelimiterFault",
                  {0x01, 0xAA, 0x00, 0x00, 0xAC, 0x00, 0x04},
                  ChunkKind::DelimiterFault,
                  0},
        ClassCase{"FirstPieceOfASplitRequest", {0x02, 0xAA, 0x00}, ChunkKind::DelimiterFault, 0},
        ClassCase{"SecondPieceOfASplitRequest", {0x00, 0xAC, 0x03}, ChunkKind::NotAFrame, 0},
        ClassCase{
            "ShortRequestWithGoodDelimiters", {0x02, 0xAA, 0x00, 0x03}, ChunkKind::NotAFrame, 0},
        ClassCase{"FiveByteRequestWithGoodDelimiters",
                  {0x02, 0xAA, 0x00, 0x00, 0x03},
                  ChunkKind::NotAFrame,
                  0},
        ClassCase{"TwoByteRequestHasNoEtx", {0x02, 0xAA}, ChunkKind::DelimiterFault, 0},
        ClassCase{"CompletionFailure",
                  {0x02, 0x66, '0', 0x00, 0x98, 0x03},
                  ChunkKind::CompletionFailure,
                  0},
        ClassCase{"CompletionSuccess",
                  {0x02, 0x66, '1', 0x00, 0x99, 0x03},
                  ChunkKind::CompletionSuccess,
                  0},
        ClassCase{"CompletionIgnoresDelimitersAndChecksum",
                  {0x7F, 0x66, '1'},
                  ChunkKind::CompletionSuccess,
                  0},
        ClassCase{"CompletionOtherResult",
                  {0x02, 0x66, '2', 0x00, 0x9A, 0x03},
                  ChunkKind::CompletionNoResult,
                  0},
        ClassCase{"CompletionWithoutResultByte", {0x02, 0x66}, ChunkKind::CompletionNoResult, 0},
        ClassCase{"Noise", {0x13, 0x37, 0x00, 0x00, 0x00, 0x00, 0x03}, ChunkKind::NotAFrame, 0},
        ClassCase{"SingleByte", {0xAA}, ChunkKind::NotAFrame, 0},
        ClassCase{"Empty", {}, ChunkKind::NotAFrame, 0}),
    [](const auto& info) { return info.param.name; });

TEST(ClassifyChunk, AChunkLongerThanTheReceiveAreaIsNotAFrame) {
  Bytes chunk(kReceiveAreaSize + 1, 0x00);
  chunk[0] = 0x02;
  chunk[1] = 0xAA;
  chunk.back() = 0x03;
  EXPECT_EQ(Classify(chunk).kind, ChunkKind::NotAFrame);
  chunk.resize(kReceiveAreaSize);
  chunk.back() = 0x03;
  EXPECT_NE(Classify(chunk).kind, ChunkKind::NotAFrame) << "a full receive area is still examined";
}

TEST(BuildPageReply, CarriesThePageAndItsChecksum) {
  MemoryStream image;
  Bytes bytes(kOsImageSize);
  for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<uint8_t>(i ^ (i >> 8));
  image.Write(bytes.data(), bytes.size());

  PageReply reply;
  BuildPageReply(image, 0x1F, reply);
  EXPECT_EQ(reply[0], 0x02);
  EXPECT_EQ(reply[1], 0xAA);
  EXPECT_TRUE(std::equal(bytes.begin() + 0x1F00, bytes.begin() + 0x2000, reply.begin() + 2));
  uint32_t sum = 0;
  for (std::size_t i = 0; i < 258; ++i) sum += reply[i];
  EXPECT_EQ(reply[258], (sum >> 8) & 0xFF);
  EXPECT_EQ(reply[259], sum & 0xFF);
  EXPECT_EQ(reply[260], 0x03);
}

TEST(BuildPageReply, AnAllPaddingPageEndsInFfAc03) {
  MemoryStream empty;
  PageReply reply;
  BuildPageReply(empty, 3, reply);
  EXPECT_EQ(reply[258], 0xFF);
  EXPECT_EQ(reply[259], 0xAC);
  EXPECT_EQ(reply[260], 0x03);
}

}  // namespace
}  // namespace kv37
