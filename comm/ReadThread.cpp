#include "ReadThread.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "LineEvents.h"

namespace {

// Devices with line-event totals are sampled this often while idle: a few
// wake-ups a second, and none at all for devices without them.
constexpr std::chrono::milliseconds kLinePoll{250};

TWaitTime ToWaitTime(std::chrono::steady_clock::duration d) {
  return std::max(std::chrono::ceil<TWaitTime>(d), TWaitTime::zero());
}

// How the read time-outs cut a chunk that has begun.
struct TChunkLimits {
  bool atOnce = false;  // hand over each read as it comes
  bool useInterval = false;
  bool useTotal = false;
  std::chrono::milliseconds interval{0};
  std::chrono::milliseconds total{0};  // counted from the first byte
};

TChunkLimits ChunkLimits(const TCommTimeouts& t) {
  TChunkLimits l;
  l.atOnce = t.ReadIntervalTimeout == kMaxDword &&
             ((t.ReadTotalTimeoutMultiplier == 0 && t.ReadTotalTimeoutConstant == 0) ||
              t.ReadTotalTimeoutMultiplier == kMaxDword);
  l.useInterval = t.ReadIntervalTimeout != 0 && t.ReadIntervalTimeout != kMaxDword;
  l.interval = std::chrono::milliseconds(t.ReadIntervalTimeout);
  l.total = std::chrono::milliseconds(uint64_t{t.ReadTotalTimeoutMultiplier} * kReadBufferSize +
                                      t.ReadTotalTimeoutConstant);
  l.useTotal = !l.atOnce && l.total.count() != 0;
  return l;
}

}  // namespace

TReadThread::TReadThread(TSerialDevice& device, const TEvent& stop, TNoticeWindow& notices,
                         std::atomic<bool>& hangupPosted)
    : fDevice(device), fStop(stop), fNotices(notices), fHangupPosted(hangupPosted) {}

TReadThread::~TReadThread() {
  Join();
}

void TReadThread::Start() {
  // The baseline is taken before Start returns, so no line event that happens
  // after the port is open goes unreported.
  fProbe = fDevice.ReadLineSnapshot(fLines);
  fThread = std::thread([this] { Execute(); });
}

void TReadThread::Join() {
  if (fThread.joinable()) fThread.join();
}

void TReadThread::Execute() {
  RaiseThreadPriority(2);
  if (fProbe == TLineProbe::Failed) {
    PostHangupCall();
  } else {
    fWatchLines = fProbe == TLineProbe::Ok;
    fNextLineCheck = Clock::now() + kLinePoll;
    uint8_t buffer[kReadBufferSize];
    for (;;) {
      uint32_t length = 0;
      const TReadEnd end = ReadChunk(buffer, length);
      if (end == TReadEnd::Hangup) PostHangupCall();
      if (end != TReadEnd::Chunk) break;
      if (fDevice.GetState().Flags & dcb::kNull) {
        length = static_cast<uint32_t>(std::remove(buffer, buffer + length, 0) - buffer);
        if (length == 0) continue;
      }
      // A device that vanished right after the chunk still gets it delivered:
      // the hang-up follows from the next ReadChunk.
      if (!CheckLineEvents(modem_event::kCharReceived)) break;
      if (!HandleReadData(buffer, length)) break;
    }
  }
  fDevice.Purge(purge::kRxAbort | purge::kRxClear);
}

