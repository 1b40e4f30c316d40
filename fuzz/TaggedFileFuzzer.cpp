// Tagged data file records as read from a file: the tag check, the node CRC
// check and the field readers walking over node data, all on input bytes.

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "FuzzSupport.h"
#include "fautil/Crc16.h"
#include "fautil/TaggedFile.h"

namespace {

using namespace fautil;

void CheckTag(const uint8_t* data, size_t size) {
  TFileTag2 tag;
  std::memset(&tag, 0, sizeof tag);
  std::memcpy(&tag, data, std::min(size, sizeof tag));
  const bool ok = FD2CheckFileTag(&tag, kFileFormatVersion);
  if (ok) FUZZ_CHECK(tag.Version == kFileFormatVersion && tag.Size == kFileTagSize);
  FUZZ_CHECK(!FD2CheckFileTag(&tag, static_cast<uint16_t>(kFileFormatVersion + 1)));
}

void CheckNode(const uint8_t* data, size_t size) {
  // Node data on the heap at its exact length, as a reader would hold it.
  auto bytes = std::make_unique<uint8_t[]>(size + 2);
  std::memcpy(bytes.get(), data, size);
  const auto length = static_cast<uint32_t>(size);
  FD2CheckNodeEx({kNodeCrcFlag, length, bytes.get()});
  FUZZ_CHECK(FD2CheckNodeEx({0, length, bytes.get()}));

  // Data followed by its own CRC always checks.
  int32_t cursor = static_cast<int32_t>(size);
  FUZZ_CHECK(FD2NodeSetCRC16(bytes.get(), cursor) && cursor == static_cast<int32_t>(size + 2));
  FUZZ_CHECK(FD2CheckNodeEx({kNodeCrcFlag, length + 2, bytes.get()}));
  FUZZ_CHECK(CRC16(bytes.get(), length + 2, 0xFFFF) == 0);
}

// Reads fields in an order the input decides, each only where the caller has
// made sure it fits, as a careful reader of a node does.
void WalkFields(const uint8_t* data, size_t size) {
  if (size < 1) return;
  const uint8_t plan = data[0];
  const auto end = static_cast<int32_t>(size);
  int32_t cursor = 1;
  for (int step = 0; step < 8 && cursor < end; ++step) {
    const int32_t before = cursor;
    switch ((plan >> step) & 1 ? (data[cursor] & 3) : 0) {
      case 0: {
        uint8_t v;
        FUZZ_CHECK(FD2NodeGetByte(data, cursor, v) && cursor == before + 1);
        break;
      }
      case 1: {
        uint16_t v;
        if (end - cursor < 2) return;
        FUZZ_CHECK(FD2NodeGetWord(data, cursor, v) && cursor == before + 2);
        break;
      }
      case 2: {
        uint32_t v;
        if (end - cursor < 4) return;
        FUZZ_CHECK(FD2NodeGetDWord(data, cursor, v) && cursor == before + 4);
        break;
      }
      default: {
        if (end - cursor < 2) return;
        const int32_t n = data[cursor] | data[cursor + 1] << 8;
        if (end - cursor - 2 < n) return;
        std::string text;
        FUZZ_CHECK(FD2NodeGetAnsiString(data, cursor, text) && cursor == before + 2 + n);
        FUZZ_CHECK(text.size() <= static_cast<size_t>(n) && text.find('\0') == std::string::npos);
        break;
      }
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  CheckTag(data, size);
  CheckNode(data, size);
  // An exact-size copy, so a field read past the data is caught.
  auto copy = std::make_unique<uint8_t[]>(size);
  if (size > 0) std::memcpy(copy.get(), data, size);
  WalkFields(copy.get(), size);
  return 0;
}
