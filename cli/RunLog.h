#pragma once
// --log FILE: appends a timestamped record of the run, one line per step of
// every port, so a technician can show what happened. Lines carry the local
// time with milliseconds and UTC offset, the process id (several runs may
// share a file) and the port:
//   2024-05-02T09:14:03.127+02:00 kv37-update-cli[4711] COM1: opened /dev/ttyS0
//
// Main thread only. Each line goes out whole and at once; a failed write is
// told once on the error stream and never stops the updates.

#include <cstdio>
#include <ostream>
#include <string>
#include <vector>

#include "RunSink.h"

namespace kv37::cli {

// The message part of the log line for `event` (after "port: ").
std::string LogMessage(const PortEvent& event);

class RunLog : public RunSink {
 public:
  // Opens `path` for appending, creating it when missing. Throws
  // std::runtime_error with the reason when it cannot.
  RunLog(const std::string& path, std::ostream& err);
  ~RunLog() override;
  RunLog(const RunLog&) = delete;
  RunLog& operator=(const RunLog&) = delete;

  void RunStarted(const ImageInfo& image, const std::vector<std::string>& ports) override;
  void Report(const PortEvent& event) override;
  void RunEnded(const std::vector<PortResult>& results, ExitStatus status) override;

 private:
  void Write(const std::string& port, const std::string& message);

  std::string path_;
  std::ostream& err_;
  std::FILE* file_;
  std::string sha256_;  // of the run's image
  bool failed_ = false;
};

}  // namespace kv37::cli
