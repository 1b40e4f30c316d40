// CRC16 throughput next to Boost's table-driven CRC-16/MODBUS on the same
// data. Prints Google Benchmark's table, then MB/s and the ratio per size.

#include <benchmark/benchmark.h>

#include <boost/crc.hpp>
#include <cstdio>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "fautil/Crc16.h"

namespace {

using BoostModbus = boost::crc_optimal<16, 0x8005, 0xFFFF, 0, true, true>;

const std::vector<uint8_t>& Data() {
  static const std::vector<uint8_t> data = [] {
    std::vector<uint8_t> bytes(1 << 20);
    std::mt19937 rng(37);
    for (auto& b : bytes) b = static_cast<uint8_t>(rng());
    return bytes;
  }();
  return data;
}

void BM_Fautil(benchmark::State& state) {
  const auto length = static_cast<uint32_t>(state.range(0));
  const uint8_t* data = Data().data();
  for (auto _ : state) benchmark::DoNotOptimize(fautil::CRC16(data, length, fautil::kCrc16Modbus));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * length);
}

void BM_Boost(benchmark::State& state) {
  const auto length = static_cast<std::size_t>(state.range(0));
  const uint8_t* data = Data().data();
  for (auto _ : state) {
    BoostModbus crc;
    crc.process_bytes(data, length);
    benchmark::DoNotOptimize(crc.checksum());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * length);
}

BENCHMARK(BM_Fautil)->Arg(9)->Arg(261)->Arg(4096)->Arg(1 << 20);
BENCHMARK(BM_Boost)->Arg(9)->Arg(261)->Arg(4096)->Arg(1 << 20);

// Keeps the byte rate of every run, keyed by size, for the summary.
class RateReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) {
      if (run.run_type != Run::RT_Iteration) continue;
      const auto it = run.counters.find("bytes_per_second");
      if (it == run.counters.end()) continue;
      const std::string name = run.benchmark_name();
      const auto slash = name.find('/');
      const std::string size = name.substr(slash + 1);
      auto& row = rates_[std::stol(size)];
      (name.rfind("BM_Fautil", 0) == 0 ? row.fautil : row.boost) = it->second.value;
    }
  }

  void PrintSummary() const {
    std::printf("\n%10s %14s %14s %8s\n", "bytes", "CRC16 MB/s", "Boost MB/s", "ratio");
    for (const auto& [size, row] : rates_) {
      if (row.fautil <= 0 || row.boost <= 0) continue;
      std::printf("%10ld %14.1f %14.1f %8.2f\n", size, row.fautil / 1e6, row.boost / 1e6,
                  row.fautil / row.boost);
    }
  }

 private:
  struct Row {
    double fautil = 0;
    double boost = 0;
  };
  std::map<long, Row> rates_;
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  // The two must agree before their speeds mean anything.
  BoostModbus check;
  check.process_bytes(Data().data(), Data().size());
  if (check.checksum() != fautil::CRC16(Data().data(), 1 << 20, fautil::kCrc16Modbus)) {
    std::fprintf(stderr, "CRC16 and Boost disagree\n");
    return 1;
  }
  RateReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  reporter.PrintSummary();
  benchmark::Shutdown();
  return 0;
}
