// Units forwarded to a records server of the test's own (PostgreSQL 15):
// as a station finishes them, while the server is away, killed, or the
// station killed between the server's commit and its own mark; a refused
// login; two stations on one server and what history reads back from it.

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <libpq-fe.h>
#include <signal.h>
#include <sqlite3.h>
#include <sys/stat.h>

#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <filesystem>
#include <fstream>
#include <map>

#include "CliTestSupport.h"
#include "PgServer.h"
#include "RecordsForwarder.h"
#include "UnitFill.h"
#include "UnitRecorder.h"

namespace kv37::cli::test {
namespace {

using kv37::test::FillUnits;
using kv37::test::PgServer;
using ::testing::HasSubstr;

bool Until(const std::function<bool()>& done, std::chrono::milliseconds limit) {
  for (const auto end = std::chrono::steady_clock::now() + limit; !done();) {
    if (std::chrono::steady_clock::now() > end) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return true;
}

class Records : public ::testing::Test {
 protected:
  void SetUp() override {
    const CliResult made = RunCli({"records-schema", "--apply", pg_.Uri()});
    ASSERT_EQ(made.exitStatus, 0) << made.err;
  }
  std::size_t ServerCount(const std::string& where = "true") const {
    return std::stoul(pg_.Column("SELECT count(*) FROM kv37_units WHERE " + where).at(0));
  }
  std::string Db(const std::string& name = "units.db") const {
    return (dir_.Path() / name).string();
  }
  // An insert-only role whose password libpq reads from its password file.
  void StationRole(const std::string& password) {
    pg_.Sql(
        "CREATE ROLE kv37_station LOGIN PASSWORD 'right';"
        "GRANT SELECT ON kv37_schema TO kv37_station;"
        "GRANT INSERT ON kv37_units, kv37_unit_traces TO kv37_station;");
    const std::string file = (dir_.Path() / "pgpass").string();
    std::ofstream(file) << "127.0.0.1:" << pg_.Port() << ":kv37:kv37_station:" << password << "\n";
    chmod(file.c_str(), 0600);
    setenv("PGPASSFILE", file.c_str(), 1);
  }
  void TearDown() override { unsetenv("PGPASSFILE"); }

  int argc_ = 0;
  QCoreApplication app_{argc_, nullptr};
  TempDir dir_;
  PgServer pg_;
};

TEST_F(Records, AStationForwardsEachUnitAsItFinishesWithAFailuresTrace) {
  const std::string image = dir_.Write("os.bin", Pattern(4 * 256));
  const std::string file = (dir_.Path() / "station.ini").string();
  std::ofstream(file) << "[station]\nname = east\nimage = os.bin\ndatabase = units.db\n"
                      << "settle = 0.1\nforward = " << pg_.Uri()
                      << "\n[slot A]\npath = " << (dir_.Path() / "a").string()
                      << "\n[slot B]\npath = " << (dir_.Path() / "b").string() << "\n";
  QProcess station;
  station.start(KV37_UPDATE_CLI, {"station", QString::fromStdString(file), "--json"});
  ASSERT_TRUE(station.waitForStarted());
  ASSERT_TRUE(Until([&] { return std::filesystem::exists(Db()); }, std::chrono::seconds(10)));
  QProcess a, b;
  a.start(KV37SIM,
          {"--link", QString::fromStdString((dir_.Path() / "a").string()), "--pages", "4"});
  b.start(KV37SIM, {"--link", QString::fromStdString((dir_.Path() / "b").string()), "--pages", "4",
                    "--fail-completion"});
  ASSERT_TRUE(a.waitForFinished(30000) && b.waitForFinished(30000));
  ASSERT_TRUE(Until([&] { return ServerCount() == 2; }, std::chrono::seconds(20)))
      << station.readAll().toStdString();
  station.terminate();
  ASSERT_TRUE(station.waitForFinished(20000));

  const auto fields = [](std::vector<UnitRow> rows) {
    std::vector<std::vector<std::string>> all;
    for (const UnitRow& row : rows) all.push_back(UnitRowFields(row));
    std::sort(all.begin(), all.end());
    return all;
  };
  RecordsServer server(pg_.Uri());
  EXPECT_EQ(fields(server.Query({})), fields(UnitDatabase(Db(), true).Query({})));
  UnitFilter failed;
  failed.outcome = "unit-failure";
  const std::string id = server.Query(failed).at(0).unitId;
  const CliResult local = RunCli({"history", Db(), "--trace", id.substr(0, 8)});
  std::string upper = id.substr(0, 8);
  std::transform(upper.begin(), upper.end(), upper.begin(), ::toupper);
  const CliResult central = RunCli({"history", pg_.Uri(), "--trace", upper});
  EXPECT_EQ(local.exitStatus, 0) << local.err;
  EXPECT_THAT(local.out, HasSubstr("unit -> station"));
  EXPECT_EQ(local.out, central.out);
}

TEST_F(Records, UnitsFinishedWhileTheServerIsAwayReachItOnceEachWhenItIsBack) {
  pg_.Stop();
  UnitRecorder recorder(Db(), "east", ImageInfo{"os.bin", 256, 256, "ab"});
  RecordsForwarder forwarder(Db(), pg_.Uri());
  recorder.onAllWritten = [&] { forwarder.Wake(); };
  std::vector<std::string> notes;
  forwarder.onTrouble =
      forwarder.onForwarding = [&](const std::string& text) { notes.push_back(text); };
  for (int i = 0; i < 50; ++i) {
    PortEvent unit;
    unit.kind = PortEventKind::Finished;
    unit.unit = NewUnitId();
    unit.slot = "S" + std::to_string(i % 4);
    unit.text = "OS Update Success!!";
    recorder.Report(unit);
  }
  ASSERT_TRUE(Until([&] { return forwarder.Now().waiting == 50 && !notes.empty(); },
                    std::chrono::seconds(20)));
  EXPECT_THAT(notes[0], HasSubstr("50 rows wait here since"));
  EXPECT_FALSE(forwarder.Now().trouble.empty());

  pg_.Start();
  ASSERT_TRUE(Until([&] { return forwarder.Now().waiting == 0; }, std::chrono::seconds(60)));
  EXPECT_EQ(ServerCount(), 50u);
  EXPECT_EQ(pg_.Column("SELECT count(DISTINCT unit_id) FROM kv37_units").at(0), "50");
  ASSERT_TRUE(Until([&] { return notes.size() == 2; }, std::chrono::seconds(5)));
  EXPECT_THAT(notes[1], HasSubstr("takes the rows again"));
}

TEST_F(Records, AServerKilledInTheMiddleOfABatchLosesNothingAndDoublesNothing) {
  constexpr int kRows = 20000;
  FillUnits(Db(), kRows, "east");
  QProcess forward;
  forward.start(KV37_UPDATE_CLI, {"forward", QString::fromStdString(Db()), "--to",
                                  QString::fromStdString(pg_.Uri())});
  ASSERT_TRUE(Until([&] { return ServerCount() > 0; }, std::chrono::seconds(20)));
  pg_.Kill();
  ASSERT_TRUE(forward.waitForFinished(30000));
  EXPECT_EQ(forward.exitCode(), 6) << forward.readAllStandardError().toStdString();

  pg_.Start();
  const std::size_t before = ServerCount();
  EXPECT_LT(before, static_cast<std::size_t>(kRows));
  const CliResult again = RunCli({"forward", Db(), "--to", pg_.Uri()});
  EXPECT_EQ(again.exitStatus, 0) << again.err;
  EXPECT_EQ(ServerCount(), static_cast<std::size_t>(kRows));
  EXPECT_EQ(UnitDatabase(Db()).CountUnforwarded(), 0u);
}

TEST_F(Records, AStationKilledBetweenTheServersCommitAndItsOwnMarkSendsNoSecondRow) {
  FillUnits(Db(), 1200, "east");
  // The moment between the two is made long: the server's table is held
  // until the forwarder has read its rows and is inserting them, then the
  // database until the server has committed them.
  std::unique_ptr<PGconn, decltype(&PQfinish)> admin(PQconnectdb(pg_.Uri().c_str()), PQfinish);
  PQclear(PQexec(admin.get(), "BEGIN; LOCK TABLE kv37_units IN ACCESS EXCLUSIVE MODE"));
  QProcess forward;
  forward.start(KV37_UPDATE_CLI, {"forward", QString::fromStdString(Db()), "--to",
                                  QString::fromStdString(pg_.Uri())});
  ASSERT_TRUE(
      Until([&] { return pg_.Column("SELECT count(*) FROM pg_locks WHERE NOT granted")[0] != "0"; },
            std::chrono::seconds(20)));
  sqlite3* other = nullptr;
  ASSERT_EQ(sqlite3_open(Db().c_str(), &other), SQLITE_OK);
  ASSERT_EQ(sqlite3_exec(other, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr), SQLITE_OK);
  PQclear(PQexec(admin.get(), "COMMIT"));
  ASSERT_TRUE(Until([&] { return ServerCount() == kForwardBatch; }, std::chrono::seconds(20)));
  kill(static_cast<pid_t>(forward.processId()), SIGKILL);
  forward.waitForFinished();
  sqlite3_exec(other, "COMMIT", nullptr, nullptr, nullptr);
  sqlite3_close(other);
  EXPECT_EQ(UnitDatabase(Db()).CountUnforwarded(), 1200u);

  const CliResult again = RunCli({"forward", Db(), "--to", pg_.Uri()});
  EXPECT_EQ(again.exitStatus, 0) << again.err;
  EXPECT_THAT(again.out, HasSubstr("1200 rows forwarded"));
  EXPECT_EQ(ServerCount(), 1200u);
}

TEST_F(Records, ARowTheServerRefusesIsKeptAndMarkedAndTheRowsAfterItGoOn) {
  FillUnits(Db(), 30, "east");
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(Db().c_str(), &db), SQLITE_OK);
  ASSERT_EQ(sqlite3_exec(db, "UPDATE units SET started = 'not a time' WHERE id = 3", nullptr,
                         nullptr, nullptr),
            SQLITE_OK);
  sqlite3_close(db);
  const CliResult sent = RunCli({"forward", Db(), "--to", pg_.Uri()});
  EXPECT_EQ(sent.exitStatus, 6);
  EXPECT_THAT(sent.out, HasSubstr("29 rows forwarded"));
  EXPECT_THAT(sent.err, HasSubstr("invalid input syntax for type timestamp with time zone"));
  EXPECT_EQ(ServerCount(), 29u);
  EXPECT_EQ(UnitDatabase(Db()).CountUnforwarded(), 0u);
}

TEST_F(Records, AWrongPasswordIsToldAndTheRowsWaitWhileTheLineGoesOn) {
  StationRole("wrong");
  UnitRecorder recorder(Db(), "east", ImageInfo{"os.bin", 256, 256, "ab"});
  RecordsForwarder forwarder(Db(), pg_.UriFor("kv37_station"));
  recorder.onAllWritten = [&] { forwarder.Wake(); };
  std::vector<std::string> notes;
  forwarder.onTrouble = [&](const std::string& text) { notes.push_back(text); };
  for (int i = 0; i < 2; ++i) {
    PortEvent unit;
    unit.kind = PortEventKind::Finished;
    unit.unit = NewUnitId();
    unit.slot = "A";
    recorder.Report(unit);
  }
  ASSERT_TRUE(Until([&] { return !notes.empty(); }, std::chrono::seconds(20)));
  EXPECT_THAT(notes[0], HasSubstr("password authentication failed for user \"kv37_station\""));
  EXPECT_THAT(notes[0], HasSubstr("2 rows wait here"));
  EXPECT_EQ(UnitDatabase(Db(), true).Query({}).size(), 2u);
  EXPECT_EQ(ServerCount(), 0u);
}

TEST_F(Records, TwoStationsShareOneServerAndHistoryReadsItAsSqlDoes) {
  StationRole("right");
  FillUnits(Db("east.db"), 300, "east");
  FillUnits(Db("west.db"), 200, "west");
  for (const char* db : {"east.db", "west.db"}) {
    const CliResult sent = RunCli({"forward", Db(db), "--to", pg_.UriFor("kv37_station")});
    ASSERT_EQ(sent.exitStatus, 0) << sent.err;
  }
  const CliResult east = RunCli({"history", pg_.Uri(), "--station", "east", "--format", "csv"});
  ASSERT_EQ(east.exitStatus, 0) << east.err;
  EXPECT_EQ(std::count(east.out.begin(), east.out.end(), '\n') - 1,
            std::stol(pg_.Column("SELECT count(*) FROM kv37_units WHERE station = 'east'")[0]));

  const CliResult stats = RunCli({"history", pg_.Uri(), "--stats", "--format", "json"});
  ASSERT_EQ(stats.exitStatus, 0) << stats.err;
  std::map<std::string, std::string> byGroup;
  for (const QJsonValue& row :
       QJsonDocument::fromJson(QByteArray::fromStdString(stats.out)).array()) {
    const QJsonObject o = row.toObject();
    byGroup[(o["station"].toString() + "/" + o["slot"].toString() + "/" + o["adapter"].toString())
                .toStdString()] = QString("%1 %2 %3 %4")
                                      .arg(o["units"].toInt())
                                      .arg(o["passed"].toInt())
                                      .arg(o["failed"].toObject()["unit-failure"].toInt())
                                      .arg(o["median_ms"].toInteger())
                                      .toStdString();
  }
  std::map<std::string, std::string> expected;
  for (const std::string& line : pg_.Column(
           "SELECT station || '/' || slot || '/serial ' || usb_serial || E'\\t' || count(*) || ' ' "
           "|| count(*) FILTER (WHERE outcome = 'success') || ' ' || count(*) FILTER (WHERE "
           "outcome = 'unit-failure') || ' ' || floor(percentile_cont(0.5) WITHIN GROUP (ORDER BY "
           "elapsed_ms) FILTER (WHERE outcome = 'success')) FROM kv37_units GROUP BY station, "
           "slot, usb_serial"))
    expected[line.substr(0, line.find('\t'))] = line.substr(line.find('\t') + 1);
  EXPECT_EQ(byGroup, expected);
}

}  // namespace
}  // namespace kv37::cli::test
