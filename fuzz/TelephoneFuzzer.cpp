// Telephone registers: text to registers and back, and registers read from
// raw input bytes.

#include <algorithm>
#include <cstring>
#include <string>

#include "FuzzSupport.h"
#include "fautil/Telephone.h"

namespace {

using namespace fautil;

constexpr uint16_t kUntouched = 0xA5A5;

void CheckPacking(const std::string& text) {
  uint16_t regs[kTelephoneRegisters];
  std::fill(std::begin(regs), std::end(regs), kUntouched);
  if (!TelphoneToReg(text.c_str(), regs)) {
    for (uint16_t r : regs) FUZZ_CHECK(r == kUntouched);
    return;
  }
  FUZZ_CHECK(text.size() <= static_cast<size_t>(kTelephoneMaxDigits));
  FUZZ_CHECK(text.find_first_not_of("0123456789,A#*") == std::string::npos);

  char back[kTelephoneTextSize];
  const bool unpacked = RegToTelphone(regs, back);
  if (text.empty()) {
    FUZZ_CHECK(!unpacked && regs[0] == 0x000F);
    return;
  }
  // 'A' is stored as a comma; everything else comes back as it went in.
  std::string expected = text;
  std::replace(expected.begin(), expected.end(), 'A', ',');
  FUZZ_CHECK(unpacked && expected == back);
}

void CheckUnpacking(const uint8_t* data, size_t size) {
  uint16_t regs[kTelephoneRegisters] = {};
  std::memcpy(regs, data, std::min(size, sizeof regs));
  char text[kTelephoneTextSize];
  std::memset(text, 0x7F, sizeof text);
  if (!RegToTelphone(regs, text)) {
    for (char c : text) FUZZ_CHECK(c == 0x7F);
    return;
  }
  FUZZ_CHECK(std::memchr(text, '\0', sizeof text) != nullptr);
  // An end code in the first place reads as "", which packs to the empty
  // number's own code instead.
  if (text[0] == '\0') return;
  uint16_t repacked[kTelephoneRegisters];
  FUZZ_CHECK(TelphoneToReg(text, repacked));
  char again[kTelephoneTextSize];
  FUZZ_CHECK(RegToTelphone(repacked, again) && std::strcmp(text, again) == 0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  CheckPacking(kv37fuzz::AsText(data, size));
  CheckUnpacking(data, size);
  return 0;
}
