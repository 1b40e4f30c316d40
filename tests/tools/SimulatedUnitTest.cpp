// The simulated unit on a thread, against a scripted utility on the far end
// of a real pseudo-terminal pair.

#include "SimulatedUnit.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <future>
#include <memory>
#include <numeric>
#include <thread>

#include "ScriptedUtility.h"
#include "SerialTransport.h"
#include "UnitFrames.h"

namespace kv37::sim {
namespace {

using namespace test;
using ::testing::ElementsAre;
using ::testing::ElementsAreArray;

// Short time-outs keep every run well under a second.
SimConfig FastConfig(unsigned pages) {
  SimConfig c;
  c.pages = pages;
  c.replyTimeout = 300ms;
  c.chunkGap = 120ms;
  c.startTimeout = 3000ms;
  c.silenceHold = 200ms;
  return c;
}

Bytes ToBytes(std::span<const uint8_t> s) {
  return Bytes(s.begin(), s.end());
}

class UnitOnPty : public ::testing::Test {
 protected:
  void Start(SimConfig config) {
    unit_ = std::make_unique<SimulatedUnit>(*line_, std::move(config));
    run_ = std::async(std::launch::async, [this] { return unit_->Run(); });
  }
  RunSummary Finish() {
    if (run_.wait_for(10s) != std::future_status::ready) {
      ADD_FAILURE() << "the unit did not end";
      unit_->Stop();
    }
    return run_.get();
  }
  void TearDown() override {
    if (run_.valid()) {
      unit_->Stop();
      run_.wait();
    }
  }

