#pragma once
// The history command: the units a unit database recorded, filtered by time,
// slot and outcome, printed as a table, CSV or JSON.

#include <ostream>

#include "CliOptions.h"

namespace kv37::cli {

// Prints the rows; returns the exit status (5 with the reason on `err` when
// the database cannot be read or a time is no time).
int RunHistory(const HistoryOptions& options, std::ostream& out, std::ostream& err);

}  // namespace kv37::cli
