#include "fautil/OperandText.h"

#include <array>
#include <cstring>

#include "OperandTable.h"

namespace fautil {

using namespace op;

namespace {

// ---- Number grammar ------------------------------------------------------

// Adds one decimal digit in 32 bits. Returns false when the value no longer
// fits: 4294967295 unsigned, magnitude 2147483648 with a minus sign.
inline bool AddDecimal(uint32_t& value, unsigned digit, bool negative) {
  const uint32_t limit = negative ? 214748364u : 429496729u;
  const unsigned lastDigit = negative ? 8u : 5u;
  const bool fits = value < limit || (value == limit && digit <= lastDigit);
  value = value * 10u + digit;
  return fits;
}

// Bookkeeping of a real constant for the single-precision range test.
struct RealScale {
  bool seenNonZero = false;
  int significant = 0;  // digits counted from the first non-zero one
  int first = 0;
  int second = 0;
  long long position = 0;  // decimal exponent shift of the mantissa
  long long exponent = 0;  // written exponent, saturated
  bool exponentNegative = false;

  void Significant(unsigned d) {
    if (!seenNonZero && d != 0) seenNonZero = true;
    if (!seenNonZero) return;
    if (significant == 0) first = static_cast<int>(d);
    if (significant == 1) second = static_cast<int>(d);
    if (significant < 2) ++significant;
  }
  void IntegerDigit(unsigned d) {
    if (seenNonZero) ++position;
    Significant(d);
  }
  void FractionDigit(unsigned d) {
    if (!seenNonZero) --position;
    Significant(d);
  }
  void ExponentDigit(unsigned d) {
    Significant(d);
    if (exponent < 1000000) exponent = exponent * 10 + d;
  }
  // The largest single-precision magnitude is about 3.4E38; the test looks at
  // the first two significant digits only.
  bool InRange() const {
    const bool bigDigits = first > 3 || second > 4;
    const long long e = (exponentNegative ? -exponent : exponent) + position;
    if (!exponentNegative) return e < 38 || (e == 38 && !bigDigits);
    return e > -38 || (e == -38 && !bigDigits);
  }
};

inline int HexLetter(char c) {
  return (c >= 'A' && c <= 'F') ? c - 'A' + 10 : -1;
}

// The integer part read in every base at once: which one counts is known
// only at the end (a B, O or H suffix, or none for decimal).
struct IntegerDigits {
  uint32_t dec = 0, bin = 0, oct = 0, hex = 0;
  bool decValid = true, binOk = true, octOk = true;
  bool hexLetter = false;  // a base-16 letter came: only an H suffix makes it a number

