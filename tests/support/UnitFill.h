#pragma once
// A unit database filled with `count` recorded units at once, for tests and
// benchmarks that need a backlog: one transaction, every row with an
// identity of its own; every tenth unit failed, eight slots and adapters.

#include <sqlite3.h>

#include <stdexcept>
#include <string>

#include "UnitDatabase.h"

namespace kv37::test {

inline void FillUnits(const std::string& path, int count, const std::string& station) {
  { UnitDatabase made(path); }
  sqlite3* db = nullptr;
  sqlite3_open(path.c_str(), &db);
  const std::string sql =
      "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < " +
      std::to_string(count) +
      ") INSERT INTO units (started, ended, station, slot, port, usb_vendor, usb_product, "
      "usb_serial, usb_port, image, image_sha256, outcome, exit_status, reason, pages_served, "
      "repeats, replies, beyond_image, elapsed_ms, unit_id) SELECT "
      "strftime('%Y-%m-%dT%H:%M:%fZ', 'now', '-' || (100000 - i) || ' seconds'), "
      "strftime('%Y-%m-%dT%H:%M:%fZ', 'now', '-' || (100000 - i) || ' seconds', '+25 seconds'), "
      "'" +
      station +
      "', 'S' || (i % 8), '/dev/ttyUSB' || (i % 8), '0403', '6001', "
      "'FT' || (i % 8), '1-1.' || (i % 8), 'os.bin', 'ab', "
      "CASE WHEN i % 10 = 0 THEN 'unit-failure' ELSE 'success' END, "
      "CASE WHEN i % 10 = 0 THEN 1 ELSE 0 END, 'OS Update Success!!', 512, 0, 512, 0, "
      "20000 + (i % 97) * 100, lower(printf('%s-%s-4%s-a%s-%s', hex(randomblob(4)), "
      "hex(randomblob(2)), substr(hex(randomblob(2)), 2), substr(hex(randomblob(2)), 2), "
      "hex(randomblob(6)))) FROM n";
  char* error = nullptr;
  const int status = sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &error);
  const std::string reason = error ? error : "";
  sqlite3_free(error);
  sqlite3_close(db);
  if (status != SQLITE_OK) throw std::runtime_error("FillUnits: " + reason);
}

}  // namespace kv37::test
