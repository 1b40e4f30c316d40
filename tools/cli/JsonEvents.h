#pragma once
// --json: one compact JSON object per line and per event, for programs to
// read while the update runs. Every object has "event"; the names and fields
// are listed in docs/CLI.md.
//
// Main thread only; each line is flushed as it is written.

#include <ostream>
#include <string>
#include <vector>

#include "PortEvents.h"

namespace kv37::cli {

std::string RunStartedJson(const ImageInfo& image, const std::vector<std::string>& ports);
std::string PortEventJson(const PortEvent& event);
std::string RunEndedJson(const std::vector<PortResult>& results, ExitStatus status);

class JsonEventWriter : public EventSink {
 public:
  explicit JsonEventWriter(std::ostream& out) : out_(out) {}

  void RunStarted(const ImageInfo& image, const std::vector<std::string>& ports) override;
  void Report(const PortEvent& event) override;
  void RunEnded(const std::vector<PortResult>& results, ExitStatus status) override;

 private:
  void Line(const std::string& json);

  std::ostream& out_;
};

}  // namespace kv37::cli
