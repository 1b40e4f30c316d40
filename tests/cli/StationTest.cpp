// The station against simulated units whose links come and go, as adapters
// do, with the unit database read back.

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sqlite3.h>

#include <poll.h>
#include <pty.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QProcess>
#include <QThread>
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <thread>

#include "CliTestSupport.h"
#include "StationFile.h"
#include "UnitDatabase.h"
#include "UnitRecorder.h"
#include "UnwrittenRows.h"

extern char** environ;

namespace kv37::cli::test {
namespace {

using ::testing::HasSubstr;

constexpr unsigned kPages = 4;

// Another writer holds the file for `held` from now, on a thread of its own.
std::thread HoldDatabase(const std::string& path, std::chrono::milliseconds held) {
  sqlite3* other = nullptr;
  EXPECT_EQ(sqlite3_open(path.c_str(), &other), SQLITE_OK);
  EXPECT_EQ(sqlite3_exec(other, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr), SQLITE_OK);
  return std::thread([other, held] {
    std::this_thread::sleep_for(held);
    sqlite3_exec(other, "COMMIT", nullptr, nullptr, nullptr);
    sqlite3_close(other);
  });
}

bool WaitUntilTrue(const std::function<bool()>& done, std::chrono::milliseconds limit) {
  for (const auto end = std::chrono::steady_clock::now() + limit; !done();) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return true;
}

class StationRun : public ::testing::Test {
 protected:
  void SetUp() override { image_ = dir_.Write("os.bin", Pattern(kPages * 256)); }

  // A station file for these slots (name, path) and `extra` [station] lines.
  std::string File(const std::vector<std::string>& slotNames, const std::string& extra = "") {
    std::string text =
        "[station]\nname = bench\nimage = os.bin\ndatabase = units.db\n"
        "settle = 0.2\n" +
        extra;
    for (const std::string& slot : slotNames)
      text += "[slot " + slot + "]\npath = " + Link(slot) + "\n";
    const std::string path = (dir_.Path() / "station.ini").string();
    std::ofstream(path) << text;
    return path;
  }
  std::string Link(const std::string& slot) const {
    return (dir_.Path() / ("unit-" + slot)).string();
  }
  std::string Db() const { return (dir_.Path() / "units.db").string(); }

  void StartStation(const std::string& file) {
    station_.setProgram(KV37_UPDATE_CLI);
    station_.setArguments({"station", QString::fromStdString(file), "--json"});
    station_.start();
    ASSERT_TRUE(station_.waitForStarted());
    // Running once the board has shown its slots.
    ASSERT_TRUE(WaitFor(station_, "\"event\":\"slot\"")) << Output();
  }
  // A unit on `slot` until it is done: kv37sim makes the link and removes it
  // when it ends. Returns its exit status.
  std::unique_ptr<QProcess> Unit(const std::string& slot, std::vector<QString> extra = {}) {
    auto unit = std::make_unique<QProcess>();
    QStringList args{
        "--link",   QString::fromStdString(Link(slot)), "--pages",         QString::number(kPages),
        "--expect", QString::fromStdString(image_),     "--start-timeout", "20000"};
    for (const QString& arg : extra) args << arg;
    unit->start(KV37SIM, args);
    EXPECT_TRUE(unit->waitForStarted());
    return unit;
  }
  static int Finish(QProcess& process, int ms = 30000) {
    if (!process.waitForFinished(ms)) process.kill();
    return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
  }
  // Until the output so far holds `text` `count` times.
  static bool WaitFor(QProcess& process, const char* text, int count = 1, int ms = 15000) {
    for (int waited = 0; waited < ms; waited += 50) {
      process.waitForReadyRead(50);
      if (process.peek(1 << 24).count(text) >= count) return true;
    }
    return false;
  }
  std::string Output() { return station_.readAll().toStdString(); }
  std::vector<UnitRow> Rows() { return UnitDatabase(Db(), true).Query({}); }

