// Parallel updates: kv37-update-cli updates N simulated units at once, each on
// its own pseudo-terminal, with the units pacing their line at 57600 bit/s
// and taking 2 ms to write each page, as a unit's flash does. Runs with and
// without --fast, and with each unit's pseudo-terminal behind ser2net on
// loopback (ser2net:1 rfc2217://, ser2net:2 raw tcp://); reports the wall time, its ratio to the
// line-rate limit (every request and reply on the wire back to back: pages x 268 bytes x 10 bits /
// 57600), the updater's own CPU time and, for more than one unit, the ratio to one unit alone;
// through ser2net, also the ratio to the same run on the pseudo-terminal directly.
//
//   build/<dir>/bench/cli/cli_parallel_bench
//   KV37_BENCH_PAGES=64 ... for a quicker, shorter run (default 512 pages)

#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <QProcess>
#include <QStringList>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <thread>
#include <tuple>
#include <vector>

#include "NetServers.h"
#include "OsImage.h"
#include "SerialTransport.h"
#include "SimulatedUnit.h"

namespace {

using namespace kv37;

constexpr unsigned kLineRate = 57600;

unsigned Pages() {
  const char* text = std::getenv("KV37_BENCH_PAGES");
  const long pages = text != nullptr ? std::strtol(text, nullptr, 10) : 0;
  return pages >= 1 && pages <= 512 ? static_cast<unsigned>(pages) : 512;
}

class PacedUnit {
 public:
  PacedUnit(const MemoryStream& image, unsigned pages, std::size_t writeSize)
      : line_(sim::SerialTransport::CreatePseudoTerminal()) {
    sim::SimConfig config;
    config.pages = pages;
    config.expect = image;
    config.baud = kLineRate;
    config.startTimeout = std::chrono::milliseconds(30000);
    config.flashDelay = std::chrono::milliseconds(2);
    config.writeSize = writeSize;
    unit_ = std::make_unique<sim::SimulatedUnit>(*line_, std::move(config));
    thread_ = std::thread([this] { outcome_ = unit_->Run().outcome; });
  }
  ~PacedUnit() {
    unit_->Stop();
    if (thread_.joinable()) thread_.join();
  }
  const std::string& Path() const { return line_->PeerPath(); }
  sim::SimOutcome Finish() {
    if (thread_.joinable()) thread_.join();
    return outcome_;
  }

 private:
  std::unique_ptr<sim::SerialTransport> line_;
  std::unique_ptr<sim::SimulatedUnit> unit_;
  sim::SimOutcome outcome_ = sim::SimOutcome::Interrupted;
  std::thread thread_;
};

double ChildCpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_CHILDREN, &usage);
  const auto seconds = [](const timeval& t) { return t.tv_sec + t.tv_usec / 1e6; };
  return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

// One unit's time by (fast, ser2net: none, rfc2217, raw, write size).
std::map<std::tuple<bool, int, std::size_t>, double> gOneUnitSeconds;

void BM_ConcurrentUpdates(benchmark::State& state) {
  const auto units = static_cast<std::size_t>(state.range(0));
  const bool fast = state.range(1) != 0;
  const int scheme = static_cast<int>(state.range(2));
  const auto writeSize = static_cast<std::size_t>(state.range(3));
  const bool network = scheme != 0;
  const unsigned pages = Pages();
  const std::string imagePath =
      (std::filesystem::temp_directory_path() / "kv37-parallel-bench.bin").string();
  {
    std::vector<char> bytes(100000);
    for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(i * 13 + i / 256);
    std::ofstream(imagePath, std::ios::binary).write(bytes.data(), static_cast<long>(bytes.size()));
  }
  MemoryStream image;
  LoadOsImage(image, imagePath);

  for (auto _ : state) {
    std::vector<std::unique_ptr<PacedUnit>> sims;
    QStringList args{QString::fromStdString(imagePath), "--json"};
    if (fast) args << "--fast";
    std::vector<std::string> ptys;
    for (std::size_t i = 0; i < units; ++i) {
      sims.push_back(std::make_unique<PacedUnit>(image, pages, writeSize));
      ptys.push_back(sims.back()->Path());
    }
    std::unique_ptr<kv37::test::Ser2Net> server;
    if (network) server = std::make_unique<kv37::test::Ser2Net>(ptys, scheme == 1);
    for (std::size_t i = 0; i < units; ++i)
      args << "--port" << QString::fromStdString(network ? server->Url(i) : ptys[i]);
    const double cpuBefore = ChildCpuSeconds();
    const auto begin = std::chrono::steady_clock::now();
    QProcess process;
    process.start(QStringLiteral(KV37_UPDATE_CLI), args);
    process.waitForFinished(-1);
    const double wall =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
    const double cpu = ChildCpuSeconds() - cpuBefore;
    state.SetIterationTime(wall);

    bool allGood = process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
    for (auto& unit : sims) allGood = allGood && unit->Finish() == sim::SimOutcome::Success;
    if (!allGood) state.SkipWithError("an update did not succeed");

    // Request (7 bytes) and reply (261 bytes) per page, 10 bits a byte.
    const double lineLimit = pages * 268.0 * 10.0 / kLineRate;
    state.counters["pages_per_unit"] = pages;
    state.counters["line_limit_s"] = lineLimit;
    state.counters["vs_line_limit"] = wall / lineLimit;
    state.counters["cli_cpu_s"] = cpu;
    state.counters["cli_cpu_pct"] = 100.0 * cpu / wall;
    const auto one = [&](int how) { return gOneUnitSeconds[{fast, how, writeSize}]; };
    if (units == 1) gOneUnitSeconds[{fast, scheme, writeSize}] = wall;
    if (units > 1 && one(scheme) > 0) state.counters["vs_one_unit"] = wall / one(scheme);
    if (units == 1 && network && one(0) > 0) state.counters["vs_direct"] = wall / one(0);
  }
  std::filesystem::remove(imagePath);
}

BENCHMARK(BM_ConcurrentUpdates)
    ->ArgNames({"units", "fast", "ser2net", "write"})
    ->Args({1, 0, 0, 1})
    ->Args({1, 1, 0, 1})
    ->Args({12, 0, 0, 1})
    ->Args({12, 1, 0, 1})
    ->Args({1, 1, 1, 1})
    ->Args({1, 1, 2, 1})
    ->Args({64, 1, 0, 1})
    ->Args({64, 1, 1, 1})
    // A USB adapter hands the unit's bytes on in packets, not one by one.
    ->Args({1, 1, 0, 64})
    ->Args({64, 1, 0, 64})
    ->Args({1, 1, 1, 64})
    ->Args({64, 1, 1, 64})
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kSecond);

}  // namespace

BENCHMARK_MAIN();
