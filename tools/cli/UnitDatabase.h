#pragma once
// The record of every unit: one row per finished update in an SQLite
// database, written in one durable transaction each (write-ahead log, full
// sync), so a crash or a power cut keeps every unit that had finished.
// Several stations and updaters may share one file: each write waits for the
// others' for a while before it counts as failed.
//
// One object per thread; not copyable.

#include <sqlite3.h>

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace kv37::cli {

struct UnitRow {
  std::string started;  // UTC, ISO 8601 with milliseconds: 2026-12-09T14:03:12.345Z
  std::string ended;
  std::string station;  // the station's name; "update" for the update command
  std::string slot;
  std::string port;                                  // the device the unit was updated on
  std::string vendorId, productId, serial, usbPort;  // the adapter; "" when none
  std::string image, imageSha256;
  std::string outcome;  // an outcome keyword: success, port-lost, ...
  int exitStatus = 0;
  std::string reason;
  int64_t pagesServed = 0, repeats = 0, replies = 0, beyondImage = 0;
  int64_t elapsedMs = 0;
};

struct UnitFilter {
  std::string since, until;  // UTC ISO 8601 bounds on `started`; empty for none
  std::string slot, outcome;
};

class UnitDatabaseError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class UnitDatabase {
 public:
  // Opens `path`, creating the file and its table when missing. Throws
  // UnitDatabaseError with the reason when it cannot (`readOnly`: never
  // creates, never writes).
  explicit UnitDatabase(const std::string& path, bool readOnly = false);
  ~UnitDatabase();
  UnitDatabase(const UnitDatabase&) = delete;
  UnitDatabase& operator=(const UnitDatabase&) = delete;

  // Writes `row` durably; on failure (disk full, the file locked by another
  // writer for longer than the wait) returns the reason, and nothing of the
  // row is stored.
  std::optional<std::string> Record(const UnitRow& row);

  // Rows matching `filter`, oldest first. Throws UnitDatabaseError.
  std::vector<UnitRow> Query(const UnitFilter& filter);

  const std::string& Path() const { return path_; }

 private:
  void Exec(const char* sql);

  std::string path_;
  sqlite3* db_ = nullptr;
};

// UTC ISO 8601 with milliseconds for a local ISO 8601 time ("2026-12-09",
// "2026-12-09T08:00"), or nothing when `local` is no such time.
std::optional<std::string> UtcFromLocal(const std::string& local);
// The current time, as UnitRow keeps it.
std::string UtcNow();

}  // namespace kv37::cli
