// Dump and parse throughput over 1 MiB of data. "MB/s" counts megabytes
// (10^6) of binary data dumped or recovered per second.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "fautil/MemoryDump.h"

namespace {

constexpr int32_t kSize = 1 << 20;

std::vector<uint8_t> RandomBytes() {
  std::mt19937 rng(37);
  std::vector<uint8_t> data(kSize);
  for (auto& b : data) b = static_cast<uint8_t>(rng());
  return data;
}

void ReportRate(benchmark::State& state, int64_t bytesPerIteration = kSize) {
  const auto bytes =
      static_cast<double>(state.iterations()) * static_cast<double>(bytesPerIteration);
  state.SetBytesProcessed(static_cast<int64_t>(bytes));
  state.counters["MB/s"] = benchmark::Counter(bytes / 1e6, benchmark::Counter::kIsRate);
}

void BM_MemDump(benchmark::State& state) {
  const auto data = RandomBytes();
  for (auto _ : state) {
    fautil::TStrings lines;
    benchmark::DoNotOptimize(fautil::MemDump(&lines, data.data(), kSize));
    benchmark::DoNotOptimize(lines.data());
  }
  ReportRate(state);
}
BENCHMARK(BM_MemDump)->Unit(benchmark::kMillisecond);

void BM_WordMemDump(benchmark::State& state) {
  const auto data = RandomBytes();
  std::vector<uint16_t> words(kSize / 2);
  for (std::size_t i = 0; i < words.size(); ++i) {
    words[i] = static_cast<uint16_t>(data[2 * i] << 8 | data[2 * i + 1]);
  }
  for (auto _ : state) {
    fautil::TStrings lines;
    benchmark::DoNotOptimize(
        fautil::WordMemDump(&lines, words.data(), static_cast<int32_t>(words.size())));
    benchmark::DoNotOptimize(lines.data());
  }
  ReportRate(state);
}
BENCHMARK(BM_WordMemDump)->Unit(benchmark::kMillisecond);

// Reads back a byte dump: the realistic input of the hex parser.
void BM_TextToMem(benchmark::State& state) {
  const auto data = RandomBytes();
  fautil::TStrings lines;
  fautil::MemDump(&lines, data.data(), kSize);
  std::vector<uint8_t> out(kSize);
  for (auto _ : state) {
    const int32_t n = fautil::TextToMem(&lines, out.data(), kSize);
    if (n < 0) state.SkipWithError("dump did not parse");
    benchmark::DoNotOptimize(out.data());
  }
  ReportRate(state);
}
BENCHMARK(BM_TextToMem)->Unit(benchmark::kMillisecond);

// Item lines mixing numbers and strings, 1 MiB of bytes in all.
void BM_UTextToMem(benchmark::State& state) {
  const std::string line = "1, 255, 0FH, 'ABCDEFGH', 'it''s', 7, 12h, 'x y,z'";  // 22 bytes
  const fautil::TStrings lines(kSize / 22 + 1, line);
  std::vector<uint8_t> out(kSize);
  int32_t n = 0;
  for (auto _ : state) {
    n = fautil::UTextToMem(&lines, out.data(), kSize);
    if (n < 0) state.SkipWithError("items did not parse");
    benchmark::DoNotOptimize(out.data());
  }
  ReportRate(state, n);
}
BENCHMARK(BM_UTextToMem)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
