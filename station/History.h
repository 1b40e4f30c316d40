#pragma once
// The recorded units as people read them: a table, CSV (RFC 4180, every
// column, what a spreadsheet takes) or JSON (an array of objects), and the
// units of a database with those a stop kept beside it. Any thread.

#include <string>
#include <vector>

#include "UnitDatabase.h"

namespace kv37 {

// A UnitRow time (UTC, ISO 8601) in the reader's own time,
// "2026-12-09 15:03:12"; `utc` itself when it is no such time.
std::string LocalTimeText(const std::string& utc);
// `text` as one CSV field (RFC 4180): quoted when it must be.
std::string CsvField(const std::string& text);
// Columns padded to their widest cell, two spaces apart.
std::string TextTable(const std::vector<std::vector<std::string>>& lines);

std::string HistoryTable(const std::vector<UnitRow>& rows);
std::string HistoryCsv(const std::vector<UnitRow>& rows);
std::string HistoryJson(const std::vector<UnitRow>& rows);

struct History {
  std::vector<UnitRow> rows;  // oldest first
  std::size_t unwritten = 0;  // rows kept beside the database (UnwrittenRows.h), all filters aside
};

// The units `database` recorded that match `filter`, with those a stop kept
// beside it. Throws UnitDatabaseError when it cannot be read.
History LoadHistory(const std::string& database, const UnitFilter& filter);

}  // namespace kv37
