// Figures for the serial component: notice hand-over to the owner's thread,
// transmit throughput and frame delivery delay over a pseudo-terminal, and
// the open of a network port through ser2net on loopback.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <unistd.h>

#include <QCoreApplication>
#include <chrono>
#include <thread>
#include <vector>

#include "Comm.h"
#include "CommSettings.h"
#include "NetServers.h"
#include "NoticeWindow.h"
#include "PortName.h"

namespace {

// Chunks of 2048 bytes posted by a worker, delivered on this thread.
void BM_NoticeDelivery(benchmark::State& state) {
  const int count = static_cast<int>(state.range(0));
  int delivered = 0;
  TNoticeWindow window([&](TNotice&) { ++delivered; });
  for (auto _ : state) {
    delivered = 0;
    std::thread worker([&] {
      for (int i = 0; i < count; ++i) {
        std::unique_ptr<uint8_t[]> copy(new uint8_t[2049]());
        window.Post({notice::kReceiveData, 2048, 0, std::move(copy)});
      }
    });
    while (delivered < count) QCoreApplication::processEvents(QEventLoop::AllEvents);
    worker.join();
  }
  state.SetItemsProcessed(state.iterations() * count);
  state.SetBytesProcessed(state.iterations() * count * 2048);
}
BENCHMARK(BM_NoticeDelivery)->Arg(1000)->UseRealTime();

struct TPtyPair {
  TPtyPair() {
    char name[256] = {};
    openpty(&master, &slave, name, nullptr, nullptr);
    path = name;
    fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK);
  }
  ~TPtyPair() {
    close(master);
    close(slave);
  }
  int master = -1;
  int slave = -1;
  std::string path;
};

// 64 page replies of 261 bytes queued at once and read on the far side.
void BM_TransmitPageReplies(benchmark::State& state) {
  TPtyPair pty;
  TComm comm;
  comm.CommName = pty.path;
  comm.SetBaudRate(57600);
  comm.SetOutx_XonXoffFlow(false);
  comm.StartComm();
  std::vector<uint8_t> reply(261, 0x5A);
  const std::size_t total = 64 * reply.size();
  std::vector<uint8_t> sink(4096);
  for (auto _ : state) {
    for (int i = 0; i < 64; ++i) comm.WriteCommData(reply.data(), 261);
    std::size_t got = 0;
    while (got < total) {
      const ssize_t n = read(pty.master, sink.data(), sink.size());
      if (n > 0) {
        got += static_cast<std::size_t>(n);
        continue;
      }
      pollfd p{pty.master, POLLIN, 0};
      poll(&p, 1, 10);
    }
    QCoreApplication::processEvents(QEventLoop::AllEvents);
  }
  comm.StopComm();
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(total));
}
BENCHMARK(BM_TransmitPageReplies)->UseRealTime();

// From the last byte of a 7-byte frame on the wire to OnReceiveData, for the
// utility's 100 ms interval and for hand-over of each read at once.
void BM_FrameDeliveryDelay(benchmark::State& state) {
  TPtyPair pty;
  TComm comm;
  comm.CommName = pty.path;
  comm.SetBaudRate(57600);
  comm.SetOutx_XonXoffFlow(false);
  comm.SetReadIntervalTimeout(static_cast<uint32_t>(state.range(0)));
  bool arrived = false;
  comm.OnReceiveData = [&](TComm*, const uint8_t*, uint16_t) { arrived = true; };
  comm.StartComm();
  const uint8_t frame[7] = {0x02, 0x50, 0x00, 0x01, 0x03, 0x54, 0x03};
  for (auto _ : state) {
    arrived = false;
    const auto start = std::chrono::steady_clock::now();
    [[maybe_unused]] ssize_t n = write(pty.master, frame, sizeof frame);
    while (!arrived) {
      QCoreApplication::processEvents(QEventLoop::AllEvents);
      std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    state.SetIterationTime(
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
  }
  comm.StopComm();
}
BENCHMARK(BM_FrameDeliveryDelay)
    ->Arg(100)
    ->Arg(0xFFFFFFFF)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(20);

// What an updater does before its start command on a network port: connect,
// negotiate and set the line (as PortRun's connector does), then close.
void BM_NetworkOpen(benchmark::State& state) {
  const bool rfc2217 = state.range(0) != 0;
  TPtyPair pty;
  kv37::test::Ser2Net server({pty.path}, rfc2217);
  TComm settings;
  for (auto _ : state) {
    TOpenResult opened = OpenPort(server.Url(0));
    if (!opened.device) {
      state.SkipWithError(("open failed: " + DescribeOpenFailure(opened)).c_str());
      break;
    }
    opened.device->SetState(BuildCommState(opened.device->GetState(), settings.Properties()));
    state.PauseTiming();
    opened.device.reset();
    // ser2net takes a new client once it has seen the last one go.
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    state.ResumeTiming();
  }
}
BENCHMARK(BM_NetworkOpen)
    ->ArgName("rfc2217")
    ->Arg(1)
    ->Arg(0)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
  qputenv("QT_NO_GLIB", "1");
  QCoreApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
