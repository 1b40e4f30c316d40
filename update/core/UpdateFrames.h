#pragma once
// The frames of the update link: start command, page request, page reply and
// completion frame. Multi-byte numbers on the link are big-endian.

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "MemoryStream.h"
#include "OsImage.h"

namespace kv37 {

inline constexpr uint8_t kStx = 0x02;
inline constexpr uint8_t kEtx = 0x03;
inline constexpr uint8_t kCmdStart = 0x55;
inline constexpr uint8_t kCmdPage = 0xAA;
inline constexpr uint8_t kCmdCompletion = 0x66;
inline constexpr uint8_t kResultFailure = '0';
inline constexpr uint8_t kResultSuccess = '1';

// A fixed constant of the utility, not computed at run time.
inline constexpr std::array<uint8_t, 5> kStartCommand{kStx, kCmdStart, 0x00, 0x57, kEtx};

inline constexpr std::size_t kPageRequestLength = 7;
inline constexpr std::size_t kPageReplyLength = 261;
// Every chunk is copied here before it is examined; a longer chunk cannot be
// a frame of this link.
inline constexpr std::size_t kReceiveAreaSize = 64;

using PageReply = std::array<uint8_t, kPageReplyLength>;

// Checks the delimiters (byte 0 is STX, the last byte is ETX) and returns the
// 16-bit sum of bytes 0 .. length-4 (nothing is summed below length 4).
// nullopt means a delimiter fault, which the caller reports as "Data Error".
std::optional<uint16_t> FrameCheckSum(const uint8_t* frame, int32_t length);

enum class ChunkKind {
  NotAFrame,           // ignored: neither completion nor page request
  CompletionFailure,   // 'f' '0'
  CompletionSuccess,   // 'f' '1'
  CompletionNoResult,  // 'f' with any other (or no) result byte
  PageRequest,         // valid; `page` holds the page number
  DelimiterFault,      // "Data Error"
  ChecksumFault,       // "CheckSume Error!!"
};

struct ChunkClass {
  ChunkKind kind = ChunkKind::NotAFrame;
  uint16_t page = 0;
};

// Classifies one received chunk as exactly one frame. The received checksum
// is read from bytes 4 and 5 whatever the length, while the computed sum
// covers bytes 0 .. length-4, so an 8-byte request can still pass.
// Never reads outside `length` bytes.
ChunkClass ClassifyChunk(const uint8_t* chunk, std::size_t length);

// Builds the 261-byte reply for `page`; bytes beyond the image are kPadByte.
void BuildPageReply(const MemoryStream& image, uint16_t page, PageReply& reply);

}  // namespace kv37
