#pragma once
// What the updater reports while it runs: one event per step of a port's
// update, and the run's start and end. Sinks (terminal progress, JSON lines,
// the log file) implement EventSink; all calls come from the main thread.

#include <algorithm>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "PortOutcome.h"

namespace kv37::cli {

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
  PageServed,    // `page` was answered; `percent` and `pagesServed` updated
  StateChanged,  // `text` is the new status text (Time_Out0 .. Time_Out5)
  LineError,     // `text` names the line errors the port reported
  Finished,      // `outcome` and the reason in `text`; the port is closed next
};

struct PortEvent {
  PortEventKind kind = PortEventKind::Opened;
  std::string port;  // as given on the command line
  std::string path;
  std::string device;
  uint16_t page = 0;  // the page last served
  PageCounts pages;
  int percent = 0;                       // PercentOf(pages)
  std::chrono::milliseconds elapsed{0};  // since this port's run began
  std::string text;
  PortOutcome outcome = PortOutcome::Success;
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
};

class EventSink {
 public:
  virtual ~EventSink() = default;
  virtual void RunStarted(const ImageInfo& image, const std::vector<std::string>& ports) = 0;
  virtual void Report(const PortEvent& event) = 0;
  // Every port has finished; `results` in command-line order.
  virtual void RunEnded(const std::vector<PortResult>& results, ExitStatus status) = 0;
};

// Hands every call to each sink in turn. The sinks must outlive it.
class EventFanout : public EventSink {
 public:
  void Add(EventSink& sink) { sinks_.push_back(&sink); }
  void RunStarted(const ImageInfo& image, const std::vector<std::string>& ports) override {
    for (EventSink* sink : sinks_) sink->RunStarted(image, ports);
  }
  void Report(const PortEvent& event) override {
    for (EventSink* sink : sinks_) sink->Report(event);
  }
  void RunEnded(const std::vector<PortResult>& results, ExitStatus status) override {
    for (EventSink* sink : sinks_) sink->RunEnded(results, status);
  }

 private:
  std::vector<EventSink*> sinks_;
};

}  // namespace kv37::cli
