#pragma once
// One unit's update on one port: its own TComm and update driver, reporting
// every step to an EventSink under its slot's name. A run is made when its
// unit's update starts and let go once it has ended and closed its port.
// Several runs share the main thread's event loop; one run's end never
// touches another.
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
#include "SerialTrace.h"
#include "UpdateDriver.h"
#include "UpdateView.h"

class QTimer;
class TComm;

namespace kv37 {

class FastFraming;

struct RunOptions {
  // Answer clean page requests without waiting out the read gap (see
  // FastFraming.h).
  bool fast = false;
  // For fixtures whose adapter stays plugged while units are swapped: the
  // start command is sent again every few seconds until the unit's first
  // page request, since one sent before the unit was powered is lost; until
  // then silence ends nothing.
  bool waitForUnit = false;
};

class PortRun : public QObject, public kv37::UpdateView {
 public:
  // `image` and `sink` must outlive the run; `parent` owns it as any QObject.
  // `slot` names the run in its events (the port itself for `update`).
  PortRun(std::string slot, std::string port, const MemoryStream& image, EventSink& sink,
          RunOptions options = {}, QObject* parent = nullptr);
  ~PortRun() override;

  // Opens the port (same name resolution and exclusive open as the window)
  // and sends the start command. A port that cannot be opened finishes the
  // run at once with the reason.
  void Start();
  // Ends an unfinished run as interrupted; nothing once it has finished.
  // Ends the run as interrupted by `signal` (its exit status 128 + signal).
  void Interrupt(int signal);

  // Valid once the run has finished (onClosed has been called).
  const PortResult& Result() const { return result_; }
  const std::string& Port() const { return port_; }
  const std::string& Slot() const { return slot_; }

  // Called from the event loop after a finished run has closed its port.
  std::function<void(PortRun&)> onClosed;

  // kv37::UpdateView
  // The operator's texts and gauge are not read: the typed calls below say
  // all the run needs.
  void ShowStatus() override {}
  void MoveStatus(int) override {}
  void SetStatusText(const std::string&) override {}
  void SetGaugeProgress(int) override {}
  void FatalError(const std::string&) override {}
  void PageRequested(uint16_t page) override;
  void WatchdogTicked(int32_t count) override;
  void UpdateEnded(UpdateEnd end) override;
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

  void Opened();
  // Why the port was lost, in words: `server` after a network server's
  // name, else `port` with the adapter's likely causes.
  std::string LostText(const std::string& server, const std::string& port) const;
  void AfterController(bool chunkHandled);
  void Finish(PortOutcome outcome, const std::string& reason);
  PortEvent Event(PortEventKind kind) const;
  std::chrono::milliseconds Elapsed() const;

  std::string slot_;
  std::string port_;
  RunOptions options_;
  std::optional<TUsbIdentity> usb_;  // the adapter, as found at the start
  bool network_ = false;             // a network serial port: its server can be lost
  const MemoryStream& image_;
  EventSink& sink_;
  TComm* comm_;
  kv37::UpdateDriver* driver_;
  FastFraming* framing_ = nullptr;  // --fast only
  // Started when a chunk leaves the watchdog stopped without ending the
  // update (noise, a completion without result): the run must still end.
  QTimer* idleGuard_;
  QTimer* repeatStart_ = nullptr;  // waitForUnit only
  bool unitAnswered_ = false;      // a page request has come
  Clock::time_point started_{};
  std::vector<bool> served_;  // by page number
  PageCounts pages_;
  unsigned imagePages_;
  uint16_t lastPage_ = 0;
  std::optional<End> pendingEnd_;
  bool finished_ = false;
  int signal_ = 0;  // the signal that interrupted the run
  PortResult result_;
  std::string unit_;   // the unit's identity
  SerialTrace trace_;  // kept for a failure's record
};

}  // namespace kv37
