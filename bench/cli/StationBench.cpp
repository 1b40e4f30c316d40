// The station: how soon after a path slot's device appears its unit gets the
// start command, N slots updating at once against one, with the station's
// own CPU time, 8 slots' reply latency while another writer holds the unit
// database for 3 s, against the same without, and 32 slots' reply latency
// under the terminal board against the same under the station window, with
// the window thread's CPU time. Units are simulated on pseudo-terminals, paced
// at 57600 bit/s; a slot's path is a link made when its unit "is plugged in".
//
//   build/<dir>/bench/cli/cli_station_bench
//   KV37_BENCH_PAGES=32 ... pages per unit (default 64)

#include <benchmark/benchmark.h>
#include <poll.h>
#include <pty.h>
#include <sqlite3.h>
#include <unistd.h>

#include <QProcess>
#include <QStringList>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <thread>
#include <vector>

#include "OsImage.h"
#include "SerialTransport.h"
#include "SimulatedUnit.h"

namespace {

using namespace kv37;
using Clock = std::chrono::steady_clock;
namespace fs = std::filesystem;

unsigned Pages() {
  const char* text = std::getenv("KV37_BENCH_PAGES");
  const long pages = text != nullptr ? std::strtol(text, nullptr, 10) : 0;
  return pages >= 1 && pages <= 512 ? static_cast<unsigned>(pages) : 64;
}

// A folder with the image, a station file of `slots` path slots (settle 0)
// and its database; the station runs while the object lives.
enum class FrontEnd { Board, Window };

class StationUnderTest {
 public:
  explicit StationUnderTest(int slotCount, FrontEnd front = FrontEnd::Board)
      : dir_(fs::temp_directory_path() / "kv37-station-bench") {
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    std::ofstream(dir_ / "os.bin", std::ios::binary) << std::string(Pages() * 256, '\x5A');
    std::ofstream file(dir_ / "station.ini");
    file << "[station]\nimage = os.bin\ndatabase = units.db\nsettle = 0\n";
    for (int i = 0; i < slotCount; ++i) file << "[slot S" << i << "]\npath = " << Link(i) << "\n";
    file.close();
    const QString ini = QString::fromStdString((dir_ / "station.ini").string());
    if (front == FrontEnd::Window) {
      station_.setProgram(KV37_STATION);
      station_.setArguments({ini, "-platform", "offscreen"});
      QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
      env.insert("XDG_CONFIG_HOME", QString::fromStdString((dir_ / "config").string()));
      station_.setProcessEnvironment(env);
    } else {
      station_.setProgram(KV37_UPDATE_CLI);
      station_.setArguments({"station", ini});
    }
    // Nobody reads the board here: a full pipe would stop the station's
    // thread, and every unit with it.
    station_.setStandardOutputFile(QProcess::nullDevice());
    station_.start();
    station_.waitForStarted();
    // Up once its database stands and its watch has started.
    for (int i = 0; i < 1000 && !fs::exists(dir_ / "units.db"); ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
  }
  ~StationUnderTest() {
    station_.terminate();
    station_.waitForFinished(30000);
    fs::remove_all(dir_);
  }
  std::string Link(int slot) const { return (dir_ / ("unit-" + std::to_string(slot))).string(); }
  std::string Image() const { return (dir_ / "os.bin").string(); }
  std::string Database() const { return (dir_ / "units.db").string(); }
  // user + system seconds the station has used so far; with `mainThread`,
  // only its main thread's (the window's, or the board's event loop).
  double CpuSeconds(bool mainThread = false) const {
    const std::string pid = std::to_string(station_.processId());
    std::ifstream stat("/proc/" + pid + (mainThread ? "/task/" + pid : std::string()) + "/stat");
    std::string text((std::istreambuf_iterator<char>(stat)), {});
    const auto after = text.rfind(')');
    std::istringstream fields(text.substr(after + 2));
    std::string skip;
    for (int i = 0; i < 11; ++i) fields >> skip;
    double user = 0, system = 0;
    fields >> user >> system;
    return (user + system) / static_cast<double>(sysconf(_SC_CLK_TCK));
  }

 private:
  fs::path dir_;
  QProcess station_;
};

// Until the start command's first byte arrives on `master`. A master reports a
// hang-up while nobody has the far end open, so it is looked at again every
// 100 us until then.
bool HearStart(int master) {
  const auto deadline = Clock::now() + std::chrono::seconds(10);
  while (Clock::now() < deadline) {
    pollfd start{master, POLLIN, 0};
    if (poll(&start, 1, 10) == 1 && (start.revents & POLLIN)) {
      uint8_t byte = 0;
      if (read(master, &byte, 1) == 1) return true;
    }
    std::this_thread::sleep_for(std::chrono::microseconds(100));
  }
  return false;
}

void StartLatency(benchmark::State& state) {
  StationUnderTest station(1);
  std::vector<double> latencies;
  for (auto _ : state) {
    int master = -1, slave = -1;
    char name[256];
    openpty(&master, &slave, name, nullptr, nullptr);
    close(slave);
    const auto plugged = Clock::now();
    fs::create_symlink(name, station.Link(0));
    if (HearStart(master)) {
      const auto heard = Clock::now();
      latencies.push_back(std::chrono::duration<double, std::milli>(heard - plugged).count());
      state.SetIterationTime(std::chrono::duration<double>(heard - plugged).count());
    }
    // Unplugged: the unit's run ends on the hang-up, the slot waits again.
    close(master);
    fs::remove(station.Link(0));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
  }
  std::sort(latencies.begin(), latencies.end());
  if (!latencies.empty()) {
    state.counters["median_ms"] = latencies[latencies.size() / 2];
    state.counters["max_ms"] = latencies.back();
  }
}
BENCHMARK(StartLatency)->UseManualTime()->Iterations(20)->Unit(benchmark::kMillisecond);

std::map<std::size_t, double> gOneSlotSeconds;  // by write size

void SlotsAtOnce(benchmark::State& state) {
  const int slotCount = static_cast<int>(state.range(0));
  const auto writeSize = static_cast<std::size_t>(state.range(1));
  for (auto _ : state) {
    StationUnderTest station(slotCount);
    MemoryStream image;
    LoadOsImage(image, station.Image());
    std::vector<std::unique_ptr<sim::SerialTransport>> lines;
    std::vector<std::unique_ptr<sim::SimulatedUnit>> units;
    std::vector<std::thread> threads;
    std::atomic<int> passed{0};
    for (int i = 0; i < slotCount; ++i) {
      lines.push_back(sim::SerialTransport::CreatePseudoTerminal());
      sim::SimConfig config;
      config.pages = Pages();
      config.expect = image;
      config.baud = 57600;
      config.startTimeout = std::chrono::milliseconds(30000);
      config.writeSize = writeSize;
      units.push_back(std::make_unique<sim::SimulatedUnit>(*lines.back(), std::move(config)));
    }
    const double cpuBefore = station.CpuSeconds();
    const auto began = Clock::now();
    for (int i = 0; i < slotCount; ++i) {
      threads.emplace_back(
          [&, i] { passed += units[i]->Run().outcome == sim::SimOutcome::Success; });
      fs::create_symlink(lines[i]->PeerPath(), station.Link(i));
    }
    for (std::thread& t : threads) t.join();
    const double wall = std::chrono::duration<double>(Clock::now() - began).count();
    state.SetIterationTime(wall);
    state.counters["units_passed"] = passed.load();
    state.counters["station_cpu_s"] = station.CpuSeconds() - cpuBefore;
    if (slotCount == 1) gOneSlotSeconds[writeSize] = wall;
    if (slotCount > 1 && gOneSlotSeconds[writeSize] > 0)
      state.counters["vs_one_slot"] = wall / gOneSlotSeconds[writeSize];
  }
}
BENCHMARK(SlotsAtOnce)
    ->ArgNames({"slots", "write"})
    ->Args({1, 1})
    ->Args({32, 1})
    ->Args({1, 64})  // units handing bytes on in USB packets
    ->Args({64, 64})
    ->Args({64, 1})
    ->UseManualTime()
    ->Iterations(1)
    ->Unit(benchmark::kSecond);

// Every reply's latency of 8 units whose ends are spread out, so that rows
// are written while others are updating; with `held`, another writer holds
// the database for 3 s from the first unit's end on.
void RepliesWithTheDatabaseHeld(benchmark::State& state) {
  constexpr int kSlots = 8;
  const bool held = state.range(0) != 0;
  for (auto _ : state) {
    StationUnderTest station(kSlots);
    MemoryStream image;
    LoadOsImage(image, station.Image());
    std::vector<std::unique_ptr<sim::SerialTransport>> lines;
    std::vector<std::unique_ptr<sim::SimulatedUnit>> units;
    std::vector<sim::RunSummary> summaries(kSlots);
    std::vector<std::thread> threads;
    std::atomic<bool> firstEnded{false};
    for (int i = 0; i < kSlots; ++i) {
      lines.push_back(sim::SerialTransport::CreatePseudoTerminal());
      sim::SimConfig config;
      config.pages = std::min(512u, Pages() / 4 * static_cast<unsigned>(i + 1));
      config.baud = 57600;
      config.startTimeout = std::chrono::milliseconds(30000);
      units.push_back(std::make_unique<sim::SimulatedUnit>(*lines.back(), std::move(config)));
    }
    for (int i = 0; i < kSlots; ++i) {
      threads.emplace_back([&, i] {
        summaries[i] = units[i]->Run();
        firstEnded = true;
      });
      fs::create_symlink(lines[i]->PeerPath(), station.Link(i));
    }
    std::thread holder;
    if (held)
      holder = std::thread([&] {
        while (!firstEnded) std::this_thread::sleep_for(std::chrono::milliseconds(1));
        sqlite3* other = nullptr;
        sqlite3_open(station.Database().c_str(), &other);
        sqlite3_exec(other, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr);
        std::this_thread::sleep_for(std::chrono::seconds(3));
        sqlite3_exec(other, "COMMIT", nullptr, nullptr, nullptr);
        sqlite3_close(other);
      });
    for (std::thread& t : threads) t.join();
    if (holder.joinable()) holder.join();
    std::vector<double> latencies;
    int passed = 0;
    for (const sim::RunSummary& summary : summaries) {
      passed += summary.outcome == sim::SimOutcome::Success;
      for (const auto latency : summary.latencies)
        latencies.push_back(std::chrono::duration<double, std::milli>(latency).count());
    }
    std::sort(latencies.begin(), latencies.end());
    state.SetIterationTime(latencies.empty() ? 0 : latencies.back() / 1000.0);
    state.counters["units_passed"] = passed;
    if (!latencies.empty()) {
      state.counters["latency_median_ms"] = latencies[latencies.size() / 2];
      state.counters["latency_max_ms"] = latencies.back();
    }
  }
}
BENCHMARK(RepliesWithTheDatabaseHeld)
    ->ArgName("held")
    ->Arg(0)
    ->Arg(1)
    ->UseManualTime()
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);

// 32 units at once, every reply's latency above the unit's 100 ms read gap,
// under the terminal board and under the station window.
void RepliesUnderTheFrontEnd(benchmark::State& state) {
  constexpr int kSlots = 32;
  const auto front = static_cast<FrontEnd>(state.range(0));
  for (auto _ : state) {
    StationUnderTest station(kSlots, front);
    std::vector<std::unique_ptr<sim::SerialTransport>> lines;
    std::vector<std::unique_ptr<sim::SimulatedUnit>> units;
    std::vector<sim::RunSummary> summaries(kSlots);
    std::vector<std::thread> threads;
    for (int i = 0; i < kSlots; ++i) {
      lines.push_back(sim::SerialTransport::CreatePseudoTerminal());
      sim::SimConfig config;
      config.pages = Pages();
      config.baud = 57600;
      config.startTimeout = std::chrono::milliseconds(30000);
      units.push_back(std::make_unique<sim::SimulatedUnit>(*lines.back(), std::move(config)));
    }
    const double cpuBefore = station.CpuSeconds(), mainBefore = station.CpuSeconds(true);
    const auto began = Clock::now();
    for (int i = 0; i < kSlots; ++i) {
      threads.emplace_back([&, i] { summaries[i] = units[i]->Run(); });
      fs::create_symlink(lines[i]->PeerPath(), station.Link(i));
    }
    for (std::thread& t : threads) t.join();
    const double wall = std::chrono::duration<double>(Clock::now() - began).count();
    std::vector<double> latencies;
    int passed = 0;
    for (const sim::RunSummary& summary : summaries) {
      passed += summary.outcome == sim::SimOutcome::Success;
      for (const auto latency : summary.latencies)
        latencies.push_back(std::chrono::duration<double, std::milli>(latency).count() - 100.0);
    }
    std::sort(latencies.begin(), latencies.end());
    state.SetIterationTime(wall);
    state.counters["units_passed"] = passed;
    state.counters["station_cpu_s"] = station.CpuSeconds() - cpuBefore;
    state.counters["main_thread_cpu_s"] = station.CpuSeconds(true) - mainBefore;
    if (!latencies.empty()) {
      state.counters["over_gap_median_ms"] = latencies[latencies.size() / 2];
      state.counters["over_gap_p99_ms"] = latencies[latencies.size() * 99 / 100];
      state.counters["over_gap_max_ms"] = latencies.back();
    }
  }
}
BENCHMARK(RepliesUnderTheFrontEnd)
    ->ArgName("window")
    ->Arg(0)
    ->Arg(1)
    ->UseManualTime()
    ->Iterations(1)
    ->Unit(benchmark::kSecond);

}  // namespace

BENCHMARK_MAIN();
