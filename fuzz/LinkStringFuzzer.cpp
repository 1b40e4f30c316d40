// Link strings and U-link strings: both readers on the input text, their
// writers on a pair and version taken from the input bytes, and link modes.

#include <algorithm>
#include <climits>
#include <cstring>
#include <string>

#include "FuzzSupport.h"
#include "fautil/LinkString.h"
#include "fautil/OperandText.h"

namespace {

using namespace fautil;

constexpr size_t kBuffer = 32;  // the room callers are documented to give
constexpr char kUntouched = '\x7F';

void FillUntouched(char (&buffer)[kBuffer]) {
  std::memset(buffer, kUntouched, sizeof buffer);
}

// A writer either fails without writing or writes one terminated text.
void CheckWritten(bool ok, const char (&buffer)[kBuffer]) {
  if (ok) {
    FUZZ_CHECK(std::memchr(buffer, '\0', sizeof buffer) != nullptr);
  } else {
    for (char c : buffer) FUZZ_CHECK(c == kUntouched);
  }
}

void CheckLinkString(const std::string& text) {
  uint8_t type = 0xEE;
  uint32_t address = 0xDEADBEEF;
  if (!LinkStrToType(text.c_str(), type, address)) return;
  FUZZ_CHECK(text.size() >= 5);
  uint8_t checked = type;
  FUZZ_CHECK(CheckTypeRange(checked, address) && checked == type);
  FUZZ_CHECK(TypeToLinkMode(type) != 0xFF || type == 0x66);

  // The decimal form reads back as the same pair, but for the T and C bits,
  // whose two-item form starts with the register item.
  if (type == 0x26 || type == 0x27) return;
  char written[kBuffer];
  FUZZ_CHECK(TypeToLinkStrVer(written, type, address, 0x0310));
  uint8_t type2 = 0;
  uint32_t address2 = 0;
  FUZZ_CHECK(LinkStrToType(written, type2, address2));
  FUZZ_CHECK(type2 == type && address2 == address);
}

void CheckULinkString(const std::string& text) {
  uint8_t type = 0xEE;
  uint32_t address = 0xDEADBEEF;
  if (!ULinkStrToType(text.c_str(), type, address)) return;
  FUZZ_CHECK(!text.empty() && text.find(' ') == std::string::npos);

  char written[kBuffer];
  FillUntouched(written);
  const bool ok = TypeToULinkStr(written, type, address);
  CheckWritten(ok, written);
  FUZZ_CHECK(ok);
  // One-item forms read back as the pair; T and C registers write two items.
  if (type == 0x26 || type == 0x40 || type == 0x41 || type == 0x66 || address > INT_MAX) return;
  uint8_t type2 = 0;
  uint32_t address2 = 0;
  FUZZ_CHECK(ULinkStrToType(written, type2, address2));
  FUZZ_CHECK(type2 == type && address2 == address);
}

void CheckWriters(const uint8_t* data, size_t size) {
  uint8_t raw[7] = {};
  std::memcpy(raw, data, std::min(size, sizeof raw));
  const uint8_t type = raw[0];
  const uint32_t address =
      static_cast<uint32_t>(raw[1] << 24 | raw[2] << 16 | raw[3] << 8 | raw[4]);
  const uint16_t version = static_cast<uint16_t>(raw[5] << 8 | raw[6]);

  char buffer[kBuffer];
  FillUntouched(buffer);
  const bool link = TypeToLinkStrVer(buffer, type, address, version);
  CheckWritten(link, buffer);
  if (link) {
    LinkStrV40ChgOnOff(buffer);
    FUZZ_CHECK(std::memchr(buffer, '\0', sizeof buffer) != nullptr);
  }
  FillUntouched(buffer);
  CheckWritten(TypeToULinkStr(buffer, type, address), buffer);

  const uint8_t mode = TypeToLinkMode(type);
  FUZZ_CHECK(mode <= 13 || mode == 0xFF);
  if (mode != 0xFF) FUZZ_CHECK(TypeToLinkMode(LinkModeToType(mode)) == mode);
  const uint8_t back = LinkModeToType(type);
  FUZZ_CHECK((type <= 13) == (back != 0xFF));
}

void CheckChangeOnOff(const std::string& text) {
  std::string changed = text;
  LinkStrV40ChgOnOff(changed.data());
  FUZZ_CHECK(changed.size() == text.size());
  if (!text.empty()) FUZZ_CHECK(changed.compare(1, std::string::npos, text, 1) == 0);
  if (!text.empty() && text[0] >= '4' && text[0] <= '7') FUZZ_CHECK(changed[0] == text[0] - 4);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text = kv37fuzz::AsText(data, size);
  CheckLinkString(text);
  CheckULinkString(text);
  CheckChangeOnOff(text);
  CheckWriters(data, size);
  return 0;
}
