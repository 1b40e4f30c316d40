#include "WriteThread.h"

#include <algorithm>
#include <chrono>

TWriteThread::TWriteThread(TSerialDevice& device, const TEvent& stop, TNoticeWindow& notices,
                           std::atomic<bool>& idle, std::atomic<bool>& hangupPosted)
    : fDevice(device), fStop(stop), fNotices(notices), fIdle(idle), fHangupPosted(hangupPosted) {}

TWriteThread::~TWriteThread() {
  Join();
}

void TWriteThread::Start() {
  fThread = std::thread([this] { Execute(); });
}

void TWriteThread::Join() {
  if (fThread.joinable()) fThread.join();
}

bool TWriteThread::Post(std::unique_ptr<uint8_t[]> block, uint16_t length) {
  std::lock_guard lock(fMutex);
  if (fClosed) return false;
  fQueue.push_back({std::move(block), length});
  // Cleared together with the push, so the flag never reads true while a block
  // is waiting.
  fIdle = false;
  fInput.Set();
  return true;
}

void TWriteThread::Execute() {
  RaiseThreadPriority(1);
  bool noticePending = true;
  for (;;) {
    TBlock block;
    {
      std::lock_guard lock(fMutex);
      if (fQueue.empty()) {
        fInput.Reset();
        fIdle = true;
      } else {
        block = std::move(fQueue.front());
        fQueue.pop_front();
      }
    }
    if (!block.data) {
      if (noticePending && !fNotices.Post({notice::kSendDataEmpty, 0, 0, nullptr})) {
        PostHangupCall();
        break;
      }
      noticePending = false;
      const int w = WaitForEvents({&fStop, &fInput}, kWaitTimeForever);
      if (w == 0) break;
      if (w == 1 || w == kWaitTimeout) continue;
      PostHangupCall();
      break;
    }
    if (fStop.IsSet()) break;
    if (!HandleWriteData(block.data.get(), block.length)) break;
    noticePending = true;
  }

  fDevice.Purge(purge::kTxAbort | purge::kTxClear);
  std::lock_guard lock(fMutex);
  fClosed = true;
  fQueue.clear();
  fIdle = true;
}

// Each write request is bounded by the write totals; one that runs out
// completes short and the rest of the block goes out in a new request.
bool TWriteThread::HandleWriteData(const uint8_t* data, uint32_t length) {
  using Clock = std::chrono::steady_clock;
  const TCommTimeouts t = fDevice.GetTimeouts();
  uint32_t offset = 0;
  uint32_t remaining = length;
  while (remaining > 0) {
    const std::chrono::milliseconds total(uint64_t{t.WriteTotalTimeoutMultiplier} * remaining +
                                          t.WriteTotalTimeoutConstant);
    const Clock::time_point deadline = Clock::now() + total;
    for (;;) {
      // The stop event wins over a port that is ready for more.
      if (fStop.IsSet()) return false;
      const TIoResult r = fDevice.Write(data + offset, remaining);
      if (r.kind == TIoResult::Kind::Closed) return false;
      if (r.kind == TIoResult::Kind::Failed) {
        PostHangupCall();
        return false;
      }
      if (r.kind == TIoResult::Kind::Done && r.count > 0) {
        offset += static_cast<uint32_t>(r.count);
        remaining -= static_cast<uint32_t>(r.count);
        if (remaining == 0) return true;
        continue;
      }
      TWaitTime timeout = kWaitTimeForever;
      if (total.count() != 0) {
        const auto left = std::chrono::ceil<TWaitTime>(deadline - Clock::now());
        if (left.count() <= 0) break;
        timeout = left;
      }
      switch (fDevice.WaitWritable(fStop, timeout)) {
        case TWaitResult::Stop:
          return false;
        case TWaitResult::Ready:
        case TWaitResult::Timeout:
          continue;
        case TWaitResult::Hangup:
        case TWaitResult::Failed:
          PostHangupCall();
          return false;
      }
    }
  }
  return true;
}

void TWriteThread::PostHangupCall() {
  if (!fHangupPosted.exchange(true)) fNotices.Post({notice::kHangup, 0, 0, nullptr});
}
