#pragma once
// Operand type codes, the facts every notation knows of them, and small text
// helpers shared by the operand sources.

#include <array>
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
inline constexpr uint32_t kAddrP0 = 4080;    // P0-P9 are D4080-D4089
inline constexpr uint32_t kMLowLast = 1911;  // M1912 and above are the upper block
inline constexpr uint32_t kC32First = 200;   // C200-C255 are 32-bit registers

inline constexpr uint8_t kNoCode = 0xFF;  // not an operand type code

// Codes TypeToRegRef places with the T and C bits; they have no other use.
inline constexpr uint8_t kRegRefTBit = 0x34;
inline constexpr uint8_t kRegRefCBit = 0x35;

// R registers by block; R4168-R4999 do not exist.
struct RBlock {
  uint32_t first;
  uint32_t last;
  uint8_t code;
};
inline constexpr RBlock kRBlocks[] = {
    {0, 3839, kR},        {3840, 3903, kR3840}, {3904, 3967, kR3904},
    {3968, 4167, kR3968}, {5000, 8071, kR5000},
};

constexpr const RBlock* FindRBlock(uint32_t address) {
  for (const RBlock& block : kRBlocks) {
    if (address >= block.first && address <= block.last) return &block;
  }
  return nullptr;
}

// How CheckTypeRange judges an address.
enum class Check : uint8_t {
  kReject,   // not an operand code
  kAny,      // not checked
  kUpTo,     // 0 to highest
  kOctet,    // bit groups: multiples of 8, 0 to highest
  kM,        // 0 to highest, code chosen by block
  kC,        // 0 to highest, 200 and above become the 32-bit C register
  kR,        // code chosen by R block
  kIndexed,  // any R register
  kRPair,    // two R registers of one block
};

// A packed code: base + (address - first) * scale / divisor in 32 bits, of
// which the low 16 bits are kept.
struct Packing {
  int32_t base = -1;  // -1: the family does not encode the type code
  uint32_t first = 0;
  uint32_t scale = 1;
  uint32_t divisor = 1;
};

// The items a link or U-link string of a code is written as: the areas (or
// prefixes) of up to two codes, the second with the address plus `step`.
struct Items {
  uint8_t first = kNoCode;
  uint8_t second = kNoCode;
  uint8_t step = 0;
};

// Everything the notations need to know of one operand type code.
struct Operand {
  // Operand text
  const char* text = nullptr;  // written before the address; null: no text form
  char suffix = '\0';
  // Valid addresses
  Check check = Check::kReject;
  uint16_t highest = 0;
  // Stepping
  uint16_t ringHighest = 0;  // GetNextRef runs round 0 to this; 0: no ring
  uint8_t family = kNoCode;  // both ends of a range share it; kNoCode: no ranges
  uint8_t rangeStep = 0;
  // Link strings
  uint8_t linkMode = kNoCode;
  const char* linkArea = nullptr;  // the area that reads as this code
  Items link;                      // decimal form, before version 4
  char v4Register = '\0';          // version 4: area before the address
  char v4Group = '\0';             // version 4: area before the group index
  uint16_t v4RegisterFrom = 0;     // subtracted from the address written
  uint8_t groupLast = 0;           // last group index written
  bool clampAbove = false;         // every later group, not just the next, is clamped
  // U-link strings
  const char* uPrefix = nullptr;  // the prefix that reads as this code
  bool uNeedsDigit = false;       // the prefix begins longer ones
  uint8_t uDigits = 0;
  Items ulink;
  // Packed codes
  Packing docRef;
  bool inDRef = false;  // DRef holds the code at its DocRef place
  Packing rRef;
  Packing regRef;
};

// Constants, TR, SO, FO and the operand written without its address.
constexpr void AddPlainOperands(std::array<Operand, 256>& o) {
  o[kConst].text = "";
  o[kConst].check = Check::kAny;
  for (uint8_t c : {kTR, kSO, kFO, kNone}) o[c].check = Check::kAny;
  o[kTR].text = "TR";
  o[kSO].text = "SO";
  o[kFO].text = "FO";
  o[kNone].text = "";  // written without its address
}