  TempDir dir_;
  std::string image_;
  QProcess station_;
};

TEST_F(StationRun, UnitsOneAfterAnotherAndTwoSlotsAtOnceAreEachRecorded) {
  StartStation(File({"A", "B"}));
  for (int i = 0; i < 3; ++i) {
    auto unit = Unit("A");
    EXPECT_EQ(Finish(*unit), 0) << "unit " << i;
  }
  auto a = Unit("A");
  auto b = Unit("B");
  EXPECT_EQ(Finish(*a), 0);
  EXPECT_EQ(Finish(*b), 0);
  // A unit is done once the station has handled its result as well.
  EXPECT_TRUE(WaitFor(station_, "\"event\":\"finished\"", 5));

  station_.terminate();
  EXPECT_EQ(Finish(station_), 0);
  const std::vector<UnitRow> rows = Rows();
  ASSERT_EQ(rows.size(), 5u);
  int onA = 0;
  for (const UnitRow& row : rows) {
    onA += row.slot == "A";
    EXPECT_EQ(row.station, "bench");
    EXPECT_EQ(row.outcome, "success") << row.reason;
    EXPECT_EQ(row.pagesServed, kPages);
    EXPECT_EQ(row.image, image_);
    EXPECT_EQ(row.imageSha256.size(), 64u);
    EXPECT_LE(row.started, row.ended);
  }
  EXPECT_EQ(onA, 4);

  const CliResult csv = RunCli({"history", Db(), "--slot", "B", "--format", "csv"});
  EXPECT_EQ(csv.exitStatus, 0) << csv.err;
  EXPECT_THAT(csv.out, HasSubstr("started,ended,station,slot,"));
  EXPECT_EQ(std::count(csv.out.begin(), csv.out.end(), '\n'), 2) << csv.out;
}

TEST_F(StationRun, WaitingForTheUnitRepeatsTheStartCommandUntilItAnswers) {
  // The adapter stays; the unit behind it is still off, so the first start
  // command is lost.
  int master = -1, slave = -1;
  char name[256];
  ASSERT_EQ(openpty(&master, &slave, name, nullptr, nullptr), 0);
  close(slave);
  std::filesystem::create_symlink(name, Link("A"));
  StartStation(File({"A"}, "wait-for-unit = yes\n"));
  const auto startCommands = [&](std::chrono::milliseconds within) {
    int seen = 0;
    const auto end = std::chrono::steady_clock::now() + within;
    while (std::chrono::steady_clock::now() < end) {
      pollfd p{master, POLLIN, 0};
      uint8_t bytes[64];
      if (poll(&p, 1, 50) == 1 && (p.revents & POLLIN))
        seen += static_cast<int>(std::count(
            bytes, bytes + std::max<ssize_t>(0, read(master, bytes, sizeof bytes)), 0x57));
      else
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return seen;
  };
  EXPECT_EQ(startCommands(std::chrono::milliseconds(2000)), 1);
  EXPECT_EQ(startCommands(std::chrono::milliseconds(3500)), 1);
  close(master);
}

TEST_F(StationRun, KilledMidUpdateKeepsEveryFinishedUnitAndAnIntactDatabase) {
  StartStation(File({"A"}));
  auto first = Unit("A");
  ASSERT_EQ(Finish(*first), 0);
  ASSERT_TRUE(WaitFor(station_, "\"event\":\"finished\""));
  // The second unit is paced, so it is still updating when the station dies.
  auto second = Unit("A", {"--baud", "9600"});
  ASSERT_TRUE(WaitFor(station_, "\"event\":\"page\""));
  kill(static_cast<pid_t>(station_.processId()), SIGKILL);
  station_.waitForFinished();
  Finish(*second);

  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(Db().c_str(), &db), SQLITE_OK);
  sqlite3_stmt* check = nullptr;
  ASSERT_EQ(sqlite3_prepare_v2(db, "PRAGMA integrity_check", -1, &check, nullptr), SQLITE_OK);
  ASSERT_EQ(sqlite3_step(check), SQLITE_ROW);
  EXPECT_STREQ(reinterpret_cast<const char*>(sqlite3_column_text(check, 0)), "ok");
  sqlite3_finalize(check);
  sqlite3_close(db);
  const std::vector<UnitRow> rows = Rows();
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0].outcome, "success");
}

