#pragma once
// --help and --version of the window programs, answered before any window
// system is touched, so they work without a display (and so help2man can
// read them in a build).

#include <cstdio>
#include <cstring>

namespace kv37 {

// Prints `usage` or "PROGRAM VERSION" and returns true when asked for one.
inline bool AnsweredFromTheCommandLine(int argc, char** argv, const char* usage,
                                       const char* program, const char* version) {
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
      std::fputs(usage, stdout);
      return true;
    }
    if (std::strcmp(argv[i], "--version") == 0) {
      std::printf("%s %s\n", program, version);
      return true;
    }
  }
  return false;
}

}  // namespace kv37