// Bits, their registers and groups of 16 and 32 bits.
constexpr void AddBits(std::array<Operand, 256>& o) {
  struct Bits {
    uint8_t code;
    const char* text;
    Check check;
    uint16_t highest;
    uint8_t family;
    uint8_t step;
    uint8_t mode;
    const char* area;
    Items link;
    char v4Register, v4Group;
    uint8_t groupLast;
    bool clampAbove;
    const char* uPrefix;
    Items ulink;
    int32_t docRef;
    bool inDRef;
    Packing rRef;
    Packing regRef;
  };
  // clang-format off
  // code    text   check          highest fam step mode area   link             v4 reg/group last above  U-link ulink         DocRef  DRef  RRef                RegRef
  constexpr Bits kBits[] = {
      {kX,     "X",   Check::kUpTo,  255,  kX,    1,  0, "X",    {kX},           0,   '4', 30,  false, "X",   {kX},          0x0000, true,  {},                  {0x0000}},
      {kY,     "Y",   Check::kUpTo,  255,  kY,    1,  1, "Y",    {kY},           0,   '5', 30,  false, "Y",   {kY},          0x0100, true,  {},                  {0x0100}},
      {kM,     "M",   Check::kM,     2001, kM,    1,  2, "M",    {kM},           0,   '7', 249, false, "M",   {kM},          0x0810, true,  {},                  {0x0810}},
      {kMHigh, "M",   Check::kM,     2001, kM,    1,  2, nullptr,{kM},           0,   '7', 249, false, nullptr,{kM},         0x0810, true,  {},                  {0x0810}},
      {kS,     "S",   Check::kUpTo,  999,  kS,    1,  3, "S",    {kS},           0,   '6', 123, false, "S",   {kS},          0x0428, true,  {},                  {0x0428}},
      {kTBit,  "T",   Check::kUpTo,  255,  kTBit, 1,  4, "TD",   {kT, kTBit},    ';', '8', 30,  false, "T",   {kT, kTBit},   0x0200, true,  {0x0390, 0, 2},      {0x0200}},
      {kCBit,  "C",   Check::kC,     255,  kC,    1,  5, "CD",   {kC, kCBit},    '<', '9', 30,  false, "C",   {kCBit},       0x0300, true,  {0x0590, 0, 2},      {0x0300}},
      {kT,     "T",   Check::kUpTo,  255,  kT,    1, 10, "TR",   {kT, kTBit},    ';', '8', 30,  false, "RT",  {kT, kTBit},   0x0200, true,  {0x0390, 0, 2},      {0x3B88}},
      {kC,     "C",   Check::kC,     255,  kC,    1, 11, "CR",   {kC, kCBit},    '<', '9', 30,  false, "RC",  {kC, kCBit},   0x0300, true,  {0x0590, 0, 2},      {0x3C88}},
      {kC32,   "C",   Check::kC,     255,  kC,    1, kNoCode, nullptr, {kC, kCBit}, '|', '9', 30, false, "DRC", {kC32, kCBit}, 0x0300, true, {0x0720, kC32First, 4}, {0x3D50, kC32First, 2}},
      {kWX,    "WX",  Check::kOctet, 240,  kWX,  16,  6, "I",    {kWX},          0,   '4', 30,  false, "WX",  {kWX},         0x2000, false, {0x0800, 0, 1, 8},   {0x0000}},
      {kWY,    "WY",  Check::kOctet, 240,  kWY,  16,  7, "O",    {kWY},          0,   '5', 30,  false, "WY",  {kWY},         0x2100, false, {0x0820, 0, 1, 8},   {0x0100}},
      {kWM,    "WM",  Check::kOctet, 1896, kWM,  16,  8, "A",    {kWM},          0,   '7', 249, false, "WM",  {kWM},         0x2820, false, {0x0902, 0, 1, 8},   {0x0810}},
      {kWS,    "WS",  Check::kOctet, 984,  kWS,  16,  9, "F",    {kWS},          0,   '6', 123, false, "WS",  {kWS},         0x2428, false, {0x0885, 0, 1, 8},   {0x0428}},
      {kDWX,   "DWX", Check::kOctet, 224,  kDWX, 32, kNoCode, nullptr, {kWX, kWX, 16}, 0, 't', 28,  true,  "DWX", {kDWX},   -1,     false, {},                  {0x0000}},
      {kDWY,   "DWY", Check::kOctet, 224,  kDWY, 32, kNoCode, nullptr, {kWY, kWY, 16}, 0, 'u', 28,  true,  "DWY", {kDWY},   -1,     false, {},                  {0x0100}},
      {kDWM,   "DWM", Check::kOctet, 1880, kDWM, 32, kNoCode, nullptr, {kWM, kWM, 16}, 0, 'w', 247, true,  "DWM", {kDWM},   -1,     false, {},                  {0x0810}},
      {kDWS,   "DWS", Check::kOctet, 968,  kDWS, 32, kNoCode, nullptr, {kWS, kWS, 16}, 0, 'v', 121, true,  "DWS", {kDWS},   -1,     false, {},                  {0x0428}},
  };
  // clang-format on
  for (const Bits& b : kBits) {
    Operand& d = o[b.code];
    d.text = b.text;
    d.check = b.check;
    d.highest = d.ringHighest = b.highest;
    d.family = b.family;
    d.rangeStep = b.step;
    d.linkMode = b.mode;
    d.linkArea = b.area;
    d.link = b.link;
    d.v4Register = b.v4Register;
    d.v4Group = b.v4Group;
    d.groupLast = b.groupLast;
    d.clampAbove = b.clampAbove;
    d.uPrefix = b.uPrefix;
    d.uDigits = 4;
    d.ulink = b.ulink;
    d.docRef.base = b.docRef;
    d.inDRef = b.inDRef;
    d.rRef = b.rRef;
    d.regRef = b.regRef;
  }
  o[kC32].v4RegisterFrom = kC32First;
  o[kRegRefTBit].regRef = {0x0200};
  o[kRegRefCBit].regRef = {0x0300};
}

