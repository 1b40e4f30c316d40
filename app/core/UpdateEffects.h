#pragma once
// Everything the update controller does to the outside world. The operator
// window implements it with its port, status label, gauge and timer; the
// command-line updater and the tests implement it their own way.
// Called only on the thread that drives the controller.

#include <cstdint>
#include <string>

namespace kv37 {

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
};

}  // namespace kv37
