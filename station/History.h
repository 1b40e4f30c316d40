#pragma once
// The history command: the units a unit database recorded, filtered by time,
// slot and outcome, as a table, CSV (RFC 4180, every column) or JSON (an
// array of objects).

#include <ostream>
#include <string>
#include <vector>

#include "CliOptions.h"
#include "UnitDatabase.h"

namespace kv37::cli {

std::string HistoryTable(const std::vector<UnitRow>& rows);
std::string HistoryCsv(const std::vector<UnitRow>& rows);
std::string HistoryJson(const std::vector<UnitRow>& rows);

// Prints the rows; returns the exit status (5 with the reason on `err` when
// the database cannot be read or a time is no time).
int RunHistory(const HistoryOptions& options, std::ostream& out, std::ostream& err);

}  // namespace kv37::cli
