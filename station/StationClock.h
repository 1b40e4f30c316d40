#pragma once
// What the station waits with: each slot's settle time and a network slot's
// next try. The event loop's clock makes the calls from the owner's event
// loop; a test's clock is advanced by hand.
//
// Owner's thread only.

#include <QObject>
#include <chrono>
#include <cstdint>
#include <functional>
#include <map>

class QTimer;

namespace kv37 {

class StationClock {
 public:
  using Timer = std::uint64_t;  // 0 is no timer
  virtual ~StationClock() = default;
  // Calls `call` once, `delay` from now; the timer that cancels it.
  virtual Timer After(std::chrono::milliseconds delay, std::function<void()> call) = 0;
  // Cancels a call not yet made; nothing for one made, or for 0.
  virtual void Cancel(Timer timer) = 0;
};

class EventLoopClock final : public QObject, public StationClock {
 public:
  explicit EventLoopClock(QObject* parent = nullptr) : QObject(parent) {}
  Timer After(std::chrono::milliseconds delay, std::function<void()> call) override;
  void Cancel(Timer timer) override;

 private:
  Timer next_ = 0;
  std::map<Timer, QTimer*> timers_;
};

}  // namespace kv37
