#pragma once
// Serves an OS update: sends the start command, answers each page request
// with the page it names and runs the one-second watchdog that gives up after
// six silent ticks. The unit leads; nothing is remembered between chunks but
// the watchdog count.
//
// Not thread-safe: every call comes from the thread that owns the effects
// (the window thread in the utility).

#include <cstdint>
#include <string>

#include "MemoryStream.h"
#include "UpdateEffects.h"

namespace kv37 {

// Status texts and the left edges (pixels) they are shown at.
inline constexpr int kPageLeft = 160;
inline constexpr int kTimeOutLeft = 144;
inline constexpr int kResultLeft = 80;
inline constexpr int kWatchdogIntervalMs = 1000;
inline constexpr int kWatchdogTickLimit = 5;  // the tick that finds the count above this gives up
inline constexpr int kGaugeMax = 511;

inline constexpr const char* kTextUpdateFail = "Update Fail,retry again!!";
inline constexpr const char* kTextCompletionFail = "Error!! please retry again";
inline constexpr const char* kTextSuccess = "OS Update Success!!";
inline constexpr const char* kTextDataError = "Data Error";
inline constexpr const char* kTextChecksumError = "CheckSume Error!!";

// "PAGE" + at least three upper-case hexadecimal digits (PAGE000 .. PAGE1FF).
std::string PageText(uint16_t page);
// "Time_Out" + the count in decimal.
std::string TimeOutText(int32_t count);

class UpdateController {
 public:
  // Both references must outlive the controller; `image` is only read.
  UpdateController(const MemoryStream& image, UpdateEffects& effects);

  // Start button: start command, 1000 ms interval, timer started.
  void KV37_ModeClick();
  // One received chunk, taken as exactly one frame. `buffer` is only read
  // during the call.
  void Comm1ReceiveData(const uint8_t* buffer, uint16_t length);
  // One watchdog tick.
  void Timer1Timer();

  int32_t WatchdogCount() const { return watchdogCount_; }

 private:
  const MemoryStream& image_;
  UpdateEffects& effects_;
  int32_t watchdogCount_ = 0;
};

}  // namespace kv37
