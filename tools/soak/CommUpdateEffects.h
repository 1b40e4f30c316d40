#pragma once
// The update controller's effects over a TComm and a QTimer, as the operator
// window wires them, minus the window: status texts are only remembered and a
// frame fault ends the update instead of the program.
//
// Thread affinity: the thread that owns `comm` (its event loop runs the
// timer). `comm` must outlive this object.

#include <QTimer>
#include <functional>
#include <string>

#include "Comm.h"
#include "UpdateEffects.h"

namespace kv37::soak {

class CommUpdateEffects : public UpdateEffects {
 public:
  // `tick` runs on each watchdog period.
  CommUpdateEffects(TComm& comm, std::function<void()> tick);

  void WriteCommData(const uint8_t* data, uint16_t length) override;
  void ShowStatus() override {}
  void MoveStatus(int) override {}
  void SetStatusText(const std::string& text) override { status_ = text; }
  void SetGaugeProgress(int) override {}
  void SetTimerEnabled(bool enabled) override;
  void SetTimerInterval(int milliseconds) override;
  void FatalError(const std::string& text) override;

  const std::string& Status() const { return status_; }
  // The frame fault that ended the update, "" when none.
  const std::string& Fault() const { return fault_; }
  bool WriteRefused() const { return writeRefused_; }

 private:
  TComm& comm_;
  QTimer timer_;
  std::string status_;
  std::string fault_;
  bool writeRefused_ = false;
};

}  // namespace kv37::soak
