#pragma once
// Models the line rate on a line that has none (a pseudo-terminal): the
// unit's own bytes leave one at a time at 10 bits per byte, and the
// utility's bytes count as received no sooner than the line could carry them.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <span>

#include "ByteTransport.h"

namespace kv37::sim {

class LinePacing {
 public:
  using Clock = std::chrono::steady_clock;

  // `baud` in bit/s; 0 leaves the line unpaced. `writeSize`: how many bytes
  // go to the line in one write, as a UART's FIFO or a USB packet hands them
  // on together (1: each byte on its own).
  explicit LinePacing(unsigned baud = 0, std::size_t writeSize = 1);

  bool Paced() const { return byteTime_.count() > 0; }
  // Time one byte (start bit, 8 data bits, stop bit) takes on the line.
  std::chrono::nanoseconds ByteTime() const { return byteTime_; }

  // Writes `bytes` at the line rate when paced: each group of the write size
  // once its last byte would have crossed the line. Returns the time the last
  // byte was handed to the line. Throws TransportError.
  Clock::time_point Write(ByteTransport& line, std::span<const uint8_t> bytes) const;

  // The earliest time the last of `count` bytes could have arrived when the
  // first one arrived at `first`; `first` itself when unpaced.
  Clock::time_point ArrivalOfLast(Clock::time_point first, std::size_t count) const;

 private:
  std::chrono::nanoseconds byteTime_{0};
  std::size_t writeSize_ = 1;
};

}  // namespace kv37::sim
