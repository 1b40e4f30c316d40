#include "fautil/LinkString.h"

#include <array>
#include <cstdio>
#include <cstring>
#include <string_view>

#include "OperandTable.h"
#include "fautil/OperandText.h"

namespace fautil {

using namespace op;

namespace {

constexpr size_t kBuffer = 32;  // caller buffers hold at least this much
constexpr uint16_t kVersion4 = 0x0400;
constexpr uint16_t kVersionWithD = 0x0300;

// Version 4 writes the group index, clamped at the end of the operand's area.
uint32_t ClampedGroup(const Operand& o, uint32_t address) {
  const uint32_t g = address >> 3;  // the 8-bit group that holds the bit
  if (g == o.groupLast + 1u || (o.clampAbove && g > o.groupLast)) return o.groupLast;
  return g;
}

bool LinkStrVer4(char* buffer, uint8_t type, uint32_t address) {
  const Operand& o = kOperands[type];
  const uint32_t g = ClampedGroup(o, address);
  if (o.v4Register != '\0' && o.v4Group != '\0') {
    std::snprintf(buffer, kBuffer, "%c%04X %c%04X", o.v4Register, address - o.v4RegisterFrom,
                  o.v4Group, g);
  } else if (o.v4Register != '\0') {
    std::snprintf(buffer, kBuffer, "%c%04X", o.v4Register, address);
  } else if (o.v4Group != '\0') {
    std::snprintf(buffer, kBuffer, "%c%04X", o.v4Group, g);
  } else {
    return false;
  }
  return true;
}

// The area (or prefix) an item of a code starts with and its digit count.
struct ItemText {
  const char* area;
  int digits;
};
using ItemTextOf = ItemText (*)(uint8_t code);

// Old-form items are five characters long.
ItemText LinkItem(uint8_t code) {
  const char* area = kOperands[code].linkArea;
  return {area, 5 - static_cast<int>(std::strlen(area))};
}

ItemText ULinkItem(uint8_t code) {
  return {kOperands[code].uPrefix, kOperands[code].uDigits};
}

// Writes one or two decimal items; the address is written as a signed number.
bool WriteItems(char* buffer, const Items& items, uint32_t address, ItemTextOf textOf) {
  if (items.first == kNoCode) return false;
  const ItemText first = textOf(items.first);
  const int n = std::snprintf(buffer, kBuffer, "%s%0*d", first.area, first.digits,
                              static_cast<int32_t>(address));
  if (items.second != kNoCode) {
    const ItemText second = textOf(items.second);
    std::snprintf(buffer + n, kBuffer - static_cast<size_t>(n), " %s%0*d", second.area,
                  second.digits, static_cast<int32_t>(address + items.step));
  }
  return true;
}

// Codes that have a prefix, longer prefixes first so that a prefix never
// hides a longer one it begins.
template <const char* Operand::*Prefix>
constexpr auto CodesByPrefix() {
  constexpr size_t kCount = [] {
    size_t n = 0;
    for (const Operand& o : kOperands) n += o.*Prefix != nullptr ? 1 : 0;
    return n;
  }();
  std::array<uint8_t, kCount> codes{};
  size_t n = 0;
  for (size_t length = 3; length > 0; --length) {
    for (size_t c = 0; c < kOperands.size(); ++c) {
      const char* prefix = kOperands[c].*Prefix;
      if (prefix != nullptr && std::string_view(prefix).size() == length) {
        codes[n++] = static_cast<uint8_t>(c);
      }
    }
  }
  return codes;
}

constexpr auto kLinkAreas = CodesByPrefix<&Operand::linkArea>();
constexpr auto kUPrefixes = CodesByPrefix<&Operand::uPrefix>();

// The code whose prefix `text` starts with, or kNoCode.
template <size_t N>
uint8_t MatchPrefix(const std::array<uint8_t, N>& codes, const char* Operand::*prefix,
                    const char* text) {
  if (text == nullptr) return kNoCode;
  for (uint8_t code : codes) {
    const std::string_view p(kOperands[code].*prefix);
    if (std::strncmp(text, p.data(), p.size()) == 0) return code;
  }
  return kNoCode;
}

constexpr auto kLinkModeTypes = [] {
  std::array<uint8_t, 14> types{};
  types.fill(kNoCode);
  for (size_t c = kOperands.size(); c-- > 0;) {  // the lowest code of a mode wins
    if (const uint8_t mode = kOperands[c].linkMode; mode < types.size()) {
      types[mode] = static_cast<uint8_t>(c);
    }
  }
  return types;
}();

}  // namespace

bool LinkStrToType(const char* text, uint8_t& type, uint32_t& address) {
  type = 0;
  address = 0;
  const uint8_t code = MatchPrefix(kLinkAreas, &Operand::linkArea, text);
  if (code == kNoCode) return false;
  // exactly five characters make an item; the rest is not read
  for (size_t i = std::strlen(kOperands[code].linkArea); i < 5; ++i) {
    if (!IsDigit(text[i])) return false;
    address = address * 10 + static_cast<uint32_t>(text[i] - '0');
  }
  type = code;
  return CheckTypeRange(type, address);
}

bool TypeToLinkStrVer(char* buffer, uint8_t type, uint32_t address, uint16_t version) {
  if (buffer == nullptr) return false;
  if (version >= kVersion4) return LinkStrVer4(buffer, type, address);
  if (type == kD && version < kVersionWithD) return false;  // DD is written at any version
  return WriteItems(buffer, kOperands[type].link, address, LinkItem);
}

void LinkStrV40ChgOnOff(char* text) {
  if (text != nullptr && text[0] >= '4' && text[0] <= '7') text[0] = static_cast<char>(text[0] - 4);
}

bool ULinkStrToType(const char* text, uint8_t& type, uint32_t& address) {
  type = 0;
  address = 0;
  const uint8_t code = MatchPrefix(kUPrefixes, &Operand::uPrefix, text);
  if (code == kNoCode) return false;
  const Operand& o = kOperands[code];
  const char* p = text + std::strlen(o.uPrefix);
  if (o.uNeedsDigit && !IsDigit(*p)) return false;  // ended inside a prefix
  type = code;
  for (; *p != '\0'; ++p) {
    if (!IsDigit(*p)) return false;
    const uint32_t d = static_cast<uint32_t>(*p - '0');
    if (address > (UINT32_MAX - d) / 10) return false;  // does not fit an address
    address = address * 10 + d;
  }
  return true;
}

bool TypeToULinkStr(char* buffer, uint8_t type, uint32_t address) {
  return buffer != nullptr && WriteItems(buffer, kOperands[type].ulink, address, ULinkItem);
}

uint8_t TypeToLinkMode(uint8_t type) {
  return kOperands[type].linkMode;
}

uint8_t LinkModeToType(uint8_t mode) {
  return mode < kLinkModeTypes.size() ? kLinkModeTypes[mode] : kNoCode;
}

}  // namespace fautil
