// The real update path (TComm, the update controller, a QTimer watchdog)
// against the simulated unit on a pseudo-terminal, and an idle open port.
// Prints figures; asserts nothing.
//
//   update_path_bench [--pages N] [--baud B] [--idle-seconds S]
//
// The unit runs on a thread of this process; its CPU time is measured on
// that thread and left out of the utility's figures.

#include <sys/resource.h>

#include <CLI/CLI.hpp>
#include <QCoreApplication>
#include <QTemporaryDir>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "HeadlessUpdate.h"
#include "OsImage.h"
#include "RunSummary.h"
#include "SerialTransport.h"
#include "UnitOnThread.h"
#include "UpdateFrames.h"

namespace {

using namespace std::chrono;
using namespace std::chrono_literals;

// A chunk is handed over this long after its last byte.
constexpr milliseconds kReadInterval{100};
constexpr std::size_t kCompletionLength = 6;

struct Usage {
  nanoseconds cpu{0};
  long wakeUps = 0;  // context switches, voluntary and forced, of every thread
};

Usage ProcessUsage() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  const auto tv = [](const timeval& t) { return seconds(t.tv_sec) + microseconds(t.tv_usec); };
  return {tv(u.ru_utime) + tv(u.ru_stime), u.ru_nvcsw + u.ru_nivcsw};
}

double Ms(nanoseconds d) {
  return duration<double, std::milli>(d).count();
}

std::string LoadAverage() {
  std::ifstream in("/proc/loadavg");
  std::string one, five, fifteen;
  in >> one >> five >> fifteen;
  return one + " " + five + " " + fifteen;
}

kv37::MemoryStream MakeImage(const QTemporaryDir& dir) {
  std::vector<char> bytes(kv37::kOsImageSize);
  std::mt19937 rng(37);
  for (auto& b : bytes) b = static_cast<char>(rng());
  const std::string path = dir.filePath("bench.bin").toStdString();
  std::ofstream(path, std::ios::binary)
      .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  kv37::MemoryStream image;
  kv37::LoadOsImage(image, path);
  return image;
}

int RunUpdate(unsigned pages, unsigned baud) {
  QTemporaryDir dir;
  const kv37::MemoryStream image = MakeImage(dir);

  kv37::sim::SimConfig config;
  config.pages = pages;
  config.expect = image;
  config.baud = baud;
  config.startTimeout = 10s;

  const Usage before = ProcessUsage();
  UnitOnThread unit(std::move(config));
  HeadlessUpdate utility(image, /*record=*/false);
  const auto started = steady_clock::now();
  utility.Start(unit.PeerPath());
  const bool ended = utility.WaitForEnd(seconds(pages) + 60s);
  const auto wall = steady_clock::now() - started;
  if (!ended) unit.Stop();
  const auto& summary = unit.Finish();
  const Usage after = ProcessUsage();

  std::printf("update: %u pages, line %s, result \"%s\"\n", pages,
              baud > 0 ? (std::to_string(baud) + " bit/s paced").c_str() : "unpaced",
              utility.Status().c_str());
  std::printf("  %s\n", kv37::sim::FormatSummary(summary).c_str());
  if (!ended || summary.outcome != kv37::sim::SimOutcome::Success) {
    std::printf("  the update did not succeed; no figures\n");
    return 1;
  }

  std::vector<nanoseconds> overhead;
  for (const auto l : summary.latencies) overhead.push_back(l - kReadInterval);
  if (const auto f = kv37::sim::ComputeLatency(overhead))
    std::printf(
        "  reply latency above the %lld ms read interval: median %.3f ms, p99 %.3f ms, max %.3f "
        "ms\n",
        static_cast<long long>(kReadInterval.count()), Ms(f->median), Ms(f->p99), Ms(f->max));

  // Per page: the request and its reply on the line, and the read interval
  // that hands the request over; then the completion frame.
  const nanoseconds byteTime = baud > 0 ? nanoseconds(10'000'000'000LL / baud) : 0ns;
  const nanoseconds ideal =
      pages * ((kv37::kPageRequestLength + kv37::kPageReplyLength) * byteTime + kReadInterval) +
      kCompletionLength * byteTime;
  std::printf("  total (unit's start command to completion): %.1f ms, ideal %.1f ms, %+.2f %%\n",
              Ms(summary.elapsed), Ms(ideal), 100.0 * (Ms(summary.elapsed) / Ms(ideal) - 1.0));
  std::printf("  wall time (start press to result text): %.1f ms\n", Ms(wall));

  const nanoseconds utilityCpu = (after.cpu - before.cpu) - unit.UnitCpuTime();
  std::printf("  utility CPU: %.1f ms in all, %.1f us per page (unit's thread %.1f ms, left out)\n",
              Ms(utilityCpu), duration<double, std::micro>(utilityCpu).count() / pages,
              Ms(unit.UnitCpuTime()));
  return 0;
}

int RunIdle(unsigned seconds_) {
  const auto line = kv37::sim::SerialTransport::CreatePseudoTerminal();
  kv37::MemoryStream image;
  HeadlessUpdate utility(image, /*record=*/false);
  utility.Comm().CommName = line->PeerPath();
  utility.Comm().StartComm();
  HeadlessUpdate::Pump(500ms);  // let the threads settle

  const Usage before = ProcessUsage();
  const auto started = steady_clock::now();
  HeadlessUpdate::Pump(seconds(seconds_));
  const auto wall = steady_clock::now() - started;
  const Usage after = ProcessUsage();

  const double s = duration<double>(wall).count();
  std::printf("idle open port, %.1f s: %ld wake-ups (%.1f/s), CPU %.3f ms (%.4f %%)\n", s,
              after.wakeUps - before.wakeUps, (after.wakeUps - before.wakeUps) / s,
              Ms(after.cpu - before.cpu), 100.0 * Ms(after.cpu - before.cpu) / (s * 1000.0));
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App cli("The update path against the simulated unit, and an idle open port.");
  unsigned pages = 512;
  unsigned baud = 57600;
  unsigned idleSeconds = 5;
  cli.add_option("--pages", pages, "Pages the unit asks for")->check(CLI::Range(1, 512));
  cli.add_option("--baud", baud, "Line rate the unit paces at, bit/s; 0 for an unpaced line");
  cli.add_option("--idle-seconds", idleSeconds, "Length of the idle measurement; 0 skips it");
  CLI11_PARSE(cli, argc, argv);

  QCoreApplication app(argc, argv);
  std::printf("load average at start: %s (%u CPUs)\n", LoadAverage().c_str(),
              std::thread::hardware_concurrency());
  int status = RunUpdate(pages, baud);
  if (idleSeconds > 0) status |= RunIdle(idleSeconds);
  std::printf("load average at end: %s\n", LoadAverage().c_str());
  return status;
}
