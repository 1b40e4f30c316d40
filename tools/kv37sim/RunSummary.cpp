#include "RunSummary.h"

#include <algorithm>
#include <cstdio>

namespace kv37::sim {
namespace {

std::string Millis(std::chrono::nanoseconds t) {
  char text[32];
  std::snprintf(text, sizeof text, "%.3f", static_cast<double>(t.count()) / 1e6);
  return text;
}

}  // namespace

std::optional<LatencyFigures> ComputeLatency(std::vector<std::chrono::nanoseconds> samples) {
  if (samples.empty()) return std::nullopt;
  std::sort(samples.begin(), samples.end());
  const std::size_t n = samples.size();
  // Nearest rank: the smallest sample with at least 99 % of them at or below it.
  const std::size_t p99Rank = (n * 99 + 99) / 100;
  const std::chrono::nanoseconds median =
      n % 2 == 1 ? samples[n / 2] : (samples[n / 2 - 1] + samples[n / 2]) / 2;
  return LatencyFigures{median, samples[p99Rank - 1], samples.back()};
}

std::string FormatSummary(const RunSummary& s) {
  std::string line = "kv37sim: result=";
  line += s.completion ? std::string(1, static_cast<char>(*s.completion)) : "none";
  line += " requested=" + std::to_string(s.requested);
  line += " verified=" + std::to_string(s.verified) + "/" + std::to_string(s.planned);
  line += " retries=" + std::to_string(s.retries);
  line += " elapsed_ms=" + Millis(s.elapsed);
  const auto latency = ComputeLatency(s.latencies);
  line += " latency_median_ms=" + (latency ? Millis(latency->median) : "-");
  line += " latency_p99_ms=" + (latency ? Millis(latency->p99) : "-");
  line += " latency_max_ms=" + (latency ? Millis(latency->max) : "-");
  return line;
}

}  // namespace kv37::sim
