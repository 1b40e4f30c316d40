// UStrToMem on one input-decided item and room.
//
// Input: byte 0 the room (0xFF stands for a negative one), then the item.

#include <memory>
#include <string>

#include "FuzzSupport.h"
#include "fautil/MemoryDump.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const int32_t room = data[0] == 0xFF ? -1 : data[0];
  const std::string item = kv37fuzz::AsText(data + 1, size - 1);
  // Exactly the room promised, so a byte past it is caught.
  const size_t bytes = room > 0 ? static_cast<size_t>(room) : 0;
  auto buffer = std::make_unique<uint8_t[]>(bytes);
  const int32_t stored = fautil::UStrToMem(item.c_str(), buffer.get(), room);
  FUZZ_CHECK(stored >= -1 && stored <= static_cast<int32_t>(bytes));
  if (item.empty()) FUZZ_CHECK(stored == -1);
  if (item.size() > 3 && item[0] != '\'') FUZZ_CHECK(stored == 0);

  // A decimal number of 1 to 3 digits is one byte, modulo 256.
  if (!item.empty() && item.size() <= 3 &&
      item.find_first_not_of("0123456789") == std::string::npos) {
    FUZZ_CHECK(stored == (bytes >= 1 ? 1 : -1));
    if (stored == 1) FUZZ_CHECK(buffer[0] == static_cast<uint8_t>(std::stoi(item)));
  }
  return 0;
}
