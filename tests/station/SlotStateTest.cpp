// The slots of a station in-process, with a watch and a clock of the test's
// own: the adapters' comings and goings are called by hand, the settle time
// passes when the test says so, and each unit is a pseudo-terminal the test
// holds the far end of.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QTemporaryDir>
#include <chrono>
#include <filesystem>
#include <map>

#include "Station.h"
#include "StationTotals.h"

namespace kv37 {
namespace {

using namespace std::chrono_literals;

class FakeWatch : public AdapterWatch {
 public:
  void Start() override {}
  std::string Source() const override { return "test"; }
};

class FakeClock : public StationClock {
 public:
  Timer After(std::chrono::milliseconds delay, std::function<void()> call) override {
    calls_[++next_] = {now_ + delay, std::move(call)};
    return next_;
  }
  void Cancel(Timer timer) override { calls_.erase(timer); }
  // Makes every call that falls due within `period`, in order.
  void Advance(std::chrono::milliseconds period) {
    now_ += period;
    for (auto due = Due(); due != calls_.end(); due = Due()) {
      const auto call = std::move(due->second.second);
      calls_.erase(due);
      call();
    }
  }

 private:
  std::map<Timer, std::pair<std::chrono::milliseconds, std::function<void()>>>::iterator Due() {
    for (auto it = calls_.begin(); it != calls_.end(); ++it)
      if (it->second.first <= now_) return it;
    return calls_.end();
  }
  std::chrono::milliseconds now_{0};
  Timer next_ = 0;
  std::map<Timer, std::pair<std::chrono::milliseconds, std::function<void()>>> calls_;
};

// A unit's line: the test holds the master, the station opens the slave.
struct Line {
  Line() {
    char name[256];
    openpty(&master, &slave, name, nullptr, nullptr);
    fcntl(master, F_SETFL, O_NONBLOCK);
    path = name;
    close(slave);
  }
  ~Line() { Unplug(); }
  void Unplug() {
    if (master >= 0) close(master);
    master = -1;
  }
  // Whether the station sent the start command.
  bool StartCommandCame() {
    uint8_t bytes[64];
    const ssize_t n = read(master, bytes, sizeof bytes);
    return n >= 5 && bytes[1] == 0x55;
  }
  int master = -1, slave = -1;
  std::string path;
};

bool Until(const std::function<bool()>& done, std::chrono::milliseconds limit = 5s) {
  for (const auto end = std::chrono::steady_clock::now() + limit; !done();) {
    if (std::chrono::steady_clock::now() > end) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
  }
  return true;
}

class Slots : public ::testing::Test, public StationListener {
 protected:
  void SetUp() override {
    StationSpec spec;
    spec.name = "bench";
    spec.settle = 500ms;
    for (const auto& [name, by, value] : {std::tuple{"A", SlotSpec::By::Path, link_},
                                          {"B", SlotSpec::By::Serial, "FT01"},
                                          {"C", SlotSpec::By::UsbPort, "1-1.4"}}) {
      SlotSpec slot;
      slot.name = name;
      slot.by = by;
      slot.value = value;
      spec.slotSpecs.push_back(slot);
    }
    const std::vector<uint8_t> page(256, 0x5A);
    image_.Write(page.data(), page.size());
    recorder_ = std::make_unique<UnitRecorder>(dir_.filePath("u.db").toStdString(), "bench",
                                               ImageInfo{"os.bin", 256, 256, "ab"});
    station_ = std::make_unique<Station>(spec, image_, *recorder_, watch_, clock_);
    station_->AddListener(*this);
  }
  void TearDown() override {
    station_->Stop(SIGTERM);
    Until([&] { return stopped_; });
  }
  void SlotChanged(const SlotView& slot) override {
    states_[slot.spec.name].push_back(slot.state);
    if (changed_) changed_(slot);
  }
  void Note(const std::string& text) override { notes_.push_back(text); }
  void Stopped() override { stopped_ = true; }
  SlotState State(const char* slot) { return station_->Slots()[slot[0] - 'A'].state; }
  void Plug(Line& line) {
    std::filesystem::create_symlink(line.path, link_);
    watch_.onPathArrived(link_);
  }
  void Unplug(Line& line) {
    line.Unplug();
    std::filesystem::remove(link_);
    watch_.onPathLeft(link_);
  }

