#include "HistoryCommand.h"

#include <filesystem>
#include <tuple>

#include "ExitStatus.h"
#include "History.h"
#include "RecordsForwarder.h"
#include "RecordsServer.h"
#include "SerialTrace.h"
#include "UnitStats.h"
#include "UnwrittenRows.h"

namespace kv37::cli {

namespace {

int Fail(std::ostream& err, const std::string& message) {
  err << "kv37-update-cli: " << message << '\n';
  return static_cast<int>(ExitStatus::Usage);
}

// The unit `prefix` names and its trace, from either kind of source.
template <typename Source>
int PrintTrace(Source& source, const std::string& prefix, std::ostream& out, std::ostream& err) {
  UnitFilter filter;
  filter.unit = prefix;
  const std::vector<UnitRow> units = source.Query(filter);
  if (units.empty()) return Fail(err, "no unit " + prefix + " is recorded there");
  if (units.size() > 1)
    return Fail(err, std::to_string(units.size()) + " units start with " + prefix +
                         ": give more of the identity");
  const UnitRow& unit = units.front();
  out << "unit " << unit.unitId << "  " << unit.station << " slot " << unit.slot << "  "
      << unit.started << "  " << unit.outcome << ": " << unit.reason << "\n";
  const std::optional<std::string> trace = source.Trace(unit.unitId);
  if (!trace) {
    out << (unit.outcome == "success" ? "a unit that passed keeps no trace\n"
                                      : "no serial traffic was kept for this unit\n");
    return 0;
  }
  out << SerialTrace::Dump(*trace);
  return 0;
}

}  // namespace

int RunHistory(const HistoryOptions& o, std::ostream& out, std::ostream& err) {
  UnitFilter filter;
  filter.slot = o.slot;
  filter.outcome = o.outcome;
  filter.station = o.station;
  for (const auto& [given, bound, name] :
       {std::tuple{&o.since, &filter.since, "--since"}, {&o.until, &filter.until, "--until"}}) {
    if (given->empty()) continue;
    const auto utc = UtcFromLocal(*given);
    if (!utc)
      return Fail(err, std::string(name) + " " + *given + ": not a time (2026-12-09T08:00)");
    *bound = *utc;
  }
  const auto print = [&](const std::vector<UnitRow>& rows) {
    if (o.stats) {
      const std::vector<YieldRow> yield = YieldOf(rows);
      out << (o.format == "csv"    ? YieldCsv(yield)
              : o.format == "json" ? YieldJson(yield)
                                   : YieldTable(yield));
    } else {
      out << (o.format == "csv"    ? HistoryCsv(rows)
              : o.format == "json" ? HistoryJson(rows)
                                   : HistoryTable(rows));
    }
  };
  try {
    if (IsRecordsServerUri(o.database)) {
      RecordsServer server(o.database);
      if (!o.trace.empty()) return PrintTrace(server, o.trace, out, err);
      print(server.Query(filter));
      return 0;
    }
    if (!o.trace.empty()) {
      UnitDatabase database(o.database, true);
      return PrintTrace(database, o.trace, out, err);
    }
    const History history = LoadHistory(o.database, filter);
    if (history.unwritten > 0)
      err << "kv37-update-cli: " << history.unwritten << " units are kept in "
          << UnwrittenPath(o.database)
          << ", not yet in the database (a station on it takes them back when it starts)\n";
    print(history.rows);
  } catch (const std::runtime_error& e) {  // UnitDatabaseError, RecordsServerError
    return Fail(err, e.what());
  }
  return 0;
}

int RunForward(const ForwardOptions& o, std::ostream& out, std::ostream& err) {
  if (IsRecordsServerUri(o.database))
    return Fail(err, "forward sends a station's SQLite database on; " + o.database +
                         " is a records server");
  if (const std::string problem = RecordsServerUriProblem(o.to); !problem.empty())
    return Fail(err, "--to: " + problem);
  // A mistyped name must not become a new, empty database with nothing to send.
  if (!std::filesystem::is_regular_file(o.database))
    return Fail(err, "no unit database " + o.database);
  std::unique_ptr<UnitDatabase> database;
  try {
    database = std::make_unique<UnitDatabase>(o.database);
  } catch (const UnitDatabaseError& e) {
    return Fail(err, e.what());
  }
  std::size_t sent = 0, refused = 0;
  try {
    RecordsServer server(o.to);
    server.CheckSchema();
    ForwardCalls calls;
    calls.refused = [&err, &refused](const UnitRow& row, const std::string& reason) {
      ++refused;
      err << "kv37-update-cli: unit " << row.unitId << " refused: " << reason
          << "; it stays in the unit database, marked refused\n";
    };
    sent = ForwardWaiting(*database, server, calls);
  } catch (const std::runtime_error& e) {
    std::size_t waiting = 0;
    try {
      waiting = database->CountUnforwarded();
    } catch (const UnitDatabaseError&) {
    }
    err << "kv37-update-cli: " << e.what() << "; " << waiting << " rows still wait in "
        << o.database << '\n';
    return static_cast<int>(ExitStatus::Unrecorded);
  }
  out << sent << " rows forwarded to " << RecordsServerName(o.to) << "; none wait";
  if (refused > 0) out << "; " << refused << " refused by the server (kept here)";
  out << '\n';
  return refused > 0 ? static_cast<int>(ExitStatus::Unrecorded) : 0;
}

int RunRecordsSchema(const SchemaOptions& o, std::ostream& out, std::ostream& err) {
  if (o.apply.empty()) {
    out << RecordsServer::SchemaSql();
    return 0;
  }
  try {
    RecordsServer server(o.apply);
    server.CreateSchema();
    server.CheckSchema();
  } catch (const RecordsServerError& e) {
    return Fail(err, e.what());
  }
  out << "records server " << RecordsServerName(o.apply) << " keeps station records of version "
      << RecordsServer::kSchemaVersion << '\n';
  return 0;
}

}  // namespace kv37::cli
