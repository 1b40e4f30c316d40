#pragma once
// The `update` command's listeners: each unit's events, and around them the
// batch: its image and ports, then every port's result in command-line
// order. All calls from the main thread.

#include <string>
#include <vector>

#include "ExitStatus.h"
#include "PortEvents.h"

namespace kv37::cli {

class RunSink : public EventSink {
 public:
  virtual void RunStarted(const ImageInfo& /*image*/, const std::vector<std::string>& /*ports*/) {}
  virtual void RunEnded(const std::vector<PortResult>& /*results*/, ExitStatus /*status*/) {}
};

// Hands every call to each sink in turn (a plain EventSink gets the units'
// events only). The sinks must outlive it.
class EventFanout : public RunSink {
 public:
  void Add(RunSink& sink) {
    runSinks_.push_back(&sink);
    sinks_.push_back(&sink);
  }
  void Add(EventSink& sink) { sinks_.push_back(&sink); }
  void RunStarted(const ImageInfo& image, const std::vector<std::string>& ports) override {
    for (RunSink* sink : runSinks_) sink->RunStarted(image, ports);
  }
  void Report(const PortEvent& event) override {
    for (EventSink* sink : sinks_) sink->Report(event);
  }
  void RunEnded(const std::vector<PortResult>& results, ExitStatus status) override {
    for (RunSink* sink : runSinks_) sink->RunEnded(results, status);
  }

 private:
  std::vector<RunSink*> runSinks_;
  std::vector<EventSink*> sinks_;
};

}  // namespace kv37::cli
