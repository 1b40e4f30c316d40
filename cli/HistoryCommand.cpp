#include "HistoryCommand.h"

#include <tuple>

#include "ExitStatus.h"
#include "History.h"
#include "UnwrittenRows.h"

namespace kv37::cli {

int RunHistory(const HistoryOptions& o, std::ostream& out, std::ostream& err) {
  const auto fail = [&](const std::string& message) {
    err << "kv37-update-cli: " << message << '\n';
    return static_cast<int>(ExitStatus::Usage);
  };
  UnitFilter filter{{}, {}, o.slot, o.outcome};
  for (const auto& [given, bound, name] :
       {std::tuple{&o.since, &filter.since, "--since"}, {&o.until, &filter.until, "--until"}}) {
    if (given->empty()) continue;
    const auto utc = UtcFromLocal(*given);
    if (!utc) return fail(std::string(name) + " " + *given + ": not a time (2026-12-09T08:00)");
    *bound = *utc;
  }
  try {
    const History history = LoadHistory(o.database, filter);
    if (history.unwritten > 0)
      err << "kv37-update-cli: " << history.unwritten << " units are kept in "
          << UnwrittenPath(o.database)
          << ", not yet in the database (a station on it takes them back when it starts)\n";
    out << (o.format == "csv"    ? HistoryCsv(history.rows)
            : o.format == "json" ? HistoryJson(history.rows)
                                 : HistoryTable(history.rows));
  } catch (const UnitDatabaseError& e) {
    return fail(e.what());
  }
  return 0;
}

}  // namespace kv37::cli