TEST_F(StationRun, StopsCleanlyRecordingTheUnitInProgressAsInterrupted) {
  StartStation(File({"A"}));
  auto unit = Unit("A", {"--baud", "9600"});
  ASSERT_TRUE(WaitFor(station_, "\"event\":\"page\""));
  const std::string device = std::filesystem::read_symlink(Link("A")).string();
  station_.terminate();
  EXPECT_EQ(Finish(station_), 0);
  Finish(*unit);
  const std::vector<UnitRow> rows = Rows();
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0].outcome, "interrupted");
  EXPECT_EQ(rows[0].exitStatus, 143);  // SIGTERM's, not SIGINT's
  EXPECT_EQ(rows[0].port, device);     // the device the unit was on, not the slot's link
}

TEST_F(StationRun, ADatabaseHeldByAnotherWriterHoldsUpNoOtherSlotsReplies) {
  StartStation(File({"A", "B"}));
  // B's unit takes its time; A's ends while another writer holds the file.
  auto b = Unit("B", {"--flash-delay", "600"});
  ASSERT_TRUE(WaitFor(station_, "\"event\":\"page\""));
  std::thread holder = HoldDatabase(Db(), std::chrono::seconds(3));
  auto a = Unit("A");
  EXPECT_EQ(Finish(*a), 0);
  EXPECT_EQ(Finish(*b), 0) << b->readAllStandardError().toStdString();
  holder.join();
  EXPECT_TRUE(WaitFor(station_, "\"event\":\"finished\"", 2));
  station_.terminate();
  EXPECT_EQ(Finish(station_), 0);
  EXPECT_EQ(Rows().size(), 2u);
}

TEST_F(StationRun, AnAdapterSwappedWhileTheStationWasBusyIsANewUnit) {
  StartStation(File({"A"}));
  auto first = Unit("A", {"--baud", "9600"});
  ASSERT_TRUE(WaitFor(station_, "\"event\":\"page\""));
  // The first unit is pulled and the next plugged in before the station looks.
  const auto pid = static_cast<pid_t>(station_.processId());
  kill(pid, SIGSTOP);
  first->kill();
  first->waitForFinished();
  std::filesystem::remove(Link("A"));
  auto second = Unit("A");
  for (int i = 0; i < 200 && !std::filesystem::exists(Link("A")); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  kill(pid, SIGCONT);
  EXPECT_EQ(Finish(*second), 0);
}

TEST_F(StationRun, ABoardThatNobodyReadsHoldsUpNoUnit) {
  // The station's JSON lines go to a pipe nobody reads: a unit of 400 pages
  // writes far more than the pipe holds.
  int board[2];
  ASSERT_EQ(pipe(board), 0);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, board[1], STDOUT_FILENO);
  posix_spawn_file_actions_addclose(&actions, board[0]);
  const std::string file = File({"A"}, "fast = yes\n");
  const char* argv[] = {KV37_UPDATE_CLI, "station", file.c_str(), "--json", nullptr};
  pid_t station = -1;
  ASSERT_EQ(
      posix_spawn(&station, KV37_UPDATE_CLI, &actions, nullptr, const_cast<char**>(argv), environ),
      0);
  posix_spawn_file_actions_destroy(&actions);
  close(board[1]);
  QProcess unit;
  unit.start(KV37SIM, {"--link", QString::fromStdString(Link("A")), "--pages", "400", "--expect",
                       QString::fromStdString(image_), "--start-timeout", "20000"});
  EXPECT_EQ(Finish(unit), 0) << unit.readAllStandardError().toStdString();
  kill(station, SIGTERM);
  close(board[0]);
  int status = 0;
  waitpid(station, &status, 0);
}

TEST_F(StationRun, StoppedWhileTheDatabaseIsHeldKeepsTheUnitsAndSaysWhere) {
  StartStation(File({"A"}));
  std::thread holder = HoldDatabase(Db(), std::chrono::seconds(7));
  auto unit = Unit("A");
  EXPECT_EQ(Finish(*unit), 0);
  ASSERT_TRUE(WaitFor(station_, "\"event\":\"finished\""));
  station_.terminate();
  EXPECT_EQ(Finish(station_), 6);
  EXPECT_THAT(station_.readAllStandardError().toStdString(),
              HasSubstr("kept in " + Db() + ".unwritten"));
  holder.join();
  const CliResult history = RunCli({"history", Db(), "--format", "csv"});
  EXPECT_EQ(std::count(history.out.begin(), history.out.end(), '\n'), 2) << history.out;
}

