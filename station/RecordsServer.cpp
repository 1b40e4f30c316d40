#include "RecordsServer.h"

#include <libpq-fe.h>
#include <poll.h>
#include <sys/socket.h>

#include <QUuid>
#include <algorithm>
#include <cctype>
#include <memory>

namespace kv37 {

namespace {

constexpr const char* kSchemaSql =
    R"(CREATE TABLE IF NOT EXISTS kv37_schema (version integer NOT NULL);
INSERT INTO kv37_schema (version) SELECT 1 WHERE NOT EXISTS (SELECT 1 FROM kv37_schema);
CREATE TABLE IF NOT EXISTS kv37_units (
  unit_id uuid PRIMARY KEY,
  started timestamptz NOT NULL,
  ended timestamptz NOT NULL,
  station text NOT NULL,
  slot text NOT NULL,
  port text NOT NULL,
  usb_vendor text NOT NULL,
  usb_product text NOT NULL,
  usb_serial text NOT NULL,
  usb_port text NOT NULL,
  image text NOT NULL,
  image_sha256 text NOT NULL,
  outcome text NOT NULL,
  exit_status integer NOT NULL,
  reason text NOT NULL,
  pages_served integer NOT NULL,
  repeats integer NOT NULL,
  replies integer NOT NULL,
  beyond_image integer NOT NULL,
  elapsed_ms bigint NOT NULL,
  received timestamptz NOT NULL DEFAULT now()
);
CREATE INDEX IF NOT EXISTS kv37_units_started ON kv37_units (started);
CREATE INDEX IF NOT EXISTS kv37_units_station ON kv37_units (station, slot, started);
CREATE TABLE IF NOT EXISTS kv37_unit_traces (
  unit_id uuid PRIMARY KEY REFERENCES kv37_units ON DELETE CASCADE,
  trace bytea NOT NULL
);
)";

// The columns as the server stores them, in kUnitColumns' order; times
// read back exactly as a station writes them.
constexpr const char* kSelectColumns =
    "to_char(started AT TIME ZONE 'UTC', 'YYYY-MM-DD\"T\"HH24:MI:SS.MS\"Z\"'), "
    "to_char(ended AT TIME ZONE 'UTC', 'YYYY-MM-DD\"T\"HH24:MI:SS.MS\"Z\"'), station, slot, port, "
    "usb_vendor, usb_product, usb_serial, usb_port, image, image_sha256, outcome, exit_status, "
    "reason, pages_served, repeats, replies, beyond_image, elapsed_ms, unit_id::text";
constexpr const char* kInsertColumns =
    "unit_id, started, ended, station, slot, port, usb_vendor, usb_product, usb_serial, "
    "usb_port, image, image_sha256, outcome, exit_status, reason, pages_served, repeats, "
    "replies, beyond_image, elapsed_ms";
constexpr int kInsertCount = 20;

using Result = std::unique_ptr<PGresult, decltype(&PQclear)>;
using Options = std::unique_ptr<PQconninfoOption, decltype(&PQconninfoFree)>;

std::string Trimmed(std::string text) {
  while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back()))) text.pop_back();
  return text;
}

Options Parse(const std::string& uri, std::string& error) {
  char* message = nullptr;
  Options options(PQconninfoParse(uri.c_str(), &message), PQconninfoFree);
  if (message != nullptr) {
    error = Trimmed(message);
    PQfreemem(message);
  }
  return options;
}

// The server's words for a failed statement, and whether it refused the data
// itself (SQLSTATE classes 22, data exception, and 23, integrity constraint).
RecordsServerError Refused(const std::string& name, const PGresult* result) {
  const char* state = PQresultErrorField(result, PG_DIAG_SQLSTATE);
  const std::string code = state != nullptr ? state : "";
  return RecordsServerError("records server " + name + ": " + Trimmed(PQresultErrorMessage(result)),
                            code.rfind("22", 0) == 0 || code.rfind("23", 0) == 0);
}

std::string Value(const Options& options, const char* keyword) {
  for (const PQconninfoOption* o = options.get(); o != nullptr && o->keyword != nullptr; ++o)
    if (std::string(o->keyword) == keyword && o->val != nullptr) return o->val;
  return {};
}

}  // namespace

