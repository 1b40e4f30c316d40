#include "SimulatedUnit.h"

#include <algorithm>
#include <cstring>
#include <thread>

#include "OsImage.h"
#include "UnitFrames.h"

namespace kv37::sim {
namespace {

using std::chrono::milliseconds;

// A reply that stops short for this long (or 20 byte times, if longer) has
// ended; the utility hands its 261 bytes to the line in one write.
constexpr milliseconds kReplyQuietGap{50};
// Each read of the start wait; bounded so a forever wait needs no special case.
constexpr milliseconds kStartPoll{60'000};

milliseconds Until(std::chrono::steady_clock::time_point deadline) {
  const auto left = deadline - std::chrono::steady_clock::now();
  return left.count() > 0 ? std::chrono::ceil<milliseconds>(left) : milliseconds{0};
}

std::string PageName(uint16_t page) {
  return "page " + std::to_string(page);
}

}  // namespace

struct SimulatedUnit::Reply {
  bool arrived = false;
  ReplyCheck check = ReplyCheck::Short;
  std::span<const uint8_t> bytes;
};

SimulatedUnit::SimulatedUnit(ByteTransport& line, SimConfig config)
    : line_(line),
      config_(std::move(config)),
      pacing_(config_.baud, config_.writeSize),
      flash_(std::size_t{config_.pages} * kPageSize, kPadByte),
      good_(0x10000, false),
      requested_(0x10000, false) {}

RunSummary SimulatedUnit::Run() {
  const auto planned = PlannedPages(config_.pages, config_.faults);
  summary_ = {};
  summary_.planned = static_cast<unsigned>(planned.size());
  bool startSeen = false;
  try {
    if (!WaitForStart()) {
      summary_.outcome = SimOutcome::NoStart;
      return summary_;
    }
    startSeen = true;
    started_ = Clock::now();
    bool silenced = false;
    for (const uint16_t page : RequestOrder(config_.pages, config_.faults)) {
      Exchange(page);
      if (gaveUp_) break;
      if (config_.faults.silentAfterPage == page) {
        silenced = true;
        break;
      }
    }
    const bool allGood =
        std::all_of(planned.begin(), planned.end(), [&](uint16_t p) { return good_[p]; });
    if (silenced) {
      summary_.elapsed = Clock::now() - started_;
      summary_.outcome = SimOutcome::Failure;
      Hold(config_.silenceHold);
    } else {
      const bool success = allGood && !config_.faults.failCompletion;
      SendCompletion(success ? kResultSuccess : kResultFailure);
      summary_.elapsed = Clock::now() - started_;
      summary_.outcome = success ? SimOutcome::Success : SimOutcome::Failure;
    }
  } catch (const TransportCancelled&) {
    summary_.outcome = SimOutcome::Interrupted;
  } catch (const TransportError& e) {
    Note(std::string("line failed: ") + e.what());
    summary_.outcome = SimOutcome::LineError;
  }
  if (startSeen && summary_.elapsed.count() == 0) summary_.elapsed = Clock::now() - started_;
  summary_.verified = static_cast<unsigned>(
      std::count_if(planned.begin(), planned.end(), [&](uint16_t p) { return good_[p]; }));
  return summary_;
}

bool SimulatedUnit::WaitForStart() {
  const bool forever = config_.startTimeout.count() <= 0;
  const auto deadline = Clock::now() + config_.startTimeout;
  std::array<uint8_t, kStartCommand.size()> recent{};
  std::size_t filled = 0;
  uint8_t chunk[256];
  for (;;) {
    const milliseconds wait = forever ? kStartPoll : Until(deadline);
    const std::size_t n = line_.Read(chunk, wait);
    if (n == 0 && !forever && Clock::now() >= deadline) return false;
    // Whatever came before the start command on the line is not for the unit.
    for (std::size_t i = 0; i < n; ++i) {
      std::shift_left(recent.begin(), recent.end(), 1);
      recent.back() = chunk[i];
      filled = std::min(filled + 1, recent.size());
      if (filled == recent.size() && recent == kStartCommand) return true;
    }
  }
}

void SimulatedUnit::Exchange(uint16_t page) {
  const bool first = !requested_[page];
  requested_[page] = true;
  if (first && config_.faults.noisePage == page) {
    DiscardInput();
    pacing_.Write(line_, kNoiseChunk);
    Hold(config_.chunkGap);
  }
  const RequestFault fault = first ? FaultFor(config_.faults, page) : RequestFault::None;
  for (unsigned attempt = 0;; ++attempt) {
    // A late answer to an earlier request must not pass for this reply.
    DiscardInput();
    const auto requestEnd = SendRequest(page, attempt == 0 ? fault : RequestFault::None);
    const Reply reply = ReceiveReply(requestEnd);
    if (reply.arrived && reply.check == ReplyCheck::Intact) {
      Accept(page, reply);
      return;
    }
    Note(PageName(page) + ": " + (reply.arrived ? ToString(reply.check) : "no") + " reply");
    if (config_.retry && attempt < config_.retries) {
      ++summary_.retries;
      continue;
    }
    // Nobody answers any more: asking for the remaining pages would only
    // wait out one time-out after another.
    if (!reply.arrived) gaveUp_ = true;
    return;
  }
}

SimulatedUnit::Clock::time_point SimulatedUnit::SendRequest(uint16_t page, RequestFault fault) {
  ++summary_.requested;
  switch (fault) {
    case RequestFault::None:
      return pacing_.Write(line_, BuildPageRequest(page));
    case RequestFault::BadChecksum:
      return pacing_.Write(line_, BuildBadChecksumRequest(page));
    case RequestFault::BadDelimiter:
      return pacing_.Write(line_, BuildBadDelimiterRequest(page));
    case RequestFault::Split: {
      const PageRequest request = BuildPageRequest(page);
      const std::span<const uint8_t> bytes(request);
      pacing_.Write(line_, bytes.first(kSplitAt));
      Hold(config_.chunkGap);
      return pacing_.Write(line_, bytes.subspan(kSplitAt));
    }
  }
  return Clock::now();
}

SimulatedUnit::Reply SimulatedUnit::ReceiveReply(Clock::time_point requestEnd) {
  Reply reply;
  const auto deadline = requestEnd + config_.replyTimeout;
  std::size_t count = 0;
  Clock::time_point first{};
  do {
    count = line_.Read(replyBuffer_, Until(deadline));
    first = Clock::now();
  } while (count == 0 && first < deadline);
  if (count == 0) return reply;

  reply.arrived = true;
  summary_.latencies.push_back(first - requestEnd);
  const auto gap = std::max<milliseconds>(kReplyQuietGap,
                                          std::chrono::ceil<milliseconds>(pacing_.ByteTime() * 20));
  while (count < kPageReplyLength) {
    const std::size_t n = line_.Read(std::span(replyBuffer_).subspan(count), gap);
    if (n == 0) break;
    count += n;
  }
  // Bytes that crossed a paced line cannot have arrived faster than its rate.
  std::this_thread::sleep_until(pacing_.ArrivalOfLast(first, count));
  reply.bytes = std::span<const uint8_t>(replyBuffer_.data(), count);
  reply.check = CheckPageReply(reply.bytes);
  return reply;
}

void SimulatedUnit::Accept(uint16_t page, const Reply& reply) {
  const auto data = reply.bytes.subspan(kReplyDataAt, kPageSize);
  bool matches = true;
  if (config_.expect) {
    uint8_t expected[kPageSize];
    CopyPage(*config_.expect, page, expected);
    matches = std::equal(data.begin(), data.end(), expected);
    if (!matches) Note(PageName(page) + ": differs from the expected image");
  }
  if (page < config_.pages)
    std::copy(data.begin(), data.end(), flash_.begin() + std::size_t{page} * kPageSize);
  good_[page] = matches;
  if (config_.flashDelay.count() > 0) Hold(config_.flashDelay);
}

void SimulatedUnit::Hold(milliseconds duration) {
  const auto deadline = Clock::now() + duration;
  uint8_t scratch[512];
  while (Clock::now() < deadline) line_.Read(scratch, Until(deadline));
}

void SimulatedUnit::DiscardInput() {
  // Bounded, so a line that never stops talking cannot hold the unit here.
  uint8_t scratch[512];
  for (int i = 0; i < 64 && line_.Read(scratch, milliseconds{0}) > 0; ++i) {
  }
}

void SimulatedUnit::SendCompletion(uint8_t result) {
  pacing_.Write(line_, BuildCompletion(result));
  summary_.completion = result;
}

void SimulatedUnit::Note(const std::string& text) const {
  if (config_.note) config_.note(text);
}

}  // namespace kv37::sim
