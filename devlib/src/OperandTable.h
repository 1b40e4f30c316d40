#pragma once
// Operand type codes and small text helpers shared by the operand sources.

#include <charconv>
#include <cstdint>

namespace fautil::op {

inline constexpr uint8_t kConst = 0x00;
inline constexpr uint8_t kReal = 0x02;
inline constexpr uint8_t kX = 0x20;
inline constexpr uint8_t kY = 0x21;
inline constexpr uint8_t kTR = 0x22;
inline constexpr uint8_t kM = 0x23;
inline constexpr uint8_t kMHigh = 0x24;
inline constexpr uint8_t kS = 0x25;
inline constexpr uint8_t kTBit = 0x26;
inline constexpr uint8_t kCBit = 0x27;
inline constexpr uint8_t kSO = 0x28;
inline constexpr uint8_t kFO = 0x29;
inline constexpr uint8_t kNone = 0x2A;
inline constexpr uint8_t kWX = 0x30;
inline constexpr uint8_t kWY = 0x31;
inline constexpr uint8_t kWM = 0x32;
inline constexpr uint8_t kWS = 0x33;
inline constexpr uint8_t kT = 0x40;
inline constexpr uint8_t kC = 0x41;
inline constexpr uint8_t kR = 0x42;  // R0-R3839
inline constexpr uint8_t kR3840 = 0x43;
inline constexpr uint8_t kR3904 = 0x44;
inline constexpr uint8_t kR3968 = 0x45;  // holds V and Z
inline constexpr uint8_t kR5000 = 0x46;
inline constexpr uint8_t kD = 0x47;
inline constexpr uint8_t kF = 0x48;
inline constexpr uint8_t kRV = 0x4E;
inline constexpr uint8_t kRZ = 0x4F;
inline constexpr uint8_t kDWX = 0x60;
inline constexpr uint8_t kDWY = 0x61;
inline constexpr uint8_t kDWM = 0x62;
inline constexpr uint8_t kDWS = 0x63;
inline constexpr uint8_t kC32 = 0x66;
inline constexpr uint8_t kDR = 0x67;
inline constexpr uint8_t kDD = 0x68;
inline constexpr uint8_t kDF = 0x69;

inline constexpr uint32_t kAddrV = 4164;
inline constexpr uint32_t kAddrZ = 4165;
inline constexpr uint32_t kAddrP0 = 4080;  // P0-P9 are D4080-D4089

constexpr bool IsRCode(uint8_t type) {
  return type >= kR && type <= kR5000;
}
constexpr bool IsGroup16(uint8_t type) {
  return type >= kWX && type <= kWS;
}
constexpr bool IsGroup32(uint8_t type) {
  return type >= kDWX && type <= kDWS;
}

constexpr char Upper(char c) {
  return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}
constexpr bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

// Index of X, Y, M, S within a W or DW group code run, or -1.
constexpr int GroupIndex(char c) {
  switch (Upper(c)) {
    case 'X':
      return 0;
    case 'Y':
      return 1;
    case 'M':
      return 2;
    case 'S':
      return 3;
    default:
      return -1;
  }
}

// Copies a zero-terminated literal to `p`; returns the end (not terminated).
inline char* Put(char* p, const char* s) {
  while (*s != '\0') *p++ = *s++;
  return p;
}

// Writes `value` as a signed 32-bit decimal number (at most 11 characters);
// returns the end (not terminated).
inline char* PutInt(char* p, uint32_t value) {
  return std::to_chars(p, p + 11, static_cast<int32_t>(value)).ptr;
}

}  // namespace fautil::op
