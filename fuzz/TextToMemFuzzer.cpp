// TextToMem on input-decided lines and limit, and dumps read back.
//
// Input: byte 0 the limit (0xFF stands for a negative one), then the lines,
// separated by line feeds.

#include <cstring>
#include <memory>
#include <vector>

#include "FuzzSupport.h"
#include "fautil/MemoryDump.h"

namespace {

using namespace fautil;

int32_t LimitOf(uint8_t byte) {
  return byte == 0xFF ? -3 : byte;
}

// Any byte dump reads back as exactly its bytes; a word dump as nothing.
void CheckDumpsReadBack(const uint8_t* data, size_t size) {
  const auto length = static_cast<int32_t>(size);
  TStrings lines;
  MemDump(&lines, data, length);
  FUZZ_CHECK(lines.size() == (size + 15) / 16);
  auto back = std::make_unique<uint8_t[]>(size);
  FUZZ_CHECK(TextToMem(&lines, back.get(), length) == length);
  FUZZ_CHECK(size == 0 || std::memcmp(back.get(), data, size) == 0);

  std::vector<uint16_t> words(size / 2);
  if (!words.empty()) std::memcpy(words.data(), data, words.size() * 2);
  TStrings wordLines;
  WordMemDump(&wordLines, words.data(), static_cast<int32_t>(words.size()));
  uint8_t none[1];
  FUZZ_CHECK(TextToMem(&wordLines, none, 1) == 0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const int32_t limit = LimitOf(data[0]);
  const TStrings lines = kv37fuzz::AsLines(data + 1, size - 1);
  // Exactly the room the limit promises, so a byte past it is caught.
  const size_t room = limit > 0 ? static_cast<size_t>(limit) : 0;
  auto buffer = std::make_unique<uint8_t[]>(room);
  const int32_t stored = TextToMem(&lines, buffer.get(), limit);
  FUZZ_CHECK(stored == -1 || (stored >= 0 && static_cast<size_t>(stored) <= room));
  FUZZ_CHECK(TextToMem(nullptr, buffer.get(), limit) == 0);

  CheckDumpsReadBack(data + 1, size - 1);
  return 0;
}