  std::unique_ptr<SerialTransport> line_ = SerialTransport::CreatePseudoTerminal();
  ScriptedUtility utility_{line_->PeerPath()};
  std::unique_ptr<SimulatedUnit> unit_;
  std::future<RunSummary> run_;
};

TEST_F(UnitOnPty, DefaultRunFetchesEveryPageInOrderAndReportsSuccess) {
  const MemoryStream image = PatternImage(kOsImageSize);
  SimConfig config = FastConfig(kFlashPages);
  config.expect = image;
  Start(std::move(config));
  utility_.SendStart();
  const auto served = utility_.Serve(image);
  const RunSummary summary = Finish();

  std::vector<uint16_t> inOrder(kFlashPages);
  std::iota(inOrder.begin(), inOrder.end(), uint16_t{0});
  EXPECT_EQ(served.pages, inOrder);
  EXPECT_EQ(served.result, kResultSuccess);
  EXPECT_EQ(summary.outcome, SimOutcome::Success);
  EXPECT_EQ(summary.requested, 512u);
  EXPECT_EQ(summary.verified, 512u);
  EXPECT_EQ(summary.planned, 512u);
  EXPECT_EQ(summary.retries, 0u);
  EXPECT_EQ(summary.latencies.size(), 512u);
  EXPECT_GT(summary.elapsed.count(), 0);
  EXPECT_TRUE(std::equal(unit_->Flash().begin(), unit_->Flash().end(), image.Memory()));
}

TEST_F(UnitOnPty, IgnoresWhatComesBeforeTheStartCommand) {
  Start(FastConfig(1));
  const uint8_t junk[] = {0x02, 0x55, 0x00, 0x02, 0x55, 0x00, 0x57};
  utility_.Write(junk);
  EXPECT_TRUE(utility_.ReadChunk(150ms).empty());
  utility_.SendStart();
  EXPECT_THAT(utility_.ReadFrame(), ElementsAreArray(BuildPageRequest(0)));
}

TEST_F(UnitOnPty, PageDifferingFromTheExpectedImageEndsWithCompletionZero) {
  const MemoryStream image = PatternImage(kOsImageSize);
  SimConfig config = FastConfig(8);
  config.expect = image;
  Start(std::move(config));
  utility_.SendStart();
  const auto served = utility_.Serve(image, [](uint16_t page, PageReply& reply) {
    if (page == 5) {
      // Intact frame, wrong content: the checksum is made to match.
      reply[10] ^= 0x01;
      const uint16_t sum = *FrameCheckSum(reply.data(), kPageReplyLength);
      reply[258] = static_cast<uint8_t>(sum >> 8);
      reply[259] = static_cast<uint8_t>(sum);
    }
    return true;
  });
  const RunSummary summary = Finish();
  EXPECT_EQ(served.pages.size(), 8u);
  EXPECT_EQ(served.result, kResultFailure);
  EXPECT_EQ(summary.outcome, SimOutcome::Failure);
  EXPECT_EQ(summary.verified, 7u);
}

TEST_F(UnitOnPty, FailCompletionSendsZeroThoughEveryPageArrived) {
  const MemoryStream image = PatternImage(1000);
  SimConfig config = FastConfig(4);
  config.faults.failCompletion = true;
  Start(std::move(config));
  utility_.SendStart();
  const auto served = utility_.Serve(image);
  const RunSummary summary = Finish();
  EXPECT_EQ(served.result, kResultFailure);
  EXPECT_EQ(summary.verified, 4u);
  EXPECT_EQ(summary.outcome, SimOutcome::Failure);
}

TEST_F(UnitOnPty, RandomOrderAndRepeatsFollowTheSeededPlan) {
  SimConfig config = FastConfig(32);
  config.faults.randomOrder = true;
  config.faults.seed = 9;
  config.faults.repeatEvery = 5;
  const auto plan = RequestOrder(32, config.faults);
  Start(std::move(config));
  utility_.SendStart();
  const auto served = utility_.Serve(PatternImage(kOsImageSize));
  const RunSummary summary = Finish();
  EXPECT_EQ(served.pages, plan);
  EXPECT_EQ(served.pages.size(), 32u + 6u);
  EXPECT_EQ(served.result, kResultSuccess);
  EXPECT_EQ(summary.requested, 38u);
  EXPECT_EQ(summary.verified, 32u);
}

TEST_F(UnitOnPty, PageBeyondTheFlashIsAskedLastAndMustComePadded) {
  // The image is larger than the flash: page 512 holds real bytes, and the
  // unit expects exactly what the utility serves from the unpadded file.
  const MemoryStream image = PatternImage(kOsImageSize + 300);
  SimConfig config = FastConfig(4);
  config.faults.beyondPage = 512;
  config.expect = image;
  Start(std::move(config));
  utility_.SendStart();
  const auto served = utility_.Serve(image);
  const RunSummary summary = Finish();
  EXPECT_THAT(served.pages, ElementsAre(0, 1, 2, 3, 512));
  EXPECT_EQ(served.result, kResultSuccess);
  EXPECT_EQ(summary.verified, 5u);
  EXPECT_EQ(summary.planned, 5u);
}

TEST_F(UnitOnPty, PageBeyondAPaddedImageMustBeAllPadding) {
  const MemoryStream image = PatternImage(kOsImageSize);
  SimConfig config = FastConfig(2);
  config.faults.beyondPage = 0x300;
  config.expect = image;
  Start(std::move(config));
  utility_.SendStart();
  // A utility that serves page 0x300 from beyond its buffer without padding.
  const auto served = utility_.Serve(image, [](uint16_t page, PageReply& reply) {
    if (page == 0x300) {
      reply[2] = 0x00;
      const uint16_t sum = *FrameCheckSum(reply.data(), kPageReplyLength);
      reply[258] = static_cast<uint8_t>(sum >> 8);
      reply[259] = static_cast<uint8_t>(sum);
    }
    return true;
  });
  EXPECT_EQ(served.result, kResultFailure);
  EXPECT_EQ(Finish().verified, 2u);
}

// Each faulty request goes out as the chunks the utility must see; the
// scripted utility then stays silent, as the real one has ended by then.
TEST_F(UnitOnPty, FaultyRequestsProduceTheirExactChunks) {
  const struct {
    const char* name;
    void (*plan)(FaultPlan&);
    std::vector<Bytes> chunks;
  } cases[] = {
      {"split",
       [](FaultPlan& f) { f.splitPage = 2; },
       {{0x02, 0xAA, 0x00}, {0x02, 0x00, 0xAE, 0x03}}},
      {"bad checksum",
       [](FaultPlan& f) { f.badChecksumPage = 2; },
       {{0x02, 0xAA, 0x00, 0x02, 0x00, 0xAF, 0x03}}},
      {"bad delimiter",
       [](FaultPlan& f) { f.badDelimiterPage = 2; },
       {{0x02, 0xAA, 0x00, 0x02, 0x00, 0xAE, 0x00}}},
  };
  const MemoryStream image = PatternImage(kOsImageSize);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    auto line = SerialTransport::CreatePseudoTerminal();
    ScriptedUtility utility(line->PeerPath());
    SimConfig config = FastConfig(4);
    c.plan(config.faults);
    SimulatedUnit unit(*line, std::move(config));
    auto run = std::async(std::launch::async, [&] { return unit.Run(); });
    utility.SendStart();
    for (uint16_t page = 0; page < 2; ++page) {
      EXPECT_THAT(utility.ReadFrame(), ElementsAreArray(BuildPageRequest(page)));
      utility.SendReply(image, page);
    }
    for (const Bytes& chunk : c.chunks) EXPECT_EQ(utility.ReadChunk(), chunk);
    // No answer: without --retry the unit gives up with completion '0'.
    EXPECT_EQ(utility.ReadChunk(), ToBytes(BuildCompletion(kResultFailure)));
    const RunSummary summary = run.get();
    EXPECT_EQ(summary.outcome, SimOutcome::Failure);
    EXPECT_EQ(summary.requested, 3u);
    EXPECT_EQ(summary.verified, 2u);
  }
}

TEST_F(UnitOnPty, NoiseGoesOutAsItsOwnChunkBeforeTheRequest) {
  SimConfig config = FastConfig(3);
  config.faults.noisePage = 1;
  Start(std::move(config));
  const MemoryStream image = PatternImage(kOsImageSize);
  utility_.SendStart();
  EXPECT_EQ(utility_.ReadChunk(), ToBytes(BuildPageRequest(0)));
  utility_.SendReply(image, 0);
  EXPECT_EQ(utility_.ReadChunk(), ToBytes(kNoiseChunk));
  EXPECT_EQ(utility_.ReadChunk(), ToBytes(BuildPageRequest(1)));
  utility_.SendReply(image, 1);
  const auto served = utility_.Serve(image);
  EXPECT_THAT(served.pages, ElementsAre(2));
  EXPECT_EQ(served.result, kResultSuccess);
  EXPECT_EQ(Finish().outcome, SimOutcome::Success);
}

TEST_F(UnitOnPty, SilenceAfterAPageSendsNothingMore) {
  SimConfig config = FastConfig(8);
  config.faults.silentAfterPage = 2;
  config.silenceHold = 400ms;
  Start(std::move(config));
  utility_.SendStart();
  const auto served = utility_.Serve(PatternImage(kOsImageSize), {}, 600ms);
  const RunSummary summary = Finish();
  EXPECT_THAT(served.pages, ElementsAre(0, 1, 2));
  EXPECT_FALSE(served.result.has_value());
  EXPECT_TRUE(served.otherFrames.empty());
  EXPECT_FALSE(summary.completion.has_value());
  EXPECT_EQ(summary.outcome, SimOutcome::Failure);
  EXPECT_EQ(summary.verified, 3u);
}

TEST_F(UnitOnPty, RetryReRequestsAMissingOrCorruptReply) {
  const MemoryStream image = PatternImage(kOsImageSize);
  SimConfig config = FastConfig(4);
  config.retry = true;
  Start(std::move(config));
  utility_.SendStart();
  int asked1 = 0, asked2 = 0;
  const auto served = utility_.Serve(image, [&](uint16_t page, PageReply& reply) {
    if (page == 1 && asked1++ == 0) return false;        // lost
    if (page == 2 && asked2++ == 0) reply[100] ^= 0xFF;  // corrupted on the way
    return true;
  });
  const RunSummary summary = Finish();
  EXPECT_THAT(served.pages, ElementsAre(0, 1, 1, 2, 2, 3));
  EXPECT_EQ(served.result, kResultSuccess);
  EXPECT_EQ(summary.retries, 2u);
  EXPECT_EQ(summary.requested, 6u);
  EXPECT_EQ(summary.outcome, SimOutcome::Success);
}

TEST_F(UnitOnPty, RetryGivesUpAfterTheLimit) {
  SimConfig config = FastConfig(4);
  config.retry = true;
  config.retries = 2;
  config.replyTimeout = 150ms;
  Start(std::move(config));
  utility_.SendStart();
  const auto served = utility_.Serve(PatternImage(kOsImageSize),
                                     [](uint16_t page, PageReply&) { return page != 1; });
  const RunSummary summary = Finish();
  EXPECT_THAT(served.pages, ElementsAre(0, 1, 1, 1));
  EXPECT_EQ(served.result, kResultFailure);
  EXPECT_EQ(summary.retries, 2u);
  EXPECT_EQ(summary.verified, 1u);
}

TEST_F(UnitOnPty, WithoutRetryABadReplyIsSkippedAndTheRunFails) {
  SimConfig config = FastConfig(3);
  Start(std::move(config));
  utility_.SendStart();
  const auto served = utility_.Serve(PatternImage(kOsImageSize), [](uint16_t page, PageReply& r) {
    if (page == 1) r[260] = 0x00;
    return true;
  });
  EXPECT_THAT(served.pages, ElementsAre(0, 1, 2));
  EXPECT_EQ(served.result, kResultFailure);
  EXPECT_EQ(Finish().verified, 2u);
}

TEST_F(UnitOnPty, PacedLineSpacesTheUnitsBytesAtTheLineRate) {
  SimConfig config = FastConfig(2);
  config.baud = 9600;  // 1.04 ms a byte
  Start(std::move(config));
  utility_.SendStart();
  const auto begin = std::chrono::steady_clock::now();
  Bytes request;
  while (request.size() < kPageRequestLength) {
    const Bytes part = utility_.ReadChunk(1000ms, 0ms);
    if (part.empty()) break;
    request.insert(request.end(), part.begin(), part.end());
  }
  const auto requestTime = std::chrono::steady_clock::now() - begin;
  EXPECT_EQ(request, ToBytes(BuildPageRequest(0)));
  // Six byte gaps at least, whatever the scheduler does.
  EXPECT_GE(requestTime, 6ms);
  unit_->Stop();
  EXPECT_EQ(Finish().outcome, SimOutcome::Interrupted);
}

TEST_F(UnitOnPty, EndsWithoutAStartCommandAfterTheStartTimeout) {
  SimConfig config = FastConfig(2);
  config.startTimeout = 100ms;
  Start(std::move(config));
  const RunSummary summary = Finish();
  EXPECT_EQ(summary.outcome, SimOutcome::NoStart);
  EXPECT_EQ(summary.requested, 0u);
}

TEST_F(UnitOnPty, StopEndsAUnitWaitingForeverAtOnce) {
  SimConfig config = FastConfig(2);
  config.startTimeout = 0ms;
  Start(std::move(config));
  std::this_thread::sleep_for(50ms);
  unit_->Stop();
  EXPECT_EQ(Finish().outcome, SimOutcome::Interrupted);
}

}  // namespace
}  // namespace kv37::sim