// The R registers, block by block.
constexpr void AddRBlocks(std::array<Operand, 256>& o) {
  for (const RBlock& block : kRBlocks) {
    Operand& d = o[block.code];
    d.text = "R";
    d.check = Check::kR;
    d.ringHighest = 8071;  // one ring with a gap, see GetNextRef
    d.family = kR;
    d.rangeStep = 1;
    d.linkMode = 12;
    d.link = {kR};
    d.v4Register = '=';
    d.uDigits = 5;
    d.ulink = {kR};
    d.docRef = {0x4000};
    d.rRef = {0x0100, 3840, 2};  // the blocks above R3839 lie below the others
    d.regRef = {0x1000};
  }
  o[kR].linkArea = "R";
  o[kR].uPrefix = "R";
  o[kR].uNeedsDigit = true;
  o[kR].rRef = {0x0A00, 0, 2};
  o[kR5000].rRef = {0x2800, 5000, 2};
}

// Registers other than R, register pairs, and indexed R.
constexpr void AddRegisters(std::array<Operand, 256>& o) {
  struct Registers {
    uint8_t code;
    const char* text;
    uint16_t highest;
    uint16_t ringHighest;
    uint8_t step;
    uint8_t mode;
    const char* area;
    Items link;
    char v4Register;
    bool needsDigit;
    Packing docRef;
    Packing rRef;
    Packing regRef;
  };
  // clang-format off
  // code  text  highest ring  step mode     area     link          v4      digit  DocRef    RRef            RegRef
  constexpr Registers kRegisters[] = {
      {kD,  "D",  4095,   3071, 1,   13,      "D",     {kD},         '>',    true,  {0x3000}, {0x4000, 0, 2}, {0x2F88}},
      {kF,  "F",  8191,   0,    1,   kNoCode, nullptr, {},           '?',    false, {},       {},             {0x41C0}},
      {kDR, "DR", 0,      8070, 2,   kNoCode, nullptr, {kR, kR, 1},  '~',    true,  {},       {},             {0x1000}},
      {kDD, "DD", 4094,   3070, 2,   kNoCode, nullptr, {kD, kD, 1},  '}',    false, {},       {},             {0x2F88}},
      {kDF, "DF", 8190,   0,    2,   kNoCode, nullptr, {},           '\x7F', false, {},       {},             {0x41C0}},
  };
  // clang-format on
  for (const Registers& r : kRegisters) {
    Operand& d = o[r.code];
    d.text = d.uPrefix = r.text;
    d.check = Check::kUpTo;
    d.highest = r.highest;
    d.ringHighest = r.ringHighest;  // DR: with the gap of the R registers
    d.family = r.code;
    d.rangeStep = r.step;
    d.linkMode = r.mode;
    d.linkArea = r.area;
    d.link = r.link;
    d.v4Register = r.v4Register;
    d.uNeedsDigit = r.needsDigit;
    d.uDigits = 5;
    d.ulink = {r.code};
    d.docRef = r.docRef;
    d.rRef = r.rRef;
    d.regRef = r.regRef;
  }
  o[kDR].check = Check::kRPair;
  o[kRV].text = "R";
  o[kRV].suffix = 'V';
  o[kRV].check = Check::kIndexed;
  o[kRZ].text = "R";
  o[kRZ].suffix = 'Z';
  o[kRZ].check = Check::kIndexed;
}

constexpr std::array<Operand, 256> MakeOperands() {
  std::array<Operand, 256> o{};
  AddPlainOperands(o);
  AddBits(o);
  AddRBlocks(o);
  AddRegisters(o);
  return o;
}

inline constexpr std::array<Operand, 256> kOperands = MakeOperands();

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
