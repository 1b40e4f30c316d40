// The updater and the station on network serial ports, through the real
// ser2net on loopback, with simulated units on its pseudo-terminals.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <chrono>
#include <fstream>
#include <map>
#include <sstream>

#include "CliTestSupport.h"
#include "NetServers.h"
#include "OsImage.h"
#include "UnitDatabase.h"

namespace kv37::cli::test {
namespace {

using ::testing::HasSubstr;
using Clock = std::chrono::steady_clock;

constexpr unsigned kPages = 8;

// Each port's finished event from the JSON lines.
std::map<std::string, QJsonObject> Finished(const std::string& out) {
  std::map<std::string, QJsonObject> finished;
  std::istringstream lines(out);
  for (std::string line; std::getline(lines, line);) {
    const QJsonObject event = QJsonDocument::fromJson(QByteArray::fromStdString(line)).object();
    if (event["event"] == "finished") finished[event["port"].toString().toStdString()] = event;
  }
  return finished;
}

class NetworkPort : public ::testing::Test {
 protected:
  void SetUp() override {
    // Pages are full of 0xFF, the telnet command byte: mostly 0xFF here.
    std::vector<uint8_t> bytes(kPages * 256, 0xFF);
    for (std::size_t i = 0; i < bytes.size(); i += 7) bytes[i] = static_cast<uint8_t>(i);
    imagePath_ = dir_.Write("os.bin", bytes);
    LoadOsImage(image_, imagePath_);
  }
  std::unique_ptr<UnitOnPty> Unit(unsigned baud = 0) {
    return std::make_unique<UnitOnPty>(image_, kPages, sim::FaultPlan{}, false, baud);
  }

