#include "UnitDatabase.h"

#include <QByteArray>
#include <QDateTime>
#include <QJsonObject>
#include <QTimeZone>
#include <QUuid>
#include <algorithm>
#include <cctype>
#include <chrono>
#include <thread>

namespace kv37 {

namespace {

// How long a write waits for another writer before it counts as failed.
constexpr int kBusyMs = 2000;

constexpr const char* kSchema = R"(
CREATE TABLE IF NOT EXISTS units (
  id INTEGER PRIMARY KEY,
  started TEXT NOT NULL,
  ended TEXT NOT NULL,
  station TEXT NOT NULL,
  slot TEXT NOT NULL,
  port TEXT NOT NULL,
  usb_vendor TEXT NOT NULL,
  usb_product TEXT NOT NULL,
  usb_serial TEXT NOT NULL,
  usb_port TEXT NOT NULL,
  image TEXT NOT NULL,
  image_sha256 TEXT NOT NULL,
  outcome TEXT NOT NULL,
  exit_status INTEGER NOT NULL,
  reason TEXT NOT NULL,
  pages_served INTEGER NOT NULL,
  repeats INTEGER NOT NULL,
  replies INTEGER NOT NULL,
  beyond_image INTEGER NOT NULL,
  elapsed_ms INTEGER NOT NULL,
  unit_id TEXT,
  forwarded INTEGER NOT NULL DEFAULT 0
);
CREATE INDEX IF NOT EXISTS units_started ON units (started);
CREATE TABLE IF NOT EXISTS units_version (version INTEGER NOT NULL);
)";

// Without unit_id, which a file from before identities lacks.
constexpr const char* kColumns =
    "started, ended, station, slot, port, usb_vendor, usb_product, usb_serial, usb_port, image, "
    "image_sha256, outcome, exit_status, reason, pages_served, repeats, replies, beyond_image, "
    "elapsed_ms";

// A random (version 4) UUID, as SQL.
constexpr const char* kNewUnitIdSql =
    "lower(hex(randomblob(4))) || '-' || lower(hex(randomblob(2))) || '-4' || "
    "substr(lower(hex(randomblob(2))), 2) || '-' || substr('89ab', 1 + (abs(random()) % 4), 1) || "
    "substr(lower(hex(randomblob(2))), 2) || '-' || lower(hex(randomblob(6)))";

// Added to a file from before units had identities and could be forwarded;
// its rows get identities of their own.
constexpr const char* kAddIdentities = R"(
ALTER TABLE units ADD COLUMN unit_id TEXT;
ALTER TABLE units ADD COLUMN forwarded INTEGER NOT NULL DEFAULT 0;
)";

constexpr const char* kIdentityIndexes = R"(
CREATE UNIQUE INDEX IF NOT EXISTS units_unit_id ON units (unit_id);
CREATE INDEX IF NOT EXISTS units_unforwarded ON units (id) WHERE forwarded = 0;
CREATE TABLE IF NOT EXISTS unit_traces (unit_id TEXT PRIMARY KEY, trace BLOB NOT NULL);
)";

// A prepared statement, finalized on every way out.
class Statement {
 public:
  Statement(sqlite3* db, const std::string& sql) {
    if (sqlite3_prepare_v2(db, sql.c_str(), -1, &stmt_, nullptr) != SQLITE_OK)
      throw UnitDatabaseError(sqlite3_errmsg(db));
  }
  ~Statement() { sqlite3_finalize(stmt_); }
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;

