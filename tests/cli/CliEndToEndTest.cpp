// kv37-update-cli against simulated units over pseudo-terminals. The line is
// unpaced and each unit asks for a few pages only; every chunk still costs
// the port's 100 ms read gap, so a run takes about a second.

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <map>
#include <sstream>

#include "CliTestSupport.h"
#include "OsImage.h"
#include "PortName.h"
#include "UnitDatabase.h"

namespace kv37::cli::test {
namespace {

using ::testing::HasSubstr;

constexpr unsigned kPages = 6;

class CliEndToEnd : public ::testing::Test {
 protected:
  void SetUp() override {
    // Ends in the middle of page 3, so the padding is served as well.
    imagePath_ = dir_.Write("os.bin", Pattern(3 * kPageSize + 100));
    LoadOsImage(image_, imagePath_);
  }

  std::unique_ptr<UnitOnPty> Unit(sim::FaultPlan faults = {}, bool hangUpAtEnd = false) {
    return std::make_unique<UnitOnPty>(image_, kPages, faults, hangUpAtEnd);
  }

  // The flash holds exactly the pages the updater served from the image.
  void ExpectFlashMatchesImage(const UnitOnPty& unit) const {
    const std::vector<uint8_t>& flash = unit.Flash();
    ASSERT_EQ(flash.size(), kPages * kPageSize);
    EXPECT_TRUE(std::equal(flash.begin(), flash.end(), image_.Memory()))
        << "flash differs from the image";
  }

  std::vector<std::string> Args(const std::vector<const UnitOnPty*>& units,
                                std::vector<std::string> extra = {}) const {
    std::vector<std::string> args{imagePath_};
    for (const UnitOnPty* unit : units) {
      args.push_back("--port");
      args.push_back(unit->Path());
    }
    args.insert(args.end(), extra.begin(), extra.end());
    return args;
  }

  TempDir dir_;
  std::string imagePath_;
  MemoryStream image_;
};

std::vector<QJsonObject> JsonLines(const std::string& out) {
  std::vector<QJsonObject> events;
  std::istringstream lines(out);
  for (std::string line; std::getline(lines, line);) {
    QJsonParseError error{};
    const QJsonDocument doc = QJsonDocument::fromJson(QByteArray::fromStdString(line), &error);
    EXPECT_EQ(error.error, QJsonParseError::NoError) << line;
    EXPECT_TRUE(doc.isObject()) << line;
    events.push_back(doc.object());
  }
  return events;
}

// Outcome keyword per port from the final summary event.
std::map<std::string, std::string> SummaryOutcomes(const std::vector<QJsonObject>& events) {
  std::map<std::string, std::string> outcomes;
  if (events.empty() || events.back()["event"].toString() != "summary") return outcomes;
  for (const QJsonValue& port : events.back()["ports"].toArray())
    outcomes[port["port"].toString().toStdString()] = port["outcome"].toString().toStdString();
  return outcomes;
}

TEST_F(CliEndToEnd, OnePortIsUpdatedRecordedAndExitsZero) {
  auto unit = Unit();
  const std::string db = (dir_.Path() / "units.db").string();
  const CliResult result = RunCli(Args({unit.get()}, {"--record", db}));
  EXPECT_EQ(result.exitStatus, 0) << result.out << result.err;
  EXPECT_THAT(result.out, HasSubstr("success"));
  EXPECT_THAT(result.out, HasSubstr("Exit status 0"));
  EXPECT_EQ(unit->Finish().outcome, sim::SimOutcome::Success);
  ExpectFlashMatchesImage(*unit);
  const std::vector<UnitRow> rows = UnitDatabase(db, true).Query({});
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0].station, "update");
  EXPECT_EQ(rows[0].slot, unit->Path());
  EXPECT_EQ(rows[0].outcome, "success");
  EXPECT_EQ(rows[0].pagesServed, kPages);
}

