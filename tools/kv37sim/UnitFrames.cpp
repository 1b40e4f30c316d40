#include "UnitFrames.h"

namespace kv37::sim {
namespace {

uint16_t ReadSum(std::span<const uint8_t> frame, std::size_t at) {
  return static_cast<uint16_t>(frame[at] << 8 | frame[at + 1]);
}

// STX first, ETX last, and the sum of everything before the sum field in the
// two bytes ahead of the ETX.
template <std::size_t N>
void SealFrame(std::array<uint8_t, N>& frame) {
  constexpr std::size_t sumAt = N - 3;
  frame[0] = kStx;
  frame[N - 1] = kEtx;
  const uint16_t sum = FrameSum(std::span<const uint8_t>(frame).first(sumAt));
  frame[sumAt] = static_cast<uint8_t>(sum >> 8);
  frame[sumAt + 1] = static_cast<uint8_t>(sum & 0xFF);
}

}  // namespace

uint16_t FrameSum(std::span<const uint8_t> bytes) {
  unsigned sum = 0;
  for (const uint8_t b : bytes) sum += b;
  return static_cast<uint16_t>(sum & 0xFFFF);
}

PageRequest BuildPageRequest(uint16_t page) {
  PageRequest request{};
  request[kCommandAt] = kCmdPage;
  request[kPayloadAt] = static_cast<uint8_t>(page >> 8);
  request[kPayloadAt + 1] = static_cast<uint8_t>(page & 0xFF);
  SealFrame(request);
  return request;
}

PageRequest BuildBadChecksumRequest(uint16_t page) {
  PageRequest request = BuildPageRequest(page);
  const uint16_t wrong = static_cast<uint16_t>(ReadSum(request, kRequestSumAt) + 1);
  request[kRequestSumAt] = static_cast<uint8_t>(wrong >> 8);
  request[kRequestSumAt + 1] = static_cast<uint8_t>(wrong & 0xFF);
  return request;
}

PageRequest BuildBadDelimiterRequest(uint16_t page) {
  PageRequest request = BuildPageRequest(page);
  request.back() = 0x00;
  return request;
}

CompletionFrame BuildCompletion(uint8_t result) {
  CompletionFrame frame{};
  frame[kCommandAt] = kCmdCompletion;
  frame[kPayloadAt] = result;
  SealFrame(frame);
  return frame;
}

const char* ToString(ReplyCheck check) {
  switch (check) {
    case ReplyCheck::Intact:
      return "intact";
    case ReplyCheck::Short:
      return "short";
    case ReplyCheck::Overlong:
      return "overlong";
    case ReplyCheck::BadDelimiter:
      return "bad delimiter";
    case ReplyCheck::BadCommand:
      return "bad command byte";
    case ReplyCheck::BadChecksum:
      return "bad checksum";
  }
  return "?";
}

ReplyCheck CheckPageReply(std::span<const uint8_t> reply) {
  if (reply.size() < kPageReplyLength) return ReplyCheck::Short;
  if (reply.size() > kPageReplyLength) return ReplyCheck::Overlong;
  if (reply[0] != kStx || reply[kReplyEtxAt] != kEtx) return ReplyCheck::BadDelimiter;
  if (reply[kCommandAt] != kCmdPage) return ReplyCheck::BadCommand;
  if (FrameSum(reply.first(kReplySumAt)) != ReadSum(reply, kReplySumAt))
    return ReplyCheck::BadChecksum;
  return ReplyCheck::Intact;
}

}  // namespace kv37::sim
