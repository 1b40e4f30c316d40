#include "FakeSerialDevice.h"

#include <algorithm>

namespace {

using namespace std::chrono_literals;

constexpr auto kLatencyTimer = 16ms;
constexpr std::size_t kUsbPacket = 62;

}  // namespace

const char* PersonalityName(TPersonality personality) {
  switch (personality) {
    case TPersonality::Uart16550:
      return "Uart16550";
    case TPersonality::UsbAdapter:
      return "UsbAdapter";
    case TPersonality::PseudoTerminal:
      return "PseudoTerminal";
  }
  return "?";
}

TFakeDevice::TFakeDevice(TPersonality personality)
    : fPersonality(personality), fLinesSupported(personality != TPersonality::PseudoTerminal) {
  fOutputFree.Set();
}

void TFakeDevice::Queue(Step step) {
  const Clock::time_point now = Clock::now();
  if (fPersonality != TPersonality::UsbAdapter || step.kind != Step::Kind::Data) {
    fScript.push_back({std::move(step), now});
    return;
  }
  for (std::size_t at = 0; at < step.bytes.size(); at += kUsbPacket) {
    // The next tick of the latency timer after the last packet sent.
    const auto since = std::max(now, fLastRelease + kLatencyTimer) - fEpoch;
    const auto ticks = (since + kLatencyTimer - 1ns) / kLatencyTimer;
    fLastRelease = fEpoch + ticks * kLatencyTimer;
    const auto end = step.bytes.begin() +
                     static_cast<std::ptrdiff_t>(std::min(at + kUsbPacket, step.bytes.size()));
    fScript.push_back(
        {{Step::Kind::Data, {step.bytes.begin() + static_cast<std::ptrdiff_t>(at), end}},
         fLastRelease});
  }
}

bool TFakeDevice::Released() const {
  return !fScript.empty() && fScript.front().releaseAt <= Clock::now();
}

void TFakeDevice::Feed(Step step) {
  std::lock_guard lock(fMutex);
  Queue(std::move(step));
  fReady.Set();
}

void TFakeDevice::FeedAll(std::vector<Step> steps) {
  std::lock_guard lock(fMutex);
  for (Step& step : steps) Queue(std::move(step));
  fReady.Set();
}

void TFakeDevice::Vanish() {
  std::lock_guard lock(fMutex);
  fGone = true;
  fScript.clear();
  fReady.Set();
  fOutputFree.Set();
}

void TFakeDevice::HoldOutput(bool held) {
  std::lock_guard lock(fMutex);
  fHeld = held;
  if (held)
    fOutputFree.Reset();
  else
    fOutputFree.Set();
}

void TFakeDevice::SetLines(const TLineSnapshot& lines) {
  std::lock_guard lock(fMutex);
  fLines = lines;
}

void TFakeDevice::SetLineTotalsSupported(bool supported) {
  std::lock_guard lock(fMutex);
  fLinesSupported = supported;
}

void TFakeDevice::FailWrites() {
  std::lock_guard lock(fMutex);
  fFailWrites = true;
}

std::vector<uint8_t> TFakeDevice::Written() {
  std::lock_guard lock(fMutex);
  return fWritten;
}

std::size_t TFakeDevice::Unread() {
  std::lock_guard lock(fMutex);
  std::size_t n = 0;
  for (const Pending& p : fScript) n += p.step.bytes.size();
  return n;
}

int TFakeDevice::ReadWaits() {
  std::lock_guard lock(fMutex);
  return fReadWaits;
}

int TFakeDevice::Applied() {
  std::lock_guard lock(fMutex);
  return fApplied;
}

bool TFakeDevice::GetModemStatus(uint32_t& bits) {
  std::lock_guard lock(fMutex);
  if (fGone) return false;
  bits = modem_status::kCtsOn | modem_status::kRlsdOn;
  return true;
}

TWaitResult TFakeDevice::WaitReadable(const TEvent& stop, TWaitTime timeout) {
  const Clock::time_point limit =
      timeout < TWaitTime::zero() ? Clock::time_point::max() : Clock::now() + timeout;
  {
    std::lock_guard lock(fMutex);
    ++fReadWaits;
  }
  for (;;) {
    TWaitTime wait = kWaitTimeForever;
    {
      std::lock_guard lock(fMutex);
      fReady.Reset();
      if (Released()) return TWaitResult::Ready;
      if (fGone) return TWaitResult::Hangup;
      Clock::time_point until = limit;
      if (!fScript.empty()) until = std::min(until, fScript.front().releaseAt);
      if (until != Clock::time_point::max())
        wait = std::max(TWaitTime::zero(), std::chrono::ceil<TWaitTime>(until - Clock::now()));
    }
    switch (WaitForEvents({&stop, &fReady}, wait)) {
      case 0:
        return TWaitResult::Stop;
      case kWaitFailed:
        return TWaitResult::Failed;
      default:
        break;
    }
    if (Clock::now() >= limit) {
      std::lock_guard lock(fMutex);
      return Released() ? TWaitResult::Ready : TWaitResult::Timeout;
    }
  }
}

TWaitResult TFakeDevice::WaitWritable(const TEvent& stop, TWaitTime timeout) {
  switch (WaitForEvents({&stop, &fOutputFree}, timeout)) {
    case 0:
      return TWaitResult::Stop;
    case 1: {
      std::lock_guard lock(fMutex);
      return fGone ? TWaitResult::Hangup : TWaitResult::Ready;
    }
    case kWaitTimeout:
      return TWaitResult::Timeout;
    default:
      return TWaitResult::Failed;
  }
}

TIoResult TFakeDevice::Read(uint8_t* buffer, std::size_t size) {
  std::lock_guard lock(fMutex);
  if (!Released()) {
    if (fGone) return {TIoResult::Kind::Failed, 0};
    return {TIoResult::Kind::WouldBlock, 0};
  }
  Pending pending = std::move(fScript.front());
  fScript.pop_front();
  Step& step = pending.step;
  switch (step.kind) {
    case Step::Kind::Error:
      return {TIoResult::Kind::Failed, 0};
    case Step::Kind::EndOfFile:
      return {TIoResult::Kind::Done, 0};
    case Step::Kind::Data:
      break;
  }
  const std::size_t n = std::min(size, step.bytes.size());
  std::copy_n(step.bytes.begin(), n, buffer);
  if (n < step.bytes.size())
    fScript.push_front({{Step::Kind::Data,
                         {step.bytes.begin() + static_cast<std::ptrdiff_t>(n), step.bytes.end()}},
                        pending.releaseAt});
  return {TIoResult::Kind::Done, n};
}

TIoResult TFakeDevice::Write(const uint8_t* data, std::size_t size) {
  std::lock_guard lock(fMutex);
  if (fFailWrites || fGone) return {TIoResult::Kind::Failed, 0};
  if (fHeld) return {TIoResult::Kind::WouldBlock, 0};
  fWritten.insert(fWritten.end(), data, data + size);
  return {TIoResult::Kind::Done, size};
}

TLineProbe TFakeDevice::ReadLineSnapshot(TLineSnapshot& out) {
  std::lock_guard lock(fMutex);
  if (!fLinesSupported) return TLineProbe::Unsupported;
  if (fGone) return TLineProbe::Failed;
  out = fLines;
  return TLineProbe::Ok;
}

bool TFakeDevice::ApplyState(const TDcb&) {
  // Called with the record lock held; fMutex is separate.
  std::lock_guard lock(fMutex);
  ++fApplied;
  return true;
}
