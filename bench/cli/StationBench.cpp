// The station: how soon after a path slot's device appears its unit gets the
// start command, N slots updating at once against one, with the station's
// own CPU time, 8 slots' reply latency while another writer holds the unit
// database for 3 s, against the same without, and 32 slots' reply latency
// under the terminal board against the same under the station window, with
// the window thread's CPU time; and 8 slots' replies while a backlog of rows
// drains to a records server, with the rows per second it drains at. Units are simulated on
// pseudo-terminals, paced at 57600 bit/s; a slot's path is a link made when its unit "is plugged
// in".
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
#include <functional>
#include <map>
#include <memory>
#include <sstream>
#include <thread>
#include <vector>

#include "OsImage.h"
#include "PgServer.h"
#include "RecordsServer.h"
#include "SerialTransport.h"
#include "SimulatedUnit.h"
#include "UnitFill.h"

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
  // `stationLines` go into [station]; `before` runs on the folder before the
  // station starts.
  explicit StationUnderTest(int slotCount, FrontEnd front = FrontEnd::Board,
                            const std::string& stationLines = "",
                            const std::function<void(const fs::path&)>& before = {})
      : dir_(fs::temp_directory_path() / "kv37-station-bench") {
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    if (before) before(dir_);
    std::ofstream(dir_ / "os.bin", std::ios::binary) << std::string(Pages() * 256, '\x5A');
    std::ofstream file(dir_ / "station.ini");
    file << "[station]\nimage = os.bin\ndatabase = units.db\nsettle = 0\n" << stationLines;
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

// Units paced at 57600 bit/s on pseudo-terminals, one per slot; `configure`
// adjusts unit i's settings. Plug() starts them, each plugged into its slot.
class PacedUnits {
 public:
  explicit PacedUnits(int count, const std::function<void(int, sim::SimConfig&)>& configure = {})
      : summaries_(static_cast<std::size_t>(count)) {
    for (int i = 0; i < count; ++i) {
      lines_.push_back(sim::SerialTransport::CreatePseudoTerminal());
      sim::SimConfig config;
      config.pages = Pages();
      config.baud = 57600;
      config.startTimeout = std::chrono::milliseconds(30000);
      if (configure) configure(i, config);
      units_.push_back(std::make_unique<sim::SimulatedUnit>(*lines_.back(), std::move(config)));
    }
  }
  // `ended` is called on each unit's thread as it ends.
  void Plug(const StationUnderTest& station, const std::function<void()>& ended = {}) {
    for (std::size_t i = 0; i < units_.size(); ++i) {
      threads_.emplace_back([this, i, ended] {
        summaries_[i] = units_[i]->Run();
        if (ended) ended();
      });
      fs::create_symlink(lines_[i]->PeerPath(), station.Link(static_cast<int>(i)));
    }
  }
  void Join() {
    for (std::thread& t : threads_) t.join();
    threads_.clear();
  }
  int Passed() const {
    return static_cast<int>(std::count_if(summaries_.begin(), summaries_.end(), [](const auto& s) {
      return s.outcome == sim::SimOutcome::Success;
    }));
  }
  // Every reply's latency less `less`, in ms, sorted.
  std::vector<double> Latencies(double less = 0) const {
    std::vector<double> all;
    for (const sim::RunSummary& summary : summaries_)
      for (const auto latency : summary.latencies)
        all.push_back(std::chrono::duration<double, std::milli>(latency).count() - less);
    std::sort(all.begin(), all.end());
    return all;
  }

 private:
  std::vector<std::unique_ptr<sim::SerialTransport>> lines_;
  std::vector<std::unique_ptr<sim::SimulatedUnit>> units_;
  std::vector<sim::RunSummary> summaries_;
  std::vector<std::thread> threads_;
};

// The median and the largest of `latencies` (sorted, ms) as `name`_median_ms
// and `name`_max_ms.
void LatencyCounters(benchmark::State& state, const std::vector<double>& latencies,
                     const std::string& name) {
  if (latencies.empty()) return;
  state.counters[name + "_median_ms"] = latencies[latencies.size() / 2];
  state.counters[name + "_max_ms"] = latencies.back();
}

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
    PacedUnits units(slotCount, [&](int, sim::SimConfig& config) {
      config.expect = image;
      config.writeSize = writeSize;
    });
    const double cpuBefore = station.CpuSeconds();
    const auto began = Clock::now();
    units.Plug(station);
    units.Join();
    const double wall = std::chrono::duration<double>(Clock::now() - began).count();
    state.SetIterationTime(wall);
    state.counters["units_passed"] = units.Passed();
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
    std::atomic<bool> firstEnded{false};
    PacedUnits units(kSlots, [](int i, sim::SimConfig& config) {
      config.pages = std::min(512u, Pages() / 4 * static_cast<unsigned>(i + 1));
    });
    units.Plug(station, [&] { firstEnded = true; });
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
    units.Join();
    if (holder.joinable()) holder.join();
    const std::vector<double> latencies = units.Latencies();
    state.SetIterationTime(latencies.empty() ? 0 : latencies.back() / 1000.0);
    state.counters["units_passed"] = units.Passed();
    LatencyCounters(state, latencies, "latency");
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
    PacedUnits units(kSlots);
    const double cpuBefore = station.CpuSeconds(), mainBefore = station.CpuSeconds(true);
    const auto began = Clock::now();
    units.Plug(station);
    units.Join();
    const double wall = std::chrono::duration<double>(Clock::now() - began).count();
    const std::vector<double> latencies = units.Latencies(100.0);
    state.SetIterationTime(wall);
    state.counters["units_passed"] = units.Passed();
    state.counters["station_cpu_s"] = station.CpuSeconds() - cpuBefore;
    state.counters["main_thread_cpu_s"] = station.CpuSeconds(true) - mainBefore;
    LatencyCounters(state, latencies, "over_gap");
    if (!latencies.empty())
      state.counters["over_gap_p99_ms"] = latencies[latencies.size() * 99 / 100];
  }
}
BENCHMARK(RepliesUnderTheFrontEnd)
    ->ArgName("window")
    ->Arg(0)
    ->Arg(1)
    ->UseManualTime()
    ->Iterations(1)
    ->Unit(benchmark::kSecond);

