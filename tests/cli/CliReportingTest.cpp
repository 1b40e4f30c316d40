// Outcome ranking, the texts people and programs read, and why a port failed
// to open.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QJsonDocument>
#include <QJsonObject>

#include "CliTestSupport.h"
#include "JsonEvents.h"
#include "PortOutcome.h"
#include "ProgressView.h"
#include "RunLog.h"

namespace kv37::cli {
namespace {

using std::chrono::milliseconds;
using ::testing::HasSubstr;
using ::testing::Not;

TEST(ExitStatus, EachOutcomeHasItsOwnStatus) {
  const std::pair<PortOutcome, int> cases[] = {
      {PortOutcome::Success, 0},      {PortOutcome::UnitFailure, 1}, {PortOutcome::Silent, 2},
      {PortOutcome::PortLost, 2},     {PortOutcome::OpenError, 3},   {PortOutcome::FrameFault, 4},
      {PortOutcome::Interrupted, 130}};
  for (const auto& [outcome, status] : cases)
    EXPECT_EQ(static_cast<int>(ExitStatusOf(outcome)), status) << OutcomeKeyword(outcome);
}

TEST(ExitStatus, WorstOfSeveralPortsWinsWhateverTheOrder) {
  EXPECT_EQ(Worse(ExitStatus::Success, ExitStatus::Silent), ExitStatus::Silent);
  EXPECT_EQ(Worse(ExitStatus::FrameFault, ExitStatus::UnitFailure), ExitStatus::FrameFault);
  EXPECT_EQ(Worse(ExitStatus::OpenError, ExitStatus::OpenError), ExitStatus::OpenError);
}

TEST(ProgressLine, ShowsPagePercentElapsedAndState) {
  ProgressLine line;
  line.port = "COM1";
  line.pageKnown = true;
  line.page = 0x1F;
  line.percent = 6;
  line.elapsed = milliseconds(1234);
  line.state = "serving pages";
  EXPECT_EQ(FormatProgressLine(line, 8), "COM1      PAGE01F    6%     1.2 s  serving pages");
}

TEST(ProgressLine, ShowsDashesBeforeTheFirstPage) {
  ProgressLine line;
  line.port = "/dev/ttyUSB0";
  EXPECT_EQ(FormatProgressLine(line, 4), "/dev/ttyUSB0  PAGE---    0%     0.0 s  opening");
}

TEST(BarLine, NarrowTerminalsShortenThePortNameNeverTheState) {
  ProgressLine line;
  line.port = "/dev/serial/by-id/usb-FTDI_A1234567-if00-port0";
  line.pageKnown = true;
  line.page = 0x0A3;
  line.percent = 31;
  line.pages = 160;
  line.elapsed = std::chrono::milliseconds(23400);
  line.state = "serving pages";
  const std::string wide = FormatBarLine(line, line.port.size(), 0);
  EXPECT_EQ(wide, line.port +
                      "  [######..............]   31%  PAGE0A3    6.8 pages/s    51 s left  "
                      "serving pages");
  struct Case {
    std::size_t columns;
    const char* has;  // what is still there
    const char* gone;
  };
  for (const Case& c :
       {Case{100, "..", "/dev/serial"}, Case{80, "pages/s", "["}, Case{40, "PAGE0A3", "pages/s"},
        Case{28, "31%", "PAGE"}, Case{12, "serving pages", "PAGE"}}) {
    const std::string text = FormatBarLine(line, line.port.size(), c.columns);
    EXPECT_THAT(text, HasSubstr("serving pages")) << c.columns << ": " << text;
    EXPECT_THAT(text, HasSubstr(c.has)) << c.columns << ": " << text;
    EXPECT_THAT(text, Not(HasSubstr(c.gone))) << c.columns << ": " << text;
    if (c.columns >= 28) {
      EXPECT_LT(text.size(), c.columns) << text;
    }
  }
}

TEST(Summary, ListsEveryPortWithItsResultAndTheExitStatus) {
  const std::vector<PortResult> results{
      {"COM1", PortOutcome::Success, "OS Update Success!!", {512, 512, 0, 0}, milliseconds(77900)},
      {"COM2",
       PortOutcome::Silent,
       "Update Fail,retry again!! (no answer for 6 s)",
       {3, 3, 0, 0},
       milliseconds(6900)},
      // A short run with repeats and a page past the image is not 100 %.
      {"COM3", PortOutcome::Success, "OS Update Success!!", {45, 40, 3, 2}, milliseconds(9000)}};
  const std::string text = FormatSummary(results, ExitStatus::Silent, "ab12");
  EXPECT_THAT(text, HasSubstr("COM1  success    512 pages 100%    77.9 s  OS Update Success!!"));
  EXPECT_THAT(text,
              HasSubstr("COM2  silent       3 pages   0%     6.9 s  Update Fail,retry again!!"));
  EXPECT_THAT(text, HasSubstr("COM3  success     40 pages   7%     9.0 s  OS Update Success!! "
                              "(40 pages, 3 repeats, 2 past the image in 45 replies)"));
  EXPECT_THAT(text, HasSubstr("Image SHA-256 ab12"));
  EXPECT_THAT(text, HasSubstr("Exit status 2"));
}

TEST(PageCounts, PercentIsDistinctInImagePagesOfTheFiveHundredTwelve) {
  const struct {
    PageCounts pages;
    int percent;
  } cases[] = {
      {{0, 0, 0, 0}, 0},        {{40, 40, 0, 0}, 7},     {{600, 40, 0, 560}, 7},
      {{900, 256, 644, 0}, 50}, {{512, 512, 0, 0}, 100}, {{700, 700, 0, 0}, 100},
  };
  for (const auto& c : cases) EXPECT_EQ(PercentOf(c.pages), c.percent) << c.pages.replies;
}

TEST(JsonEvents, FinishedEventCarriesOutcomeReasonAndStatus) {
  PortEvent event;
  event.kind = PortEventKind::Finished;
  event.port = "COM3";
  event.outcome = PortOutcome::FrameFault;
  event.text = "CheckSume Error!! (page request with a bad checksum)";
  event.pages = {4, 2, 1, 1};
  event.elapsed = milliseconds(250);
  const QJsonObject json =
      QJsonDocument::fromJson(QByteArray::fromStdString(PortEventJson(event))).object();
  EXPECT_EQ(json["event"].toString(), "finished");
  EXPECT_EQ(json["port"].toString(), "COM3");
  EXPECT_EQ(json["outcome"].toString(), "frame-fault");
  EXPECT_EQ(json["exit_status"].toInt(), 4);
  EXPECT_EQ(json["reason"].toString(), QString::fromStdString(event.text));
  EXPECT_EQ(json["pages_served"].toInt(), 2);
  EXPECT_EQ(json["replies"].toInt(), 4);
  EXPECT_EQ(json["repeats"].toInt(), 1);
  EXPECT_EQ(json["beyond_image"].toInt(), 1);
  EXPECT_EQ(json["elapsed_ms"].toInt(), 250);
}

TEST(JsonEvents, TextIsEscapedIntoOneLine) {
  PortEvent event;
  event.kind = PortEventKind::StateChanged;
  event.port = "odd \"port\"\nname";
  event.text = "Time_Out0";
  const std::string line = PortEventJson(event);
  EXPECT_EQ(line.find('\n'), std::string::npos);
  EXPECT_EQ(QJsonDocument::fromJson(QByteArray::fromStdString(line))["port"].toString(),
            QString::fromStdString(event.port));
}

TEST(RunLogMessage, FinishedLineTellsOutcomeStatusReasonAndCounts) {
  PortEvent event;
  event.kind = PortEventKind::Finished;
  event.outcome = PortOutcome::UnitFailure;
  event.text = "Error!! please retry again (the unit reported failure)";
  event.pages = {512, 512, 0, 0};
  event.elapsed = milliseconds(75000);
  EXPECT_EQ(LogMessage(event),
            "finished unit-failure (exit status 1): Error!! please retry again (the unit "
            "reported failure) after 512 pages in 512 replies, 75.0 s");
}

}  // namespace
}  // namespace kv37::cli
