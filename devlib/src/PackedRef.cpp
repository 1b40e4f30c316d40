#include "fautil/PackedRef.h"

#include <span>

#include "OperandTable.h"
#include "fautil/OperandText.h"

namespace fautil {

using namespace op;

namespace {

// One decoder row: codes first..last give `type` with the address
// offset + (code - first) * scale / divisor (divisions truncate).
struct Row {
  uint16_t first;
  uint16_t last;
  uint8_t type;
  uint32_t offset = 0;
  uint32_t scale = 1;
  uint32_t divisor = 1;
};

// Codes outside every row are rejected.
constexpr Row kDocRef[] = {
    {0x0000, 0x00FF, kX},  {0x0100, 0x01FF, kY},  {0x0200, 0x02FF, kTBit}, {0x0300, 0x03FF, kCBit},
    {0x0428, 0x080F, kS},  {0x0810, 0x0FE1, kM},  {0x2000, 0x20FF, kWX},   {0x2100, 0x21FF, kWY},
    {0x2428, 0x281F, kWS}, {0x2820, 0x2FF1, kWM}, {0x3000, 0x3FFF, kD},    {0x4000, 0x5F87, kR},
};

constexpr Row kDRef[] = {
    {0x0000, 0x00FF, kX},    {0x0100, 0x01FF, kY},  {0x0200, 0x02FF, kTBit},
    {0x0300, 0x03FF, kCBit}, {0x0400, 0x0427, kTR}, {0x0428, 0x080F, kS},
    {0x0810, 0x0FE1, kM},    {0x0FE2, 0x0FFB, kSO}, {0x0FFC, 0x0FFE, kFO},
    {0x0FFF, 0x0FFF, kNone},
};

// Byte map: a 16-bit register takes two bytes, a 32-bit C register four,
// eight bits of a bit area one.
constexpr Row kRRef[] = {
    {0x0000, 0x00FF, kConst},
    {0x0100, 0x038F, kR, 3840, 1, 2},
    {0x0390, 0x058F, kT, 0, 1, 2},
    {0x0590, 0x071F, kC, 0, 1, 2},
    {0x0720, 0x07FF, kC32, 200, 1, 4},
    {0x0800, 0x081F, kWX, 0, 8},
    {0x0820, 0x083F, kWY, 0, 8},
    {0x0840, 0x085F, kT, 0, 8},
    {0x0860, 0x087F, kC, 0, 8},
    {0x0885, 0x0901, kWS, 0, 8},
    {0x0902, 0x09FF, kWM, 0, 8},
    {0x0A00, 0x27FF, kR, 0, 1, 2},
    {0x2800, 0x3FFF, kR5000, 5000, 1, 2},
    {0x4000, 0x5FFF, kD, 0, 1, 2},
};

constexpr Row kRegRef[] = {
    {0x0000, 0x00FF, kX},
    {0x0100, 0x01FF, kY},
    {0x0200, 0x02FF, kTBit},
    {0x0300, 0x03FF, kCBit},
    {0x0400, 0x07E7, kS},
    {0x07E8, 0x0FB9, kM},
    {0x0FBA, 0x2F41, kR},
    {0x2F42, 0x3B41, kD},
    {0x3B42, 0x3C41, kT},
    {0x3C42, 0x3D09, kC},
    {0x3D0A, 0x3D79, kC32, 200, 1, 2},
};

bool Decode(std::span<const Row> rows, uint16_t code, uint8_t& type, uint32_t& address) {
  for (const Row& row : rows) {
    if (code < row.first || code > row.last) continue;
    type = row.type;
    address = row.offset + (uint32_t{code} - row.first) * row.scale / row.divisor;
    return CheckTypeRange(type, address);
  }
  return false;
}

// Addresses are not range-checked: the arithmetic wraps in 32 bits and the
// low 16 bits are the code.
bool Encode(const Packing& packing, uint32_t address, uint16_t& code) {
  if (packing.base < 0) return false;
  const uint32_t base = static_cast<uint32_t>(packing.base);
  code = static_cast<uint16_t>(base + (address - packing.first) * packing.scale / packing.divisor);
  return true;
}

bool Store(uint32_t value, uint16_t& code) {
  code = static_cast<uint16_t>(value);  // low 16 bits, no range check
  return true;
}

using Encoder = bool (*)(uint8_t, uint32_t, uint16_t&);
using Decoder = bool (*)(uint16_t, uint8_t&, uint32_t&);

bool TextToCode(const char* text, uint16_t& code, Encoder encode) {
  uint8_t type = 0;
  uint32_t address = 0;
  return StrToType(text, type, address) && encode(type, address, code);
}

bool CodeToText(char* buffer, uint16_t code, Decoder decode) {
  uint8_t type = 0;
  uint32_t address = 0;
  return buffer != nullptr && decode(code, type, address) && TypeToStr(buffer, type, address);
}

constexpr uint32_t kFlashD = 10000;  // FlashReg codes of D0-D4095 start here
constexpr uint32_t kRegRefDSplit = 3072;

}  // namespace

// ---- DocRef ---------------------------------------------------------------

bool DocRefToType(uint16_t code, uint8_t& type, uint32_t& address) {
  return Decode(kDocRef, code, type, address);
}

bool TypeToDocRef(uint8_t type, uint32_t address, uint16_t& code) {
  return Encode(kOperands[type].docRef, address, code);
}

bool StrToDocRef(const char* text, uint16_t& code) {
  return TextToCode(text, code, TypeToDocRef);
}

bool DocRefToStr(char* buffer, uint16_t code) {
  return CodeToText(buffer, code, DocRefToType);
}

// ---- DRef -----------------------------------------------------------------

bool DRefToType(uint16_t code, uint8_t& type, uint32_t& address) {
  return Decode(kDRef, code, type, address);
}

bool TypeToDRef(uint8_t type, uint32_t address, uint16_t& code) {
  const Operand& o = kOperands[type];
  return o.inDRef && Encode(o.docRef, address, code);
}

bool StrToDRef(const char* text, uint16_t& code) {
  return TextToCode(text, code, TypeToDRef);
}

bool DRefToStr(char* buffer, uint16_t code) {
  return CodeToText(buffer, code, DRefToType);
}

// ---- RRef -----------------------------------------------------------------

bool RRefToType(uint16_t code, uint8_t& type, uint32_t& address) {
  if (code >= 0x8000) {
    // top bits 11: indexed by V, 10: indexed by Z
    type = code >= 0xC000 ? kRV : kRZ;
    address = code & 0x3FFFu;
    return CheckTypeRange(type, address);
  }
  return Decode(kRRef, code, type, address);
}

bool TypeToRRef(uint8_t type, uint32_t address, uint16_t& code) {
  return Encode(kOperands[type].rRef, address, code);
}

bool StrToRRef(const char* text, uint16_t& code) {
  return TextToCode(text, code, TypeToRRef);
}

bool RRefToStr(char* buffer, uint16_t code) {
  return CodeToText(buffer, code, RRefToType);
}

// ---- RegRef ---------------------------------------------------------------

bool RegRefToType(uint16_t code, uint8_t& type, uint32_t& address) {
  return Decode(kRegRef, code, type, address);
}

// Deliberately not the decoder's layout above 0x0400: codes stored by peers
// were made by this encoder.
bool TypeToRegRef(uint8_t type, uint32_t address, uint16_t& code) {
  if ((type == kD || type == kDD) && address >= kRegRefDSplit) {
    // D3072 and above follow the 32-bit C registers
    return Encode({0x3DC0, kRegRefDSplit}, address, code);
  }
  return Encode(kOperands[type].regRef, address, code);
}

// ---- FlashReg -------------------------------------------------------------

bool FlashRegStrToRef(const char* text, uint16_t& code) {
  uint8_t type = 0;
  uint32_t address = 0;
  if (!StrToType(text, type, address)) return false;
  switch (type) {
    case kR:
    case kR5000:
      return Store(address, code);
    case kR3968:
      if (address < 4000 || address > 4165) return false;
      return Store(address, code);
    case kD:
      return Store(kFlashD + address, code);
    default:
      return false;
  }
}

bool FlashRegRefToStr(char* buffer, uint16_t code) {
  if (buffer == nullptr) return false;
  const uint32_t c = code;
  char* p = buffer;
  if (c <= 3839 || (c >= 4000 && c <= 4165) || (c >= 5000 && c <= 8071)) {
    p = PutInt(Put(p, "R"), c);
  } else if (c >= kFlashD && c <= kFlashD + 4095) {
    p = PutInt(Put(p, "D"), c - kFlashD);
  } else {
    return false;
  }
  *p = '\0';
  return true;
}

}  // namespace fautil
