#pragma once
// The station's totals as a production line counts them: units passed and
// failed since the start, the yield, and the units finished in the last hour.
//
// Owner's thread only (a listener of the station).

#include <chrono>
#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <utility>

#include "StationListener.h"

namespace kv37 {

class StationTotals : public StationListener {
 public:
  using Clock = std::chrono::steady_clock;
  explicit StationTotals(std::function<Clock::time_point()> now = Clock::now)
      : now_(std::move(now)) {}

  // Counts the units a slot's counts grew by.
  void SlotChanged(const SlotView& slot) override;

  unsigned Passed() const { return passed_; }
  unsigned Failed() const { return failed_; }
  // Passed of all finished, in percent; nothing before the first unit.
  std::optional<double> Yield() const;
  // Units finished within the last hour.
  std::size_t UnitsLastHour();

 private:
  std::function<Clock::time_point()> now_;
  std::map<std::string, std::pair<unsigned, unsigned>> seen_;  // slot -> passed, failed
  std::deque<Clock::time_point> finishes_;                     // within the last hour
  unsigned passed_ = 0, failed_ = 0;
};

}  // namespace kv37
