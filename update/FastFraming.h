#pragma once
// --fast: cuts the received bytes into chunks without waiting out the read
// gap when that cannot change the outcome. A buffer that is exactly one
// complete page request with a valid checksum goes on at once; anything else
// (part of a frame, noise, a completion frame, a faulty or split request)
// waits for the same gap the serial component would wait for, so every case
// but a clean request is cut exactly as without --fast.
//
// Main thread only (the port's event loop); `deliver` is called from it.

#include <QObject>
#include <chrono>
#include <cstdint>
#include <functional>
#include <vector>

class QTimer;

namespace kv37 {

class FastFraming : public QObject {
 public:
  using Deliver = std::function<void(const uint8_t* data, uint16_t length)>;

  // `gap`: the read interval the component would use (100 ms).
  FastFraming(std::chrono::milliseconds gap, Deliver deliver, QObject* parent = nullptr);

  // Bytes as one read of the port returned them.
  void Feed(const uint8_t* data, uint16_t length);

  // Hands over what is buffered now, without waiting out the gap: the line
  // has ended, so no byte can join it.
  void Flush();

  // True when `length` bytes at `data` are one complete, checksum-valid page
  // request.
  static bool IsCleanRequest(const uint8_t* data, std::size_t length);

 private:
  Deliver deliver_;
  QTimer* gap_;
  std::vector<uint8_t> buffer_;
};

}  // namespace kv37
