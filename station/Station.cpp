#include "Station.h"

#include <QTimer>
#include <algorithm>
#include <utility>

#include "PortRun.h"

namespace kv37 {

namespace {

// A network slot's server is asked again this long after a run ended.
constexpr auto kNetworkAgain = std::chrono::milliseconds(2000);

bool IsUsb(const SlotSpec& slot) {
  return slot.by == SlotSpec::By::Serial || slot.by == SlotSpec::By::UsbPort;
}

}  // namespace

const char* SlotStateWord(SlotState state) {
  switch (state) {
    case SlotState::Waiting:
      return "waiting";
    case SlotState::Settling:
      return "settling";
    case SlotState::Held:
      return "held";
    case SlotState::Updating:
      return "updating";
    case SlotState::Passed:
      return "success";
    case SlotState::Failed:
      return "failed";
  }
  return "waiting";
}

std::string SlotsSharingAnAdapter(const StationSpec& spec) {
  // What each slot's adapter is known by: its own words, and for a path
  // that leads to a USB adapter now, that adapter's serial and port too.
  std::vector<std::vector<std::string>> keys;
  std::vector<TPortIdentity> paths(spec.slotSpecs.size());
  for (std::size_t i = 0; i < spec.slotSpecs.size(); ++i) {
    const SlotSpec& slot = spec.slotSpecs[i];
    keys.push_back({SlotSpecText(slot)});
    if (slot.by != SlotSpec::By::Path) continue;
    paths[i] = IdentifyPort(slot.value);
    if (paths[i].usb && !paths[i].usb->serial.empty())
      keys[i].push_back("serial " + paths[i].usb->serial);
    if (paths[i].usb) keys[i].push_back("USB port " + paths[i].usb->usbPath);
  }
  for (std::size_t i = 0; i < spec.slotSpecs.size(); ++i) {
    for (std::size_t j = i + 1; j < spec.slotSpecs.size(); ++j) {
      std::string shared;
      for (const std::string& key : keys[i])
        if (std::find(keys[j].begin(), keys[j].end(), key) != keys[j].end()) shared = key;
      const bool bothPaths =
          spec.slotSpecs[i].by == SlotSpec::By::Path && spec.slotSpecs[j].by == SlotSpec::By::Path;
      if (shared.empty() && bothPaths && SameDevice(paths[i], paths[j]))
        shared = "device " + paths[i].devicePath;
      if (!shared.empty())
        return "slots " + spec.slotSpecs[i].name + " and " + spec.slotSpecs[j].name +
               " both name " + shared;
    }
  }
  return {};
}

Station::Station(StationSpec spec, const MemoryStream& image, UnitRecorder& recorder,
                 AdapterWatch& watch, StationClock& clock, QObject* parent)
    : QObject(parent),
      spec_(std::move(spec)),
      image_(image),
      recorder_(recorder),
      watch_(watch),
      clock_(clock) {
  for (const SlotSpec& slotSpec : spec_.slotSpecs) {
    slots_.emplace_back();
    slots_.back().spec = slotSpec;
  }
  settle_.assign(slots_.size(), 0);
  runs_.assign(slots_.size(), nullptr);
  arrivedDuringRun_.assign(slots_.size(), false);
  arrivedWhileHeld_.assign(slots_.size(), false);
  recorder_.onWriteFailed = [this](const std::string& reason) { RecordingFailed(reason); };
  recorder_.onWritingAgain = [this] { RecordingAgain(); };

  watch_.onUsbArrived = [this](const std::string& node, const TUsbIdentity& usb) {
    if (const auto slot = SlotOfUsb(usb)) {
      slots_[*slot].usb = usb;
      Arrived(*slot, node);
    } else {
      Notify("adapter " + node + " (" + UsbIdentityText(usb) + ") belongs to no slot: left alone");
    }
  };
  watch_.onUsbLeft = [this](const std::string& node) {
    for (std::size_t slot = 0; slot < slots_.size(); ++slot)
      if (slots_[slot].node == node && IsUsb(slots_[slot].spec)) Left(slot);
  };
  watch_.onPathArrived = [this](const std::string& path) {
    if (const auto slot = SlotOfPath(path)) {
      slots_[*slot].usb = IdentifyPort(path).usb;
      Arrived(*slot, path);
    }
  };
  watch_.onPathLeft = [this](const std::string& path) {
    if (const auto slot = SlotOfPath(path)) Left(*slot);
  };
}

Station::~Station() {
  // Runs are children; their ports close with them.
  for (const StationClock::Timer timer : settle_) clock_.Cancel(timer);
  recorder_.onWriteFailed = nullptr;
  recorder_.onWritingAgain = nullptr;
  watch_.onUsbArrived = nullptr;
  watch_.onUsbLeft = nullptr;
  watch_.onPathArrived = nullptr;
  watch_.onPathLeft = nullptr;
}

void Station::Start() {
  watch_.Start();
  // A network port is always there: its server is asked from the start.
  for (std::size_t slot = 0; slot < slots_.size(); ++slot)
    if (slots_[slot].spec.by == SlotSpec::By::Network)
      QTimer::singleShot(0, this, [this, slot] { Arrived(slot, slots_[slot].spec.value); });
}

void Station::Stop(int signal) {
  if (stopping_) return;
  stopping_ = true;
  for (StationClock::Timer& timer : settle_) clock_.Cancel(std::exchange(timer, 0));
  for (PortRun* run : runs_)
    if (run != nullptr) run->Interrupt(signal);
  StopIfIdle();
}

void Station::StopIfIdle() {
  if (!stopping_ || stopped_) return;
  for (const PortRun* run : runs_)
    if (run != nullptr) return;
  stopped_ = true;
  QTimer::singleShot(0, this, [this] {
    for (StationListener* listener : listeners_) listener->Stopped();
  });
}

std::optional<std::size_t> Station::SlotOfUsb(const TUsbIdentity& usb) const {
  for (std::size_t slot = 0; slot < slots_.size(); ++slot) {
    const SlotSpec& spec = slots_[slot].spec;
    if ((spec.by == SlotSpec::By::Serial && spec.value == usb.serial) ||
        (spec.by == SlotSpec::By::UsbPort && spec.value == usb.usbPath))
      return slot;
  }
  return std::nullopt;
}

std::optional<std::size_t> Station::SlotOfPath(const std::string& path) const {
  for (std::size_t slot = 0; slot < slots_.size(); ++slot)
    if (slots_[slot].spec.by == SlotSpec::By::Path && slots_[slot].spec.value == path) return slot;
  return std::nullopt;
}

void Station::Arrived(std::size_t slot, const std::string& node) {
  SlotView& view = slots_[slot];
  view.node = node;
  if (stopping_) return;
  if (view.held) {
    // Not the failed unit: it starts once the failure is acknowledged.
    arrivedWhileHeld_[slot] = true;
    Changed(slot);
    return;
  }
  if (runs_[slot] != nullptr) {
    // The last unit's port is still closing: this one starts once it has.
    arrivedDuringRun_[slot] = view.spec.by != SlotSpec::By::Network;
    return;
  }
  // A network slot's last result stays until its next unit answers.
  if (view.spec.by == SlotSpec::By::Network) {
    StartUnit(slot);
    return;
  }
  // A new unit: the last one's result goes.
  view.state = SlotState::Settling;
  view.text = "adapter arrived";
  view.page.reset();
  view.percent = 0;
  view.pages = 0;
  view.elapsed = {};
  clock_.Cancel(settle_[slot]);
  settle_[slot] = clock_.After(spec_.settle, [this, slot] {
    settle_[slot] = 0;
    StartUnit(slot);
  });
  Changed(slot);
}

void Station::Left(std::size_t slot) {
  SlotView& view = slots_[slot];
  view.node.clear();
  view.usb.reset();
  arrivedDuringRun_[slot] = false;
  clock_.Cancel(std::exchange(settle_[slot], 0));
  arrivedWhileHeld_[slot] = false;
  // A unit in progress ends by itself: its port hangs up.
  if (runs_[slot] != nullptr) return;
  if (view.held) {
    Changed(slot);
    return;
  }
  view.state = SlotState::Waiting;
  view.text.clear();
  Changed(slot);
}

void Station::StartUnit(std::size_t slot) {
  SlotView& view = slots_[slot];
  if (stopping_ || view.node.empty() || runs_[slot] != nullptr) return;
  if (recorder_.Blocked()) {
    view.state = SlotState::Held;
    view.text = "held: the unit database cannot take a row";
    Changed(slot);
    return;
  }
  const bool network = view.spec.by == SlotSpec::By::Network;
  if (!network) {
    view.state = SlotState::Updating;
    view.text = "opening";
  }
  // Nothing tells when a unit is put on a network port: each run waits for
  // the next one to answer.
  auto* run = new PortRun(view.spec.name, view.node, image_, *this,
                          {.fast = spec_.fast, .waitForUnit = spec_.waitForUnit || network}, this);
  run->onClosed = [this, slot](PortRun& done) { RunClosed(slot, done); };
  runs_[slot] = run;
  Changed(slot);
  run->Start();
}

void Station::RunClosed(std::size_t slot, PortRun& run) {
  runs_[slot] = nullptr;
  run.deleteLater();
  SlotView& view = slots_[slot];
  if (view.spec.by == SlotSpec::By::Network) {
    if (!view.held)
      clock_.After(kNetworkAgain, [this, slot] { Arrived(slot, slots_[slot].spec.value); });
    StopIfIdle();
    return;
  }
  if (view.held) {
    // An adapter that came while the port closed is the next unit, whichever
    // way it was noted.
    arrivedWhileHeld_[slot] =
        (arrivedWhileHeld_[slot] || arrivedDuringRun_[slot]) && !view.node.empty();
    arrivedDuringRun_[slot] = false;
    Changed(slot);
  } else if (arrivedDuringRun_[slot] && !view.node.empty()) {
    // A new adapter came while the last unit's port was closing: its unit.
    arrivedDuringRun_[slot] = false;
    const std::string node = view.node;
    Arrived(slot, node);
  } else if (view.node.empty()) {
    // The adapter left during the update: the slot waits for the next one.
    view.state = SlotState::Waiting;
    view.text.clear();
    Changed(slot);
  }
  StopIfIdle();
}

void Station::Report(const PortEvent& event) {
  std::optional<std::size_t> found;
  for (std::size_t slot = 0; slot < slots_.size(); ++slot)
    if (slots_[slot].spec.name == event.slot) found = slot;
  if (!found) return;
  SlotView& view = slots_[*found];
  const bool network = view.spec.by == SlotSpec::By::Network;
  // A network run that no unit ever answered (the server was down, or went
  // while the slot was empty) was no unit: nothing to record.
  const bool noUnit = network && event.kind == PortEventKind::Finished &&
                      event.pages.replies == 0 && event.outcome != PortOutcome::Success &&
                      event.outcome != PortOutcome::UnitFailure;
  // Recorded first: a unit shown as finished is a unit on record, or held.
  if (!noUnit) recorder_.Report(event);
  for (StationListener* listener : listeners_) listener->UnitEvent(event);
  const bool showing = view.state == SlotState::Passed || view.state == SlotState::Failed;
  if (network && showing && event.kind != PortEventKind::PageServed &&
      event.kind != PortEventKind::Finished)
    return;  // the last result stays until the next unit answers
  {
    if (noUnit) {
      if (!showing) {
        view.state = SlotState::Waiting;
        view.text = "no unit: " + event.text;
        Changed(*found);
      }
      return;
    }
    const std::size_t slot = *found;
    view.percent = event.percent;
    view.pages = event.pages.distinct;
    view.elapsed = event.elapsed;
    switch (event.kind) {
      case PortEventKind::Opened:
        view.state = SlotState::Updating;
        view.text = "open";
        break;
      case PortEventKind::StartSent:
        view.state = SlotState::Updating;
        view.text = spec_.waitForUnit || network ? "waiting for the unit" : "start sent";
        break;
      case PortEventKind::PageServed:
        view.state = SlotState::Updating;
        view.page = event.page;
        view.text = "serving pages";
        break;
      case PortEventKind::StateChanged:
        view.text = event.text;
        break;
      case PortEventKind::LineError:
      case PortEventKind::LineNote:
        return;
      case PortEventKind::Finished:
        view.state = event.outcome == PortOutcome::Success ? SlotState::Passed : SlotState::Failed;
        ++(event.outcome == PortOutcome::Success ? view.passed : view.failed);
        view.held = holdFailures_ && view.state == SlotState::Failed;
        view.text = event.text;
        break;
    }
    Changed(slot);
  }
}

void Station::Acknowledge(std::size_t slot) {
  if (slot >= slots_.size() || !slots_[slot].held) return;
  SlotView& view = slots_[slot];
  view.held = false;
  if (runs_[slot] != nullptr) {
    // Its port is still closing; the run's end decides what comes next.
    arrivedDuringRun_[slot] = arrivedWhileHeld_[slot];
    arrivedWhileHeld_[slot] = false;
    Changed(slot);
    return;
  }
  if (view.spec.by == SlotSpec::By::Network) {
    Changed(slot);
    Arrived(slot, view.spec.value);
    return;
  }
  const bool next = arrivedWhileHeld_[slot];
  arrivedWhileHeld_[slot] = false;
  if (next && !view.node.empty()) {
    const std::string node = view.node;
    Arrived(slot, node);
    return;
  }
  if (view.node.empty()) {
    view.state = SlotState::Waiting;
    view.text.clear();
  }
  Changed(slot);
}

void Station::RecordingFailed(const std::string& reason) {
  Notify("unit database " + recorder_.Path() + ": " + reason +
         "; no new unit starts until it can record again");
}

void Station::RecordingAgain() {
  Notify("unit database " + recorder_.Path() + " records again");
  for (std::size_t slot = 0; slot < slots_.size(); ++slot)
    if (slots_[slot].state == SlotState::Held) StartUnit(slot);
}

void Station::Changed(std::size_t slot) {
  for (StationListener* listener : listeners_) listener->SlotChanged(slots_[slot]);
}

void Station::Notify(const std::string& text) {
  for (StationListener* listener : listeners_) listener->Note(text);
}

}  // namespace kv37
