#include "UnitFrames.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <vector>

#include "MemoryStream.h"
#include "UpdateFrames.h"

namespace kv37::sim {
namespace {

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;

struct RequestCase {
  uint16_t page;
  std::vector<uint8_t> bytes;
};

TEST(UnitFrames, PageRequestsCarryPageAndChecksumBigEndian) {
  const RequestCase cases[] = {
      {0x000, {0x02, 0xAA, 0x00, 0x00, 0x00, 0xAC, 0x03}},
      {0x001, {0x02, 0xAA, 0x00, 0x01, 0x00, 0xAD, 0x03}},
      {0x01F, {0x02, 0xAA, 0x00, 0x1F, 0x00, 0xCB, 0x03}},
      {0x1FF, {0x02, 0xAA, 0x01, 0xFF, 0x01, 0xAC, 0x03}},
      {0xFFFF, {0x02, 0xAA, 0xFF, 0xFF, 0x02, 0xAA, 0x03}},
  };
  for (const auto& c : cases)
    EXPECT_THAT(BuildPageRequest(c.page), ElementsAreArray(c.bytes)) << "page " << c.page;
}

// The utility's own classifier is the judge of what the unit sends.
TEST(UnitFrames, UtilityClassifiesEachRequestKindAsIntended) {
  const struct {
    const char* name;
    PageRequest request;
    ChunkKind kind;
  } cases[] = {
      {"valid", BuildPageRequest(300), ChunkKind::PageRequest},
      {"bad checksum", BuildBadChecksumRequest(300), ChunkKind::ChecksumFault},
      {"bad checksum, low byte FF", BuildBadChecksumRequest(0x53), ChunkKind::ChecksumFault},
      {"bad delimiter", BuildBadDelimiterRequest(300), ChunkKind::DelimiterFault},
  };
  for (const auto& c : cases) {
    const ChunkClass got = ClassifyChunk(c.request.data(), c.request.size());
    EXPECT_EQ(got.kind, c.kind) << c.name;
    if (c.kind == ChunkKind::PageRequest) {
      EXPECT_EQ(got.page, 300) << c.name;
    }
  }
  EXPECT_EQ(ClassifyChunk(kNoiseChunk.data(), kNoiseChunk.size()).kind, ChunkKind::NotAFrame);
  // The first piece of a split request is what ends the utility.
  const PageRequest whole = BuildPageRequest(0);
  EXPECT_EQ(ClassifyChunk(whole.data(), kSplitAt).kind, ChunkKind::DelimiterFault);
}

TEST(UnitFrames, CompletionFramesFollowTheGeneralLayout) {
  EXPECT_THAT(BuildCompletion(kResultSuccess), ElementsAre(0x02, 0x66, 0x31, 0x00, 0x99, 0x03));
  EXPECT_THAT(BuildCompletion(kResultFailure), ElementsAre(0x02, 0x66, 0x30, 0x00, 0x98, 0x03));
  const auto ok = BuildCompletion(kResultSuccess);
  EXPECT_EQ(ClassifyChunk(ok.data(), ok.size()).kind, ChunkKind::CompletionSuccess);
  const auto fail = BuildCompletion(kResultFailure);
  EXPECT_EQ(ClassifyChunk(fail.data(), fail.size()).kind, ChunkKind::CompletionFailure);
}

TEST(UnitFrames, ReplyCheckNamesTheFirstFault) {
  MemoryStream image;
  const uint8_t byte = 0x5A;
  for (int i = 0; i < 600; ++i) image.Write(&byte, 1);
  PageReply good;
  BuildPageReply(image, 1, good);
  const std::vector<uint8_t> intact(good.begin(), good.end());

  auto changed = [&](std::size_t at, uint8_t value) {
    auto bytes = intact;
    bytes[at] = value;
    return bytes;
  };
  auto longer = intact;
  longer.push_back(0x03);
  const struct {
    const char* name;
    std::vector<uint8_t> reply;
    ReplyCheck check;
  } cases[] = {
      {"intact", intact, ReplyCheck::Intact},
      {"one byte short", std::vector<uint8_t>(intact.begin(), intact.end() - 1), ReplyCheck::Short},
      {"empty", {}, ReplyCheck::Short},
      {"one byte over", longer, ReplyCheck::Overlong},
      {"no STX", changed(0, 0x01), ReplyCheck::BadDelimiter},
      {"no ETX", changed(260, 0x00), ReplyCheck::BadDelimiter},
      {"wrong command", changed(1, 0x55), ReplyCheck::BadCommand},
      {"data changed", changed(100, 0x00), ReplyCheck::BadChecksum},
      {"checksum low byte changed", changed(259, static_cast<uint8_t>(intact[259] + 1)),
       ReplyCheck::BadChecksum},
  };
  for (const auto& c : cases) EXPECT_EQ(CheckPageReply(c.reply), c.check) << c.name;
}

TEST(UnitFrames, UnitOracleCatchesAUtilityReplyWithAWrongSum) {
  // The unit's check shares no code with the utility's frames, so a sum the
  // utility got wrong must fail it, wherever in the field the error sits.
  MemoryStream image;
  for (int i = 0; i < 0x800; ++i) {
    const uint8_t byte = static_cast<uint8_t>(i * 7 + 3);
    image.Write(&byte, 1);
  }
  for (const uint16_t page : {uint16_t{0}, uint16_t{5}, uint16_t{7}, uint16_t{0x1FF}}) {
    PageReply reply;
    BuildPageReply(image, page, reply);
    EXPECT_EQ(CheckPageReply(reply), ReplyCheck::Intact) << page;
    for (const std::size_t at : {kReplySumAt, kReplySumAt + 1}) {
      PageReply wrong = reply;
      wrong[at] ^= 0x01;
      EXPECT_EQ(CheckPageReply(wrong), ReplyCheck::BadChecksum) << page << " byte " << at;
    }
  }
}

}  // namespace
}  // namespace kv37::sim
