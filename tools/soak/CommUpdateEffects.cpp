#include "CommUpdateEffects.h"

namespace kv37::soak {

CommUpdateEffects::CommUpdateEffects(TComm& comm, std::function<void()> tick) : comm_(comm) {
  QObject::connect(&timer_, &QTimer::timeout, std::move(tick));
}

void CommUpdateEffects::WriteCommData(const uint8_t* data, uint16_t length) {
  if (!comm_.WriteCommData(data, length)) writeRefused_ = true;
}

void CommUpdateEffects::SetTimerEnabled(bool enabled) {
  // Starting a running QTimer would restart its period; the watchdog keeps it.
  if (enabled == timer_.isActive()) return;
  if (enabled)
    timer_.start();
  else
    timer_.stop();
}

void CommUpdateEffects::SetTimerInterval(int milliseconds) {
  if (timer_.interval() != milliseconds) timer_.setInterval(milliseconds);
}

void CommUpdateEffects::FatalError(const std::string& text) {
  if (fault_.empty()) fault_ = text;
  timer_.stop();
}

}  // namespace kv37::soak