bool IsRecordsServerUri(const std::string& text) {
  // libpq's own two schemes, which it takes in lower case only.
  return text.rfind("postgresql://", 0) == 0 || text.rfind("postgres://", 0) == 0;
}

std::string RecordsServerUriProblem(const std::string& uri) {
  if (!IsRecordsServerUri(uri))
    return "'" + uri + "' is no PostgreSQL URI (postgresql://HOST[:PORT]/DATABASE[?OPTIONS])";
  std::string error;
  const Options options = Parse(uri, error);
  if (!options) return "'" + uri + "' is no PostgreSQL URI: " + error;
  if (!Value(options, "password").empty())
    return "a password does not belong in a records server's URI, where files and logs show "
           "it: put it in libpq's password file (~/.pgpass, or the file PGPASSFILE names)";
  return {};
}

std::string RecordsServerName(const std::string& uri) {
  std::string error;
  const Options options = Parse(uri, error);
  if (!options) return uri;
  std::string host = Value(options, "host");
  if (host.empty() || host[0] == '/') host = "localhost";
  const std::string port = Value(options, "port");
  return host + (port.empty() ? "" : ":" + port) + "/" + Value(options, "dbname");
}

std::string RecordsServer::SchemaSql() {
  return kSchemaSql;
}

RecordsServer::RecordsServer(const std::string& uri, const std::function<bool()>& stopped)
    : name_(RecordsServerName(uri)) {
  if (const std::string problem = RecordsServerUriProblem(uri); !problem.empty())
    throw RecordsServerError(problem);
  const auto fail = [this](const std::string& reason) {
    PQfinish(conn_);
    conn_ = nullptr;
    throw RecordsServerError("records server " + name_ + ": " + reason);
  };
  // The URI comes last, so what it says wins over these defaults.
  const char* keywords[] = {"keepalives_idle",  "keepalives_interval",
                            "keepalives_count", "application_name",
                            "dbname",           nullptr};
  const char* values[] = {"10", "5", "3", "kv37", uri.c_str(), nullptr};
  // Connected step by step, so a station that stops never waits for a
  // server that does not answer.
  conn_ = PQconnectStartParams(keywords, values, 1);
  if (conn_ == nullptr) fail("out of memory");
  const auto deadline = std::chrono::steady_clock::now() + kConnectTimeout;
  PostgresPollingStatusType step = PGRES_POLLING_WRITING;
  while (step != PGRES_POLLING_OK) {
    if (step == PGRES_POLLING_FAILED || PQstatus(conn_) == CONNECTION_BAD)
      fail(Trimmed(PQerrorMessage(conn_)));
    pollfd ready{PQsocket(conn_),
                 static_cast<short>(step == PGRES_POLLING_READING ? POLLIN : POLLOUT), 0};
    const int polled = poll(&ready, 1, 100);
    if (stopped && stopped()) fail("stopped while connecting");
    if (std::chrono::steady_clock::now() >= deadline)
      fail("no answer within " + std::to_string(kConnectTimeout.count()) + " s");
    if (polled != 0) step = PQconnectPoll(conn_);
  }
  socket_ = PQsocket(conn_);
}

RecordsServer::~RecordsServer() {
  PQfinish(conn_);
}

void RecordsServer::Abort() {
  // Only the socket: the connection itself stays its owner's to finish.
  if (const int socket = socket_; socket >= 0) shutdown(socket, SHUT_RDWR);
}

void RecordsServer::Exec(const char* sql) {
  const Result result(PQexec(conn_, sql), PQclear);
  const ExecStatusType status = PQresultStatus(result.get());
  if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK)
    throw RecordsServerError("records server " + name_ + ": " +
                             Trimmed(PQresultErrorMessage(result.get())));
}

void RecordsServer::CreateSchema() {
  Exec((std::string("BEGIN;") + kSchemaSql + "COMMIT;").c_str());
}