TEST_F(StationRun, RefusesToStartWithWhatIsWrong) {
  struct Case {
    const char* name;
    std::string extra;
    std::vector<std::string> slotNames;
    const char* says;
  };
  const std::string sameLink = Link("A");
  const Case cases[] = {
      {"other image", "sha256 = " + std::string(64, '0') + "\n", {"A"}, "expects 0000"},
      {"bad line", "fast\n", {"A"}, "station.ini:6: expected 'key = value'"},
      {"database in a missing folder",
       "database = no/such/folder/units.db\n",
       {"A"},
       "cannot open unit database"},
  };
  for (const Case& c : cases) {
    const std::string file = File(c.slotNames, c.extra);
    const CliResult result = RunCli({"station", file});
    EXPECT_EQ(result.exitStatus, 5) << c.name;
    EXPECT_THAT(result.err, HasSubstr(c.says)) << c.name;
  }
  // Station files that are no files, or hold what a terminal must not see.
  const std::string fifo = (dir_.Path() / "fifo.ini").string();
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  const std::string junk = (dir_.Path() / "junk.ini").string();
  std::ofstream(junk) << "[\x1b[2J\x07]\n";
  dir_.Write("blank.bin", std::vector<uint8_t>(256, 0xFF));
  const std::string blank = (dir_.Path() / "blank.ini").string();
  std::ofstream(blank) << "[station]\nimage = blank.bin\ndatabase = u.db\n[slot A]\nserial = X\n";
  const std::pair<std::string, const char*> files[] = {
      {fifo, "is not a regular file"},
      {dir_.Path().string(), "is a folder, not a station file"},
      {junk, "\\x1B[2J\\x07"},
      {blank, "a station never sends such an image"},
  };
  for (const auto& [file, says] : files) {
    const CliResult result = RunCli({"station", file}, 5000);
    EXPECT_EQ(result.exitStatus, 5) << file;
    EXPECT_THAT(result.err, HasSubstr(says)) << file;
    EXPECT_EQ(result.err.find('\x1b'), std::string::npos) << file;
  }
  // Two slots on one adapter.
  const std::string path = (dir_.Path() / "two.ini").string();
  std::ofstream(path) << "[station]\nimage = os.bin\ndatabase = u.db\n[slot A]\nserial = X1\n"
                         "[slot B]\nserial = X1\n";
  const CliResult twice = RunCli({"station", path});
  EXPECT_EQ(twice.exitStatus, 5);
  EXPECT_THAT(twice.err, HasSubstr("slots A and B both name serial X1"));
}

TEST(UnitRecorder, NeverWaitsForTheDatabaseAndKeepsWhatAStopLeavesUntilTheNextStart) {
  TempDir dir;
  const std::string path = (dir.Path() / "units.db").string();
  PortEvent finished;
  finished.kind = PortEventKind::Finished;
  finished.slot = "A";
  {
    UnitRecorder recorder(path, "bench", {"os.bin", 1, 1, "ab"});
    std::thread holder = HoldDatabase(path, std::chrono::milliseconds(2500));
    const auto began = std::chrono::steady_clock::now();
    recorder.Report(finished);
    EXPECT_LT(std::chrono::steady_clock::now() - began, std::chrono::milliseconds(100));
    EXPECT_TRUE(WaitUntilTrue([&] { return recorder.Blocked(); }, std::chrono::seconds(5)));
    // Written once the other writer lets go.
    EXPECT_TRUE(WaitUntilTrue([&] { return recorder.Waiting() == 0; }, std::chrono::seconds(8)));
    holder.join();

    // Held through the stop: kept beside the database.
    holder = HoldDatabase(path, std::chrono::seconds(3));
    finished.slot = "B";
    recorder.Report(finished);
    const UnitRecorder::Outcome end = recorder.Finish(std::chrono::milliseconds(300));
    holder.join();
    EXPECT_EQ(end.unwritten, 1u);
    EXPECT_EQ(end.keptIn, path + ".unwritten");
  }
  const std::vector<UnitRow> kept = ReadUnwritten(path);
  ASSERT_EQ(kept.size(), 1u);
  EXPECT_EQ(kept[0].slot, "B");
  // Taken back by the next recorder, and the file goes; taken back again (a
  // crash before the file went), it is not written twice.
  for (int start = 0; start < 2; ++start) {
    UnitRecorder again(path, "bench", {"os.bin", 1, 1, "ab"});
    EXPECT_TRUE(WaitUntilTrue([&] { return again.Waiting() == 0; }, std::chrono::seconds(5)));
    EXPECT_FALSE(std::filesystem::exists(path + ".unwritten"));
    again.Finish(std::chrono::milliseconds(0));
    KeepUnwritten(path, kept);
  }
  ForgetUnwritten(path);
  const std::vector<UnitRow> rows = UnitDatabase(path, true).Query({});
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[1].slot, "B");
}