TEST_F(CliEndToEnd, ReportsWhatWasServedNotWhatASuccessImplies) {
  // Six distinct pages, some twice, one far past the image: progress is six
  // pages of 512 (1 %), however the unit ends.
  sim::FaultPlan faults;
  faults.repeatEvery = 2;
  faults.beyondPage = 600;
  auto unit = Unit(faults);
  const CliResult result = RunCli(Args({unit.get()}, {"--json"}));
  EXPECT_EQ(result.exitStatus, 0) << result.out << result.err;
  const std::vector<QJsonObject> events = JsonLines(result.out);
  ASSERT_FALSE(events.empty());
  const QJsonObject port = events.back()["ports"].toArray()[0].toObject();
  EXPECT_EQ(port["pages_served"].toInt(), static_cast<int>(kPages));
  EXPECT_EQ(port["beyond_image"].toInt(), 1);
  EXPECT_GT(port["repeats"].toInt(), 0);
  EXPECT_EQ(port["replies"].toInt(),
            port["pages_served"].toInt() + port["repeats"].toInt() + port["beyond_image"].toInt());
  EXPECT_EQ(port["percent"].toInt(), static_cast<int>(kPages * 100 / 512));
  int lastPercent = -1;
  for (const QJsonObject& e : events) {
    if (e["event"].toString() == "page") lastPercent = e["percent"].toInt();
    if (e["event"].toString() == "opened") {
      EXPECT_EQ(e["path"].toString().toStdString(), unit->Path());
      EXPECT_EQ(e["device"].toString().toStdString(), unit->Path());
    }
  }
  EXPECT_EQ(lastPercent, port["percent"].toInt());
  EXPECT_FALSE(events.back()["sha256"].toString().isEmpty());
}

TEST_F(CliEndToEnd, FastFramingEndsEveryCaseAsTheReadGapDoes) {
  struct Case {
    const char* name;
    std::function<void(sim::FaultPlan&)> fault;
    int status;
    bool hangUpAtEnd = false;
  };
  const Case cases[] = {
      {"in order", [](sim::FaultPlan&) {}, 0},
      {"random order with repeats",
       [](sim::FaultPlan& f) {
         f.randomOrder = true;
         f.seed = 7;
         f.repeatEvery = 2;
       },
       0},
      {"split request", [](sim::FaultPlan& f) { f.splitPage = 2; }, 4},
      {"noise", [](sim::FaultPlan& f) { f.noisePage = 2; }, 0},
      {"bad checksum", [](sim::FaultPlan& f) { f.badChecksumPage = 2; }, 4},
      {"bad delimiter", [](sim::FaultPlan& f) { f.badDelimiterPage = 2; }, 4},
      {"silence", [](sim::FaultPlan& f) { f.silentAfterPage = 2; }, 2},
      {"completion '0'", [](sim::FaultPlan& f) { f.failCompletion = true; }, 1},
      // The result is handled before the hang-up that follows it at once.
      {"hang-up right after the result", [](sim::FaultPlan&) {}, 0, true},
  };
  for (const Case& c : cases) {
    std::map<std::string, std::string> outcomes[2];
    for (const bool fast : {false, true}) {
      sim::FaultPlan faults;
      c.fault(faults);
      auto unit = Unit(faults, c.hangUpAtEnd);
      std::vector<std::string> extra{"--json"};
      if (fast) extra.push_back("--fast");
      const CliResult result = RunCli(Args({unit.get()}, extra));
      EXPECT_EQ(result.exitStatus, c.status) << c.name << (fast ? " --fast" : "") << result.out;
      for (const auto& [port, outcome] : SummaryOutcomes(JsonLines(result.out)))
        outcomes[fast][port == unit->Path() ? "unit" : port] = outcome;
      if (c.status == 0) {
        unit->Finish();
        ExpectFlashMatchesImage(*unit);
      }
    }
    EXPECT_EQ(outcomes[0], outcomes[1]) << c.name;
  }
}

TEST_F(CliEndToEnd, ThreePortsAtOnceAllGetEveryByte) {
  auto a = Unit(), b = Unit(), c = Unit();
  const CliResult result = RunCli(Args({a.get(), b.get(), c.get()}));
  EXPECT_EQ(result.exitStatus, 0) << result.out << result.err;
  for (UnitOnPty* unit : {a.get(), b.get(), c.get()}) {
    EXPECT_EQ(unit->Finish().outcome, sim::SimOutcome::Success) << unit->Path();
    ExpectFlashMatchesImage(*unit);
  }
}

// The only test that waits out the watchdog; the other two ports finish
// long before it.
TEST_F(CliEndToEnd, SilentUnitEndsOnlyItsPortWithExitTwo) {
  sim::FaultPlan silent;
  silent.silentAfterPage = 1;
  auto a = Unit(), quiet = Unit(silent), c = Unit();
  const CliResult result = RunCli(Args({a.get(), quiet.get(), c.get()}, {"--json"}));
  EXPECT_EQ(result.exitStatus, 2) << result.out << result.err;
  const auto outcomes = SummaryOutcomes(JsonLines(result.out));
  EXPECT_EQ(outcomes.at(a->Path()), "success");
  EXPECT_EQ(outcomes.at(quiet->Path()), "silent");
  EXPECT_EQ(outcomes.at(c->Path()), "success");
  ExpectFlashMatchesImage(*a);
  ExpectFlashMatchesImage(*c);
}

