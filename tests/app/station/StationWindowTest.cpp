// The station window on the real station core, with simulated units whose
// links come and go as adapters do; the command-line station's records of
// the same units to compare with.

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <tuple>

#include "LastUnits.h"
#include "SlotGrid.h"
#include "SlotTile.h"
#include "StationWindow.h"
#include "UnitDatabase.h"

namespace kv37 {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

constexpr int kPages = 4;

bool Until(const std::function<bool()>& done, std::chrono::milliseconds limit = 20s) {
  for (const auto end = std::chrono::steady_clock::now() + limit; !done();) {
    if (std::chrono::steady_clock::now() > end) return false;
    QApplication::processEvents(QEventLoop::AllEvents, 10);
  }
  return true;
}

// The record of a unit as every front end must write it: all but its times
// and the number of the pseudo-terminal it happened to get.
auto Comparable(const UnitRow& r) {
  return std::tuple(r.slot, r.outcome, r.exitStatus, r.reason, r.station,
                    r.port.rfind("/dev/pts/", 0) == 0, r.image, r.imageSha256, r.pagesServed,
                    r.repeats, r.replies, r.beyondImage, r.vendorId, r.serial, r.usbPort);
}

class StationWindowRun : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("kv37-station-window-" + std::to_string(getpid()));
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    std::string image(kPages * 256, '\0');
    for (std::size_t i = 0; i < image.size(); ++i) image[i] = static_cast<char>(i * 7 + i / 256);
    std::ofstream(dir_ / "os.bin", std::ios::binary) << image;
  }
  void TearDown() override { fs::remove_all(dir_); }

  std::string File(int slotCount) {
    std::ofstream file(dir_ / "station.ini");
    file << "[station]\nname = line 3\nimage = os.bin\ndatabase = units.db\nsettle = 0.3\n";
    for (int i = 0; i < slotCount; ++i)
      file << "[slot " << Name(i) << "]\npath = " << Link(Name(i)) << "\n";
    return (dir_ / "station.ini").string();
  }
  static std::string Name(int slot) { return std::string(1, static_cast<char>('A' + slot)); }
  std::string Link(const std::string& slot) const { return (dir_ / ("unit-" + slot)).string(); }

  // A unit plugged into `slot`: its adapter (the slot's link) stays until
  // Unplug(), after the unit has ended too.
  std::unique_ptr<QProcess> Unit(const std::string& slot, QStringList extra = {},
                                 int pages = kPages) {
    const fs::path own = dir_ / ("sim-" + slot);
    auto unit = std::make_unique<QProcess>();
    unit->start(KV37SIM, QStringList{"--link", QString::fromStdString(own.string()), "--pages",
                                     QString::number(pages), "--start-timeout", "30000"} +
                             extra);
    EXPECT_TRUE(unit->waitForStarted());
    EXPECT_TRUE(Until([&] { return fs::is_symlink(own); }));
    fs::create_symlink(fs::read_symlink(own), Link(slot));
    return unit;
  }
  void Unplug(const std::string& slot) { fs::remove(Link(slot)); }
  static bool Ended(QProcess& unit) { return unit.state() == QProcess::NotRunning; }
  std::vector<UnitRow> Rows(const std::string& db) {
    return UnitDatabase((dir_ / db).string(), true).Query({});
  }

  // The database holds the one unit, stopped by SIGTERM; the unit ends.
  void ExpectTheOneUnitInterrupted(QProcess& unit) {
    const std::vector<UnitRow> rows = Rows("units.db");
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].outcome, "interrupted");
    EXPECT_EQ(rows[0].exitStatus, 143);
    unit.kill();
    unit.waitForFinished();
  }

  fs::path dir_;
};

// Every state each tile showed, in order, without repeats.
class TileStates {
 public:
  explicit TileStates(const SlotGrid& grid) {
    timer_.callOnTimeout([this, &grid] {
      for (std::size_t i = 0; i < grid.Count(); ++i) {
        auto& seen = seen_[i];
        const SlotState state = grid.Tile(i)->Shown().state;
        if (seen.empty() || seen.back() != state) seen.push_back(state);
      }
    });
    timer_.start(5);
  }
  const std::vector<SlotState>& Of(std::size_t slot) { return seen_[slot]; }