  void Bind(int index, const std::string& text) {
    sqlite3_bind_text(stmt_, index, text.c_str(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
  }
  void Bind(int index, int64_t value) { sqlite3_bind_int64(stmt_, index, value); }
  int Step() { return sqlite3_step(stmt_); }
  std::string Text(int column) {
    const unsigned char* text = sqlite3_column_text(stmt_, column);
    return text ? reinterpret_cast<const char*>(text) : "";
  }
  std::string Blob(int column) {
    const void* blob = sqlite3_column_blob(stmt_, column);
    return blob ? std::string(static_cast<const char*>(blob),
                              static_cast<std::size_t>(sqlite3_column_bytes(stmt_, column)))
                : std::string();
  }
  void BindBlob(int index, const std::string& bytes) {
    sqlite3_bind_blob(stmt_, index, bytes.data(), static_cast<int>(bytes.size()), SQLITE_TRANSIENT);
  }
  int64_t Int(int column) { return sqlite3_column_int64(stmt_, column); }

  // The 20 columns of a row, from `first` on, in kUnitColumns' order.
  UnitRow Row(int first = 0) {
    UnitRow r;
    int c = first;
    for (std::string* text :
         {&r.started, &r.ended, &r.station, &r.slot, &r.port, &r.vendorId, &r.productId, &r.serial,
          &r.usbPort, &r.image, &r.imageSha256, &r.outcome})
      *text = Text(c++);
    r.exitStatus = static_cast<int>(Int(c++));
    r.reason = Text(c++);
    for (int64_t* value : {&r.pagesServed, &r.repeats, &r.replies, &r.beyondImage, &r.elapsedMs})
      *value = Int(c++);
    r.unitId = Text(c++);
    return r;
  }

 private:
  sqlite3_stmt* stmt_ = nullptr;
};

}  // namespace

UnitDatabase::UnitDatabase(const std::string& path, bool readOnly) : path_(path) {
  const int flags = readOnly ? SQLITE_OPEN_READONLY : SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE;
  if (sqlite3_open_v2(path.c_str(), &db_, flags, nullptr) != SQLITE_OK) {
    const std::string reason = db_ ? sqlite3_errmsg(db_) : "out of memory";
    sqlite3_close(db_);
    throw UnitDatabaseError("cannot open unit database " + path + ": " + reason);
  }
  sqlite3_busy_timeout(db_, kBusyMs);
  try {
    if (!readOnly) {
      // Durable per transaction: a finished unit survives a power cut.
      ExecWaiting("PRAGMA journal_mode = WAL");
      Exec("PRAGMA synchronous = FULL");
      // One transaction: the file is marked once, by whoever comes first;
      // a file that already holds rows from before the mark is of layout 1.
      ExecWaiting("BEGIN IMMEDIATE");
      try {
        Exec(kSchema);
        Exec((std::string("INSERT INTO units_version SELECT CASE WHEN (SELECT count(*) FROM "
                          "units) = 0 THEN ") +
              std::to_string(kSchemaVersion) +
              " ELSE 1 END WHERE NOT EXISTS (SELECT 1 FROM units_version);")
                 .c_str());
        Migrate();
        Exec("COMMIT");
      } catch (const UnitDatabaseError&) {
        sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
        throw;
      }
    } else {
      Statement has(db_, "SELECT count(*) FROM pragma_table_info('units') WHERE name = 'unit_id'");
      hasUnitIds_ = has.Step() == SQLITE_ROW && has.Int(0) > 0;
    }
    Statement probe(db_, "SELECT count(*) FROM units");
    if (probe.Step() != SQLITE_ROW) throw UnitDatabaseError(sqlite3_errmsg(db_));
    // A file from before the version table (or read-only before it came) is 1.
    sqlite3_stmt* version = nullptr;
    if (sqlite3_prepare_v2(db_, "SELECT version FROM units_version", -1, &version, nullptr) ==
            SQLITE_OK &&
        sqlite3_step(version) == SQLITE_ROW)
      schemaVersion_ = sqlite3_column_int(version, 0);
    sqlite3_finalize(version);
  } catch (const UnitDatabaseError& e) {
    sqlite3_close(db_);
    db_ = nullptr;
    throw UnitDatabaseError("cannot use unit database " + path + ": " + e.what());
  }
}

UnitDatabase::~UnitDatabase() {
  sqlite3_close(db_);
}

void UnitDatabase::Migrate() {
  bool identities = false;
  {
    Statement has(db_, "SELECT count(*) FROM pragma_table_info('units') WHERE name = 'unit_id'");
    identities = has.Step() == SQLITE_ROW && has.Int(0) > 0;
  }
  if (!identities) {
    Exec(kAddIdentities);
    Exec((std::string("UPDATE units SET unit_id = ") + kNewUnitIdSql).c_str());
  }
  Exec(kIdentityIndexes);
}

void UnitDatabase::Exec(const char* sql) {
  char* error = nullptr;
  if (sqlite3_exec(db_, sql, nullptr, nullptr, &error) != SQLITE_OK) {
    const std::string reason = error ? error : sqlite3_errmsg(db_);
    sqlite3_free(error);
    throw UnitDatabaseError(reason);
  }
}

// Switching a new file to the write-ahead log and creating the table take
// locks that SQLite does not wait for (another connection creating the same
// file at once answers "database is locked" at once): such a step is tried
// again, for as long as any write waits.
void UnitDatabase::ExecWaiting(const char* sql) {
  const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(kBusyMs);
  for (;;) {
    try {
      Exec(sql);
      return;
    } catch (const UnitDatabaseError&) {
      const int code = sqlite3_errcode(db_) & 0xFF;
      if (!sqlite3_get_autocommit(db_)) sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
      if ((code != SQLITE_BUSY && code != SQLITE_LOCKED) ||
          std::chrono::steady_clock::now() >= until)
        throw;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
}

std::optional<std::string> UnitDatabase::Record(const UnitRow& r, bool once) {
  const std::string unitId = r.unitId.empty() ? NewUnitId() : r.unitId;
  try {
    Exec("BEGIN IMMEDIATE");
    Statement insert(db_, std::string("INSERT INTO units (") + kColumns + ", unit_id) SELECT " +
                              "?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?" +
                              (once ? " WHERE NOT EXISTS (SELECT 1 FROM units WHERE unit_id = ?20 "
                                      "OR (started = ?1 AND station = ?3 AND slot = ?4))"
                                    : ""));
    int i = 0;
    for (const std::string* text :
         {&r.started, &r.ended, &r.station, &r.slot, &r.port, &r.vendorId, &r.productId, &r.serial,
          &r.usbPort, &r.image, &r.imageSha256, &r.outcome})
      insert.Bind(++i, *text);
    insert.Bind(++i, static_cast<int64_t>(r.exitStatus));
    insert.Bind(++i, r.reason);
    for (const int64_t value : {r.pagesServed, r.repeats, r.replies, r.beyondImage, r.elapsedMs})
      insert.Bind(++i, value);
    insert.Bind(++i, unitId);
    if (insert.Step() != SQLITE_DONE) throw UnitDatabaseError(sqlite3_errmsg(db_));
    if (sqlite3_changes(db_) > 0 && !r.trace.empty()) {
      Statement trace(db_, "INSERT OR REPLACE INTO unit_traces (unit_id, trace) VALUES (?, ?)");
      trace.Bind(1, unitId);
      trace.BindBlob(2, r.trace);
      if (trace.Step() != SQLITE_DONE) throw UnitDatabaseError(sqlite3_errmsg(db_));
    }
    Exec("COMMIT");
  } catch (const UnitDatabaseError& e) {
    if (!sqlite3_get_autocommit(db_)) sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
    return std::string(e.what());
  }
  return std::nullopt;
}

std::vector<UnitRow> UnitDatabase::Query(const UnitFilter& f) {
  if (!f.unit.empty() && !hasUnitIds_) return {};
  std::string where = " WHERE 1";
  std::vector<std::string> values;
  const auto match = [&](const char* clause, const std::string& value) {
    if (value.empty()) return;
    where += clause;
    values.push_back(value);
  };
  match(" AND started >= ?", f.since);
  match(" AND started < ?", f.until);
  match(" AND slot = ?", f.slot);
  match(" AND outcome = ?", f.outcome);
  match(" AND station = ?", f.station);
  if (!f.unit.empty()) {
    values.push_back(UnitPrefix(f.unit));
    const std::string n = std::to_string(values.size());
    where += " AND substr(unit_id, 1, length(?" + n + ")) = ?" + n;
  }
  const std::string columns =
      std::string(kColumns) + (hasUnitIds_ ? ", unit_id" : ", '' AS unit_id");
  std::string sql = "SELECT " + columns + " FROM ";
  if (f.last > 0)
    sql += "(SELECT id, " + columns + " FROM units" + where +
           " ORDER BY started DESC, id DESC LIMIT " + std::to_string(f.last) + ")";
  else
    sql += "units" + where;
  sql += " ORDER BY started, id";
  Statement query(db_, sql);
  for (std::size_t i = 0; i < values.size(); ++i) query.Bind(static_cast<int>(i + 1), values[i]);
  std::vector<UnitRow> rows;
  int step;
  while ((step = query.Step()) == SQLITE_ROW) rows.push_back(query.Row());
  if (step != SQLITE_DONE) throw UnitDatabaseError(sqlite3_errmsg(db_));
  return rows;
}

std::optional<std::string> UnitDatabase::Trace(const std::string& unitId) {
  if (!hasUnitIds_) return std::nullopt;
  Statement query(db_, "SELECT trace FROM unit_traces WHERE unit_id = ?");
  query.Bind(1, unitId);
  const int step = query.Step();
  if (step == SQLITE_ROW) return query.Blob(0);
  if (step != SQLITE_DONE) throw UnitDatabaseError(sqlite3_errmsg(db_));
  return std::nullopt;
}

bool UnitDatabase::Has(const std::string& unitId) {
  if (!hasUnitIds_) return false;
  Statement query(db_, "SELECT 1 FROM units WHERE unit_id = ?");
  query.Bind(1, unitId);
  const int step = query.Step();
  if (step != SQLITE_ROW && step != SQLITE_DONE) throw UnitDatabaseError(sqlite3_errmsg(db_));
  return step == SQLITE_ROW;
}

std::vector<UnitRow> UnitDatabase::Unforwarded(std::size_t limit, std::size_t bytes) {
  // A writer from before identities (an older station on the same file)
  // leaves them out: such rows get theirs here, or they could never go.
  Exec((std::string("UPDATE units SET unit_id = ") + kNewUnitIdSql + " WHERE unit_id IS NULL")
           .c_str());
  Statement query(db_, std::string("SELECT ") + kColumns +
                           ", unit_id, t.trace FROM units LEFT JOIN unit_traces t USING "
                           "(unit_id) WHERE forwarded = 0 ORDER BY id LIMIT " +
                           std::to_string(limit));
  std::vector<UnitRow> rows;
  int step;
  std::size_t traced = 0;
  while ((step = query.Step()) == SQLITE_ROW) {
    std::string trace = query.Blob(20);
    if (!rows.empty() && traced + trace.size() > bytes) break;
    traced += trace.size();
    rows.push_back(query.Row());
    rows.back().trace = std::move(trace);
  }
  if (step != SQLITE_ROW && step != SQLITE_DONE) throw UnitDatabaseError(sqlite3_errmsg(db_));
  return rows;
}

void UnitDatabase::MarkRefused(const std::string& unitId) {
  Statement update(db_, "UPDATE units SET forwarded = 2 WHERE unit_id = ?");
  update.Bind(1, unitId);
  if (update.Step() != SQLITE_DONE) throw UnitDatabaseError(sqlite3_errmsg(db_));
}

std::size_t UnitDatabase::CountUnforwarded() {
  Statement query(db_, "SELECT count(*) FROM units WHERE forwarded = 0");
  if (query.Step() != SQLITE_ROW) throw UnitDatabaseError(sqlite3_errmsg(db_));
  return static_cast<std::size_t>(query.Int(0));
}

std::string UnitDatabase::OldestUnforwardedEnd() {
  Statement query(db_, "SELECT ended FROM units WHERE forwarded = 0 ORDER BY id LIMIT 1");
  const int step = query.Step();
  if (step != SQLITE_ROW && step != SQLITE_DONE) throw UnitDatabaseError(sqlite3_errmsg(db_));
  return step == SQLITE_ROW ? query.Text(0) : std::string();
}

void UnitDatabase::MarkForwarded(const std::vector<std::string>& unitIds) {
  if (unitIds.empty()) return;
  std::string sql = "UPDATE units SET forwarded = 1 WHERE unit_id IN (?";
  for (std::size_t i = 1; i < unitIds.size(); ++i) sql += ",?";
  sql += ")";
  Statement update(db_, sql);
  for (std::size_t i = 0; i < unitIds.size(); ++i) update.Bind(static_cast<int>(i + 1), unitIds[i]);
  // One statement is its own transaction.
  if (update.Step() != SQLITE_DONE) throw UnitDatabaseError(sqlite3_errmsg(db_));
}

bool UnitFilter::Matches(const UnitRow& r) const {
  return (since.empty() || r.started >= since) && (until.empty() || r.started < until) &&
         (slot.empty() || r.slot == slot) && (outcome.empty() || r.outcome == outcome) &&
         (station.empty() || r.station == station) &&
         (unit.empty() || r.unitId.rfind(UnitPrefix(unit), 0) == 0);
}

std::vector<std::string> UnitRowFields(const UnitRow& r) {
  return {r.started,
          r.ended,
          r.station,
          r.slot,
          r.port,
          r.vendorId,
          r.productId,
          r.serial,
          r.usbPort,
          r.image,
          r.imageSha256,
          r.outcome,
          std::to_string(r.exitStatus),
          r.reason,
          std::to_string(r.pagesServed),
          std::to_string(r.repeats),
          std::to_string(r.replies),
          std::to_string(r.beyondImage),
          std::to_string(r.elapsedMs),
          r.unitId};
}

namespace {

// The text columns of a row and the numeric ones, by their names.
std::array<std::pair<const char*, std::string UnitRow::*>, 13> TextColumns() {
  return {{{"started", &UnitRow::started},
           {"ended", &UnitRow::ended},
           {"station", &UnitRow::station},
           {"slot", &UnitRow::slot},
           {"port", &UnitRow::port},
           {"usb_vendor", &UnitRow::vendorId},
           {"usb_product", &UnitRow::productId},
           {"usb_serial", &UnitRow::serial},
           {"usb_port", &UnitRow::usbPort},
           {"image", &UnitRow::image},
           {"image_sha256", &UnitRow::imageSha256},
           {"outcome", &UnitRow::outcome},
           {"reason", &UnitRow::reason}}};
}

std::array<std::pair<const char*, int64_t UnitRow::*>, 5> NumberColumns() {
  return {{{"pages_served", &UnitRow::pagesServed},
           {"repeats", &UnitRow::repeats},
           {"replies", &UnitRow::replies},
           {"beyond_image", &UnitRow::beyondImage},
           {"elapsed_ms", &UnitRow::elapsedMs}}};
}

}  // namespace

QJsonObject UnitRowJson(const UnitRow& r) {
  QJsonObject json;
  for (const auto& [name, field] : TextColumns()) json[name] = QString::fromStdString(r.*field);
  json["exit_status"] = r.exitStatus;
  for (const auto& [name, field] : NumberColumns()) json[name] = static_cast<qint64>(r.*field);
  json["unit_id"] = QString::fromStdString(r.unitId);
  if (!r.trace.empty())
    json["trace"] = QString::fromLatin1(QByteArray::fromStdString(r.trace).toBase64());
  return json;
}

std::optional<UnitRow> UnitRowFromJson(const QJsonObject& json) {
  UnitRow r;
  for (const auto& [name, field] : TextColumns()) {
    if (!json[name].isString()) return std::nullopt;
    r.*field = json[name].toString().toStdString();
  }
  if (!json["exit_status"].isDouble()) return std::nullopt;
  r.exitStatus = json["exit_status"].toInt();
  for (const auto& [name, field] : NumberColumns()) {
    if (!json[name].isDouble()) return std::nullopt;
    r.*field = json[name].toInteger();
  }
  r.unitId = json["unit_id"].toString().toStdString();
  r.trace = QByteArray::fromBase64(json["trace"].toString().toLatin1()).toStdString();
  return r;
}

std::optional<std::string> UtcFromLocal(const std::string& local) {
  QDateTime time = QDateTime::fromString(QString::fromStdString(local), Qt::ISODateWithMs);
  if (!time.isValid()) {
    const QDate day = QDate::fromString(QString::fromStdString(local), Qt::ISODate);
    if (!day.isValid()) return std::nullopt;
    time = day.startOfDay();
  }
  return time.toUTC().toString(Qt::ISODateWithMs).toStdString();
}

std::string UnitPrefix(const std::string& given) {
  std::string prefix = given;
  std::transform(prefix.begin(), prefix.end(), prefix.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return prefix;
}

std::string NewUnitId() {
  return QUuid::createUuid().toString(QUuid::WithoutBraces).toStdString();
}

std::string UtcNow() {
  return QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs).toStdString();
}

}  // namespace kv37
