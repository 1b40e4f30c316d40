#include "LinePacing.h"

#include <algorithm>
#include <thread>

namespace kv37::sim {

LinePacing::LinePacing(unsigned baud, std::size_t writeSize)
    : writeSize_(std::max<std::size_t>(1, writeSize)) {
  if (baud > 0) byteTime_ = std::chrono::nanoseconds(10'000'000'000LL / baud);
}

LinePacing::Clock::time_point LinePacing::Write(ByteTransport& line,
                                                std::span<const uint8_t> bytes) const {
  if (!Paced()) {
    line.Write(bytes);
    return Clock::now();
  }
  // Absolute deadlines, so a late wake-up does not slow the bytes after it.
  const auto start = Clock::now();
  for (std::size_t i = 0; i < bytes.size(); i += writeSize_) {
    const std::size_t n = std::min(writeSize_, bytes.size() - i);
    std::this_thread::sleep_until(start + byteTime_ * static_cast<int64_t>(i + n - 1));
    line.Write(bytes.subspan(i, n));
  }
  return Clock::now();
}

LinePacing::Clock::time_point LinePacing::ArrivalOfLast(Clock::time_point first,
                                                        std::size_t count) const {
  if (!Paced() || count == 0) return first;
  return first + byteTime_ * static_cast<int64_t>(count - 1);
}

}  // namespace kv37::sim
