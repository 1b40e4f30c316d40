#pragma once
// The byte line the simulated unit talks over: a serial device, a
// pseudo-terminal or anything a test puts in their place.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <span>
#include <stdexcept>
#include <string>

namespace kv37::sim {

// The line failed (I/O error, hang-up, write stuck) and cannot be used again.
class TransportError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Cancel() was called; every later Read or Write throws this as well.
class TransportCancelled : public TransportError {
 public:
  TransportCancelled() : TransportError("cancelled") {}
};

// One full-duplex byte line. Read and Write are called from one thread (the
// unit's); Cancel may be called from any thread and from a signal handler.
class ByteTransport {
 public:
  virtual ~ByteTransport() = default;

  // Hands every byte to the line before returning. Throws TransportError.
  virtual void Write(std::span<const uint8_t> bytes) = 0;

  // Waits up to `timeout` for at least one byte and returns how many bytes
  // were stored in `buffer` (at most its size); 0 means the time-out passed
  // with nothing received. A zero time-out only collects what has arrived.
  // Throws TransportError.
  virtual std::size_t Read(std::span<uint8_t> buffer, std::chrono::milliseconds timeout) = 0;

  // Waits up to `timeout` until the far end has taken every byte written,
  // so closing the line does not discard them. Returns false on time-out.
  // Throws TransportError.
  virtual bool Drain(std::chrono::milliseconds timeout) = 0;

  // Makes a blocked Read or Write, and every later one, throw
  // TransportCancelled. Async-signal-safe.
  virtual void Cancel() noexcept = 0;
};

}  // namespace kv37::sim
