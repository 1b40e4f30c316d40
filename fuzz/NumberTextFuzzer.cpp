// Number text: the validating hex parse, byte and word arrays of input-decided
// length through text and back, formatted words and point cells.
//
// Input: bytes 0-1 the element count (big-endian), byte 2 a format selector,
// bytes 3-6 a value, bytes 7-8 a point-table index; the whole input is also
// the text for StrToHex and, from byte 9 on, the hex text of the arrays.

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "FuzzSupport.h"
#include "fautil/NumberText.h"

namespace {

using namespace fautil;

bool IsUpperHex(char c) {
  return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F');
}

// What a text of `n` digits reads back as: every character that is not an
// upper-case hex digit counts as 0.
std::string Canonical(const char* text, size_t n) {
  std::string out(text, n);
  for (char& c : out)
    if (!IsUpperHex(c)) c = '0';
  return out;
}

void CheckHex(const std::string& text) {
  uint8_t value = 0xAA;
  const bool ok = StrToHex(text.c_str(), value);
  const bool valid = !text.empty() && text.size() <= 2 &&
                     text.find_first_not_of("0123456789abcdefABCDEF") == std::string::npos;
  FUZZ_CHECK(ok == valid);
  if (ok) FUZZ_CHECK(value == std::strtoul(text.c_str(), nullptr, 16));
}

void CheckArrays(const char* text, size_t length, uint16_t wanted) {
  // Arrays and texts of exactly the size each call is documented to need.
  const uint16_t bytes = static_cast<uint16_t>(std::min<size_t>(wanted, length / 2));
  auto mem = std::make_unique<uint8_t[]>(std::max<size_t>(bytes, 1));
  StrToBMem(text, mem.get(), bytes);
  auto back = std::make_unique<char[]>(2 * bytes + 1);
  BMemToStr(back.get(), mem.get(), bytes);
  FUZZ_CHECK(back.get() == Canonical(text, 2 * bytes));

  const uint16_t words = static_cast<uint16_t>(std::min<size_t>(wanted, length / 4));
  auto wmem = std::make_unique<uint16_t[]>(std::max<size_t>(words, 1));
  StrToWMem(text, wmem.get(), words);
  auto wback = std::make_unique<char[]>(4 * words + 1);
  WMemToStr(wback.get(), wmem.get(), words);
  FUZZ_CHECK(wback.get() == Canonical(text, 4 * words));

  if (length >= 8) {
    FUZZ_CHECK(StrToDWord(text) == (uint32_t{StrToWord(text)} << 16 | StrToWord(text + 4)));
    FUZZ_CHECK(StrToWord(text) == (StrToByte(text) << 8 | StrToByte(text + 2)));
  }
}

void CheckFormats(uint32_t value, uint16_t format) {
  auto word = std::make_unique<char[]>(kWordFmtRoom);
  WordToFmtStr(word.get(), static_cast<uint16_t>(value), format);
  FUZZ_CHECK(std::strlen(word.get()) < static_cast<size_t>(kWordFmtRoom));
  auto dword = std::make_unique<char[]>(kDWordFmtRoom);
  DWordToFmtStr(dword.get(), value, format);
  const std::string text = dword.get();
  FUZZ_CHECK(text.size() < static_cast<size_t>(kDWordFmtRoom));
  if (format > kFmtFloat) FUZZ_CHECK(word[0] == '\0' && text.empty());
  if (format == kFmtFloat) FUZZ_CHECK(text.find("NAN") == std::string::npos);
  if (format == kFmtHex) FUZZ_CHECK(std::strtoul(text.c_str(), nullptr, 16) == value);
}

void CheckPointCells(uint16_t firstIndex, uint16_t value) {
  if (firstIndex >= kPointCellCount) return;
  // Exactly the cells left in the table from `firstIndex` on.
  const size_t left = kPointCellCount - firstIndex;
  auto cells = std::make_unique<uint16_t[]>(left);
  for (size_t i = 0; i < left; ++i) cells[i] = static_cast<uint16_t>(0xA5F0 ^ (i * 0x1111));
  const size_t used = std::min<size_t>(left, 16);
  const uint16_t mask = static_cast<uint16_t>((1u << used) - 1);

  WordToRegBin(cells.get(), value, firstIndex);
  WordToRegDis(cells.get(), static_cast<uint16_t>(~value), firstIndex);
  FUZZ_CHECK(RegBinToWord(cells.get(), firstIndex) == (value & mask));
  FUZZ_CHECK(RegDisToWord(cells.get(), firstIndex) == (~value & mask));
  for (size_t i = 0; i < left; ++i) {
    const uint16_t before = static_cast<uint16_t>(0xA5F0 ^ (i * 0x1111));
    if (i >= used)
      FUZZ_CHECK(cells[i] == before);
    else
      FUZZ_CHECK((cells[i] & 0xFF00) == (before & 0xFF00) && (cells[i] & 0xEE) == 0);
  }
  if (left >= 32) {
    const uint32_t dword = RegBinToDWord(cells.get());
    FUZZ_CHECK((dword & 0xFFFF) == value);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  CheckHex(kv37fuzz::AsText(data, size));
  uint8_t head[9] = {};
  std::memcpy(head, data, std::min(size, sizeof head));
  const uint16_t count = static_cast<uint16_t>(head[0] << 8 | head[1]);
  const uint32_t value =
      static_cast<uint32_t>(head[3] << 24 | head[4] << 16 | head[5] << 8 | head[6]);
  const uint16_t firstIndex = static_cast<uint16_t>((head[7] << 8 | head[8]) % 0x1000);

  if (size > sizeof head) {
    // A copy of exactly the text's bytes, so a read past them is caught.
    const size_t length = size - sizeof head;
    auto text = std::make_unique<char[]>(length);
    std::memcpy(text.get(), data + sizeof head, length);
    CheckArrays(text.get(), length, count);
  }
  CheckFormats(value, head[2] % 8);
  CheckPointCells(firstIndex, static_cast<uint16_t>(value));
  return 0;
}