TEST_F(CliEndToEnd, UnitReportingFailureGivesExitOne) {
  sim::FaultPlan fail;
  fail.failCompletion = true;
  auto unit = Unit(fail);
  const CliResult result = RunCli(Args({unit.get()}));
  EXPECT_EQ(result.exitStatus, 1) << result.out << result.err;
  EXPECT_THAT(result.out, HasSubstr("Error!! please retry again"));
}

struct FrameFaultCase {
  const char* name;
  sim::FaultPlan faults;
  const char* text;
};

class CliFrameFault : public CliEndToEnd, public ::testing::WithParamInterface<FrameFaultCase> {};

TEST_P(CliFrameFault, EndsOnlyTheFaultyPortWithExitFour) {
  auto a = Unit(), faulty = Unit(GetParam().faults), c = Unit();
  const CliResult result = RunCli(Args({a.get(), faulty.get(), c.get()}, {"--json"}));
  EXPECT_EQ(result.exitStatus, 4) << result.out << result.err;
  const std::vector<QJsonObject> events = JsonLines(result.out);
  const auto outcomes = SummaryOutcomes(events);
  EXPECT_EQ(outcomes.at(a->Path()), "success");
  EXPECT_EQ(outcomes.at(faulty->Path()), "frame-fault");
  EXPECT_EQ(outcomes.at(c->Path()), "success");
  for (const QJsonValue& port : events.back()["ports"].toArray()) {
    if (port["port"].toString().toStdString() == faulty->Path()) {
      EXPECT_THAT(port["reason"].toString().toStdString(), HasSubstr(GetParam().text));
    }
  }
  for (UnitOnPty* unit : {a.get(), c.get()}) {
    EXPECT_EQ(unit->Finish().outcome, sim::SimOutcome::Success);
    ExpectFlashMatchesImage(*unit);
  }
}

sim::FaultPlan BadChecksum() {
  sim::FaultPlan plan;
  plan.badChecksumPage = 2;
  return plan;
}
sim::FaultPlan BadDelimiter() {
  sim::FaultPlan plan;
  plan.badDelimiterPage = 2;
  return plan;
}