  QTemporaryDir dir_;
  std::string link_ = dir_.filePath("slot-a").toStdString();
  MemoryStream image_;
  FakeWatch watch_;
  FakeClock clock_;
  std::unique_ptr<UnitRecorder> recorder_;
  std::unique_ptr<Station> station_;
  std::map<std::string, std::vector<SlotState>> states_;
  std::vector<std::string> notes_;
  bool stopped_ = false;
  std::function<void(const SlotView&)> changed_;  // the test's own, as a slot changes
};

TEST_F(Slots, AnArrivalSettlesThenUpdatesAndAPulledUnitFailsUntilItsAdapterLeaves) {
  Line unit;
  Plug(unit);
  EXPECT_EQ(State("A"), SlotState::Settling);
  clock_.Advance(499ms);
  EXPECT_EQ(State("A"), SlotState::Settling);
  clock_.Advance(1ms);
  EXPECT_EQ(State("A"), SlotState::Updating);
  EXPECT_TRUE(Until([&] { return unit.StartCommandCame(); }));
  // The unit is pulled: its port hangs up, the slot shows the failure.
  unit.Unplug();
  EXPECT_TRUE(Until([&] { return State("A") == SlotState::Failed; }));
  EXPECT_EQ(station_->Slots()[0].failed, 1u);
  std::filesystem::remove(link_);
  watch_.onPathLeft(link_);
  EXPECT_EQ(State("A"), SlotState::Waiting);
}

TEST_F(Slots, AnAdapterThatArrivesWhileTheLastUnitsPortClosesIsTheNextUnit) {
  Line first;
  Plug(first);
  clock_.Advance(500ms);
  ASSERT_TRUE(Until([&] { return first.StartCommandCame(); }));
  // Swapped at once: gone and back before the first unit's port has closed.
  Unplug(first);
  Line second;
  Plug(second);
  EXPECT_TRUE(Until([&] { return State("A") == SlotState::Settling; }));
  clock_.Advance(500ms);
  EXPECT_TRUE(Until([&] { return second.StartCommandCame(); }));
}

TEST_F(Slots, UsbAdaptersGoToTheSlotOfTheirSerialOrPortAndOthersAreLeftAlone) {
  Line b, c, stranger;
  TUsbIdentity usb{"0403", "6001", "FT01", "", "", "00", "3-2"};
  watch_.onUsbArrived(b.path, usb);
  usb.serial = "FT99";
  usb.usbPath = "1-1.4";
  watch_.onUsbArrived(c.path, usb);
  usb.usbPath = "1-1.5";
  watch_.onUsbArrived(stranger.path, usb);
  EXPECT_EQ(State("B"), SlotState::Settling);
  EXPECT_EQ(State("C"), SlotState::Settling);
  ASSERT_EQ(notes_.size(), 1u);
  EXPECT_NE(notes_[0].find("serial FT99 at USB 1-1.5) belongs to no slot"), std::string::npos)
      << notes_[0];
  // Leaving before the settle time: no unit was started.
  watch_.onUsbLeft(b.path);
  clock_.Advance(500ms);
  EXPECT_EQ(State("B"), SlotState::Waiting);
  EXPECT_EQ(State("C"), SlotState::Updating);
  EXPECT_FALSE(b.StartCommandCame());
}

TEST_F(Slots, AHeldFailureOutlastsItsAdapterAndNoNextUnitStartsUntilAcknowledged) {
  station_->HoldFailures(true);
  Line failed;
  Plug(failed);
  clock_.Advance(500ms);
  ASSERT_TRUE(Until([&] { return failed.StartCommandCame(); }));
  Unplug(failed);
  ASSERT_TRUE(Until([&] { return station_->Slots()[0].held; }));
  EXPECT_EQ(State("A"), SlotState::Failed);
  const std::string reason = station_->Slots()[0].text;

  Line next;
  Plug(next);
  clock_.Advance(2s);
  EXPECT_EQ(State("A"), SlotState::Failed);
  EXPECT_EQ(station_->Slots()[0].text, reason);
  EXPECT_FALSE(next.StartCommandCame());

  station_->Acknowledge(0);
  EXPECT_FALSE(station_->Slots()[0].held);
  EXPECT_EQ(State("A"), SlotState::Settling);
  clock_.Advance(500ms);
  EXPECT_TRUE(Until([&] { return next.StartCommandCame(); }));
}

TEST_F(Slots, AUnitSwappedInWhileAHeldFailuresPortClosesIsTheNextOnceAcknowledged) {
  station_->HoldFailures(true);
  Line failed;
  Plug(failed);
  clock_.Advance(500ms);
  ASSERT_TRUE(Until([&] { return failed.StartCommandCame(); }));
  // The next unit is plugged in the moment the failure is held, before the
  // failed run's port has closed.
  Line next;
  changed_ = [&](const SlotView& slot) {
    if (!slot.held || std::filesystem::exists(link_)) return;
    changed_ = nullptr;
    Plug(next);
  };
  failed.Unplug();
  std::filesystem::remove(link_);
  watch_.onPathLeft(link_);
  ASSERT_TRUE(Until([&] { return station_->Slots()[0].held && !changed_; }));
  Until([] { return false; }, 200ms);  // the failed run's port closes
  clock_.Advance(2s);
  EXPECT_FALSE(next.StartCommandCame());
  station_->Acknowledge(0);
  EXPECT_EQ(State("A"), SlotState::Settling);
  clock_.Advance(500ms);
  EXPECT_TRUE(Until([&] { return next.StartCommandCame(); }));
}

TEST_F(Slots, AnAcknowledgedFailureWhoseUnitIsStillThereWaitsForItToLeave) {
  station_->HoldFailures(true);
  Line failed;
  Plug(failed);
  clock_.Advance(500ms);
  ASSERT_TRUE(Until([&] { return failed.StartCommandCame(); }));
  failed.Unplug();  // the line dies, the adapter stays
  ASSERT_TRUE(Until([&] { return station_->Slots()[0].held; }));
  station_->Acknowledge(0);
  clock_.Advance(2s);
  EXPECT_EQ(State("A"), SlotState::Failed);
  std::filesystem::remove(link_);
  watch_.onPathLeft(link_);
  EXPECT_EQ(State("A"), SlotState::Waiting);
}

TEST(StationTotals, CountsEachFinishedUnitOnceAndForgetsThoseOlderThanAnHour) {
  auto now = std::chrono::steady_clock::time_point{};
  StationTotals totals([&] { return now; });
  EXPECT_FALSE(totals.Yield());
  SlotView a, b;
  a.spec.name = "A";
  b.spec.name = "B";
  a.passed = 2;
  totals.SlotChanged(a);
  totals.SlotChanged(a);  // a change that is no new unit
  now += 40min;
  b.failed = 1;
  totals.SlotChanged(b);
  a.passed = 3;
  totals.SlotChanged(a);
  EXPECT_EQ(totals.Passed(), 3u);
  EXPECT_EQ(totals.Failed(), 1u);
  EXPECT_DOUBLE_EQ(*totals.Yield(), 75.0);
  EXPECT_EQ(totals.UnitsLastHour(), 4u);
  now += 30min;
  EXPECT_EQ(totals.UnitsLastHour(), 2u);
}

}  // namespace
}  // namespace kv37

int main(int argc, char** argv) {
  qputenv("QT_NO_GLIB", "1");
  QCoreApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
