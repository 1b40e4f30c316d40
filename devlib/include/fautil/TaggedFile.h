#pragma once
// The tagged data file: a 256-byte file tag, node records (node word, length,
// data) and an end record. Every number in the file is little-endian on every
// host. Writing goes through a caller's std::ostream; reading the file is the
// caller's job, into the records below.
//
// None of these routines allocates, prints or keeps state; all are thread-safe
// on distinct arguments. Exceptions enabled on the caller's stream pass
// through unchanged; nothing else throws.

#include <cstddef>
#include <iosfwd>
#include <type_traits>

#include "fautil/Types.h"

namespace fautil {

inline constexpr uint16_t kFileFormatVersion = 11121;  // 0x2B71, the only accepted version
inline constexpr uint16_t kFileTagSize = 256;
inline constexpr uint32_t kFileTagSignature = 0x80010000;
inline constexpr char kFileTagBanner[] = "Tarno Assistant File Format 1";
inline constexpr char kFileTagMaker[] = "Koval";
inline constexpr char kFileTagMagic[] = "ZOMV1";

inline constexpr uint32_t kNodeCrcFlag = 0x80000000;  // node word bit 31: data ends in a CRC-16
inline constexpr uint32_t kEndNodeWord = 0x00FFFFFF;  // node word of the end record
inline constexpr std::size_t kNodeHeaderSize = 8;     // node word + length

// An unsigned number held as little-endian bytes, so that a record copied
// straight from or to the file means the same on any host. Alignment 1.
template <typename T>
class LittleEndian {
 public:
  constexpr LittleEndian() = default;
  constexpr LittleEndian(T value) { *this = value; }  // NOLINT: implicit by design
  constexpr LittleEndian& operator=(T value) {
    for (std::size_t i = 0; i < sizeof(T); ++i) bytes_[i] = static_cast<uint8_t>(value >> (8 * i));
    return *this;
  }
  constexpr operator T() const {  // NOLINT: implicit by design
    T value = 0;
    for (std::size_t i = 0; i < sizeof(T); ++i) value |= static_cast<T>(T{bytes_[i]} << (8 * i));
    return value;
  }

 private:
  uint8_t bytes_[sizeof(T)] = {};
};

// The file tag, byte for byte as on disk. Text fields are zero-padded and
// need not be terminated when full.
struct TFileTag2 {
  char Banner[128];                  // kFileTagBanner
  char Maker[16];                    // kFileTagMaker
  char Magic[16];                    // kFileTagMagic
  LittleEndian<uint16_t> Version;    // kFileFormatVersion
  LittleEndian<uint16_t> Size;       // kFileTagSize
  LittleEndian<uint32_t> Signature;  // kFileTagSignature
  uint8_t Reserved[40];              // zero
  uint8_t Filler[48];                // 0xFF
};
static_assert(sizeof(TFileTag2) == kFileTagSize, "the file tag is 256 bytes on disk");
static_assert(std::is_trivially_copyable_v<TFileTag2> && std::is_standard_layout_v<TFileTag2>,
              "a tag is read and written as raw bytes");
static_assert(offsetof(TFileTag2, Version) == 160 && offsetof(TFileTag2, Filler) == 208);

// A node in memory. `Node` and `Length` go to the file as the 8-byte header
// (little-endian); `Data` points at `Length` bytes owned by the caller.
// Bits 0-30 of `Node` are the caller's; bit 31 is kNodeCrcFlag.
struct TFileNodeEx2 {
  uint32_t Node = 0;
  uint32_t Length = 0;
  const uint8_t* Data = nullptr;
};

// Writes the 256-byte tag for `version`. False, and nothing written, for a
// null stream or any version but kFileFormatVersion; otherwise true while the
// stream reports no failure.
FAUTIL_API bool FD2WriteFileTag(std::ostream* stream, uint16_t version);

// True when `tag` is present and its version equals `version`, `version` is
// kFileFormatVersion, the maker and magic texts match (up to 16 characters)
// and the size field is 256. Banner, signature and filler are not examined.
FAUTIL_API bool FD2CheckFileTag(const TFileTag2* tag, uint16_t version);

// Writes the node header and its `Length` data bytes. False, and nothing
// written, for a null stream or a null `Data` with a non-zero `Length`;
// otherwise true while the stream reports no failure.
FAUTIL_API bool FD2WriteNodeEx(std::ostream* stream, const TFileNodeEx2& node);

// Writes the end record FF FF FF 00 00 00 00 00. False for a null stream or
// when the stream reports a failure.
FAUTIL_API bool FD2WriteEOF(std::ostream* stream);

// A node with kNodeCrcFlag and a non-zero length is valid only when the CRC
// (initial 0xFFFF) over all its data, trailing CRC field included, is 0; a
// null `Data` then fails. Any other node is valid.
FAUTIL_API bool FD2CheckNodeEx(const TFileNodeEx2& node);

// Field packers and unpackers. `cursor` is a byte offset into the caller's
// `data`, advanced by the bytes handled; numbers are little-endian, a string
// is a 16-bit count n (characters + 1) followed by the characters and a zero.
// Bounds are the caller's: `data` must hold every field at the cursor.
// Each returns false and touches nothing (but zeroes an output) for a null
// `data`, a negative cursor or a cursor that would pass INT32_MAX.
FAUTIL_API bool FD2NodeSetByte(uint8_t* data, int32_t& cursor, uint8_t value);
FAUTIL_API bool FD2NodeSetWord(uint8_t* data, int32_t& cursor, uint16_t value);
FAUTIL_API bool FD2NodeSetDWord(uint8_t* data, int32_t& cursor, uint32_t value);
// Also false, writing nothing, for a string of more than 65534 characters,
// whose count would not fit its 16 bits.
FAUTIL_API bool FD2NodeSetAnsiString(uint8_t* data, int32_t& cursor, const std::string& value);
// Appends the CRC (initial 0xFFFF) of data[0, cursor) low byte first.
FAUTIL_API bool FD2NodeSetCRC16(uint8_t* data, int32_t& cursor);

FAUTIL_API bool FD2NodeGetByte(const uint8_t* data, int32_t& cursor, uint8_t& value);
FAUTIL_API bool FD2NodeGetWord(const uint8_t* data, int32_t& cursor, uint16_t& value);
FAUTIL_API bool FD2NodeGetDWord(const uint8_t* data, int32_t& cursor, uint32_t& value);
// Takes the text up to the first zero within the field's n bytes (so a field
// without its terminator is never read past) and advances by 2 + n.
FAUTIL_API bool FD2NodeGetAnsiString(const uint8_t* data, int32_t& cursor, std::string& value);

}  // namespace fautil
