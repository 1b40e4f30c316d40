#pragma once
// The one path from a port to the update controller: hooks the port's
// received chunks and a watchdog QTimer to the controller, and carries out the
// controller's timer and write effects itself. Everything it shows goes to an
// UpdateView. The operator window, the command-line updater, the soak program,
// the end-to-end tests and the update-path benchmark all drive updates
// through it.
//
// Thread affinity: the thread that owns `comm`, whose event loop delivers the
// chunks and runs the watchdog. Ownership: `comm`, `image` and `view` are
// borrowed and must outlive the driver; the watchdog is the driver's own
// child. The driver takes `comm`'s OnReceiveData while it lives.

#include <QObject>
#include <cstdint>
#include <functional>

#include "MemoryStream.h"
#include "UpdateController.h"
#include "UpdateEffects.h"
#include "UpdateView.h"

class QTimer;
class TComm;

namespace kv37 {

class UpdateDriver : public QObject, private UpdateEffects {
 public:
  UpdateDriver(TComm& comm, const MemoryStream& image, UpdateView& view, QObject* parent = nullptr);
  // Hands OnReceiveData back unassigned.
  ~UpdateDriver() override;
  UpdateDriver(const UpdateDriver&) = delete;
  UpdateDriver& operator=(const UpdateDriver&) = delete;

  // Runs each handler the port or the watchdog calls; the window routes them
  // through its standard error display. By default they run as they are.
  using Guard = std::function<void(const std::function<void()>&)>;
  void SetGuard(Guard guard) { guard_ = std::move(guard); }

  // The start button: start command, 1000 ms interval, watchdog started.
  void KV37_ModeClick();
  // What the port's chunks and the watchdog's ticks call; public so tests
  // can hand a chunk or a tick over directly.
  void Comm1ReceiveData(const uint8_t* buffer, uint16_t length);
  void Timer1Timer();

  // Ends this update for good: the watchdog stops and later chunks, ticks
  // and start presses are ignored (ChunkReceived still reports chunks).
  void Halt();
  bool Halted() const { return halted_; }

  // Created stopped, interval 0; the front end may name it, give it a design
  // interval or a precise timer type before the first start.
  QTimer* Watchdog() const { return watchdog_; }
  int32_t WatchdogCount() const { return controller_.WatchdogCount(); }

 private:
  // UpdateEffects
  void WriteCommData(const uint8_t* data, uint16_t length) override;
  void ShowStatus() override;
  void MoveStatus(int left) override;
  void SetStatusText(const std::string& text) override;
  void SetGaugeProgress(int value) override;
  void SetTimerEnabled(bool enabled) override;
  void SetTimerInterval(int milliseconds) override;
  void FatalError(const std::string& text) override;
  void PageRequested(uint16_t page) override { view_.PageRequested(page); }
  void WatchdogTicked(int32_t count) override { view_.WatchdogTicked(count); }
  void UpdateEnded(UpdateEnd end) override { view_.UpdateEnded(end); }

  void Run(const std::function<void()>& handler);

  TComm& comm_;
  UpdateView& view_;
  UpdateController controller_;
  QTimer* watchdog_;
  Guard guard_;
  bool halted_ = false;
};

}  // namespace kv37
