#pragma once
// Yield as a quality engineer reads it: per station, slot and adapter, the
// units, how many passed, how many failed and how (by outcome), the yield,
// and the median time of a unit that passed; so a bad cable, adapter or
// fixture stands out. Any thread; no state.

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "UnitDatabase.h"

namespace kv37 {

struct YieldRow {
  std::string station, slot, adapter;  // adapter: "serial X", "USB port X" or the port
  std::size_t units = 0, passed = 0;
  std::map<std::string, std::size_t> failed;  // by outcome keyword
  double yield = 0;                           // passed of all, in percent
  std::optional<int64_t> medianMs;            // of the units that passed
};

// One row per station, slot and adapter that `units` name, in that order.
std::vector<YieldRow> YieldOf(const std::vector<UnitRow>& units);

std::string YieldTable(const std::vector<YieldRow>& rows);
std::string YieldCsv(const std::vector<YieldRow>& rows);
std::string YieldJson(const std::vector<YieldRow>& rows);

}  // namespace kv37
