#pragma once
// --json: one compact JSON object per line and per event, for programs to
// read while the update runs. Every object has "event"; the names and fields
// are listed in docs/CLI.md.
//
// Main thread only; each line is flushed as it is written.

#include <QJsonObject>
#include <ostream>
#include <string>
#include <vector>

#include "RunSink.h"

namespace kv37::cli {

// One line of JSON: `object` without spaces or line breaks.
std::string CompactJson(const QJsonObject& object);

// {"vendor_id","product_id","serial","manufacturer","product","interface","usb_port"}
QJsonObject UsbJson(const TUsbIdentity& usb);

std::string RunStartedJson(const ImageInfo& image, const std::vector<std::string>& ports);
std::string PortEventJson(const PortEvent& event);
// An argument or image error: {"event":"error","message":...,"exit_status":N}.
std::string ErrorJson(const std::string& message, ExitStatus status);
// `sha256` names the image in the summary; left out when empty.
std::string RunEndedJson(const std::vector<PortResult>& results, ExitStatus status,
                         const std::string& sha256 = {});

class JsonEventWriter : public RunSink {
 public:
  explicit JsonEventWriter(std::ostream& out) : out_(out) {}

  void RunStarted(const ImageInfo& image, const std::vector<std::string>& ports) override;
  void Report(const PortEvent& event) override;
  void RunEnded(const std::vector<PortResult>& results, ExitStatus status) override;

 private:
  void Line(const std::string& json);

  std::ostream& out_;
  std::string sha256_;  // of the run's image
};

}  // namespace kv37::cli
