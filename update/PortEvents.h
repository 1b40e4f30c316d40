#pragma once
// What the updater reports while it runs: one event per step of a unit's
// update, each naming its slot, and for the `update` command the start and
// end of the whole batch. Sinks (terminal progress, JSON lines, the log
// file, the station's board and its database) implement EventSink; all calls
// come from the main thread.

#include <algorithm>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "PortIdentity.h"
#include "PortOutcome.h"

namespace kv37 {

// What a port's run has answered so far. Only distinct pages inside the
// image count as progress; repeats and pages past the image are answered
// (with the bytes there, or 0xFF) but move nothing.
struct PageCounts {
  unsigned replies = 0;   // page replies queued
  unsigned distinct = 0;  // distinct pages inside the image answered
  unsigned repeats = 0;   // replies for an in-image page answered before
  unsigned beyond = 0;    // replies for pages past the image
};

// The progress a run shows: distinct in-image pages of the 512 a unit asks
// for, at most 100.
int PercentOf(const PageCounts& counts);
// "40 pages, 3 repeats, 1 past the image in 44 replies".
std::string PageCountsText(const PageCounts& counts);

enum class PortEventKind {
  Opened,        // `path` is what was opened (a map entry, say), `device` where it leads;
                 // `text` says what could not be checked for other openers, if anything
  StartSent,     // the start command is queued and the watchdog runs
  PageServed,    // `page` was answered; `percent` and `pages` updated
  StateChanged,  // `text` is the new status text (Time_Out0 .. Time_Out5)
  LineError,     // `text` names the line errors the port reported
  LineNote,      // `text`: what the line settings could not make sure of, found after
                 // the opening ("the server did not confirm DTR")
  Finished,      // `outcome` and the reason in `text`; the port is closed next
};

struct PortEvent {
  PortEventKind kind = PortEventKind::Opened;
  std::string unit;                 // the unit's identity, a UUID made when its run began
  std::string slot;                 // the station's slot; for `update` the port as given
  std::string port;                 // as given on the command line, or the slot's device
  std::optional<TUsbIdentity> usb;  // the adapter, on Opened and Finished
  std::string path;
  std::string device;  // Opened and Finished: the device opened (links followed); "" when none
  int signal = 0;      // Finished as interrupted: the signal that did it, 0 when none
  uint16_t page = 0;   // the page last served
  PageCounts pages;
  int percent = 0;                       // PercentOf(pages)
  std::chrono::milliseconds elapsed{0};  // since this port's run began
  std::string text;
  PortOutcome outcome = PortOutcome::Success;
  // Finished without success: the run's last serial traffic (SerialTrace.h).
  std::shared_ptr<const std::string> trace;
};

struct ImageInfo {
  std::string path;
  std::size_t fileSize = 0;   // bytes in the file
  std::size_t imageSize = 0;  // bytes served from: padded to 0x20000 unless larger
  std::string sha256;         // of the file's bytes, lower-case hex
};

struct PortResult {
  std::string port;
  PortOutcome outcome = PortOutcome::Success;
  std::string reason;
  PageCounts pages;
  std::chrono::milliseconds elapsed{0};
  std::string slot{};  // the station's slot; for `update` the port
};

class EventSink {
 public:
  virtual ~EventSink() = default;
  // Each step of each unit's run, from its opening to its Finished event.
  virtual void Report(const PortEvent& event) = 0;
};

}  // namespace kv37
