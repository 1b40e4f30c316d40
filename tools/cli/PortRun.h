#pragma once
// One unit's update on one port: its own TComm and update driver, reporting
// every step to an EventSink. Several runs share the main
// thread's event loop; one run's end never touches another.
//
// Main thread only (the thread whose event loop delivers the port's events).

#include <QObject>
#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "MemoryStream.h"
#include "PortEvents.h"
#include "UpdateDriver.h"
#include "UpdateView.h"

class QTimer;
class TComm;

namespace kv37::cli {

class FastFraming;

class PortRun : public QObject, public kv37::UpdateView {
 public:
  // `image` and `sink` must outlive the run; `parent` owns it as any QObject.
  // `fast`: answer clean page requests without waiting out the read gap
  // (see FastFraming.h).
  PortRun(std::string port, const MemoryStream& image, EventSink& sink, bool fast = false,
          QObject* parent = nullptr);
  ~PortRun() override;

  // Opens the port (same name resolution and exclusive open as the window)
  // and sends the start command. A port that cannot be opened finishes the
  // run at once with the reason.
  void Start();
  // Ends an unfinished run as interrupted; nothing once it has finished.
  void Interrupt();

  // Valid once the run has finished (onClosed has been called).
  const PortResult& Result() const { return result_; }
  const std::string& Port() const { return port_; }

  // Called from the event loop after a finished run has closed its port.
  std::function<void(PortRun&)> onClosed;

  // kv37::UpdateView
  void ShowStatus() override {}
  void MoveStatus(int) override {}
  void SetStatusText(const std::string& text) override;
  void SetGaugeProgress(int value) override { gauge_ = value; }
  void FatalError(const std::string& text) override;
  void Written(const uint8_t* data, uint16_t length) override;
  void WriteRefused() override;
  void ChunkReceived(const uint8_t* data, uint16_t length) override;
  void ChunkHandled() override { AfterController(true); }
  void TickHandled() override { AfterController(false); }

 private:
  using Clock = std::chrono::steady_clock;
  struct End {
    PortOutcome outcome;
    std::string reason;
  };

  void AfterController(bool chunkHandled);
  void Finish(PortOutcome outcome, const std::string& reason);
  PortEvent Event(PortEventKind kind) const;

  std::string port_;
  const MemoryStream& image_;
  EventSink& sink_;
  TComm* comm_;
  kv37::UpdateDriver* driver_;
  FastFraming* framing_ = nullptr;  // --fast only
  // Started when a chunk leaves the watchdog stopped without ending the
  // update (noise, a completion without result): the run must still end.
  QTimer* idleGuard_;
  Clock::time_point started_{};
  std::vector<bool> served_;  // by page number
  PageCounts pages_;
  unsigned imagePages_;
  int gauge_ = 0;
  uint16_t lastPage_ = 0;
  std::optional<End> pendingEnd_;
  bool finished_ = false;
  PortResult result_;
};

}  // namespace kv37::cli
