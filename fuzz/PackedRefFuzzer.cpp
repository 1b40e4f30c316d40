// Packed reference codes: every decoder on a code from the input, the
// encoders on what they decode, and the text wrappers on the input text.
//
// Input: bytes 0-1 the code (big-endian); the whole input is also the text.

#include <cstring>
#include <string>

#include "FuzzSupport.h"
#include "fautil/OperandText.h"
#include "fautil/PackedRef.h"

namespace {

using namespace fautil;

constexpr size_t kBuffer = 32;  // the room callers are documented to give
constexpr char kUntouched = '\x7F';

using Decoder = bool (*)(uint16_t, uint8_t&, uint32_t&);
using Encoder = bool (*)(uint8_t, uint32_t, uint16_t&);
using Writer = bool (*)(char*, uint16_t);
using Reader = bool (*)(const char*, uint16_t&);

struct Family {
  Decoder decode;
  Encoder encode;  // null: its codes do not round trip through the encoder
  Writer write;    // null: no text writer
  Reader read;     // null: no text reader
};

constexpr Family kFamilies[] = {
    {DocRefToType, TypeToDocRef, DocRefToStr, StrToDocRef},
    {DRefToType, TypeToDRef, DRefToStr, StrToDRef},
    {RRefToType, TypeToRRef, RRefToStr, StrToRRef},
    {RegRefToType, nullptr, nullptr, nullptr},
    {nullptr, nullptr, FlashRegRefToStr, FlashRegStrToRef},
};

void CheckDecode(const Family& family, uint16_t code) {
  uint8_t type = 0;
  uint32_t address = 0;
  if (!family.decode(code, type, address)) return;
  // A decoded pair has been through CheckTypeRange already.
  uint8_t checked = type;
  FUZZ_CHECK(CheckTypeRange(checked, address) && checked == type);
  if (family.encode == nullptr) return;
  // Codes may alias (a T register encodes like the T bit), so the pair a
  // re-encoded code decodes to must be stable, not the code itself.
  uint16_t again = 0;
  if (!family.encode(type, address, again)) return;
  uint8_t type2 = 0;
  uint32_t address2 = 0;
  FUZZ_CHECK(family.decode(again, type2, address2));
  uint16_t third = 0;
  FUZZ_CHECK(family.encode(type2, address2, third) && third == again);
}

void CheckText(const Family& family, uint16_t code, const std::string& text) {
  if (family.write != nullptr) {
    char buffer[kBuffer];
    std::memset(buffer, kUntouched, sizeof buffer);
    // Written text need not read back (indexed registers, TR, SO and FO do
    // not encode), but it must end inside the buffer.
    if (family.write(buffer, code)) FUZZ_CHECK(std::memchr(buffer, '\0', sizeof buffer) != nullptr);
  }
  if (family.read != nullptr) {
    uint16_t parsed = 0xA5A5;
    family.read(text.c_str(), parsed);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const uint16_t code = size >= 2 ? static_cast<uint16_t>(data[0] << 8 | data[1]) : 0;
  const std::string text = kv37fuzz::AsText(data, size);
  for (const Family& family : kFamilies) {
    if (family.decode != nullptr) CheckDecode(family, code);
    CheckText(family, code, text);
  }
  return 0;
}
