#pragma once
// Property checks inside the harnesses. They stay active in optimised builds
// (unlike assert) and abort, so libFuzzer records the input as a crash.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#define FUZZ_CHECK(condition)                                                               \
  do {                                                                                      \
    if (!(condition)) {                                                                     \
      std::fprintf(stderr, "%s:%d: property failed: %s\n", __FILE__, __LINE__, #condition); \
      std::abort();                                                                         \
    }                                                                                       \
  } while (false)

namespace kv37fuzz {

// The input as a zero-terminated text: the bytes up to the first zero byte,
// as a caller's C string would hold them.
inline std::string AsText(const uint8_t* data, size_t size) {
  std::string text(reinterpret_cast<const char*>(data), size);
  return text.substr(0, text.find('\0'));
}

}  // namespace kv37fuzz
