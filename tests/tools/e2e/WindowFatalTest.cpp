// A frame fault ends the whole program with exit status 0 once its box is
// dismissed: the window program in a process of its own, against the
// simulated unit on COM1 through the port map.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include "FaultPlan.h"
#include "TestImage.h"
#include "UnitOnThread.h"
#include "UpdateController.h"

namespace {

using namespace std::chrono_literals;

struct FatalRun {
  const char* name;
  kv37::sim::FaultPlan faults;
  const char* text;
};

kv37::sim::FaultPlan BadChecksumAt(uint16_t page) {
  kv37::sim::FaultPlan plan;
  plan.badChecksumPage = page;
  return plan;
}
kv37::sim::FaultPlan BadDelimiterAt(uint16_t page) {
  kv37::sim::FaultPlan plan;
  plan.badDelimiterPage = page;
  return plan;
}

void PrintTo(const FatalRun& c, std::ostream* os) {
  *os << c.name;
}

class WindowProgram : public ::testing::TestWithParam<FatalRun> {};

TEST_P(WindowProgram, FrameFaultShowsItsBoxAndExitsWithStatusZero) {
  const FatalRun& c = GetParam();
  const TestImage image(2000);
  kv37::sim::SimConfig config;
  config.pages = 4;
  config.faults = c.faults;
  config.startTimeout = 30s;
  config.replyTimeout = 400ms;
  UnitOnThread unit(std::move(config));

  // A configuration folder of the program's own, with COM1 mapped to the unit.
  QTemporaryDir home;
  ASSERT_TRUE(home.isValid());
  const QString ports = home.filePath("kv37update/ports");
  ASSERT_TRUE(QDir().mkpath(ports));
  ASSERT_TRUE(QFile::link(QString::fromStdString(unit.PeerPath()), ports + "/COM1"));

  QProcess program;
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert("XDG_CONFIG_HOME", home.path());
  env.insert("QT_QPA_PLATFORM", "offscreen");
  program.setProcessEnvironment(env);
  program.setProcessChannelMode(QProcess::MergedChannels);
  program.start(E2E_WINDOW_DRIVER, {QString::fromStdString(image.Path())});
  ASSERT_TRUE(program.waitForStarted(10'000));
  ASSERT_TRUE(program.waitForFinished(90'000));
  const QString output = QString::fromLocal8Bit(program.readAll());

  EXPECT_EQ(program.exitStatus(), QProcess::NormalExit) << output.toStdString();
  EXPECT_EQ(program.exitCode(), 0) << output.toStdString();
  EXPECT_TRUE(output.contains(QString("box: ") + c.text + "\n")) << output.toStdString();
  EXPECT_EQ(output.count("box: "), 1) << output.toStdString();

  const auto& summary = unit.Finish();
  EXPECT_EQ(summary.verified, 2u);  // pages 0 and 1, before the faulty request
}

INSTANTIATE_TEST_SUITE_P(
    E2e, WindowProgram,
    ::testing::Values(FatalRun{"BadChecksum", BadChecksumAt(2), kv37::kTextChecksumError},
                      FatalRun{"BadDelimiter", BadDelimiterAt(2), kv37::kTextDataError}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
