// Operand text: parsing, normalising, stepping, table sizes and reference
// lists, all fed the same text.

#include <climits>
#include <cstring>

#include "FuzzSupport.h"
#include "fautil/OperandRange.h"
#include "fautil/OperandText.h"

namespace {

using namespace fautil;

constexpr size_t kBuffer = 32;  // the room callers are documented to give
constexpr char kUntouched = '\x7F';

// Codes operand text can stand for; the T and C bits, TR, SO, FO, "no operand"
// and the indexed registers have no text of their own.
bool IsTextCode(uint8_t type) {
  return type == 0x00 || type == 0x02 || type == 0x20 || type == 0x21 ||
         (type >= 0x23 && type <= 0x25) || (type >= 0x30 && type <= 0x33) ||
         (type >= 0x40 && type <= 0x48) || (type >= 0x60 && type <= 0x63) ||
         (type >= 0x66 && type <= 0x69);
}

bool Untouched(const char (&buffer)[kBuffer]) {
  for (char c : buffer)
    if (c != kUntouched) return false;
  return true;
}

void CheckParse(const char* text) {
  uint8_t type = 0xEE;
  uint32_t address = 0xDEADBEEF;
  const bool ok = StrToType(text, type, address);
  if (text[0] == '\0') FUZZ_CHECK(!ok && type == 0xEE && address == 0xDEADBEEF);

  char normal[kBuffer];
  std::memset(normal, kUntouched, sizeof normal);
  const bool normalised = StrNormalize(normal, text);
  FUZZ_CHECK(normalised == (ok && type != 0x02));
  if (!ok) {
    FUZZ_CHECK(Untouched(normal));
    return;
  }
  FUZZ_CHECK(IsTextCode(type));
  if (type == 0x02) {
    FUZZ_CHECK(std::strcmp(normal, "?") == 0);
    return;
  }
  FUZZ_CHECK(std::strlen(normal) <= 14);

  // A parsed operand is in range, keeps its code, and its canonical text
  // stands for the very same pair and is canonical itself.
  uint8_t checked = type;
  uint32_t checkedAddress = address;
  FUZZ_CHECK(CheckTypeRange(checked, checkedAddress) && checked == type);
  uint8_t type2 = 0;
  uint32_t address2 = 0;
  FUZZ_CHECK(StrToType(normal, type2, address2));
  FUZZ_CHECK(type2 == type && address2 == address);
  char again[kBuffer];
  FUZZ_CHECK(StrNormalize(again, normal) && std::strcmp(again, normal) == 0);
}

void CheckStepping(const char* text) {
  uint8_t type = 0;
  uint32_t address = 0;
  const bool parses = StrToType(text, type, address);
  for (bool next : {true, false}) {
    char out[kBuffer];
    std::memset(out, kUntouched, sizeof out);
    if (GetNextRef(text, out, next)) {
      FUZZ_CHECK(parses);
      FUZZ_CHECK(std::memchr(out, '\0', sizeof out) != nullptr && std::strlen(out) <= 14);
    } else {
      FUZZ_CHECK(Untouched(out));
    }
  }
}

void CheckTables(const char* text) {
  uint8_t type = 0;
  uint32_t address = 0;
  const bool parses = StrToType(text, type, address);
  for (int area : {0, 1, 100, 3071, 3072, 4000, -7, INT_MAX, INT_MIN}) {
    const int max = GetTableMaxSize(text, area);
    FUZZ_CHECK(max >= 0 && max <= 4096);
    if (!parses) {
      FUZZ_CHECK(max == 0 && CheckTableRange(text, 1, area) == -1);
      continue;
    }
    // The largest table fits exactly: one register more runs past its area.
    if (max > 0) {
      FUZZ_CHECK(CheckTableRange(text, max, area) == 0);
      FUZZ_CHECK(CheckTableRange(text, max + 1, area) == -2);
    }
    for (int size : {0, 1, -1, 4096, INT_MAX, INT_MIN}) {
      const int fit = CheckTableRange(text, size, area);
      FUZZ_CHECK(fit == 0 || fit == -2);
    }
  }
}

void CheckList(const char* text) {
  TStrings items;
  const bool listed = RefStrRangeToStr(text, &items);
  FUZZ_CHECK(listed == RefStrRangeToStr(text, nullptr));
  if (std::strlen(text) >= 1024) FUZZ_CHECK(!listed && items.empty());
  for (const std::string& item : items) FUZZ_CHECK(item.size() < kBuffer);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text = kv37fuzz::AsText(data, size);
  CheckParse(text.c_str());
  CheckStepping(text.c_str());
  CheckTables(text.c_str());
  CheckList(text.c_str());
  return 0;
}
