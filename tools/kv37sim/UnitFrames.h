#pragma once
// The frames as the unit sees them: the page requests and completion frames
// it sends (including deliberately faulty ones) and the check of a reply.
// Written from the frame rules on its own, without the utility's frame code,
// so that a checksum or layout fault there cannot pass the unit's check.

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

namespace kv37::sim {

inline constexpr uint8_t kStx = 0x02;
inline constexpr uint8_t kEtx = 0x03;
inline constexpr uint8_t kCmdStart = 0x55;
inline constexpr uint8_t kCmdPage = 0xAA;
inline constexpr uint8_t kCmdCompletion = 0x66;
inline constexpr uint8_t kResultFailure = '0';
inline constexpr uint8_t kResultSuccess = '1';
inline constexpr uint8_t kPadByte = 0xFF;  // flash the utility never wrote
inline constexpr std::size_t kPageSize = 256;

// Every frame: STX, command, payload, 16-bit sum (high byte first) of all
// bytes before it, ETX.
inline constexpr std::size_t kCommandAt = 1;
inline constexpr std::size_t kPayloadAt = 2;

// What the unit waits for: 02 55 sum(00 57) 03.
inline constexpr std::array<uint8_t, 5> kStartCommand{kStx, kCmdStart, 0x00, kStx + kCmdStart,
                                                      kEtx};

// The page request: 02 AA page(hi lo) sum(hi lo) 03.
inline constexpr std::size_t kPageRequestLength = 7;
inline constexpr std::size_t kRequestSumAt = 4;

// The page reply: 02 AA data[256] sum(hi lo) 03.
inline constexpr std::size_t kPageReplyLength = 261;
inline constexpr std::size_t kReplyDataAt = kPayloadAt;
inline constexpr std::size_t kReplySumAt = kReplyDataAt + kPageSize;  // 258
inline constexpr std::size_t kReplyEtxAt = kReplySumAt + 2;           // 260

// The 16-bit sum of `bytes`, carries out of bit 15 dropped.
uint16_t FrameSum(std::span<const uint8_t> bytes);

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
  BadChecksum,   // the sum field differs from the sum of the bytes before it
};

const char* ToString(ReplyCheck check);

// Checks one received reply; the page data are kPageSize bytes from
// kReplyDataAt when Intact.
ReplyCheck CheckPageReply(std::span<const uint8_t> reply);

}  // namespace kv37::sim
