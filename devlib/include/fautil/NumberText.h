#pragma once
// Number and byte-string text: hexadecimal text to numbers and back, formatted
// number text, and packing of 16 or 32 single-bit point cells into one word.
//
// Common rules for every routine here:
// - Hexadecimal text uses 0-9 and upper-case A-F, most significant digit and
//   byte first, whatever the host's byte order.
// - Texts and buffers belong to the caller. Sizes are in characters (bytes);
//   no routine checks them, so the caller provides the room stated for each.
//   A null pointer makes a call do nothing (parsers then return 0).
// - Nothing is allocated, nothing is thrown, nothing is printed, no state is
//   kept: every routine may run on any thread on distinct buffers.
// - Only StrToHex reports errors. The other parsers read every character that
//   is not 0-9 or A-F (lower-case letters included) as the digit 0.
//
// Point table: 16-bit cells, one per single-bit point, indices 0 to
// kPointCellCount - 1. Bit 0 of a cell (the "Bin" nibble, bits 0-3) holds the
// point's value, bit 4 (the "Dis" nibble, bits 4-7) a second per-point flag;
// bits 8-15 are never touched. Routines that take a first-index never go past
// the last cell of the table.

#include <cstdint>

#include "fautil/Types.h"

namespace fautil {

// Number of cells of the point table.
inline constexpr uint16_t kPointCellCount = 4066;

// Selectors of WordToFmtStr and DWordToFmtStr. Any other value yields "".
enum FmtSelector : uint16_t {
  kFmtSigned = 0,    // "-1"
  kFmtBinary = 1,    // "1111111111111111B", most significant bit first
  kFmtHex = 2,       // "FFFFH" / "FFFFFFFFH"
  kFmtChars = 3,     // "'AB'": printable bytes, '' for an apostrophe, space else
  kFmtUnsigned = 4,  // "65535"
  kFmtFloat = 5,     // double word only: IEEE-754 single, "%.8G"; NaN shows as infinity
};

// Room WordToFmtStr and DWordToFmtStr need in the caller's buffer, terminator
// included (the binary form is the longest).
inline constexpr int kWordFmtRoom = 18;
inline constexpr int kDWordFmtRoom = 34;

// Value of one hex digit: '0'-'9' give 0-9, 'A'-'F' give 10-15, anything else 0.
FAUTIL_API uint8_t StrToChar(char c);

// Reads exactly 2, 4 or 8 characters at `text` (no terminator needed).
FAUTIL_API uint8_t StrToByte(const char* text);
FAUTIL_API uint16_t StrToWord(const char* text);
FAUTIL_API uint32_t StrToDWord(const char* text);

// Validating parse of 1 or 2 hex digits of either case. Sets `value` to 0
// first; fails for a null or empty text, a text longer than 2 characters, or a
// character that is not a hex digit (then `value` holds the digits before it).
FAUTIL_API bool StrToHex(const char* text, uint8_t& value);

// Reads `count` bytes (2 characters each) or words (4 characters each) from
// `text` into `mem`. Nothing is validated; the text must hold them all.
FAUTIL_API void StrToBMem(const char* text, uint8_t* mem, uint16_t count);
FAUTIL_API void StrToWMem(const char* text, uint16_t* mem, uint16_t count);

// Write 2 or 4 hex digits at `buffer`, without a terminator.
FAUTIL_API void ByteToStr(char* buffer, uint8_t value);
FAUTIL_API void WordToStr(char* buffer, uint16_t value);

// Write `count` bytes (2 digits each) or words (4 digits each) and a
// terminator: the buffer needs 2 * count + 1 or 4 * count + 1 characters. A
// count of 0 writes the empty string.
FAUTIL_API void BMemToStr(char* buffer, const uint8_t* mem, uint16_t count);
FAUTIL_API void WMemToStr(char* buffer, const uint16_t* mem, uint16_t count);

// Pack bit 0 (Bin) or bit 4 (Dis) of up to 16 cells starting at `cells` into
// bits 0-15 of the result. `firstIndex` is the index of `cells[0]` in the
// table; cells past the table's end are not read and give 0 bits.
FAUTIL_API uint16_t RegBinToWord(const uint16_t* cells, uint16_t firstIndex);
FAUTIL_API uint16_t RegDisToWord(const uint16_t* cells, uint16_t firstIndex);

// Packs bit 0 of exactly 32 cells; there is no table bound, so the caller
// guarantees all 32.
FAUTIL_API uint32_t RegBinToDWord(const uint16_t* cells);

// Unpack bits 0-15 of `value` into bit 0 (Bin, clearing bits 1-3) or bit 4
// (Dis, clearing bits 5-7) of up to 16 cells. Cells past the table's end, and
// bits 8-15 of every cell, keep their contents.
FAUTIL_API void WordToRegBin(uint16_t* cells, uint16_t value, uint16_t firstIndex);
FAUTIL_API void WordToRegDis(uint16_t* cells, uint16_t value, uint16_t firstIndex);

// Write `value` in the form `format` selects (see FmtSelector) as a
// zero-terminated text. The buffer needs kWordFmtRoom or kDWordFmtRoom
// characters. An unknown selector (and kFmtFloat for a word) writes "".
FAUTIL_API void WordToFmtStr(char* buffer, uint16_t value, uint16_t format);
FAUTIL_API void DWordToFmtStr(char* buffer, uint32_t value, uint16_t format);

}  // namespace fautil
