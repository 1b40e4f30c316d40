#pragma once
// Everything the update controller does to the outside world. UpdateDriver
// implements it for every front end (the window, the command-line updater,
// the soak program), carrying out the port and timer effects itself and
// handing the rest to an UpdateView; the core fuzzer and the controller's
// tests implement it directly. Called only on the thread that drives the
// controller.

#include <cstdint>
#include <string>

namespace kv37 {

// How an update ended. The status texts stay what the operator reads; front
// ends that act on the end (record it, choose an exit status) take this.
enum class UpdateEnd {
  Success,         // completion frame '1'
  UnitFailure,     // completion frame '0'
  NoAnswer,        // six silent watchdog ticks
  DelimiterFault,  // a page request with a bad delimiter ("Data Error")
  ChecksumFault,   // a page request with a bad checksum ("CheckSume Error!!")
};

class UpdateEffects {
 public:
  virtual ~UpdateEffects() = default;

  // Queues bytes for the port; the data is copied before the call returns.
  virtual void WriteCommData(const uint8_t* data, uint16_t length) = 0;

  // The status line: shown, moved to a left edge (pixels), given a text.
  virtual void ShowStatus() = 0;
  virtual void MoveStatus(int left) = 0;
  virtual void SetStatusText(const std::string& text) = 0;

  virtual void SetGaugeProgress(int value) = 0;

  // The watchdog timer. Setting the state or interval it already has must do
  // nothing; starting a stopped timer begins a full period.
  virtual void SetTimerEnabled(bool enabled) = 0;
  virtual void SetTimerInterval(int milliseconds) = 0;

  // A frame fault: the window shows a modal box with `text` and ends the
  // program with exit status 0 once it is dismissed. An implementation that
  // returns (tests, the command-line updater) ends only this update; the
  // controller then sends nothing more for the faulty chunk.
  virtual void FatalError(const std::string& text) = 0;

  // The same steps, typed, after the texts that show them. Defaults do nothing.
  // A valid request for `page`, before its reply is written.
  virtual void PageRequested(uint16_t /*page*/) {}
  // A watchdog tick with the count it showed (Time_Out<count>).
  virtual void WatchdogTicked(int32_t /*count*/) {}
  // The update has ended; for a frame fault this comes before FatalError.
  virtual void UpdateEnded(UpdateEnd /*end*/) {}
};

}  // namespace kv37
