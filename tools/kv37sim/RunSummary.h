#pragma once
// What one run of the simulated unit did: counts, timing, the reply latency
// figures, the one-line summary and the program's exit status.

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace kv37::sim {

// Exit statuses of kv37sim, in this order of meaning.
enum class SimOutcome : int {
  Success = 0,      // every planned page arrived intact and completion '1' was sent
  Failure = 1,      // completion '0' was sent, or the unit went silent
  Usage = 2,        // bad command line
  LineError = 3,    // the line could not be opened or failed
  NoStart = 4,      // no start command within the start time-out
  Interrupted = 5,  // stopped from outside (signal, Stop()) before the end
};

struct LatencyFigures {
  std::chrono::nanoseconds median{0};
  std::chrono::nanoseconds p99{0};  // nearest rank
  std::chrono::nanoseconds max{0};
};

// Median, 99th percentile (nearest rank) and maximum; nullopt when empty.
std::optional<LatencyFigures> ComputeLatency(std::vector<std::chrono::nanoseconds> samples);

struct RunSummary {
  SimOutcome outcome = SimOutcome::Failure;
  std::optional<uint8_t> completion;    // the result byte sent, if any
  unsigned requested = 0;               // request frames sent: repeats, retries, faulty ones too
  unsigned verified = 0;                // planned pages whose reply arrived intact (and matched)
  unsigned planned = 0;                 // pages that had to arrive for success
  unsigned retries = 0;                 // re-requests after a missing or bad reply
  std::chrono::nanoseconds elapsed{0};  // from the start command to the last frame sent
  // From a request's last byte to its reply's first byte, one per reply seen.
  std::vector<std::chrono::nanoseconds> latencies;
};

// One line, fields in fixed order, times in milliseconds with three decimals:
// kv37sim: result=1 requested=512 verified=512/512 retries=0 elapsed_ms=1234.567
//   latency_median_ms=100.123 latency_p99_ms=101.234 latency_max_ms=102.345
// (on one line). result is 1, 0 or none; latency fields are "-" without replies.
std::string FormatSummary(const RunSummary& summary);

}  // namespace kv37::sim
