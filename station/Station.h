#pragma once
// The station: a fixture's slots, each waiting for its adapter. When a slot's
// adapter arrives, the station waits the settle time and updates the unit on
// it; the result stays on the slot until the adapter leaves, and its next
// arrival is the next unit. Every finished unit is recorded; while the
// database cannot take a row, no new unit is started. An adapter that
// belongs to no slot is told once and left alone. A front end may have
// failures held: a failed slot then keeps its result after the adapter
// leaves and starts nothing until the operator acknowledges it, so a failed
// unit is never taken for the next one.
//
// Main thread only; everything runs from its event loop.

#include <QObject>
#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "AdapterWatch.h"
#include "MemoryStream.h"
#include "PortEvents.h"
#include "StationClock.h"
#include "StationFile.h"
#include "StationListener.h"
#include "UnitRecorder.h"

class QTimer;

namespace kv37 {

class PortRun;

enum class SlotState {
  Waiting,   // no adapter
  Settling,  // the adapter has arrived; the unit starts after the settle time
  Held,      // the adapter is there, but the database must take a row first
  Updating,
  Passed,  // the last unit succeeded; waiting for its adapter to leave
  Failed,  // the last unit did not; `text` says why
};

struct SlotView {
  SlotSpec spec;
  SlotState state = SlotState::Waiting;
  std::string node;                 // the adapter's device (or the slot's path) while present
  std::optional<TUsbIdentity> usb;  // the adapter's identity while present
  std::string text;                 // the unit's state or the failure's reason
  std::optional<uint16_t> page;     // the page last served
  int percent = 0;
  unsigned pages = 0;                    // distinct pages served to the current unit
  std::chrono::milliseconds elapsed{0};  // of the current unit
  unsigned passed = 0, failed = 0;       // units since the station started
  bool held = false;  // a held failure not yet acknowledged: the slot starts no unit
};

// The state as every front end words it: "waiting", "settling", "held",
// "updating", "success", "failed".
const char* SlotStateWord(SlotState state);

// Why two slots of `spec` lead to one adapter ("slots A1 and A3 both name
// serial FT1234AB"), or "" when none do. A path slot is compared by the
// device it leads to now, and by that device's USB identity.
std::string SlotsSharingAnAdapter(const StationSpec& spec);

class Station : public QObject, private EventSink {
 public:
  // `image`, `recorder`, `watch` and `clock` must outlive the station, which
  // takes over the watch's callbacks.
  Station(StationSpec spec, const MemoryStream& image, UnitRecorder& recorder, AdapterWatch& watch,
          StationClock& clock, QObject* parent = nullptr);
  ~Station() override;

  // `listener` hears of every slot, unit and note from now on; it must
  // outlive the station.
  void AddListener(StationListener& listener) { listeners_.push_back(&listener); }
  // `listener` hears nothing more.
  void RemoveListener(StationListener& listener) { std::erase(listeners_, &listener); }

  // Starts watching the slots' adapters. Throws std::runtime_error when the
  // device events cannot be watched.
  void Start();
  // Ends every unit in progress as interrupted by `signal`, starts no more,
  // and tells the listeners from the event loop once every port is closed.
  void Stop(int signal);

  // From now on a failed unit's slot is held until Acknowledge(); off by
  // default.
  void HoldFailures(bool hold) { holdFailures_ = hold; }
  // The operator has seen `slot`'s failure: an adapter that came since is
  // the next unit, the failed one still there keeps its result until it
  // leaves. Nothing when the slot holds no failure.
  void Acknowledge(std::size_t slot);

  // Tells every listener `text`, a note that belongs to no slot (the
  // records server, say).
  void Notify(const std::string& text);

  const std::vector<SlotView>& Slots() const { return slots_; }
  const StationSpec& Spec() const { return spec_; }
  // Whose device events tell of the adapters ("udev", "kernel").
  std::string EventSource() const { return watch_.Source(); }

 private:
  void Report(const PortEvent& event) override;
  void Arrived(std::size_t slot, const std::string& node);
  void Left(std::size_t slot);
  void StartUnit(std::size_t slot);
  void RunClosed(std::size_t slot, PortRun& run);
  void RecordingFailed(const std::string& reason);
  void RecordingAgain();
  std::optional<std::size_t> SlotOfUsb(const TUsbIdentity& usb) const;
  std::optional<std::size_t> SlotOfPath(const std::string& path) const;
  void Changed(std::size_t slot);
  void StopIfIdle();

  StationSpec spec_;
  const MemoryStream& image_;
  UnitRecorder& recorder_;
  AdapterWatch& watch_;
  StationClock& clock_;
  std::vector<StationListener*> listeners_;
  std::vector<SlotView> slots_;
  std::vector<StationClock::Timer> settle_;  // per slot, 0 when none
  std::vector<PortRun*> runs_;               // per slot, null when none
  std::vector<bool> arrivedDuringRun_;       // per slot: a new adapter came while its run closed
  std::vector<bool> arrivedWhileHeld_;  // per slot: a new adapter came while a failure was held
  bool holdFailures_ = false;
  bool stopping_ = false;
  bool stopped_ = false;
};

}  // namespace kv37