 private:
  QTimer timer_;
  std::map<std::size_t, std::vector<SlotState>> seen_;
};

TEST_F(StationWindowRun, AFailedTileStaysUntilAcknowledgedByKeyAndTheRowsAreTheCommandLines) {
  const std::string file = File(4);
  {
    StationHost host(file);
    StationWindow window(host);
    window.show();
    TileStates states(window.Grid());
    std::vector<std::unique_ptr<QProcess>> units;
    for (const char* slot : {"A", "B", "C"}) units.push_back(Unit(slot));
    units.push_back(Unit("D", {"--fail-completion"}));
    SlotTile& d = *window.Grid().Tile(3);
    ASSERT_TRUE(Until([&] {
      return std::all_of(units.begin(), units.end(), [](auto& u) { return Ended(*u); }) &&
             window.Grid().Tile(2)->Shown().state == SlotState::Passed && d.Shown().held;
    }));
    for (int slot = 0; slot < 4; ++slot) Unplug(Name(slot));
    ASSERT_TRUE(Until([&] { return window.Grid().Tile(2)->Shown().state == SlotState::Waiting; }));
    QTest::qWait(300);
    for (std::size_t slot = 0; slot < 3; ++slot)
      EXPECT_EQ(states.Of(slot),
                (std::vector{SlotState::Waiting, SlotState::Settling, SlotState::Updating,
                             SlotState::Passed, SlotState::Waiting}))
          << "slot " << slot;
    // The failed unit has gone; its tile still says so.
    EXPECT_EQ(states.Of(3).back(), SlotState::Failed);
    EXPECT_TRUE(d.StateText().startsWith("failed")) << d.StateText().toStdString();

    // The next unit on D waits for the operator.
    auto next = Unit("D");
    EXPECT_FALSE(
        Until([&] { return Ended(*next) || d.Shown().state != SlotState::Failed; }, 1500ms));
    d.setFocus();
    QTest::keyClick(&d, Qt::Key_Return);
    ASSERT_TRUE(Until([&] { return Ended(*next); }));
    EXPECT_EQ(next->exitCode(), 0);
    ASSERT_TRUE(Until([&] { return d.Shown().state == SlotState::Passed; }));
    Unplug("D");
    ASSERT_TRUE(Until([&] { return window.Units().rowCount() == 5; }));
    EXPECT_TRUE(window.HeaderText().contains("passed 4 · failed 1 · yield 80.0 % · 5 units/h"))
        << window.HeaderText().toStdString();

    QSignalSpy finished(&window, &StationWindow::finished);
    window.close();  // nothing in flight: no question
    ASSERT_TRUE(Until([&] { return finished.count() == 1; }));
    EXPECT_EQ(window.ExitStatus(), 0);
  }

  // The same units through the command-line station, into a database of its own.
  QProcess cli;
  cli.start(KV37_UPDATE_CLI, {"station", QString::fromStdString(file), "--record",
                              QString::fromStdString((dir_ / "cli.db").string()), "--json"});
  ASSERT_TRUE(cli.waitForStarted());
  ASSERT_TRUE(Until([&] { return cli.peek(1 << 20).contains("\"event\":\"slot\""); }));
  std::vector<std::unique_ptr<QProcess>> units;
  for (const char* slot : {"A", "B", "C"}) units.push_back(Unit(slot));
  units.push_back(Unit("D", {"--fail-completion"}));
  for (auto& unit : units) ASSERT_TRUE(Until([&] { return Ended(*unit); }));
  ASSERT_TRUE(Until([&] { return Rows("cli.db").size() == 4; }));
  for (int slot = 0; slot < 4; ++slot) Unplug(Name(slot));
  QTest::qWait(300);
  auto next = Unit("D");
  ASSERT_TRUE(Until([&] { return Ended(*next); }));
  ASSERT_TRUE(Until([&] { return Rows("cli.db").size() == 5; }));
  cli.terminate();
  ASSERT_TRUE(cli.waitForFinished(10000));

  const auto sorted = [&](const std::string& db) {
    std::vector<decltype(Comparable(UnitRow{}))> rows;
    for (const UnitRow& row : Rows(db)) rows.push_back(Comparable(row));
    std::sort(rows.begin(), rows.end());
    return rows;
  };
  EXPECT_EQ(sorted("units.db"), sorted("cli.db"));
}

