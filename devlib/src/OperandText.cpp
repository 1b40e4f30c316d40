#include "fautil/OperandText.h"

#include <array>
#include <cstring>

#include "OperandTable.h"

namespace fautil {

using namespace op;

namespace {

// ---- Text forms ----------------------------------------------------------

struct TextForm {
  const char* prefix = nullptr;  // null: the code has no text form
  char suffix = '\0';
};

constexpr std::array<TextForm, 256> MakeTextForms() {
  std::array<TextForm, 256> f{};
  f[kConst] = {""};
  f[kX] = {"X"};
  f[kY] = {"Y"};
  f[kTR] = {"TR"};
  f[kM] = f[kMHigh] = {"M"};
  f[kS] = {"S"};
  f[kTBit] = {"T"};
  f[kCBit] = {"C"};
  f[kSO] = {"SO"};
  f[kFO] = {"FO"};
  f[kNone] = {""};  // written without its address
  f[kWX] = {"WX"};
  f[kWY] = {"WY"};
  f[kWM] = {"WM"};
  f[kWS] = {"WS"};
  f[kT] = {"T"};
  f[kC] = f[kC32] = {"C"};
  for (int t = kR; t <= kR5000; ++t) f[t] = {"R"};
  f[kD] = {"D"};
  f[kF] = {"F"};
  f[kRV] = {"R", 'V'};
  f[kRZ] = {"R", 'Z'};
  f[kDWX] = {"DWX"};
  f[kDWY] = {"DWY"};
  f[kDWM] = {"DWM"};
  f[kDWS] = {"DWS"};
  f[kDR] = {"DR"};
  f[kDD] = {"DD"};
  f[kDF] = {"DF"};
  return f;
}

constexpr std::array<TextForm, 256> kTextForms = MakeTextForms();

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

// Constants: decimal, base suffixes B/O/H, reals. `text` starts at its first
// character (a digit, a base-16 letter, a point or a minus sign).
bool ParseNumber(const char* text, uint8_t& type, uint32_t& address) {
  const char* p = text;
  const bool negative = *p == '-';
  if (negative && !IsDigit(*++p)) return false;

  uint32_t dec = 0, bin = 0, oct = 0, hex = 0;
  bool decValid = true, binOk = true, octOk = true;
  bool hexLetter = false, point = false, exponent = false, exponentSign = false;
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
      continue;
    }
    const bool plain = type == kConst;  // no point, no exponent so far
    if ((c == 'B' && atEnd && !atStart) || c == 'O' || c == 'H') {
      // A base suffix closes the text and replaces the decimal value.
      if (!atEnd || !plain || negative) return false;
      if (c == 'B' && !binOk) return false;
      if (c == 'O' && !octOk) return false;
      address = c == 'B' ? bin : c == 'O' ? oct : hex;
      return true;
    }
    if (c == 'E' && !atStart) {
      if (exponent) return false;
      exponent = true;
      type = kReal;
      continue;
    }
    if (const int v = HexLetter(c); v >= 0) {
      if (negative || !plain) return false;
      hex = hex * 16u + static_cast<uint32_t>(v);
      binOk = octOk = false;
      hexLetter = true;
      continue;
    }
    if (c == '.') {
      if (point || exponent || hexLetter) return false;
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

  if (hexLetter) return false;  // base-16 digits need the H suffix
  if (type == kReal) {
    if (exponent && exponentDigits == 0) return false;
    if (point && fractionDigits == 0) return false;
    if (exponent && !real.InRange()) return false;
    address = dec;  // integer part only; the caller reads the value from the text
    return true;
  }
  if (!decValid) return false;
  address = negative ? 0u - dec : dec;
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

}  // namespace

bool StrToType(const char* text, uint8_t& type, uint32_t& address) {
  if (text == nullptr || text[0] == '\0') return false;
  type = kConst;
  address = 0;

  const char first = Upper(text[0]);
  const char* p = text + 1;
  uint8_t code = kConst;
  switch (first) {
    case '\'':
    case '"':
      return ParseQuoted(text, address);
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
    case 'T':
    case 'C':
      if (first == 'C' && EndsInH(text)) return ParseNumber(text, type, address);
      code = first == 'T' ? kT : kC;
      if (Upper(*p) == 'D') ++p;
      if (Upper(*p) == 'R') ++p;
      break;
    case 'D':
      if (EndsInH(text)) return ParseNumber(text, type, address);
      switch (Upper(*p)) {
        case 'R':
          code = kDR;
          ++p;
          break;
        case 'D':
          code = kDD;
          ++p;
          break;
        case 'F':
          code = kDF;
          ++p;
          break;
        case 'W': {
          const int g = GroupIndex(p[1]);
          if (g < 0) return false;
          code = static_cast<uint8_t>(kDWX + g);
          p += 2;
          break;
        }
        default:
          if (!IsDigit(*p)) return false;
          code = kD;
      }
      break;
    case 'F':
      if (EndsInH(text)) return ParseNumber(text, type, address);
      code = kF;
      break;
    case 'W': {
      const int g = GroupIndex(*p);
      if (g < 0) return false;
      code = static_cast<uint8_t>(kWX + g);
      ++p;
      break;
    }
    case 'V':
    case 'Z':
      if (*p != '\0') return false;
      type = kR3968;
      address = first == 'V' ? kAddrV : kAddrZ;
      return CheckTypeRange(type, address);
    case 'P':
      if (!IsDigit(*p) || p[1] != '\0') return false;
      type = kD;
      address = kAddrP0 + static_cast<uint32_t>(*p - '0');
      return CheckTypeRange(type, address);
    default:
      if (IsDigit(first) || first == '.' || first == '-' || first == 'A' || first == 'B' ||
          first == 'E') {
        return ParseNumber(text, type, address);
      }
      return false;
  }

  type = code;
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

bool TypeToStr(char* buffer, uint8_t type, uint32_t address) {
  if (buffer == nullptr) return false;
  const TextForm& form = kTextForms[type];
  char* p = buffer;
  if (form.prefix == nullptr) {
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
    p = Put(p, form.prefix);
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
  const bool octet = a % 8 == 0;
  switch (type) {
    case kConst:
    case kTR:
    case kSO:
    case kFO:
    case kNone:
      return true;
    case kX:
    case kY:
    case kTBit:
    case kT:
      return a <= 255;
    case kM:
    case kMHigh:
      if (a > 2001) return false;
      type = a <= 1911 ? kM : kMHigh;
      return true;
    case kS:
      return a <= 999;
    case kCBit:
    case kC:
    case kC32:
      if (a > 255) return false;
      if (a >= 200) type = kC32;
      return true;
    case kWX:
    case kWY:
      return octet && a <= 240;
    case kWM:
      return octet && a <= 1896;
    case kWS:
      return octet && a <= 984;
    case kDWX:
    case kDWY:
      return octet && a <= 224;
    case kDWM:
      return octet && a <= 1880;
    case kDWS:
      return octet && a <= 968;
    case kR:
    case kR3840:
    case kR3904:
    case kR3968:
    case kR5000:
      if (a <= 3839)
        type = kR;
      else if (a <= 3903)
        type = kR3840;
      else if (a <= 3967)
        type = kR3904;
      else if (a <= 4167)
        type = kR3968;
      else if (a >= 5000 && a <= 8071)
        type = kR5000;
      else
        return false;
      return true;
    case kD:
      return a <= 4095;
    case kF:
      return a <= 8191;
    case kRV:
    case kRZ:
      return a <= 4167 || (a >= 5000 && a <= 8071);
    case kDR:
      // a pair never straddles the end of an R block
      return a <= 8070 && a != 3839 && a != 3903 && a != 3967 && (a < 4167 || a > 4999);
    case kDD:
      return a <= 4094;
    case kDF:
      return a <= 8190;
    default:
      return false;
  }
}

}  // namespace fautil