// Updaters (and stations) started at once on a database that is not there
// yet: none may give up on the others' creating it.
TEST(UnitDatabase, CreatingTheFileWaitsForAnotherCreatorLikeAnyWrite) {
  TempDir dir;
  const std::string image = dir.Write("os.bin", Pattern(256));
  for (int round = 0; round < 10; ++round) {
    const std::string db = (dir.Path() / ("u" + std::to_string(round) + ".db")).string();
    const char* argv[] = {KV37_UPDATE_CLI, image.c_str(), "--port", "/nonexistent/tty",
                          "--record",      db.c_str(),    nullptr};
    std::vector<pid_t> updaters(4);
    for (pid_t& pid : updaters)
      ASSERT_EQ(
          posix_spawn(&pid, KV37_UPDATE_CLI, nullptr, nullptr, const_cast<char**>(argv), environ),
          0);
    for (const pid_t pid : updaters) {
      int status = 0;
      waitpid(pid, &status, 0);
      // The port is missing (3); the database is never in the way (5).
      EXPECT_EQ(WEXITSTATUS(status), 3) << "round " << round;
    }
  }
}

TEST(StationFile, ErrorsNameTheirLine) {
  struct Case {
    const char* text;
    const char* says;
  };
  const Case cases[] = {
      {"[station]\nimage = a.bin\n", "no [slot NAME] sections"},
      {"[slot A]\nserial = 1\n", "no image in [station]"},
      {"[station]\nimage = a\n[slot A]\n", "f.ini:3: slot A names no adapter"},
      {"[station]\nimage = a\n[slot A]\nserial = 1\npath = /dev/x\n",
       "f.ini:5: slot A names its adapter twice"},
      {"[station]\nimage = a\n[slot A]\nserial = 1\n[slot A]\n", "f.ini:5: slot A is named twice"},
      {"[station]\nimage = a\ncolour = red\n", "f.ini:3: unknown key 'colour'"},
      {"[station]\nimage = a\nsettle = soon\n", "f.ini:3: settle must be seconds"},
      {"[station]\nimage = a\nsha256 = 12\n", "f.ini:3: sha256 must be 64"},
      {"[fixture]\n", "f.ini:1: unknown section [fixture]"},
      {"image = a\n", "f.ini:1: 'image' before any"},
  };
  for (const Case& c : cases) {
    try {
      ParseStationFile(c.text, "/x/f.ini");
      ADD_FAILURE() << c.says;
    } catch (const StationFileError& e) {
      EXPECT_THAT(e.what(), HasSubstr(c.says));
    }
  }
  const StationSpec spec = ParseStationFile(
      "# fixture\n[station]\nimage = img/os.bin ; the release\nwait-for-unit = yes\n"
      "[slot A1]\nusb-port = 1-1.2\n[slot A2]\npath = ../dev/unit\n",
      "/srv/fix/f.ini");
  EXPECT_EQ(spec.name, "f");
  EXPECT_EQ(spec.image, "/srv/fix/img/os.bin");
  EXPECT_TRUE(spec.waitForUnit);
  ASSERT_EQ(spec.slotSpecs.size(), 2u);
  EXPECT_EQ(spec.slotSpecs[0].by, SlotSpec::By::UsbPort);
  EXPECT_EQ(spec.slotSpecs[1].value, "/srv/dev/unit");
}

}  // namespace
}  // namespace kv37::cli::test
