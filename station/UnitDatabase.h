#pragma once
// The record of every unit: one row per finished update in an SQLite
// database, written in one durable transaction each (write-ahead log, full
// sync), so a crash or a power cut keeps every unit that had finished.
// Several stations and updaters may share one file: each write waits for the
// others' for a while before it counts as failed.
//
// One object per thread; not copyable.

#include <sqlite3.h>

#include <array>
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

class QJsonObject;

namespace kv37 {

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
  std::string unitId;  // the unit's identity (a UUID), its key on a records server
  std::string trace;   // a failed unit's last serial traffic (SerialTrace.h); read by Trace()
};

struct UnitFilter {
  std::string since, until;  // UTC ISO 8601 bounds on `started`; empty for none
  std::string slot, outcome, station;
  std::string unit;      // the unit's identity, or its first characters (any case)
  std::size_t last = 0;  // only the most recent this many rows; 0 for all (not a row's matter)
  bool Matches(const UnitRow& row) const;
};

// The columns, in the table's order: CSV headers and JSON names too.
inline constexpr std::array<const char*, 20> kUnitColumns = {
    "started",      "ended",       "station",      "slot",       "port",
    "usb_vendor",   "usb_product", "usb_serial",   "usb_port",   "image",
    "image_sha256", "outcome",     "exit_status",  "reason",     "pages_served",
    "repeats",      "replies",     "beyond_image", "elapsed_ms", "unit_id"};
// A row's values as text, in kUnitColumns' order.
std::vector<std::string> UnitRowFields(const UnitRow& row);
// A row as a JSON object named by kUnitColumns (numbers as numbers; a trace
// as "trace" in base64), and back; nothing when `json` is no row (a row kept
// before units had identities gets one).
QJsonObject UnitRowJson(const UnitRow& row);
std::optional<UnitRow> UnitRowFromJson(const QJsonObject& json);

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

  // Writes `row` and its trace durably, in one transaction; on failure (disk
  // full, the file locked by another writer for longer than the wait)
  // returns the reason, and nothing of the row is stored. `once`: a row of
  // the same unit (or, from before identities, the same start, station and
  // slot) already there is not written again (rows taken back after a stop).
  std::optional<std::string> Record(const UnitRow& row, bool once = false);

  // Rows matching `filter`, oldest first, without their traces. Throws
  // UnitDatabaseError.
  std::vector<UnitRow> Query(const UnitFilter& filter);
  // The trace kept with unit `unitId`: nothing when it kept none (it passed)
  // or there is no such unit. Throws UnitDatabaseError.
  std::optional<std::string> Trace(const std::string& unitId);
  // Whether a unit of that identity is recorded. Throws UnitDatabaseError.
  bool Has(const std::string& unitId);

  // Forwarding to a records server: the oldest rows not yet forwarded (at
  // most `limit`, with their traces, and no more than `bytes` of traces
  // beyond the first row's), how many wait and the end of the oldest,
  // marking rows forwarded once the server has committed them, and marking
  // a row the server refused (it waits no more; it stays here). Each throws
  // UnitDatabaseError.
  std::vector<UnitRow> Unforwarded(std::size_t limit, std::size_t bytes = 8 << 20);
  std::size_t CountUnforwarded();
  std::string OldestUnforwardedEnd();
  void MarkForwarded(const std::vector<std::string>& unitIds);
  void MarkRefused(const std::string& unitId);

  const std::string& Path() const { return path_; }
  // The layout the file was made with: 1 before versions were kept (a path
  // slot's `port` may hold its link), kSchemaVersion since (it holds the
  // device the unit was on). The columns are the same.
  int SchemaVersion() const { return schemaVersion_; }
  static constexpr int kSchemaVersion = 2;

 private:
  void Exec(const char* sql);
  void ExecWaiting(const char* sql);

  void Migrate();
  std::vector<UnitRow> Rows(const std::string& sql, const std::vector<std::string>& values);

  std::string path_;
  sqlite3* db_ = nullptr;
  int schemaVersion_ = 1;
  bool hasUnitIds_ = true;  // false in a file read-only from before identities
};

// UTC ISO 8601 with milliseconds for a local ISO 8601 time ("2026-12-09",
// "2026-12-09T08:00"), or nothing when `local` is no such time.
std::optional<std::string> UtcFromLocal(const std::string& local);
// The current time, as UnitRow keeps it.
std::string UtcNow();
// A new unit identity: a random UUID, lower-case, without braces.
std::string NewUnitId();
// A unit's identity, or its first characters, as the identities are kept.
std::string UnitPrefix(const std::string& given);

}  // namespace kv37
