#include <filesystem>
#include <fstream>
#include <string>

#include "ProcessFigures.h"

namespace kv37::soak {

ProcessFigures ReadProcessFigures() {
  ProcessFigures figures;
  std::error_code ec;
  int descriptors = 0;
  for (auto it = std::filesystem::directory_iterator("/proc/self/fd", ec);
       !ec && it != std::filesystem::directory_iterator(); it.increment(ec))
    ++descriptors;
  // The iterator holds one descriptor of its own while it counts.
  if (!ec) figures.descriptors = descriptors - 1;

  std::ifstream status("/proc/self/status");
  std::string key;
  while (status >> key) {
    if (key == "Threads:")
      status >> figures.threads;
    else if (key == "VmRSS:")
      status >> figures.residentKiB;
    else if (key == "VmHWM:")
      status >> figures.peakKiB;
    status.ignore(1 << 10, '\n');
  }
  return figures;
}

}  // namespace kv37::soak
