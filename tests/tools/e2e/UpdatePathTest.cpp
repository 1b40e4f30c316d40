// The update path (TComm, the update controller, a QTimer watchdog) against
// the simulated unit over a pseudo-terminal, on an unpaced line.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "FaultPlan.h"
#include "HeadlessUpdate.h"
#include "TestImage.h"
#include "UnitOnThread.h"
#include "UpdateFrames.h"

namespace {

using namespace std::chrono_literals;
using kv37::sim::FaultPlan;
using kv37::sim::SimConfig;
using kv37::sim::SimOutcome;

// Ample for a few dozen pages at one read interval (100 ms) each.
constexpr auto kRunLimit = 30s;

SimConfig UnitConfig(unsigned pages, const TestImage& image, FaultPlan faults = {}) {
  SimConfig config;
  config.pages = pages;
  config.expect = image.Load();
  config.faults = faults;
  config.startTimeout = 10s;
  return config;
}

// The utility's side and the unit's side of one update; the utility has
// pressed start when the constructor returns.
struct Update {
  Update(const TestImage& image, SimConfig config)
      : osImage(image.Load()), unit(std::move(config)), utility(osImage) {
    utility.Start(unit.PeerPath());
  }
  kv37::MemoryStream osImage;
  UnitOnThread unit;
  HeadlessUpdate utility;  // closes its port before the unit goes
};

struct ServedPage {
  uint16_t page;
  std::vector<uint8_t> reply;
};

// Pairs each "PAGEnnn" the status line showed with the block queued after
// it: one reply per request, in request order.
std::vector<ServedPage> ServedPages(const HeadlessUpdate& utility) {
  std::vector<uint16_t> pages;
  for (const auto& text : utility.StatusTexts())
    if (text.rfind("PAGE", 0) == 0)
      pages.push_back(static_cast<uint16_t>(std::stoul(text.substr(4), nullptr, 16)));
  const auto& written = utility.Written();
  std::vector<ServedPage> served;
  // Block 0 is the start command.
  for (std::size_t i = 0; i < pages.size() && i + 1 < written.size(); ++i)
    served.push_back({pages[i], written[i + 1]});
  return served;
}

std::vector<uint8_t> DataOf(const std::vector<uint8_t>& reply) {
  if (reply.size() != kv37::kPageReplyLength) return {};
  return {reply.begin() + 2, reply.begin() + 2 + kv37::kPageSize};
}

std::vector<uint16_t> PagesOf(const std::vector<ServedPage>& served) {
  std::vector<uint16_t> pages;
  for (const auto& s : served) pages.push_back(s.page);
  return pages;
}

TEST(UpdatePath, InOrderUpdateLeavesTheUnitWithTheImageByteExact) {
  const TestImage image(3000);  // pages 11 and up are padding
  constexpr unsigned kPages = 16;
  Update run(image, UnitConfig(kPages, image));

  ASSERT_TRUE(run.utility.WaitForEnd(kRunLimit));
  EXPECT_EQ(run.utility.Status(), kv37::kTextSuccess);
  EXPECT_EQ(run.utility.StatusLeft(), kv37::kResultLeft);
  EXPECT_EQ(run.utility.Gauge(), kv37::kGaugeMax);
  EXPECT_FALSE(run.utility.WatchdogRunning());
  ASSERT_FALSE(run.utility.Written().empty());
  EXPECT_EQ(run.utility.Written().front(),
            std::vector<uint8_t>(kv37::kStartCommand.begin(), kv37::kStartCommand.end()));

  const auto& summary = run.unit.Finish();
  EXPECT_EQ(summary.outcome, SimOutcome::Success);
  EXPECT_EQ(summary.completion, kv37::kResultSuccess);
  EXPECT_EQ(summary.requested, kPages);
  EXPECT_EQ(summary.verified, kPages);
  EXPECT_EQ(summary.retries, 0u);
  std::vector<uint8_t> expected;
  for (uint16_t page = 0; page < kPages; ++page) {
    const auto bytes = image.Page(page);
    expected.insert(expected.end(), bytes.begin(), bytes.end());
  }
  EXPECT_EQ(run.unit.Flash(), expected);
}

// Runs the unit asks for in an unusual way; each must still end in success
// with every page served exactly as the file (and its padding) has it.
struct UnusualRun {
  const char* name;
  std::size_t imageSize;
  unsigned pages;
  FaultPlan faults;
};

FaultPlan RandomWithRepeats() {
  FaultPlan plan;
  plan.randomOrder = true;
  plan.seed = 7;
  plan.repeatEvery = 3;
  return plan;
}
FaultPlan Beyond(uint16_t page) {
  FaultPlan plan;
  plan.beyondPage = page;
  return plan;
}
FaultPlan NoiseBefore(uint16_t page) {
  FaultPlan plan;
  plan.noisePage = page;
  return plan;
}

void PrintTo(const UnusualRun& c, std::ostream* os) {
  *os << c.name;
}

class UnusualRequests : public ::testing::TestWithParam<UnusualRun> {};

TEST_P(UnusualRequests, EndInSuccessWithEveryPageServedFromTheFile) {
  const UnusualRun& c = GetParam();
  const TestImage image(c.imageSize, 3);
  Update run(image, UnitConfig(c.pages, image, c.faults));

  ASSERT_TRUE(run.utility.WaitForEnd(kRunLimit)) << "last status: " << run.utility.Status();
  EXPECT_EQ(run.utility.Status(), kv37::kTextSuccess);
  EXPECT_FALSE(run.utility.Fatal().has_value());

  const auto served = ServedPages(run.utility);
  EXPECT_EQ(PagesOf(served), kv37::sim::RequestOrder(c.pages, c.faults));
  for (const auto& s : served) EXPECT_EQ(DataOf(s.reply), image.Page(s.page)) << "page " << s.page;

  const auto& summary = run.unit.Finish();
  EXPECT_EQ(summary.outcome, SimOutcome::Success);
  EXPECT_EQ(summary.verified, summary.planned);
  // Each frame came as a chunk of its own, and so did the noise.
  EXPECT_EQ(run.utility.ChunksReceived(), summary.requested + 1 + (c.faults.noisePage ? 1 : 0));
}

INSTANTIATE_TEST_SUITE_P(
    E2e, UnusualRequests,
    ::testing::Values(UnusualRun{"RandomOrderWithRepeats", 0x20000, 16, RandomWithRepeats()},
                      UnusualRun{"PageJustBeyondTheFlashIsPadding", 5000, 4, Beyond(512)},
                      UnusualRun{"HighestPageNumberIsPadding", 5000, 4, Beyond(0xFFFF)},
                      UnusualRun{"NoiseChunkIsIgnored", 5000, 4, NoiseBefore(2)},
                      // Kept whole: page 512 is file data, page 513 ends in padding.
                      UnusualRun{"ImageLargerThanTheFlash", 0x20000 + 256 + 44, 4, Beyond(513)},
                      UnusualRun{"ImageLargerThanTheFlashFullPageBeyond", 0x20000 + 256 + 44, 4,
                                 Beyond(512)}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(UpdatePath, CompletionFailureShowsTheRetryText) {
  const TestImage image(1000);
  FaultPlan plan;
  plan.failCompletion = true;
  Update run(image, UnitConfig(2, image, plan));

  ASSERT_TRUE(run.utility.WaitForEnd(kRunLimit));
  EXPECT_EQ(run.utility.Status(), kv37::kTextCompletionFail);
  EXPECT_EQ(run.utility.Gauge(), 1);  // left at the last page, not filled
  EXPECT_FALSE(run.utility.WatchdogRunning());
  EXPECT_EQ(run.unit.Finish().completion, kv37::kResultFailure);
}

// The one test that waits out the watchdog: six one-second ticks.
TEST(UpdatePath, SilentUnitEndsWithTheWatchdogFailureAfterSixTicks) {
  const TestImage image(1000);
  FaultPlan plan;
  plan.silentAfterPage = 1;
  Update run(image, UnitConfig(4, image, plan));

  ASSERT_TRUE(run.utility.WaitForEnd(12s)) << "last status: " << run.utility.Status();
  EXPECT_EQ(run.utility.Status(), kv37::kTextUpdateFail);
  EXPECT_EQ(run.utility.StatusLeft(), kv37::kResultLeft);
  EXPECT_FALSE(run.utility.WatchdogRunning());
  EXPECT_EQ(run.utility.WatchdogCount(), 0);

  const std::vector<std::string> expected{"PAGE000",   "PAGE001",   "Time_Out0",
                                          "Time_Out1", "Time_Out2", "Time_Out3",
                                          "Time_Out4", "Time_Out5", kv37::kTextUpdateFail};
  EXPECT_EQ(run.utility.StatusTexts(), expected);
  run.unit.Stop();
}

struct FaultyRequest {
  const char* name;
  FaultPlan faults;
  const char* text;
};

FaultPlan BadChecksumAt(uint16_t page) {
  FaultPlan plan;
  plan.badChecksumPage = page;
  return plan;
}
FaultPlan BadDelimiterAt(uint16_t page) {
  FaultPlan plan;
  plan.badDelimiterPage = page;
  return plan;
}

void PrintTo(const FaultyRequest& c, std::ostream* os) {
  *os << c.name;
}

class FaultyRequests : public ::testing::TestWithParam<FaultyRequest> {};

TEST_P(FaultyRequests, EndTheUpdateWithTheFatalTextAndLeaveTheRequestUnanswered) {
  const FaultyRequest& c = GetParam();
  const TestImage image(1000);
  SimConfig config = UnitConfig(4, image, c.faults);
  config.replyTimeout = 400ms;  // the unit gives up soon and sends completion '0'
  Update run(image, std::move(config));

  ASSERT_TRUE(run.utility.WaitForEnd(kRunLimit));
  ASSERT_TRUE(run.utility.Fatal().has_value());
  EXPECT_EQ(*run.utility.Fatal(), c.text);
  EXPECT_FALSE(run.utility.WatchdogRunning());
  const std::vector<std::string> pages{"PAGE000", "PAGE001"};
  EXPECT_EQ(run.utility.StatusTexts(), pages);

  // The unit waits out its reply time-out: nothing went out for the faulty
  // request, so it gives up and reports failure.
  const auto& summary = run.unit.Finish();
  EXPECT_EQ(summary.verified, 2u);
  EXPECT_EQ(summary.completion, kv37::kResultFailure);
  EXPECT_EQ(run.utility.Written().size(), 3u);  // start command and two replies
}

INSTANTIATE_TEST_SUITE_P(
    E2e, FaultyRequests,
    ::testing::Values(FaultyRequest{"BadChecksum", BadChecksumAt(2), kv37::kTextChecksumError},
                      FaultyRequest{"BadDelimiter", BadDelimiterAt(2), kv37::kTextDataError}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