  void Digit(unsigned d, bool negative) {
    decValid = AddDecimal(dec, d, negative) && decValid;
    if (binOk && d <= 1)
      bin = bin * 2u + d;
    else
      binOk = false;
    if (octOk && d <= 7)
      oct = oct * 8u + d;
    else
      octOk = false;
    hex = hex * 16u + d;
  }
  void Letter(int value) {
    hex = hex * 16u + static_cast<uint32_t>(value);
    binOk = octOk = false;
    hexLetter = true;
  }
  // The value for base suffix `c` (B, O or H); false when a digit does not fit.
  bool Suffixed(char c, uint32_t& address) const {
    if ((c == 'B' && !binOk) || (c == 'O' && !octOk)) return false;
    address = c == 'B' ? bin : c == 'O' ? oct : hex;
    return true;
  }
};

// Constants: decimal, base suffixes B/O/H, reals. `text` starts at its first
// character (a digit, a base-16 letter, a point or a minus sign).
bool ParseNumber(const char* text, uint8_t& type, uint32_t& address) {
  const char* p = text;
  const bool negative = *p == '-';
  if (negative && !IsDigit(*++p)) return false;

  IntegerDigits integer;
  bool point = false, exponent = false, exponentSign = false;
  int fractionDigits = 0, exponentDigits = 0;
  RealScale real;

  for (; *p != '\0'; ++p) {
    const char c = Upper(*p);
    const bool atStart = p == text;
    const bool atEnd = p[1] == '\0';
    if (IsDigit(c)) {
      const unsigned d = static_cast<unsigned>(c - '0');
      if (exponent) {
        real.ExponentDigit(d);
        ++exponentDigits;
      } else if (point) {
        real.FractionDigit(d);
        ++fractionDigits;
      } else {
        real.IntegerDigit(d);
        integer.Digit(d, negative);
      }
      continue;
    }
    const bool plain = type == kConst;  // no point, no exponent so far
    if ((c == 'B' && atEnd && !atStart) || c == 'O' || c == 'H') {
      // A base suffix closes the text and replaces the decimal value.
      if (!atEnd || !plain || negative) return false;
      return integer.Suffixed(c, address);
    }
    if (c == 'E' && !atStart) {
      if (exponent) return false;
      exponent = true;
      type = kReal;
      continue;
    }
    if (const int v = HexLetter(c); v >= 0) {
      if (negative || !plain) return false;
      integer.Letter(v);
      continue;
    }
    if (c == '.') {
      if (point || exponent || integer.hexLetter) return false;
      point = true;
      type = kReal;
      continue;
    }
    if ((c == '+' || c == '-') && exponent && !exponentSign && exponentDigits == 0 &&
        Upper(p[-1]) == 'E') {
      exponentSign = true;
      real.exponentNegative = c == '-';
      continue;
    }
    return false;
  }

  if (integer.hexLetter) return false;  // base-16 digits need the H suffix
  if (type == kReal) {
    if (exponent && exponentDigits == 0) return false;
    if (point && fractionDigits == 0) return false;
    if (exponent && !real.InRange()) return false;
    address = integer.dec;  // integer part only; the caller reads the value from the text
    return true;
  }
  if (!integer.decValid) return false;
  address = negative ? 0u - integer.dec : integer.dec;
  return CheckTypeRange(type, address);
}

// 'text' or "text": each character shifts the value left by 8 bits and adds
// the character as a signed byte; a doubled quote stands for one quote.
bool ParseQuoted(const char* text, uint32_t& address) {
  const char quote = text[0];
  for (const char* p = text + 1; *p != '\0'; ++p) {
    if (*p == quote) {
      if (p[1] != quote) return p[1] == '\0';
      ++p;
    }
    address = (address << 8) + static_cast<uint32_t>(static_cast<int32_t>(static_cast<int8_t>(*p)));
  }
  return false;
}

bool EndsInH(const char* text) {
  const size_t n = std::strlen(text);
  return Upper(text[n - 1]) == 'H';
}

// ---- Operand prefixes ----------------------------------------------------

// What the first character of a text starts.
enum class Lead : uint8_t {
  kFail,
  kQuote,      // character constant
  kNumber,     // constant
  kLetter,     // one-letter prefix, digits follow
  kTC,         // T or C, then an optional D and an optional R
  kD,          // D registers, pairs and 32-bit groups
  kW,          // 16-bit groups
  kIndexName,  // V, Z, P0-P9
};

struct LeadInfo {
  Lead lead = Lead::kFail;
  uint8_t code = kConst;
  bool hexDigit = false;  // a text ending in H makes it a base-16 constant
};

constexpr std::array<LeadInfo, 256> MakeLeads() {
  std::array<LeadInfo, 256> l{};
  auto both = [&l](char c, LeadInfo info) {
    l[static_cast<unsigned char>(c)] = info;
    l[static_cast<unsigned char>(c - 'A' + 'a')] = info;
  };
  // The text never yields a T or C bit (they share the registers' letters),
  // nor an upper M or R block (CheckTypeRange picks those by address).
  for (uint8_t code : {kX, kY, kM, kS, kR, kF}) {
    const char letter = kOperands[code].text[0];
    both(letter, {Lead::kLetter, code, letter == 'F'});
  }
  both('T', {Lead::kTC, kT});
  both('C', {Lead::kTC, kC, true});
  both('D', {Lead::kD, kD, true});
  both('W', {Lead::kW, kWX});
  for (char c : {'V', 'Z', 'P'}) both(c, {Lead::kIndexName});
  for (char c : {'A', 'B', 'E'}) both(c, {Lead::kNumber});
  for (char c = '0'; c <= '9'; ++c) l[static_cast<unsigned char>(c)] = {Lead::kNumber};
  l['.'] = l['-'] = {Lead::kNumber};
  l['\''] = l['"'] = {Lead::kQuote};
  return l;
}

constexpr std::array<LeadInfo, 256> kLeads = MakeLeads();

// Reads the prefix after its first character; returns where the address
// digits start and sets `code`, or returns null.
const char* ReadPrefix(const char* p, Lead lead, uint8_t& code) {
  switch (lead) {
    case Lead::kTC:
      if (Upper(*p) == 'D') ++p;
      if (Upper(*p) == 'R') ++p;
      return p;
    case Lead::kW: {
      const int g = GroupIndex(*p);
      if (g < 0) return nullptr;
      code = static_cast<uint8_t>(kWX + g);
      return p + 1;
    }
    case Lead::kD:
      switch (Upper(*p)) {
        case 'R':
          code = kDR;
          return p + 1;
        case 'D':
          code = kDD;
          return p + 1;
        case 'F':
          code = kDF;
          return p + 1;
        case 'W': {
          const int g = GroupIndex(p[1]);
          if (g < 0) return nullptr;
          code = static_cast<uint8_t>(kDWX + g);
          return p + 2;
        }
        default:
          return IsDigit(*p) ? p : nullptr;  // the digit starts the address
      }
    default:
      return p;
  }
}

// V, Z and P0-P9: names of single registers, complete in themselves.
bool ParseIndexName(const char* text, uint8_t& type, uint32_t& address) {
  const char first = Upper(text[0]);
  const char* p = text + 1;
  if (first == 'P') {
    if (!IsDigit(*p) || p[1] != '\0') return false;
    type = kD;
    address = kAddrP0 + static_cast<uint32_t>(*p - '0');
  } else {
    if (*p != '\0') return false;
    type = kR3968;
    address = first == 'V' ? kAddrV : kAddrZ;
  }
  return CheckTypeRange(type, address);
}

// The decimal address after an operand prefix; nothing else may follow.
bool ParseAddress(const char* p, uint8_t& type, uint32_t& address) {
  if (!IsDigit(*p)) return false;
  bool fits = true;
  uint32_t value = 0;
  for (; *p != '\0'; ++p) {
    if (!IsDigit(*p)) return false;
    fits = AddDecimal(value, static_cast<unsigned>(*p - '0'), false) && fits;
  }
  address = value;
  return fits && CheckTypeRange(type, address);
}

}  // namespace

bool StrToType(const char* text, uint8_t& type, uint32_t& address) {
  if (text == nullptr || text[0] == '\0') return false;
  type = kConst;
  address = 0;

  const LeadInfo& lead = kLeads[static_cast<unsigned char>(text[0])];
  switch (lead.lead) {
    case Lead::kFail:
      return false;
    case Lead::kQuote:
      return ParseQuoted(text, address);
    case Lead::kNumber:
      return ParseNumber(text, type, address);
    case Lead::kIndexName:
      return ParseIndexName(text, type, address);
    default:
      break;
  }
  if (lead.hexDigit && EndsInH(text)) return ParseNumber(text, type, address);
  uint8_t code = lead.code;
  const char* digits = ReadPrefix(text + 1, lead.lead, code);
  if (digits == nullptr) return false;
  type = code;
  return ParseAddress(digits, type, address);
}

bool TypeToStr(char* buffer, uint8_t type, uint32_t address) {
  if (buffer == nullptr) return false;
  const Operand& form = kOperands[type];
  char* p = buffer;
  if (form.text == nullptr) {
    p = Put(p, "?");
    *p = '\0';
    return false;
  }
  if (type == kNone) {
    // no operand: empty text
  } else if (type == kR3968 && (address == kAddrV || address == kAddrZ)) {
    *p++ = address == kAddrV ? 'V' : 'Z';
  } else if (type == kD && address >= kAddrP0 && address <= kAddrP0 + 9) {
    *p++ = 'P';
    *p++ = static_cast<char>('0' + (address - kAddrP0));
  } else {
    p = Put(p, form.text);
    p = PutInt(p, address);
    if (form.suffix != '\0') *p++ = form.suffix;
  }
  *p = '\0';
  return true;
}

bool StrNormalize(char* buffer, const char* text) {
  uint8_t type = 0;
  uint32_t address = 0;
  if (buffer == nullptr || !StrToType(text, type, address)) return false;
  return TypeToStr(buffer, type, address);
}

bool TypeToDType(uint8_t& /*type*/, uint32_t& /*address*/) {
  return true;
}

bool CheckTypeRange(uint8_t& type, uint32_t& address) {
  const uint32_t a = address;
  const Operand& o = kOperands[type];
  switch (o.check) {
    case Check::kReject:
      return false;
    case Check::kAny:
      return true;
    case Check::kUpTo:
      return a <= o.highest;
    case Check::kOctet:
      return a % 8 == 0 && a <= o.highest;
    case Check::kM:
      if (a > o.highest) return false;
      type = a <= kMLowLast ? kM : kMHigh;
      return true;
    case Check::kC:
      if (a > o.highest) return false;
      if (a >= kC32First) type = kC32;
      return true;
    case Check::kR:
      if (const RBlock* block = FindRBlock(a)) {
        type = block->code;
        return true;
      }
      return false;
    case Check::kIndexed:
      return FindRBlock(a) != nullptr;
    case Check::kRPair: {
      // a pair never straddles the end of an R block
      const RBlock* block = FindRBlock(a);
      return block != nullptr && a != block->last;
    }
  }
  return false;
}

}  // namespace fautil