void RecordsServer::CheckSchema() {
  const Result result(PQexec(conn_, "SELECT max(version) FROM kv37_schema"), PQclear);
  if (PQresultStatus(result.get()) != PGRES_TUPLES_OK) {
    const char* state = PQresultErrorField(result.get(), PG_DIAG_SQLSTATE);
    if (state != nullptr && std::string(state) == "42P01")  // undefined table
      throw RecordsServerError("records server " + name_ +
                               " keeps no station records: create them with 'kv37-update-cli "
                               "records-schema --apply URI'");
    throw Refused(name_, result.get());
  }
  const std::string version = PQgetvalue(result.get(), 0, 0);
  if (version != std::to_string(kSchemaVersion))
    throw RecordsServerError("records server " + name_ + " keeps station records of version " +
                             (version.empty() ? "none" : version) + ", this station writes " +
                             std::to_string(kSchemaVersion));
}

void RecordsServer::Insert(const std::vector<UnitRow>& rows) {
  if (rows.empty()) return;
  std::vector<std::string> texts;
  texts.reserve(rows.size() * kInsertCount);
  std::string sql = std::string("INSERT INTO kv37_units (") + kInsertColumns + ") VALUES ";
  std::string traceSql = "INSERT INTO kv37_unit_traces (unit_id, trace) VALUES ";
  std::vector<const UnitRow*> traced;
  for (std::size_t r = 0; r < rows.size(); ++r) {
    const UnitRow& row = rows[r];
    sql += r == 0 ? "(" : ",(";
    for (int c = 0; c < kInsertCount; ++c)
      sql += (c == 0 ? "$" : ",$") + std::to_string(r * kInsertCount + c + 1);
    sql += ")";
    for (const std::string& text : {row.unitId,
                                    row.started,
                                    row.ended,
                                    row.station,
                                    row.slot,
                                    row.port,
                                    row.vendorId,
                                    row.productId,
                                    row.serial,
                                    row.usbPort,
                                    row.image,
                                    row.imageSha256,
                                    row.outcome,
                                    std::to_string(row.exitStatus),
                                    row.reason,
                                    std::to_string(row.pagesServed),
                                    std::to_string(row.repeats),
                                    std::to_string(row.replies),
                                    std::to_string(row.beyondImage),
                                    std::to_string(row.elapsedMs)})
      texts.push_back(text);
    if (!row.trace.empty()) traced.push_back(&row);
  }
  // No conflict target: an insert-only role may not read the key it would name.
  sql += " ON CONFLICT DO NOTHING";
  std::vector<const char*> values;
  for (const std::string& text : texts) values.push_back(text.c_str());

  Exec("BEGIN");
  try {
    const Result units(PQexecParams(conn_, sql.c_str(), static_cast<int>(values.size()), nullptr,
                                    values.data(), nullptr, nullptr, 0),
                       PQclear);
    if (PQresultStatus(units.get()) != PGRES_COMMAND_OK) throw Refused(name_, units.get());
    if (!traced.empty()) {
      std::vector<const char*> traceValues;
      std::vector<int> lengths, formats;
      for (std::size_t t = 0; t < traced.size(); ++t) {
        traceSql += (t == 0 ? "($" : ",($") + std::to_string(2 * t + 1) + "::uuid,$" +
                    std::to_string(2 * t + 2) + ")";
        traceValues.push_back(traced[t]->unitId.c_str());
        traceValues.push_back(traced[t]->trace.data());
        lengths.insert(lengths.end(), {0, static_cast<int>(traced[t]->trace.size())});
        formats.insert(formats.end(), {0, 1});  // the trace as bytes, not text
      }
      traceSql += " ON CONFLICT DO NOTHING";
      const Result traces(
          PQexecParams(conn_, traceSql.c_str(), static_cast<int>(traceValues.size()), nullptr,
                       traceValues.data(), lengths.data(), formats.data(), 0),
          PQclear);
      if (PQresultStatus(traces.get()) != PGRES_COMMAND_OK) throw Refused(name_, traces.get());
    }
    // A failed transaction's COMMIT answers ROLLBACK, and still "succeeds".
    const Result commit(PQexec(conn_, "COMMIT"), PQclear);
    if (PQresultStatus(commit.get()) != PGRES_COMMAND_OK ||
        std::string(PQcmdStatus(commit.get())) != "COMMIT")
      throw RecordsServerError("records server " + name_ +
                               " did not commit: " + Trimmed(PQresultErrorMessage(commit.get())));
  } catch (const RecordsServerError&) {
    if (PQtransactionStatus(conn_) != PQTRANS_IDLE) PQclear(PQexec(conn_, "ROLLBACK"));
    throw;
  }
}

