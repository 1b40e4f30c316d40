#include "UpdateFrames.h"

#include <numeric>

namespace kv37 {

std::optional<uint16_t> FrameCheckSum(const uint8_t* frame, int32_t length) {
  if (length < 1 || frame[0] != kStx || frame[length - 1] != kEtx) return std::nullopt;
  const int32_t summed = length >= 4 ? length - 3 : 0;
  return static_cast<uint16_t>(std::accumulate(frame, frame + summed, 0u));
}

ChunkClass ClassifyChunk(const uint8_t* chunk, std::size_t length) {
  if (length < 2 || length > kReceiveAreaSize) return {};

  if (chunk[1] == kCmdCompletion) {
    if (length < 3) return {ChunkKind::CompletionNoResult};
    switch (chunk[2]) {
      case kResultFailure:
        return {ChunkKind::CompletionFailure};
      case kResultSuccess:
        return {ChunkKind::CompletionSuccess};
      default:
        return {ChunkKind::CompletionNoResult};
    }
  }
  if (chunk[1] != kCmdPage) return {};

  const auto computed = FrameCheckSum(chunk, static_cast<int32_t>(length));
  if (!computed) return {ChunkKind::DelimiterFault};
  // Delimiters pass but there is no room for the checksum field.
  if (length < 6) return {};
  const uint16_t received = static_cast<uint16_t>(chunk[4] << 8 | chunk[5]);
  if (*computed != received) return {ChunkKind::ChecksumFault};
  return {ChunkKind::PageRequest, static_cast<uint16_t>(chunk[2] << 8 | chunk[3])};
}

void BuildPageReply(const MemoryStream& image, uint16_t page, PageReply& reply) {
  reply[0] = kStx;
  reply[1] = kCmdPage;
  uint8_t data[kPageSize];
  CopyPage(image, page, data);
  std::copy(std::begin(data), std::end(data), reply.begin() + 2);
  reply[kPageReplyLength - 1] = kEtx;
  const uint16_t sum = *FrameCheckSum(reply.data(), kPageReplyLength);
  reply[258] = static_cast<uint8_t>(sum >> 8);
  reply[259] = static_cast<uint8_t>(sum & 0xFF);
}

}  // namespace kv37
