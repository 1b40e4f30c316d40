#include "fautil/Telephone.h"

#include <algorithm>
#include <array>

namespace fautil {
namespace {

constexpr int kCodeSlots = kTelephoneRegisters * 4;
constexpr uint8_t kCodeComma = 0xA;
constexpr uint8_t kCodeHash = 0xB;
constexpr uint8_t kCodeStar = 0xC;
constexpr uint8_t kCodeEnd = 0xE;
constexpr uint16_t kEmptyNumber = 0x000F;
constexpr int kNoCode = -1;

int CodeOf(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  switch (c) {
    case ',':
    case 'A':
      return kCodeComma;
    case '#':
      return kCodeHash;
    case '*':
      return kCodeStar;
    default:
      return kNoCode;
  }
}

void PlaceCode(std::array<uint16_t, kTelephoneRegisters>& block, int slot, int code) {
  block[slot / 4] |= static_cast<uint16_t>(code << (4 * (slot % 4)));
}

}  // namespace

bool TelphoneToReg(const char* text, uint16_t* regs) {
  if (text == nullptr || regs == nullptr) return false;
  std::array<uint16_t, kTelephoneRegisters> block{};
  if (*text == '\0') {
    block[0] = kEmptyNumber;
  } else {
    int slot = 0;
    for (const char* p = text; *p != '\0'; ++p) {
      const int code = CodeOf(*p);
      if (slot == kCodeSlots || code == kNoCode) return false;
      PlaceCode(block, slot++, code);
    }
    if (slot == kCodeSlots) return false;
    PlaceCode(block, slot, kCodeEnd);
  }
  std::copy(block.begin(), block.end(), regs);
  return true;
}

bool RegToTelphone(const uint16_t* regs, char* text) {
  if (regs == nullptr || text == nullptr) return false;
  char collected[kTelephoneTextSize];
  for (int slot = 0; slot < kCodeSlots; ++slot) {
    const int code = (regs[slot / 4] >> (4 * (slot % 4))) & 0xF;
    char c = 0;
    if (code <= 9) {
      c = static_cast<char>('0' + code);
    } else if (code == kCodeComma) {
      c = ',';
    } else if (code == kCodeHash) {
      c = '#';
    } else if (code == kCodeStar) {
      c = '*';
    } else if (code == kCodeEnd) {
      collected[slot] = '\0';
      std::copy(collected, collected + slot + 1, text);
      return true;
    } else {
      return false;  // 0xD or 0xF
    }
    collected[slot] = c;
  }
  return false;
}

}  // namespace fautil
