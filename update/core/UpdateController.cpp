#include "UpdateController.h"

#include <cstdio>
#include <cstring>

#include "UpdateFrames.h"

namespace kv37 {

std::string PageText(uint16_t page) {
  char text[16];
  std::snprintf(text, sizeof text, "PAGE%03X", static_cast<unsigned>(page));
  return text;
}

std::string TimeOutText(int32_t count) {
  return "Time_Out" + std::to_string(count);
}

UpdateController::UpdateController(const MemoryStream& image, UpdateEffects& effects)
    : image_(image), effects_(effects) {}

void UpdateController::KV37_ModeClick() {
  effects_.WriteCommData(kStartCommand.data(), kStartCommand.size());
  effects_.SetTimerInterval(kWatchdogIntervalMs);
  effects_.SetTimerEnabled(true);
}

void UpdateController::Comm1ReceiveData(const uint8_t* buffer, uint16_t length) {
  effects_.ShowStatus();
  effects_.SetTimerEnabled(false);
  watchdogCount_ = 0;

  // A chunk that does not fit the receive area is no frame of this link:
  // only the common steps above apply, and nothing is copied past the area.
  if (length > kReceiveAreaSize) return;
  uint8_t area[kReceiveAreaSize];
  if (length > 0) std::memcpy(area, buffer, length);
  const ChunkClass chunk = ClassifyChunk(area, length);

  switch (chunk.kind) {
    case ChunkKind::CompletionFailure:
      effects_.MoveStatus(kResultLeft);
      effects_.SetStatusText(kTextCompletionFail);
      effects_.SetTimerEnabled(false);
      effects_.UpdateEnded(UpdateEnd::UnitFailure);
      return;
    case ChunkKind::CompletionSuccess:
      effects_.MoveStatus(kResultLeft);
      effects_.SetStatusText(kTextSuccess);
      effects_.SetGaugeProgress(kGaugeMax);
      effects_.SetTimerEnabled(false);
      effects_.UpdateEnded(UpdateEnd::Success);
      return;
    case ChunkKind::CompletionNoResult:
    case ChunkKind::NotAFrame:
      return;
    case ChunkKind::DelimiterFault:
      effects_.UpdateEnded(UpdateEnd::DelimiterFault);
      effects_.FatalError(kTextDataError);
      return;
    case ChunkKind::ChecksumFault:
      effects_.UpdateEnded(UpdateEnd::ChecksumFault);
      effects_.FatalError(kTextChecksumError);
      return;
    case ChunkKind::PageRequest:
      break;
  }

  effects_.MoveStatus(kPageLeft);
  effects_.SetStatusText(PageText(chunk.page));
  effects_.SetGaugeProgress(chunk.page);
  effects_.PageRequested(chunk.page);
  PageReply reply;
  BuildPageReply(image_, chunk.page, reply);
  effects_.WriteCommData(reply.data(), static_cast<uint16_t>(reply.size()));
  effects_.SetTimerEnabled(true);
}

void UpdateController::Timer1Timer() {
  effects_.ShowStatus();
  effects_.MoveStatus(kTimeOutLeft);
  effects_.SetStatusText(TimeOutText(watchdogCount_));
  effects_.WatchdogTicked(watchdogCount_);
  ++watchdogCount_;
  if (watchdogCount_ > kWatchdogTickLimit) {
    effects_.MoveStatus(kResultLeft);
    effects_.SetStatusText(kTextUpdateFail);
    effects_.SetTimerEnabled(false);
    watchdogCount_ = 0;
    effects_.UpdateEnded(UpdateEnd::NoAnswer);
  }
}

}  // namespace kv37
