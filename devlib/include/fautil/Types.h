#pragma once
// Types shared by every topic of the library.

#include <cstdint>
#include <string>
#include <vector>

#include "fautil/Export.h"

namespace fautil {

// An ordered list of text lines, owned by the caller. Routines that take a
// TStrings* treat null as "no list".
using TStrings = std::vector<std::string>;

// The library's version as "major.minor.patch".
FAUTIL_API const char* Version();

}  // namespace fautil
