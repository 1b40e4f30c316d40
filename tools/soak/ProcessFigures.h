#pragma once
// What the soak watches for growth: the process's open file descriptors,
// threads and resident memory. One implementation per operating system
// (ProcessFigures_<os>.cpp). Any thread; nothing is kept between calls.

#include <cstdint>

namespace kv37::soak {

struct ProcessFigures {
  int descriptors = -1;      // open file descriptors; -1 when unknown
  int threads = -1;          // threads of the process; -1 when unknown
  int64_t residentKiB = -1;  // resident memory now, KiB
  int64_t peakKiB = -1;      // highest resident memory so far, KiB
};

ProcessFigures ReadProcessFigures();

}  // namespace kv37::soak
