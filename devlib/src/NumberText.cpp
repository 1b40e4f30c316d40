#include "fautil/NumberText.h"

#include <algorithm>
#include <bit>
#include <cinttypes>
#include <cstdio>

namespace fautil {
namespace {

constexpr char kHexDigits[] = "0123456789ABCDEF";

// Either case; -1 for anything that is not a hex digit.
int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// Cells of a 16-cell group that lie inside the point table.
unsigned CellsInTable(uint16_t firstIndex) {
  if (firstIndex >= kPointCellCount) return 0;
  return std::min<unsigned>(16, kPointCellCount - firstIndex);
}

uint16_t PackCells(const uint16_t* cells, uint16_t firstIndex, uint16_t mask) {
  if (cells == nullptr) return 0;
  uint16_t result = 0;
  const unsigned n = CellsInTable(firstIndex);
  for (unsigned i = 0; i < n; ++i) {
    if (cells[i] & mask) result = static_cast<uint16_t>(result | (1u << i));
  }
  return result;
}

// `keep` clears the whole nibble, so the writer leaves only the flag bit set.
void UnpackCells(uint16_t* cells, uint16_t value, uint16_t firstIndex, uint16_t keep,
                 unsigned shift) {
  if (cells == nullptr) return;
  const unsigned n = CellsInTable(firstIndex);
  for (unsigned i = 0; i < n; ++i) {
    const unsigned bit = (value >> i) & 1u;
    cells[i] = static_cast<uint16_t>((cells[i] & keep) | (bit << shift));
  }
}

// Writes `bits` binary digits of `value`, most significant first, then 'B'.
void WriteBinary(char* buffer, uint32_t value, int bits) {
  for (int i = 0; i < bits; ++i) buffer[i] = ((value >> (bits - 1 - i)) & 1u) ? '1' : '0';
  buffer[bits] = 'B';
  buffer[bits + 1] = '\0';
}

// The bytes of `value` from most to least significant, in quotes.
void WriteQuoted(char* buffer, uint32_t value, int bytes) {
  char* out = buffer;
  *out++ = '\'';
  for (int k = bytes - 1; k >= 0; --k) {
    const auto byte = static_cast<unsigned char>(value >> (8 * k));
    if (byte == '\'') {
      *out++ = '\'';
      *out++ = '\'';
    } else {
      *out++ = (byte >= 0x20 && byte <= 0x7E) ? static_cast<char>(byte) : ' ';
    }
  }
  *out++ = '\'';
  *out = '\0';
}

}  // namespace

uint8_t StrToChar(char c) {
  if (c >= '0' && c <= '9') return static_cast<uint8_t>(c - '0');
  if (c >= 'A' && c <= 'F') return static_cast<uint8_t>(c - 'A' + 10);
  return 0;
}

uint8_t StrToByte(const char* text) {
  if (text == nullptr) return 0;
  return static_cast<uint8_t>(StrToChar(text[0]) * 16 + StrToChar(text[1]));
}

uint16_t StrToWord(const char* text) {
  if (text == nullptr) return 0;
  return static_cast<uint16_t>((StrToByte(text) << 8) | StrToByte(text + 2));
}

uint32_t StrToDWord(const char* text) {
  if (text == nullptr) return 0;
  return (uint32_t{StrToWord(text)} << 16) | StrToWord(text + 4);
}

bool StrToHex(const char* text, uint8_t& value) {
  value = 0;
  if (text == nullptr) return false;
  std::size_t length = 0;
  while (length < 3 && text[length] != '\0') ++length;
  if (length == 0 || length > 2) return false;
  for (std::size_t i = 0; i < length; ++i) {
    const int digit = HexValue(text[i]);
    if (digit < 0) return false;
    value = static_cast<uint8_t>(value * 16 + digit);
  }
  return true;
}

void StrToBMem(const char* text, uint8_t* mem, uint16_t count) {
  if (text == nullptr || mem == nullptr) return;
  for (unsigned i = 0; i < count; ++i) mem[i] = StrToByte(text + 2 * i);
}

void StrToWMem(const char* text, uint16_t* mem, uint16_t count) {
  if (text == nullptr || mem == nullptr) return;
  for (unsigned i = 0; i < count; ++i) mem[i] = StrToWord(text + 4 * i);
}

void ByteToStr(char* buffer, uint8_t value) {
  if (buffer == nullptr) return;
  buffer[0] = kHexDigits[value >> 4];
  buffer[1] = kHexDigits[value & 0x0F];
}

void WordToStr(char* buffer, uint16_t value) {
  if (buffer == nullptr) return;
  ByteToStr(buffer, static_cast<uint8_t>(value >> 8));
  ByteToStr(buffer + 2, static_cast<uint8_t>(value));
}

void BMemToStr(char* buffer, const uint8_t* mem, uint16_t count) {
  if (buffer == nullptr || mem == nullptr) return;
  for (unsigned i = 0; i < count; ++i) ByteToStr(buffer + 2 * i, mem[i]);
  buffer[2 * count] = '\0';
}

void WMemToStr(char* buffer, const uint16_t* mem, uint16_t count) {
  if (buffer == nullptr || mem == nullptr) return;
  for (unsigned i = 0; i < count; ++i) WordToStr(buffer + 4 * i, mem[i]);
  buffer[4 * count] = '\0';
}

uint16_t RegBinToWord(const uint16_t* cells, uint16_t firstIndex) {
  return PackCells(cells, firstIndex, 0x0001);
}

uint16_t RegDisToWord(const uint16_t* cells, uint16_t firstIndex) {
  return PackCells(cells, firstIndex, 0x0010);
}

uint32_t RegBinToDWord(const uint16_t* cells) {
  if (cells == nullptr) return 0;
  uint32_t result = 0;
  for (unsigned i = 0; i < 32; ++i) result |= uint32_t{cells[i] & 1u} << i;
  return result;
}

void WordToRegBin(uint16_t* cells, uint16_t value, uint16_t firstIndex) {
  UnpackCells(cells, value, firstIndex, 0xFFF0, 0);
}

void WordToRegDis(uint16_t* cells, uint16_t value, uint16_t firstIndex) {
  UnpackCells(cells, value, firstIndex, 0xFF0F, 4);
}

void WordToFmtStr(char* buffer, uint16_t value, uint16_t format) {
  if (buffer == nullptr) return;
  switch (format) {
    case kFmtSigned:
      std::snprintf(buffer, kWordFmtRoom, "%d", static_cast<int16_t>(value));
      break;
    case kFmtBinary:
      WriteBinary(buffer, value, 16);
      break;
    case kFmtHex:
      std::snprintf(buffer, kWordFmtRoom, "%04XH", unsigned{value});
      break;
    case kFmtChars:
      WriteQuoted(buffer, value, 2);
      break;
    case kFmtUnsigned:
      std::snprintf(buffer, kWordFmtRoom, "%u", unsigned{value});
      break;
    default:
      buffer[0] = '\0';
      break;
  }
}

void DWordToFmtStr(char* buffer, uint32_t value, uint16_t format) {
  if (buffer == nullptr) return;
  switch (format) {
    case kFmtSigned:
      std::snprintf(buffer, kDWordFmtRoom, "%" PRId32, static_cast<int32_t>(value));
      break;
    case kFmtBinary:
      WriteBinary(buffer, value, 32);
      break;
    case kFmtHex:
      std::snprintf(buffer, kDWordFmtRoom, "%08" PRIX32 "H", value);
      break;
    case kFmtChars:
      WriteQuoted(buffer, value, 4);
      break;
    case kFmtUnsigned:
      std::snprintf(buffer, kDWordFmtRoom, "%" PRIu32, value);
      break;
    case kFmtFloat: {
      // Infinities and NaNs share the all-ones exponent; a NaN is shown as
      // the infinity of its sign.
      uint32_t bits = value;
      if ((bits & 0x7F800000u) == 0x7F800000u) bits = (bits & 0x80000000u) | 0x7F800000u;
      std::snprintf(buffer, kDWordFmtRoom, "%.8G", double{std::bit_cast<float>(bits)});
      break;
    }
    default:
      buffer[0] = '\0';
      break;
  }
}

}  // namespace fautil
