#pragma once
// The frames as the unit sees them: the page requests and completion frames
// it sends (including deliberately faulty ones) and the check of a reply.

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

#include "UpdateFrames.h"

namespace kv37::sim {

using PageRequest = std::array<uint8_t, kPageRequestLength>;

// 02 AA page(hi lo) sum(hi lo) 03; page 0 is 02 AA 00 00 00 AC 03.
PageRequest BuildPageRequest(uint16_t page);
// The same request with the checksum off by one.
PageRequest BuildBadChecksumRequest(uint16_t page);
// The same request with 0x00 where the ETX belongs (checksum still right).
PageRequest BuildBadDelimiterRequest(uint16_t page);
// A split request goes out as bytes [0, kSplitAt) and then the rest, as the
// utility would see "02 AA 00" followed by "00 AC 03" for page 0.
inline constexpr std::size_t kSplitAt = 3;

inline constexpr std::size_t kCompletionLength = 6;
using CompletionFrame = std::array<uint8_t, kCompletionLength>;
// 02 66 result sum(hi lo) 03, with `result` kResultSuccess or kResultFailure.
CompletionFrame BuildCompletion(uint8_t result);

// A chunk that is neither a page request nor a completion frame (byte 1 is
// neither 0xAA nor 0x66), so the utility must ignore it.
inline constexpr std::array<uint8_t, 5> kNoiseChunk{0x00, 0x3C, 0xC3, 0x7E, 0x81};

enum class ReplyCheck {
  Intact,
  Short,         // fewer than 261 bytes
  Overlong,      // more than 261 bytes in one reply
  BadDelimiter,  // byte 0 not STX or byte 260 not ETX
  BadCommand,    // byte 1 not 0xAA
  BadChecksum,   // bytes 258..259 differ from the sum of bytes 0..257
};

const char* ToString(ReplyCheck check);

// Checks one received reply; the page data are bytes 2..257 when Intact.
ReplyCheck CheckPageReply(std::span<const uint8_t> reply);

}  // namespace kv37::sim