// One read: waits without limit for the first byte (a read that would complete
// empty is simply issued again), then completes when the gap after a byte
// exceeds the interval time-out, the total time-out (counted from the first
// byte) expires, or the buffer is full.
TReadThread::TReadEnd TReadThread::ReadChunk(uint8_t* buffer, uint32_t& length) {
  length = 0;
  if (fDeviceGone) return TReadEnd::Hangup;

  // Taken when the first byte is in, so a change made while waiting counts.
  TChunkLimits limits;
  Clock::time_point lastByte, deadline;
  for (;;) {
    const Clock::time_point now = Clock::now();
    TWaitTime timeout = kWaitTimeForever;
    if (length > 0) {
      Clock::duration left = Clock::duration::max();
      // "Exceeds": the read ends only once the gap is longer than the interval.
      if (limits.useInterval)
        left = std::min(left, lastByte + limits.interval + std::chrono::microseconds(1) - now);
      if (limits.useTotal) left = std::min(left, deadline - now);
      if (left <= Clock::duration::zero()) return TReadEnd::Chunk;
      if (left != Clock::duration::max()) timeout = ToWaitTime(left);
    }
    if (fWatchLines) {
      if (now >= fNextLineCheck) {
        if (!CheckLineEvents(0)) return TReadEnd::Quit;
        if (fDeviceGone) return length > 0 ? TReadEnd::Chunk : TReadEnd::Hangup;
        continue;
      }
      const TWaitTime untilCheck = ToWaitTime(fNextLineCheck - now);
      timeout = timeout < TWaitTime::zero() ? untilCheck : std::min(timeout, untilCheck);
    }

    switch (fDevice.WaitReadable(fStop, timeout)) {
      case TWaitResult::Stop:
        return TReadEnd::Stop;
      case TWaitResult::Timeout:
        continue;
      case TWaitResult::Hangup:
      case TWaitResult::Failed:
        break;
      case TWaitResult::Ready: {
        const TIoResult r = fDevice.Read(buffer + length, kReadBufferSize - length);
        if (r.kind == TIoResult::Kind::WouldBlock) continue;
        if (r.kind == TIoResult::Kind::Closed) return TReadEnd::Quit;
        if (r.kind == TIoResult::Kind::Done && r.count > 0) {
          const Clock::time_point at = Clock::now();
          if (length == 0) {
            limits = ChunkLimits(fDevice.GetTimeouts());
            deadline = at + limits.total;
          }
          length += static_cast<uint32_t>(r.count);
          lastByte = at;
          if (length == kReadBufferSize || limits.atOnce) return TReadEnd::Chunk;
          continue;
        }
        // Ready but nothing to read, or an I/O error: the device has gone.
        break;
      }
    }
    // Hand over what arrived before the device went; the hang-up follows.
    fDeviceGone = true;
    return length > 0 ? TReadEnd::Chunk : TReadEnd::Hangup;
  }
}

bool TReadThread::CheckLineEvents(uint32_t modemBits) {
  if (fWatchLines && !fDeviceGone) {
    fNextLineCheck = Clock::now() + kLinePoll;
    TLineSnapshot now;
    switch (fDevice.ReadLineSnapshot(now)) {
      case TLineProbe::Failed:
        // A hung-up terminal answers EIO here before a read notices; bytes
        // already read must still reach the owner, so only mark the loss.
        fDeviceGone = true;
        break;
      case TLineProbe::Unsupported:
        fWatchLines = false;
        break;
      case TLineProbe::Ok: {
        const TLineChange change = DiffLineSnapshot(fLines, now);
        fLines = now;
        if (change.errors != 0 && !ReceiveError(change.errors)) return false;
        modemBits |= change.modemEvents;
        break;
      }
    }
  }
  return modemBits == 0 || ModemStateChange(modemBits);
}

bool TReadThread::HandleReadData(const uint8_t* buffer, uint32_t length) {
  if (length == 0) return false;
  // Zero-filled, so the byte after the chunk is 0.
  std::unique_ptr<uint8_t[]> copy(new (std::nothrow) uint8_t[length + 1]());
  if (!copy) {
    PostHangupCall();
    return false;
  }
  std::memcpy(copy.get(), buffer, length);
  return ReceiveData(std::move(copy), length);
}

bool TReadThread::ReceiveData(std::unique_ptr<uint8_t[]> copy, uint32_t length) {
  if (fNotices.Post({notice::kReceiveData, length, 0, std::move(copy)})) return true;
  PostHangupCall();
  return false;
}

bool TReadThread::ReceiveError(uint32_t flags) {
  if (fNotices.Post({notice::kReceiveError, 0, flags, nullptr})) return true;
  PostHangupCall();
  return false;
}

bool TReadThread::ModemStateChange(uint32_t bits) {
  if (fNotices.Post({notice::kModemEvent, 0, bits, nullptr})) return true;
  PostHangupCall();
  return false;
}

void TReadThread::PostHangupCall() {
  // One hang-up per open port, whichever thread notices first.
  if (!fHangupPosted.exchange(true)) fNotices.Post({notice::kHangup, 0, 0, nullptr});
}
