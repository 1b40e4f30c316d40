#pragma once
// Rows a stopping station or updater could not write to its unit database,
// kept beside it in "<database>.unwritten": one JSON object a line, each row
// as `history --format json` prints it, flushed to the disk. The next
// recorder on that database takes them back; `history` shows them meanwhile.
//
// Any thread; no state.

#include <optional>
#include <string>
#include <vector>

#include "UnitDatabase.h"

namespace kv37 {

std::string UnwrittenPath(const std::string& database);

// Appends `rows` durably; the reason when it cannot.
std::optional<std::string> KeepUnwritten(const std::string& database,
                                         const std::vector<UnitRow>& rows);

// The rows kept for `database`, oldest first; none without the file. Lines
// that are no row (a line cut short by a crash) are skipped.
std::vector<UnitRow> ReadUnwritten(const std::string& database);

// Removes the file once its rows are in the database.
void ForgetUnwritten(const std::string& database);

}  // namespace kv37
