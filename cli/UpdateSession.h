#pragma once
// The `update` command's batch: starts a PortRun per port on the main
// thread's event loop, keeps each one's result once it has finished and
// closed its port, and tells the worst outcome.
//
// Main thread only.

#include <QObject>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "MemoryStream.h"
#include "RunSink.h"

namespace kv37 {
class PortRun;
}

namespace kv37::cli {

class UpdateSession : public QObject {
 public:
  // `image` and `sink` must outlive the session; `fast` as for PortRun.
  UpdateSession(const MemoryStream& image, const std::vector<std::string>& ports, RunSink& sink,
                bool fast = false, QObject* parent = nullptr);

  // Reports the batch's start and starts every port; returns at once.
  void Start(const ImageInfo& image);
  // Ends every unfinished port as interrupted by `signal`; the run's status
  // is then 128 + the signal (130 for SIGINT, 143 for SIGTERM).
  void Interrupt(int signal);

  // Called once, from the event loop, after the last port closed and the
  // batch's end was reported.
  std::function<void(ExitStatus)> onDone;

 private:
  void Done();

  const MemoryStream& image_;
  std::vector<std::string> ports_;
  RunSink& sink_;
  bool fast_;
  std::set<PortRun*> runs_;          // unfinished, children
  std::vector<PortResult> results_;  // in command-line order
  int signal_ = 0;                   // the first that interrupted the run
};

}  // namespace kv37::cli
