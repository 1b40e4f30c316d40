#include "UnitFrames.h"

namespace kv37::sim {
namespace {

template <std::size_t N>
void SealFrame(std::array<uint8_t, N>& frame) {
  frame[0] = kStx;
  frame[N - 1] = kEtx;
  const uint16_t sum = *FrameCheckSum(frame.data(), static_cast<int32_t>(N));
  frame[N - 3] = static_cast<uint8_t>(sum >> 8);
  frame[N - 2] = static_cast<uint8_t>(sum & 0xFF);
}

}  // namespace

PageRequest BuildPageRequest(uint16_t page) {
  PageRequest request{};
  request[1] = kCmdPage;
  request[2] = static_cast<uint8_t>(page >> 8);
  request[3] = static_cast<uint8_t>(page & 0xFF);
  SealFrame(request);
  return request;
}

PageRequest BuildBadChecksumRequest(uint16_t page) {
  PageRequest request = BuildPageRequest(page);
  const uint16_t wrong = static_cast<uint16_t>((request[4] << 8 | request[5]) + 1);
  request[4] = static_cast<uint8_t>(wrong >> 8);
  request[5] = static_cast<uint8_t>(wrong & 0xFF);
  return request;
}

PageRequest BuildBadDelimiterRequest(uint16_t page) {
  PageRequest request = BuildPageRequest(page);
  request.back() = 0x00;
  return request;
}

CompletionFrame BuildCompletion(uint8_t result) {
  CompletionFrame frame{};
  frame[1] = kCmdCompletion;
  frame[2] = result;
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
  const auto sum = FrameCheckSum(reply.data(), static_cast<int32_t>(reply.size()));
  if (!sum) return ReplyCheck::BadDelimiter;
  if (reply[1] != kCmdPage) return ReplyCheck::BadCommand;
  if (*sum != (reply[258] << 8 | reply[259])) return ReplyCheck::BadChecksum;
  return ReplyCheck::Intact;
}

}  // namespace kv37::sim
