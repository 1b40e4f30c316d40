// UTextToMem on input-decided item lines and limit.
//
// Input: byte 0 the limit (0xFF stands for a negative one), then the lines,
// separated by line feeds.

#include <memory>

#include "FuzzSupport.h"
#include "fautil/MemoryDump.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const int32_t limit = data[0] == 0xFF ? -3 : data[0];
  const fautil::TStrings lines = kv37fuzz::AsLines(data + 1, size - 1);
  // Exactly the room the limit promises, so a byte past it is caught.
  const size_t room = limit > 0 ? static_cast<size_t>(limit) : 0;
  auto buffer = std::make_unique<uint8_t[]>(room);
  const int32_t stored = fautil::UTextToMem(&lines, buffer.get(), limit);
  FUZZ_CHECK(stored == -1 || (stored >= 0 && static_cast<size_t>(stored) <= room));
  FUZZ_CHECK(fautil::UTextToMem(nullptr, buffer.get(), limit) == 0);
  return 0;
}