TEST_F(StationWindowRun, ClosingWithAUnitInFlightAsksAndRecordsItAsInterrupted) {
  StationHost host(File(1));
  StationWindow window(host);
  window.show();
  auto unit = Unit("A", {"--baud", "9600"}, 40);
  ASSERT_TRUE(Until([&] { return window.Grid().Tile(0)->Shown().state == SlotState::Updating; }));

  // The first answer keeps the units going; the second stops them.
  int asked = 0;
  QTimer answer;
  answer.callOnTimeout([&] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (box == nullptr) return;
    ++asked;
    for (QAbstractButton* button : box->buttons())
      if (box->buttonRole(button) ==
          (asked == 1 ? QMessageBox::RejectRole : QMessageBox::DestructiveRole))
        button->click();
  });
  answer.start(20);
  QSignalSpy finished(&window, &StationWindow::finished);
  window.close();
  EXPECT_EQ(asked, 1);
  EXPECT_TRUE(window.isVisible());
  EXPECT_EQ(window.Grid().Tile(0)->Shown().state, SlotState::Updating);
  window.close();
  ASSERT_TRUE(Until([&] { return finished.count() == 1; }));
  EXPECT_EQ(asked, 2);
  ExpectTheOneUnitInterrupted(*unit);
}

TEST_F(StationWindowRun, TheProgramStoppedBySigtermRecordsItsUnitInFlightAsInterrupted) {
  const std::string file = File(1);
  QProcess station;
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert("XDG_CONFIG_HOME", QString::fromStdString((dir_ / "config").string()));
  env.insert("QT_QPA_PLATFORM", "offscreen");
  station.setProcessEnvironment(env);
  station.start(KV37_STATION, {QString::fromStdString(file)});
  ASSERT_TRUE(station.waitForStarted());
  ASSERT_TRUE(Until([&] { return fs::exists(dir_ / "units.db"); }));
  auto unit = Unit("A", {"--baud", "9600"}, 40);
  // Settled and well into its pages.
  QTest::qWait(1500);
  station.terminate();
  ASSERT_TRUE(station.waitForFinished(15000));
  EXPECT_EQ(station.exitStatus(), QProcess::NormalExit);
  EXPECT_EQ(station.exitCode(), 0) << station.readAllStandardError().toStdString();
  ExpectTheOneUnitInterrupted(*unit);
}

TEST_F(StationWindowRun, SixteenSlotsOnAFullHdScreenAreLegibleFromAcrossTheFixture) {
  StationHost host(File(16));
  StationWindow window(host);
  window.resize(1920, 1080);
  window.show();
  QApplication::processEvents();
  for (std::size_t slot = 0; slot < window.Grid().Count(); ++slot) {
    const SlotTile& tile = *window.Grid().Tile(slot);
    EXPECT_GE(tile.NamePixelSize(), 24) << "slot " << slot;
    EXPECT_GE(tile.StatePixelSize(), 20) << "slot " << slot;
    EXPECT_GE(tile.height(), tile.minimumSizeHint().height()) << "slot " << slot;
  }
}

TEST(SlotGrid, ColumnsMakeTheTilesLargest) {
  struct Case {
    int count, width, height, columns;
  };
  for (const Case c : {Case{1, 1900, 700, 1},
                       {4, 1900, 700, 2},
                       {16, 1900, 750, 4},
                       {32, 1900, 750, 6},
                       {3, 1900, 300, 3},
                       {8, 600, 1400, 1}}) {
    EXPECT_EQ(GridColumns(c.count, c.width, c.height, 2.4), c.columns)
        << c.count << " tiles in " << c.width << "x" << c.height;
  }
}

}  // namespace
}  // namespace kv37

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QTemporaryDir config;
  qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
  QApplication application(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
