#pragma once
// The records commands: history (the units a unit database or a records
// server recorded, filtered by time, station, slot and outcome, as a table,
// CSV or JSON; their yield with --stats; a failed unit's serial traffic with
// --trace), forward (a database's waiting rows to a records server) and
// records-schema (the server's tables, printed or created).

#include <ostream>

#include "CliOptions.h"

namespace kv37::cli {

// Each prints its result on `out` and returns the exit status (5 with the
// reason on `err` when the database or server cannot be read or an
// argument is wrong; forward 6 when rows still wait).
int RunHistory(const HistoryOptions& options, std::ostream& out, std::ostream& err);
int RunForward(const ForwardOptions& options, std::ostream& out, std::ostream& err);
int RunRecordsSchema(const SchemaOptions& options, std::ostream& out, std::ostream& err);

}  // namespace kv37::cli