  TempDir dir_;
  std::string imagePath_;
  MemoryStream image_;
};

TEST_F(NetworkPort, UpdatesThroughSer2NetOverBothSchemesPacedAndFastLeaveTheUnitByteExact) {
  for (const bool rfc2217 : {true, false}) {
    for (const bool fast : {false, true}) {
      SCOPED_TRACE(std::string(rfc2217 ? "rfc2217://" : "tcp://") + (fast ? " --fast" : " paced"));
      auto unit = Unit(57600);
      kv37::test::Ser2Net server({unit->Path()}, rfc2217);
      std::vector<std::string> args{imagePath_, "--port", server.Url(0), "--json"};
      if (fast) args.push_back("--fast");
      const CliResult result = RunCli(args);
      EXPECT_EQ(result.exitStatus, 0) << result.out << result.err;
      EXPECT_EQ(unit->Finish().outcome, sim::SimOutcome::Success);
      EXPECT_TRUE(std::equal(unit->Flash().begin(), unit->Flash().end(), image_.Memory()));
      // ser2net never confirms DTR or RTS on a pseudo-terminal: said after
      // the start, not waited for before it.
      if (rfc2217) {
        EXPECT_THAT(result.out, HasSubstr("\"event\":\"note\"")) << result.out;
      }
    }
  }
}

// A mistyped address could reach another server's unit: refused before any
// port is touched, saying what is wrong.
TEST_F(NetworkPort, MalformedAddressesAreRefusedBeforeAnyConnection) {
  // 65536 past a port that is there: a wrapped number would reach it.
  const std::string wrapped = std::to_string(kv37::test::FreeTcpPort() + 65536);
  const std::pair<std::string, std::string> cases[] = {
      {"rfc2217://127.0.0.1:" + wrapped, "port " + wrapped + " is out of range (1 to 65535)"},
      {"tcp://127.0.0.1:" + wrapped, "port " + wrapped + " is out of range (1 to 65535)"},
      {"rfc2217://127.0.0.1", "no port"},
  };
  for (const auto& [url, says] : cases) {
    const CliResult result = RunCli({imagePath_, "--port", url});
    EXPECT_EQ(result.exitStatus, 5) << url;
    EXPECT_THAT(result.err, HasSubstr(url + ": " + says)) << url;
  }
  const std::string file = (dir_.Path() / "station.ini").string();
  std::ofstream(file) << "[station]\nimage = os.bin\ndatabase = units.db\n[slot N1]\nurl = "
                      << cases[0].first << "\n";
  const CliResult station = RunCli({"station", file});
  EXPECT_EQ(station.exitStatus, 5);
  EXPECT_THAT(station.err, HasSubstr("is out of range"));
}

TEST_F(NetworkPort, AServerStoppedMidUpdateEndsItsPortWithinASecond) {
  auto unit = Unit(57600);
  kv37::test::Ser2Net server({unit->Path()});
  QProcess cli;
  cli.start(KV37_UPDATE_CLI, {QString::fromStdString(imagePath_), "--port",
                              QString::fromStdString(server.Url(0)), "--json"});
  for (int waited = 0; waited < 10000 && !cli.peek(1 << 20).contains("\"event\":\"page\"");
       waited += 20)
    cli.waitForReadyRead(20);
  const auto stopped = Clock::now();
  server.Kill();
  ASSERT_TRUE(cli.waitForFinished(5000));
  EXPECT_LT(Clock::now() - stopped, std::chrono::seconds(1));
  EXPECT_EQ(cli.exitCode(), 2);
  EXPECT_THAT(cli.readAll().toStdString(), HasSubstr("the connection to the server 127.0.0.1:" +
                                                     std::to_string(server.Port(0)) + " was lost"));
}

TEST_F(NetworkPort, AnUnansweredAddressTimesOutWhileALocalPortsUpdateGoesOn) {
  auto local = Unit();
  kv37::test::BlackHole hole;
  const std::string silent = "rfc2217://127.0.0.1:" + std::to_string(hole.Port());
  const std::string refused = "tcp://127.0.0.1:" + std::to_string(kv37::test::FreeTcpPort());
  const CliResult result =
      RunCli({imagePath_, "--port", local->Path(), "--port", silent, "--port", refused, "--json"});
  EXPECT_EQ(result.exitStatus, 3) << result.out << result.err;
  const auto finished = Finished(result.out);
  ASSERT_EQ(finished.size(), 3u) << result.out;
  EXPECT_EQ(finished.at(local->Path())["outcome"], "success");
  // Served as fast as alone: the connection attempts run beside it.
  EXPECT_LT(finished.at(local->Path())["elapsed_ms"].toInt(), 2500);
  EXPECT_THAT(finished.at(silent)["reason"].toString().toStdString(), HasSubstr("timed out"));
  EXPECT_LT(finished.at(silent)["elapsed_ms"].toInt(), 3600);
  EXPECT_THAT(finished.at(refused)["reason"].toString().toStdString(), HasSubstr("refused"));
}

TEST_F(NetworkPort, AStationSlotOnANetworkPortRecordsItsUnit) {
  auto unit = Unit();
  kv37::test::Ser2Net server({unit->Path()});
  const std::string file = (dir_.Path() / "station.ini").string();
  std::ofstream(file) << "[station]\nimage = os.bin\ndatabase = units.db\n[slot N1]\nurl = "
                      << server.Url(0) << "\n";
  QProcess station;
  station.start(KV37_UPDATE_CLI, {"station", QString::fromStdString(file), "--json"});
  EXPECT_EQ(unit->Finish().outcome, sim::SimOutcome::Success);
  for (int waited = 0; waited < 10000 && !station.peek(1 << 20).contains("\"event\":\"finished\"");
       waited += 20)
    station.waitForReadyRead(20);
  station.terminate();
  ASSERT_TRUE(station.waitForFinished(10000));
  EXPECT_EQ(station.exitCode(), 0);
  const std::vector<UnitRow> rows =
      UnitDatabase((dir_.Path() / "units.db").string(), true).Query({});
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0].outcome, "success");
  EXPECT_EQ(rows[0].port, server.Url(0));
}

}  // namespace
}  // namespace kv37::cli::test
