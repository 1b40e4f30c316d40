#pragma once
// Shared by the harnesses: property checks, which stay active in optimised
// builds (unlike assert) and abort, so libFuzzer records the input as a
// crash; and the input read as a caller's text or list of lines.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

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

// The input as a list of lines, split at line feeds (which therefore never
// occur inside a line).
inline std::vector<std::string> AsLines(const uint8_t* data, size_t size) {
  std::vector<std::string> lines;
  const std::string text(reinterpret_cast<const char*>(data), size);
  size_t begin = 0;
  while (begin <= text.size()) {
    size_t end = text.find('\n', begin);
    if (end == std::string::npos) end = text.size();
    lines.push_back(text.substr(begin, end - begin));
    begin = end + 1;
  }
  return lines;
}

}  // namespace kv37fuzz
