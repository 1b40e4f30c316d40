#include "fautil/LinkString.h"

#include <cstdio>
#include <cstring>

#include "OperandTable.h"
#include "fautil/OperandText.h"

namespace fautil {

using namespace op;

namespace {

constexpr size_t kBuffer = 32;  // caller buffers hold at least this much
constexpr uint16_t kVersion4 = 0x0400;
constexpr uint16_t kVersionWithD = 0x0300;

int32_t Signed(uint32_t v) {
  return static_cast<int32_t>(v);
}

bool LinkStrVer4(char* buffer, uint8_t type, uint32_t address) {
  uint32_t g = address >> 3;  // the 8-bit group that holds the bit
  switch (type) {
    case kX:
    case kWX:
    case kY:
    case kWY:
    case kTBit:
    case kT:
    case kCBit:
    case kC:
    case kC32:
      if (g == 31) g = 30;
      break;
    case kS:
    case kWS:
      if (g == 124) g = 123;
      break;
    case kM:
    case kMHigh:
    case kWM:
      if (g == 250) g = 249;
      break;
    case kDWX:
    case kDWY:
      if (g >= 29) g = 28;
      break;
    case kDWS:
      if (g >= 122) g = 121;
      break;
    case kDWM:
      if (g >= 248) g = 247;
      break;
    default:
      break;
  }

  const char* group = nullptr;  // one area character and the group number
  const char* pair = nullptr;   // register and group items
  const char* reg = nullptr;    // one area character and the address
  uint32_t first = address;
  switch (type) {
    case kX:
    case kWX:
      group = "4%04X";
      break;
    case kY:
    case kWY:
      group = "5%04X";
      break;
    case kS:
    case kWS:
      group = "6%04X";
      break;
    case kM:
    case kMHigh:
    case kWM:
      group = "7%04X";
      break;
    case kDWX:
      group = "t%04X";
      break;
    case kDWY:
      group = "u%04X";
      break;
    case kDWS:
      group = "v%04X";
      break;
    case kDWM:
      group = "w%04X";
      break;
    case kTBit:
    case kT:
      pair = ";%04X 8%04X";
      break;
    case kCBit:
    case kC:
      pair = "<%04X 9%04X";
      break;
    case kC32:
      pair = "|%04X 9%04X";
      first = address - 200;
      break;
    case kD:
      reg = ">%04X";
      break;
    case kF:
      reg = "?%04X";
      break;
    case kDR:
      reg = "~%04X";
      break;
    case kDD:
      reg = "}%04X";
      break;
    case kDF:
      reg = "\x7F%04X";
      break;
    default:
      if (IsRCode(type)) {
        reg = "=%04X";
        break;
      }
      return false;
  }
  if (group != nullptr) std::snprintf(buffer, kBuffer, group, g);
  if (pair != nullptr) std::snprintf(buffer, kBuffer, pair, first, g);
  if (reg != nullptr) std::snprintf(buffer, kBuffer, reg, address);
  return true;
}

bool LinkStrOld(char* buffer, uint8_t type, uint32_t address, uint16_t version) {
  const char* one = nullptr;   // one item with the address
  const char* same = nullptr;  // two items with the address twice
  const char* two = nullptr;   // two items: address and address + step
  uint32_t step = 0;
  switch (type) {
    case kX:
      one = "X%04d";
      break;
    case kY:
      one = "Y%04d";
      break;
    case kM:
    case kMHigh:
      one = "M%04d";
      break;
    case kS:
      one = "S%04d";
      break;
    case kTBit:
    case kT:
      same = "TR%03d TD%03d";
      break;
    case kCBit:
    case kC:
    case kC32:
      same = "CR%03d CD%03d";
      break;
    case kD:
      if (version < kVersionWithD) return false;
      one = "D%04d";
      break;
    case kWX:
      one = "I%04d";
      break;
    case kWY:
      one = "O%04d";
      break;
    case kWM:
      one = "A%04d";
      break;
    case kWS:
      one = "F%04d";
      break;
    case kDWX:
      two = "I%04d I%04d";
      step = 16;
      break;
    case kDWY:
      two = "O%04d O%04d";
      step = 16;
      break;
    case kDWM:
      two = "A%04d A%04d";
      step = 16;
      break;
    case kDWS:
      two = "F%04d F%04d";
      step = 16;
      break;
    case kDR:
      two = "R%04d R%04d";
      step = 1;
      break;
    case kDD:
      two = "D%04d D%04d";
      step = 1;
      break;  // at any version
    default:
      if (IsRCode(type)) {
        one = "R%04d";
        break;
      }
      return false;
  }
  const int32_t a = Signed(address);
  if (one != nullptr) std::snprintf(buffer, kBuffer, one, a);
  if (same != nullptr) std::snprintf(buffer, kBuffer, same, a, a);
  if (two != nullptr) std::snprintf(buffer, kBuffer, two, a, Signed(address + step));
  return true;
}

// U-link prefixes, longer ones first. R, D and DR are complete only with the
// first address digit after them.
struct UPrefix {
  const char* text;
  uint8_t type;
  bool needsDigit = false;
};

constexpr UPrefix kUPrefixes[] = {
    {"DRC", kC32}, {"DWX", kDWX}, {"DWY", kDWY},   {"DWM", kDWM}, {"DWS", kDWS}, {"DR", kDR, true},
    {"DD", kDD},   {"DF", kDF},   {"D", kD, true}, {"RT", kT},    {"RC", kC},    {"R", kR, true},
    {"WX", kWX},   {"WY", kWY},   {"WM", kWM},     {"WS", kWS},   {"X", kX},     {"Y", kY},
    {"M", kM},     {"S", kS},     {"T", kTBit},    {"C", kCBit},  {"F", kF},
};

const UPrefix* MatchUPrefix(const char* text) {
  for (const UPrefix& prefix : kUPrefixes) {
    const size_t n = std::strlen(prefix.text);
    if (std::strncmp(text, prefix.text, n) == 0) return &prefix;
  }
  return nullptr;
}

}  // namespace

bool LinkStrToType(const char* text, uint8_t& type, uint32_t& address) {
  type = 0;
  address = 0;
  if (text == nullptr) return false;
  uint8_t code = 0;
  int digitsFrom = 1;
  switch (text[0]) {
    case 'X':
      code = kX;
      break;
    case 'Y':
      code = kY;
      break;
    case 'M':
      code = kM;
      break;
    case 'S':
      code = kS;
      break;
    case 'R':
      code = kR;
      break;
    case 'D':
      code = kD;
      break;
    case 'I':
      code = kWX;
      break;
    case 'O':
      code = kWY;
      break;
    case 'A':
      code = kWM;
      break;
    case 'F':
      code = kWS;
      break;
    case 'T':
    case 'C': {
      const bool t = text[0] == 'T';
      if (text[1] == 'D')
        code = t ? kTBit : kCBit;
      else if (text[1] == 'R')
        code = t ? kT : kC;
      else
        return false;
      digitsFrom = 2;
      break;
    }
    default:
      return false;
  }
  // exactly five characters make an item; the rest is not read
  for (int i = digitsFrom; i < 5; ++i) {
    if (!IsDigit(text[i])) return false;
    address = address * 10 + static_cast<uint32_t>(text[i] - '0');
  }
  type = code;
  return CheckTypeRange(type, address);
}

bool TypeToLinkStrVer(char* buffer, uint8_t type, uint32_t address, uint16_t version) {
  if (buffer == nullptr) return false;
  if (version >= kVersion4) return LinkStrVer4(buffer, type, address);
  return LinkStrOld(buffer, type, address, version);
}

void LinkStrV40ChgOnOff(char* text) {
  if (text != nullptr && text[0] >= '4' && text[0] <= '7') text[0] = static_cast<char>(text[0] - 4);
}

bool ULinkStrToType(const char* text, uint8_t& type, uint32_t& address) {
  type = 0;
  address = 0;
  if (text == nullptr) return false;
  const UPrefix* prefix = MatchUPrefix(text);
  if (prefix == nullptr) return false;
  const char* p = text + std::strlen(prefix->text);
  if (prefix->needsDigit && !IsDigit(*p)) return false;  // ended inside a prefix
  type = prefix->type;
  for (; *p != '\0'; ++p) {
    if (!IsDigit(*p)) return false;
    const uint32_t d = static_cast<uint32_t>(*p - '0');
    if (address > (UINT32_MAX - d) / 10) return false;  // does not fit an address
    address = address * 10 + d;
  }
  return true;
}

bool TypeToULinkStr(char* buffer, uint8_t type, uint32_t address) {
  if (buffer == nullptr) return false;
  const char* one = nullptr;
  const char* two = nullptr;  // two items, the address in both
  switch (type) {
    case kX:
      one = "X%04d";
      break;
    case kY:
      one = "Y%04d";
      break;
    case kM:
    case kMHigh:
      one = "M%04d";
      break;
    case kS:
      one = "S%04d";
      break;
    case kTBit:
    case kT:
      two = "RT%04d T%04d";
      break;
    case kCBit:
      one = "C%04d";
      break;
    case kC:
      two = "RC%04d C%04d";
      break;
    case kC32:
      two = "DRC%04d C%04d";
      break;
    case kD:
      one = "D%05d";
      break;
    case kF:
      one = "F%05d";
      break;
    case kWX:
      one = "WX%04d";
      break;
    case kWY:
      one = "WY%04d";
      break;
    case kWM:
      one = "WM%04d";
      break;
    case kWS:
      one = "WS%04d";
      break;
    case kDWX:
      one = "DWX%04d";
      break;
    case kDWY:
      one = "DWY%04d";
      break;
    case kDWM:
      one = "DWM%04d";
      break;
    case kDWS:
      one = "DWS%04d";
      break;
    case kDR:
      one = "DR%05d";
      break;
    case kDD:
      one = "DD%05d";
      break;
    case kDF:
      one = "DF%05d";
      break;
    default:
      if (IsRCode(type)) {
        one = "R%05d";
        break;
      }
      return false;
  }
  const int32_t a = Signed(address);
  if (one != nullptr) std::snprintf(buffer, kBuffer, one, a);
  if (two != nullptr) std::snprintf(buffer, kBuffer, two, a, a);
  return true;
}

uint8_t TypeToLinkMode(uint8_t type) {
  switch (type) {
    case kX:
      return 0;
    case kY:
      return 1;
    case kM:
    case kMHigh:
      return 2;
    case kS:
      return 3;
    case kTBit:
      return 4;
    case kCBit:
      return 5;
    case kWX:
      return 6;
    case kWY:
      return 7;
    case kWM:
      return 8;
    case kWS:
      return 9;
    case kT:
      return 10;
    case kC:
      return 11;
    case kD:
      return 13;
    default:
      return IsRCode(type) ? 12 : 0xFF;
  }
}

uint8_t LinkModeToType(uint8_t mode) {
  constexpr uint8_t kTypes[] = {kX, kY, kM, kS, kTBit, kCBit, kWX, kWY, kWM, kWS, kT, kC, kR, kD};
  return mode < sizeof kTypes ? kTypes[mode] : 0xFF;
}

}  // namespace fautil