std::vector<UnitRow> RecordsServer::Query(const UnitFilter& f) {
  std::string where = " WHERE true";
  std::vector<std::string> texts;
  const auto match = [&](const char* column, const char* op, const std::string& value,
                         const char* cast) {
    if (value.empty()) return;
    texts.push_back(value);
    where += std::string(" AND ") + column + " " + op + " $" + std::to_string(texts.size()) + cast;
  };
  match("started", ">=", f.since, "::timestamptz");
  match("started", "<", f.until, "::timestamptz");
  match("slot", "=", f.slot, "");
  match("outcome", "=", f.outcome, "");
  match("station", "=", f.station, "");
  if (!f.unit.empty()) {
    texts.push_back(UnitPrefix(f.unit));
    where += " AND left(unit_id::text, length($" + std::to_string(texts.size()) + ")) = $" +
             std::to_string(texts.size());
  }
  std::string sql = std::string("SELECT ") + kSelectColumns + " FROM ";
  if (f.last > 0)
    sql += "(SELECT * FROM kv37_units" + where + " ORDER BY started DESC, unit_id DESC LIMIT " +
           std::to_string(f.last) + ") last";
  else
    sql += "kv37_units" + where;
  sql += " ORDER BY started, unit_id";
  std::vector<const char*> values;
  for (const std::string& text : texts) values.push_back(text.c_str());
  const Result result(PQexecParams(conn_, sql.c_str(), static_cast<int>(values.size()), nullptr,
                                   values.data(), nullptr, nullptr, 0),
                      PQclear);
  if (PQresultStatus(result.get()) != PGRES_TUPLES_OK)
    throw RecordsServerError("records server " + name_ + ": " +
                             Trimmed(PQresultErrorMessage(result.get())));
  std::vector<UnitRow> rows;
  for (int i = 0; i < PQntuples(result.get()); ++i) {
    UnitRow r;
    int c = 0;
    const auto text = [&] { return std::string(PQgetvalue(result.get(), i, c++)); };
    for (std::string* field :
         {&r.started, &r.ended, &r.station, &r.slot, &r.port, &r.vendorId, &r.productId, &r.serial,
          &r.usbPort, &r.image, &r.imageSha256, &r.outcome})
      *field = text();
    r.exitStatus = std::stoi(text());
    r.reason = text();
    for (int64_t* value : {&r.pagesServed, &r.repeats, &r.replies, &r.beyondImage, &r.elapsedMs})
      *value = std::stoll(text());
    r.unitId = text();
    rows.push_back(std::move(r));
  }
  return rows;
}

std::optional<std::string> RecordsServer::Trace(const std::string& unitId) {
  if (QUuid::fromString(QString::fromStdString(unitId)).isNull()) return std::nullopt;
  const char* values[] = {unitId.c_str()};
  const Result result(
      PQexecParams(conn_, "SELECT trace FROM kv37_unit_traces WHERE unit_id = $1::uuid", 1, nullptr,
                   values, nullptr, nullptr, 1),
      PQclear);
  if (PQresultStatus(result.get()) != PGRES_TUPLES_OK)
    throw RecordsServerError("records server " + name_ + ": " +
                             Trimmed(PQresultErrorMessage(result.get())));
  if (PQntuples(result.get()) == 0) return std::nullopt;
  return std::string(PQgetvalue(result.get(), 0, 0),
                     static_cast<std::size_t>(PQgetlength(result.get(), 0, 0)));
}

bool RecordsServer::Has(const std::string& unitId) {
  if (QUuid::fromString(QString::fromStdString(unitId)).isNull()) return false;
  const char* values[] = {unitId.c_str()};
  const Result result(PQexecParams(conn_, "SELECT 1 FROM kv37_units WHERE unit_id = $1::uuid", 1,
                                   nullptr, values, nullptr, nullptr, 0),
                      PQclear);
  if (PQresultStatus(result.get()) != PGRES_TUPLES_OK)
    throw RecordsServerError("records server " + name_ + ": " +
                             Trimmed(PQresultErrorMessage(result.get())));
  return PQntuples(result.get()) > 0;
}

}  // namespace kv37
