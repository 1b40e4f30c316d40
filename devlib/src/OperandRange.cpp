#include "fautil/OperandRange.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <string_view>

#include "OperandTable.h"
#include "fautil/OperandText.h"

namespace fautil {

using namespace op;

namespace {

constexpr size_t kMaxListText = 1024;  // a list text must be shorter
constexpr size_t kEndBuffer = 32;      // longer than any operand text
constexpr int kBlock5000Size = 8072 - 5000;
constexpr int64_t kRLowLast = 4167;  // R4168-R4999 do not exist
constexpr int64_t kRHighFirst = 5000;

// The separate area at the start of the R5000 block, 0 when there is none.
int Area5000(int areaSize) {
  return areaSize > 0 ? std::min(areaSize, kBlock5000Size) : 0;
}

bool InFirstArea(uint32_t address, int area) {
  return area > 0 && static_cast<int64_t>(address) - 4999 <= area;
}

// Step between the operands of a range from `first` to `second`; 0 when the
// two ends do not form a range.
int RangeStep(uint8_t first, uint8_t second) {
  const Operand& o = kOperands[first];
  return o.family != kNoCode && o.family == kOperands[second].family ? o.rangeStep : 0;
}

// Copies one end of an item into `out` as a zero-terminated text.
bool CopyEnd(std::string_view end, char (&out)[kEndBuffer]) {
  if (end.size() >= kEndBuffer) return false;
  std::memcpy(out, end.data(), end.size());
  out[end.size()] = '\0';
  return true;
}

bool ExpandItem(std::string_view item, TStrings* result) {
  const size_t start = item.find_first_not_of("-~");
  item.remove_prefix(start == std::string_view::npos ? item.size() : start);
  const size_t dash = item.find_first_of("-~");

  char first[kEndBuffer];
  uint8_t type1 = 0;
  uint32_t addr1 = 0;
  if (!CopyEnd(item.substr(0, dash), first) || !StrToType(first, type1, addr1)) return false;

  if (dash == std::string_view::npos) {
    if (type1 == kConst || type1 == kRV || type1 == kRZ) return false;
    if (result != nullptr) result->emplace_back(first);
    return true;
  }

  char second[kEndBuffer];
  uint8_t type2 = 0;
  uint32_t addr2 = 0;
  if (!CopyEnd(item.substr(dash + 1), second) || !StrToType(second, type2, addr2)) return false;
  const int step = RangeStep(type1, type2);
  if (step == 0) return false;
  if (result == nullptr) return true;

  char text[kEndBuffer];
  const int64_t to = addr2;
  if (addr1 <= addr2) {
    for (int64_t a = addr1; a <= to; a += step) {
      TypeToStr(text, type1, static_cast<uint32_t>(a));
      result->emplace_back(text);
    }
  } else {
    for (int64_t a = addr1; a >= to; a -= step) {
      TypeToStr(text, type1, static_cast<uint32_t>(a));
      result->emplace_back(text);
    }
  }
  return true;
}

int64_t Wrap(int64_t a, int64_t lowest, int64_t highest) {
  if (a < lowest) return highest;
  if (a > highest) return lowest;
  return a;
}

}  // namespace

int GetTableMaxSize(const char* start, int areaSize) {
  uint8_t type = 0;
  uint32_t address = 0;
  if (!StrToType(start, type, address)) return 0;
  const int a = static_cast<int>(address);  // operand addresses are small
  switch (type) {
    case kR:
      return 3840 - a;
    case kR5000: {
      const int area = Area5000(areaSize);
      return InFirstArea(address, area) ? area - (a - 5000) : 8072 - a;
    }
    case kD:
      return 4096 - a;
    default:
      return 0;
  }
}

int CheckTableRange(const char* start, int tableSize, int areaSize) {
  uint8_t type = 0;
  uint32_t address = 0;
  if (!StrToType(start, type, address)) return -1;
  const int64_t last = std::max<int64_t>(0, int64_t{address} + tableSize - 1);
  switch (type) {
    case kR:
    case kR3840:
    case kR3904:
    case kR3968:
      return last >= 3840 ? -2 : 0;
    case kR5000: {
      const int area = Area5000(areaSize);
      if (InFirstArea(address, area)) return last - 4999 > area ? -2 : 0;
      return last >= 8072 ? -2 : 0;
    }
    case kD:
      return last >= 4096 ? -2 : 0;
    default:
      return 0;
  }
}

bool RefStrRangeToStr(const char* list, TStrings* result) {
  if (list == nullptr) return false;
  const size_t length = strnlen(list, kMaxListText);
  if (length >= kMaxListText) return false;
  try {
    const std::string_view text(list, length);
    size_t begin = 0;
    while (begin < text.size()) {
      size_t end = text.find_first_of(",\n", begin);
      if (end == std::string_view::npos) end = text.size();
      if (end > begin && !ExpandItem(text.substr(begin, end - begin), result)) return false;
      begin = end + 1;
    }
  } catch (const std::bad_alloc&) {
    return false;
  }
  return true;
}

bool GetNextRef(const char* text, char* buffer, bool next) {
  uint8_t type = 0;
  uint32_t address = 0;
  if (buffer == nullptr || !StrToType(text, type, address)) return false;
  const Operand& o = kOperands[type];
  if (o.ringHighest == 0) return false;
  const int64_t step = (IsGroup16(type) || IsGroup32(type)) ? 8 : 1;
  int64_t a = Wrap(int64_t{address} + (next ? step : -step), 0, o.ringHighest);
  if (IsRCode(type)) {
    // R0-R4167 and R5000-R8071 form one ring
    if (a > kRLowLast && a < kRHighFirst) a = next ? kRHighFirst : kRLowLast;
  } else if (type == kDR) {
    if (a > kRLowLast - 1 && a < kRHighFirst) a = next ? kRHighFirst : kRLowLast - 1;
    // a pair may not straddle the end of R3839, R3903 or R3967
    if (a == FindRBlock(static_cast<uint32_t>(a))->last) a += next ? 1 : -1;
  }
  return TypeToStr(buffer, type, static_cast<uint32_t>(a));
}

}  // namespace fautil