// 8 units updating while the station forwards a backlog of 10 000 rows to
// a records server on loopback (PostgreSQL 15 of the bench's own), against
// the same 8 units with nothing to forward: every reply's latency above the
// 100 ms read gap, and the rows per second the backlog drains at.
void RepliesWhileABacklogDrains(benchmark::State& state) {
  constexpr int kSlots = 8, kBacklog = 10000;
  const bool draining = state.range(0) != 0;
  for (auto _ : state) {
    test::PgServer server;
    server.Sql(RecordsServer::SchemaSql());
    // The server comes up once the units are updating, so the backlog
    // drains while they are; it has drained once the server holds it all.
    server.Stop();
    std::atomic<bool> done{false};
    Clock::time_point firstAt{}, drainedAt{};
    int firstCount = 0;
    std::thread watch([&] {
      while (!done) {
        try {
          const int count = std::stoi(server.Column("SELECT count(*) FROM kv37_units")[0]);
          if (count > 0 && firstAt == Clock::time_point{}) {
            firstAt = Clock::now();
            firstCount = count;
          }
          if (count >= kBacklog && drainedAt == Clock::time_point{}) drainedAt = Clock::now();
        } catch (const std::exception&) {
          // Not up yet.
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
      }
    });
    StationUnderTest station(kSlots, FrontEnd::Board, "forward = " + server.Uri() + "\n",
                             [&](const fs::path& dir) {
                               if (draining)
                                 test::FillUnits((dir / "units.db").string(), kBacklog, "bench");
                             });
    const auto began = Clock::now();
    PacedUnits units(kSlots);
    units.Plug(station);
    std::this_thread::sleep_for(std::chrono::seconds(1));
    server.Start();
    units.Join();
    done = true;
    watch.join();
    const double drainSeconds = draining && drainedAt != Clock::time_point{} && drainedAt > firstAt
                                    ? std::chrono::duration<double>(drainedAt - firstAt).count()
                                    : 0;
    const std::vector<double> latencies = units.Latencies(100.0);
    state.SetIterationTime(std::chrono::duration<double>(Clock::now() - began).count());
    state.counters["units_passed"] = units.Passed();
    if (draining && drainSeconds > 0)
      state.counters["backlog_rows_per_s"] = (kBacklog - firstCount) / drainSeconds;
    LatencyCounters(state, latencies, "over_gap");
  }
}
BENCHMARK(RepliesWhileABacklogDrains)
    ->ArgName("backlog")
    ->Arg(0)
    ->Arg(1)
    ->UseManualTime()
    ->Iterations(1)
    ->Unit(benchmark::kSecond);

}  // namespace

BENCHMARK_MAIN();
