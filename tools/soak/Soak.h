#pragma once
// The soak: many simulated updates over one open port, then many open/close
// cycles of the port, watching descriptors, threads and memory.
//
// Runs on the thread of the QCoreApplication (the TComm events and the
// watchdog need its event loop); the simulated unit runs on a thread of its
// own for each update. Progress and figures go to `out`.

#include <cstdint>
#include <ostream>

namespace kv37::soak {

struct SoakOptions {
  int updates = 100;
  int cycles = 1000;
  uint32_t maxImageSize = 0x30000;  // bytes; sizes are drawn from 0 .. this
  uint32_t seed = 37;
  // Gap (ms) that ends a read of the port. The window uses 100 ms; the soak
  // is about byte-exact transfers and leaks, not line timing, so it goes faster.
  uint32_t readInterval = 2;
};

// Returns 0 when every update was byte-exact and nothing grew, else 1.
int RunSoak(const SoakOptions& options, std::ostream& out);

}  // namespace kv37::soak
