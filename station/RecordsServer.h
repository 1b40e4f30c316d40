#pragma once
// A factory's central records: every station's units in one PostgreSQL
// database, reached through libpq. The server keys each unit by its identity
// (a UUID), so sending a row again never makes a second one. Passwords and
// TLS come from libpq's own means (its password file, PGPASSFILE, a service
// file, `sslmode` in the URI); a URI that carries a password is refused.
//
// One object per thread; not copyable. Every call may block on the network
// (the connection gives up after kConnectTimeout; a dead connection is
// noticed by TCP keep-alives and unacknowledged data after 30 s; a statement
// ends after kStatementTimeout).

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "UnitDatabase.h"

struct pg_conn;

namespace kv37 {

class RecordsServerError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
  RecordsServerError(const std::string& what, bool refusedData)
      : std::runtime_error(what), refusedData_(refusedData) {}
  // The server refused what was sent (a value it cannot take), not the
  // connection or the login: sending the same again fails the same way.
  bool RefusedData() const { return refusedData_; }

 private:
  bool refusedData_ = false;
};

// Whether `text` names a records server rather than an SQLite file.
bool IsRecordsServerUri(const std::string& text);
// Why `uri` cannot name a records server ("a password does not belong in
// ..."), or "" when it can.
std::string RecordsServerUriProblem(const std::string& uri);
// "records.example/kv37": where `uri` leads, for messages (no user, no options).
std::string RecordsServerName(const std::string& uri);

class RecordsServer {
 public:
  static constexpr int kSchemaVersion = 1;
  static constexpr std::chrono::seconds kConnectTimeout{10};
  static constexpr std::chrono::seconds kStatementTimeout{60};

  // The tables, indexes and schema version a database administrator creates
  // once (idempotent: it may be run again).
  static std::string SchemaSql();

  // Connects, giving up after kConnectTimeout or as soon as `stopped` says
  // so (asked every 100 ms). Throws RecordsServerError with the server's or
  // libpq's reason.
  explicit RecordsServer(const std::string& uri, const std::function<bool()>& stopped = {});
  ~RecordsServer();
  RecordsServer(const RecordsServer&) = delete;
  RecordsServer& operator=(const RecordsServer&) = delete;

  // Creates the schema (SchemaSql) in one transaction.
  void CreateSchema();
  // Throws RecordsServerError unless the server's schema is kSchemaVersion.
  void CheckSchema();

  // Inserts `rows` and their traces in one transaction; rows already there
  // (by identity) are left as they are. Returns once the server has
  // committed. Throws RecordsServerError, and then nothing was stored.
  void Insert(const std::vector<UnitRow>& rows);

  // As UnitDatabase::Query, UnitDatabase::Trace.
  std::vector<UnitRow> Query(const UnitFilter& filter);
  std::optional<std::string> Trace(const std::string& unitId);
  bool Has(const std::string& unitId);

  // Breaks a call blocked on the network, from any thread: it fails at once.
  void Abort();

 private:
  void Exec(const char* sql);

  pg_conn* conn_ = nullptr;
  std::atomic<int> socket_{-1};  // the connection's, for Abort from another thread
  std::string name_;
};

}  // namespace kv37