INSTANTIATE_TEST_SUITE_P(
    Faults, CliFrameFault,
    ::testing::Values(FrameFaultCase{"BadChecksum", BadChecksum(), "CheckSume Error!!"},
                      FrameFaultCase{"BadDelimiter", BadDelimiter(), "Data Error"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(CliEndToEnd, MissingAndBusyPortsGiveExitThreeWithTheReason) {
  auto held = Unit();
  // Held the way the window or another updater would hold it.
  const TOpenResult holder = OpenPort(held->Path());
  ASSERT_NE(holder.device, nullptr);
  const std::string missing = (dir_.Path() / "ttyNothere").string();
  const std::string plain = dir_.Write("ttyPlain", {1, 2, 3});
  auto good = Unit();

  const CliResult result =
      RunCli(Args({held.get(), good.get()}, {"--port", missing, "--port", plain, "--json"}));
  EXPECT_EQ(result.exitStatus, 3) << result.out << result.err;
  const std::vector<QJsonObject> events = JsonLines(result.out);
  std::map<std::string, std::string> reasons;
  for (const QJsonValue& port : events.back()["ports"].toArray())
    reasons[port["port"].toString().toStdString()] = port["reason"].toString().toStdString();
  // This test process holds the port, so the holder is known by pid.
  EXPECT_THAT(reasons.at(held->Path()), HasSubstr(held->Path() + ": busy, held by"));
  EXPECT_THAT(reasons.at(held->Path()), HasSubstr("(pid " + std::to_string(getpid()) + ")"));
  EXPECT_THAT(reasons.at(missing), HasSubstr("not present"));
  EXPECT_THAT(reasons.at(plain), HasSubstr(": not a serial port"));
  EXPECT_EQ(SummaryOutcomes(events).at(good->Path()), "success");
}

TEST_F(CliEndToEnd, EachDeviceIsOpenedOnce) {
  // The reason comes from the one open, not from trying the device again.
  if (std::system("strace -V >/dev/null 2>&1") != 0) GTEST_SKIP() << "strace is not installed";
  auto held = Unit();
  const TOpenResult holder = OpenPort(held->Path());
  ASSERT_NE(holder.device, nullptr);
  auto good = Unit();
  const std::string missing = (dir_.Path() / "ttyNothere").string();
  const std::string trace = (dir_.Path() / "trace").string();
  const CliResult result = RunCli(Args({held.get(), good.get()}, {"--port", missing}), 30000,
                                  {"strace", "-f", "-qq", "-E", "ASAN_OPTIONS=detect_leaks=0", "-e",
                                   "trace=open,openat", "-o", trace});
  EXPECT_EQ(result.exitStatus, 3) << result.out << result.err;
  std::ifstream in(trace);
  std::stringstream text;
  text << in.rdbuf();
  const std::string calls = text.str();
  for (const std::string& path : {held->Path(), good->Path(), missing}) {
    std::size_t opens = 0;
    for (auto at = calls.find('"' + path + '"'); at != std::string::npos;
         at = calls.find('"' + path + '"', at + 1))
      ++opens;
    EXPECT_EQ(opens, 1u) << path << "\n" << calls;
  }
}

TEST_F(CliEndToEnd, JsonEventsTellEachStepInOrder) {
  auto unit = Unit();
  const CliResult result = RunCli(Args({unit.get()}, {"--json"}));
  ASSERT_EQ(result.exitStatus, 0) << result.out << result.err;
  const std::vector<QJsonObject> events = JsonLines(result.out);
  std::vector<std::string> kinds;
  for (const QJsonObject& e : events) kinds.push_back(e["event"].toString().toStdString());
  const std::vector<std::string> expected{"run_started", "opened",   "start_sent", "page",
                                          "page",        "page",     "page",       "page",
                                          "page",        "finished", "summary"};
  EXPECT_EQ(kinds, expected);
  for (unsigned i = 0; i < kPages; ++i) {
    const QJsonObject& page = events[3 + i];
    EXPECT_EQ(page["page"].toInt(), static_cast<int>(i));
    EXPECT_EQ(page["pages_served"].toInt(), static_cast<int>(i + 1));
  }
  const QJsonObject& finished = events[3 + kPages];
  EXPECT_EQ(finished["outcome"].toString(), "success");
  EXPECT_EQ(finished["exit_status"].toInt(), 0);
  EXPECT_EQ(events.front()["image_size"].toInt(), static_cast<int>(kOsImageSize));
  EXPECT_EQ(events.back()["exit_status"].toInt(), 0);
}

TEST_F(CliEndToEnd, LogIsAppendedWithEveryStepOfEachRun) {
  const std::string log = (dir_.Path() / "update.log").string();
  for (int run = 0; run < 2; ++run) {
    auto unit = Unit();
    ASSERT_EQ(RunCli(Args({unit.get()}, {"--log", log})).exitStatus, 0);
  }
  std::ifstream in(log);
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  auto count = [&](const std::string& what) {
    std::size_t n = 0;
    for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
      ++n;
    return n;
  };
  EXPECT_EQ(count("run started: image " + imagePath_), 2u);
  EXPECT_EQ(count(": opened "), 2u);
  EXPECT_EQ(count("start command sent"), 2u);
  EXPECT_EQ(count(" served ("), 2u * kPages);
  EXPECT_EQ(count("finished success (exit status 0): OS Update Success!!"), 2u);
  EXPECT_EQ(count("run ended: exit status 0"), 2u);
}

TEST_F(CliEndToEnd, TerminatedRunClosesItsPortsAndLogsThemAsInterrupted) {
  sim::FaultPlan silent;
  silent.silentAfterPage = 0;
  auto unit = Unit(silent);
  const std::string log = (dir_.Path() / "update.log").string();
  const CliResult result =
      RunCliAndTerminate(Args({unit.get()}, {"--json", "--log", log}), "\"event\":\"page\"");
  EXPECT_EQ(result.exitStatus, 143) << result.out << result.err;  // 128 + SIGTERM
  EXPECT_EQ(SummaryOutcomes(JsonLines(result.out)).at(unit->Path()), "interrupted");
  std::ifstream in(log);
  const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  // The unit's own line says what the run says: SIGTERM's status.
  EXPECT_THAT(text, HasSubstr("finished interrupted (exit status 143)"));
  EXPECT_THAT(text, HasSubstr("run ended: exit status 143"));
  // The port is free again for the next run.
  EXPECT_NE(OpenPort(unit->Path()).device, nullptr);
}

}  // namespace
}  // namespace kv37::cli::test
