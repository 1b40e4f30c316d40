#include "UnitOnThread.h"

#include <time.h>

namespace {

std::chrono::nanoseconds ThreadCpuTime() {
  timespec ts{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
  return std::chrono::seconds(ts.tv_sec) + std::chrono::nanoseconds(ts.tv_nsec);
}

}  // namespace

UnitOnThread::UnitOnThread(kv37::sim::SimConfig config)
    : line_(kv37::sim::SerialTransport::CreatePseudoTerminal()),
      unit_(*line_, std::move(config)),
      thread_([this] {
        summary_ = unit_.Run();
        cpu_ = ThreadCpuTime();
      }) {}

UnitOnThread::~UnitOnThread() {
  if (thread_.joinable()) {
    Stop();
    thread_.join();
  }
}

const kv37::sim::RunSummary& UnitOnThread::Finish() {
  if (thread_.joinable()) thread_.join();
  return summary_;
}
