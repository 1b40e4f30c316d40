#include "StationTotals.h"

#include "Station.h"

namespace kv37 {

void StationTotals::SlotChanged(const SlotView& slot) {
  auto& [passed, failed] = seen_[slot.spec.name];
  const unsigned more = (slot.passed - passed) + (slot.failed - failed);
  passed_ += slot.passed - passed;
  failed_ += slot.failed - failed;
  passed = slot.passed;
  failed = slot.failed;
  if (more > 0) finishes_.insert(finishes_.end(), more, now_());
}

std::optional<double> StationTotals::Yield() const {
  if (passed_ + failed_ == 0) return std::nullopt;
  return 100.0 * passed_ / (passed_ + failed_);
}

std::size_t StationTotals::UnitsLastHour() {
  const Clock::time_point hourAgo = now_() - std::chrono::hours(1);
  while (!finishes_.empty() && finishes_.front() <= hourAgo) finishes_.pop_front();
  return finishes_.size();
}

}  // namespace kv37
