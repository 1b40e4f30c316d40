#include "StationClock.h"

#include <QTimer>

namespace kv37 {

StationClock::Timer EventLoopClock::After(std::chrono::milliseconds delay,
                                          std::function<void()> call) {
  const Timer timer = ++next_;
  auto* qtimer = new QTimer(this);
  qtimer->setSingleShot(true);
  connect(qtimer, &QTimer::timeout, this, [this, timer, call = std::move(call)] {
    if (const auto found = timers_.find(timer); found != timers_.end()) {
      found->second->deleteLater();
      timers_.erase(found);
    }
    call();
  });
  timers_[timer] = qtimer;
  qtimer->start(delay);
  return timer;
}

void EventLoopClock::Cancel(Timer timer) {
  const auto found = timers_.find(timer);
  if (found == timers_.end()) return;
  found->second->stop();
  found->second->deleteLater();
  timers_.erase(found);
}

}  // namespace kv37
