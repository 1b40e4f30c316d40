// The C interface's node field functions on input bytes, called as a script
// would call them: no bounds checked by the caller, any cursor. They must
// stay inside the data they are given and fail, touching nothing, for a field
// that does not fit.

#include <cstring>
#include <memory>
#include <vector>

#include "FuzzSupport.h"
#include "fautil/fautil_c.h"

namespace {

// The first bytes choose the steps and cursors; the rest is the node data,
// held on the heap at its exact length so a read or write past it is caught.
void Walk(const uint8_t* plan, size_t planSize, uint8_t* data, uint32_t size) {
  for (size_t i = 0; i + 1 < planSize; i += 2) {
    const uint8_t op = plan[i] & 7;
    int32_t cursor = static_cast<int32_t>(plan[i + 1]) - 8;  // also before the data
    const int32_t before = cursor;
    const auto fits = [&](int64_t width) {
      return before >= 0 && before + width <= static_cast<int64_t>(size);
    };
    int32_t ok = 0;
    int64_t width = 0;
    switch (op) {
      case 0: {
        uint8_t v = 0;
        ok = fautil_FD2NodeGetByte(data, size, &cursor, &v);
        width = 1;
        break;
      }
      case 1: {
        uint16_t v = 0;
        ok = fautil_FD2NodeGetWord(data, size, &cursor, &v);
        width = 2;
        break;
      }
      case 2: {
        uint32_t v = 0;
        ok = fautil_FD2NodeGetDWord(data, size, &cursor, &v);
        width = 4;
        break;
      }
      case 3: {
        char text[FAUTIL_MAX_ANSI_STRING_ROOM];
        const uint32_t room = plan[i] >> 3;  // 0 to 31: often too small
        ok = fautil_FD2NodeGetAnsiString(data, size, &cursor, text, room);
        if (ok) {
          FUZZ_CHECK(std::strlen(text) < room);
          width = cursor - before;
          FUZZ_CHECK(fits(width) && width == 2 + (data[before] | data[before + 1] << 8));
        }
        FUZZ_CHECK(ok || cursor == before);
        continue;
      }
      case 4:
        ok = fautil_FD2NodeSetWord(data, size, &cursor, 0xA55A);
        width = 2;
        break;
      case 5:
        ok = fautil_FD2NodeSetDWord(data, size, &cursor, 0x12345678);
        width = 4;
        break;
      case 6: {
        const char value[] = "KV-37";
        const size_t length = plan[i] >> 3 & 7;  // 0 to 5 characters of it
        char text[8] = {};
        std::memcpy(text, value, length < 5 ? length : 5);
        ok = fautil_FD2NodeSetAnsiString(data, size, &cursor, text);
        width = 2 + static_cast<int64_t>(std::strlen(text)) + 1;
        break;
      }
      default:
        ok = fautil_FD2NodeSetCRC16(data, size, &cursor);
        width = 2;
        break;
    }
    FUZZ_CHECK(ok == (fits(width) ? 1 : 0));
    FUZZ_CHECK(cursor == (ok ? before + width : before));
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const size_t planSize = data[0] % 32 < size - 1 ? data[0] % 32 : size - 1;
  const uint8_t* plan = data + 1;
  const size_t nodeSize = size - 1 - planSize;
  auto node = std::make_unique<uint8_t[]>(nodeSize);
  if (nodeSize > 0) std::memcpy(node.get(), plan + planSize, nodeSize);
  Walk(plan, planSize, node.get(), static_cast<uint32_t>(nodeSize));
  return 0;
}
