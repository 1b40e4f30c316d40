#include "RunSummary.h"

#include <gtest/gtest.h>

#include "FaultPlan.h"

namespace kv37::sim {
namespace {

using std::chrono::microseconds;
using std::chrono::milliseconds;
using std::chrono::nanoseconds;

std::vector<nanoseconds> Millis(std::initializer_list<int> values) {
  std::vector<nanoseconds> out;
  for (int v : values) out.push_back(milliseconds(v));
  return out;
}

TEST(LatencyFigures, MedianP99AndMaxOfUnsortedSamples) {
  EXPECT_FALSE(ComputeLatency({}).has_value());

  const auto one = ComputeLatency(Millis({7}));
  ASSERT_TRUE(one);
  EXPECT_EQ(one->median, milliseconds(7));
  EXPECT_EQ(one->p99, milliseconds(7));
  EXPECT_EQ(one->max, milliseconds(7));

  const auto even = ComputeLatency(Millis({4, 1, 3, 2}));
  EXPECT_EQ(even->median, microseconds(2500));
  EXPECT_EQ(even->max, milliseconds(4));

  // 1..512 ms: nearest rank 99 % is the 507th sample.
  std::vector<nanoseconds> many;
  for (int i = 512; i >= 1; --i) many.push_back(milliseconds(i));
  const auto fig = ComputeLatency(many);
  EXPECT_EQ(fig->p99, milliseconds(507));
  EXPECT_EQ(fig->median, microseconds(256500));
  EXPECT_EQ(fig->max, milliseconds(512));

  // 100 samples: the 99th.
  std::vector<nanoseconds> hundred;
  for (int i = 1; i <= 100; ++i) hundred.push_back(milliseconds(i));
  EXPECT_EQ(ComputeLatency(hundred)->p99, milliseconds(99));
}

TEST(RunSummaryLine, HasEveryFieldInFixedOrder) {
  RunSummary s;
  s.completion = '1';
  s.requested = 514;
  s.verified = 512;
  s.planned = 512;
  s.retries = 2;
  s.elapsed = microseconds(75'312'456);
  s.latencies = {microseconds(100'412), microseconds(100'400), microseconds(102'511)};
  EXPECT_EQ(FormatSummary(s),
            "kv37sim: result=1 requested=514 verified=512/512 retries=2 elapsed_ms=75312.456 "
            "latency_median_ms=100.412 latency_p99_ms=102.511 latency_max_ms=102.511");
}

TEST(RunSummaryLine, MarksMissingCompletionAndLatency) {
  RunSummary s;
  s.planned = 8;
  EXPECT_EQ(FormatSummary(s),
            "kv37sim: result=none requested=0 verified=0/8 retries=0 elapsed_ms=0.000 "
            "latency_median_ms=- latency_p99_ms=- latency_max_ms=-");
  s.completion = '0';
  EXPECT_NE(FormatSummary(s).find("result=0 "), std::string::npos);
}

TEST(RequestOrder, RegularPagesRepeatsAndThePageBeyond) {
  const struct {
    const char* name;
    unsigned pages;
    FaultPlan plan;
    std::vector<uint16_t> order;
  } cases[] = {
      {"in order", 4, {}, {0, 1, 2, 3}},
      {"every second repeated", 5, {.repeatEvery = 2}, {0, 1, 1, 2, 3, 3, 4}},
      {"every request repeated", 2, {.repeatEvery = 1}, {0, 0, 1, 1}},
      {"beyond comes last", 3, {.beyondPage = 512}, {0, 1, 2, 512}},
  };
  for (const auto& c : cases) EXPECT_EQ(RequestOrder(c.pages, c.plan), c.order) << c.name;
}

TEST(RequestOrder, RandomOrderIsAPermutationReplayedBySeed) {
  const FaultPlan plan{.randomOrder = true, .seed = 42};
  const auto order = RequestOrder(512, plan);
  auto sorted = order;
  std::sort(sorted.begin(), sorted.end());
  EXPECT_EQ(sorted, RequestOrder(512, {}));
  EXPECT_NE(order, sorted);
  EXPECT_EQ(RequestOrder(512, plan), order);
  EXPECT_NE(RequestOrder(512, {.randomOrder = true, .seed = 43}), order);
}

TEST(PlannedPages, IncludeThePageBeyond) {
  EXPECT_EQ(PlannedPages(2, {}), (std::vector<uint16_t>{0, 1}));
  EXPECT_EQ(PlannedPages(2, {.beyondPage = 600}), (std::vector<uint16_t>{0, 1, 600}));
}

}  // namespace
}  // namespace kv37::sim
