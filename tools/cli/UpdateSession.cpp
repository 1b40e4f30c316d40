#include "UpdateSession.h"

#include "PortRun.h"

namespace kv37::cli {

UpdateSession::UpdateSession(const MemoryStream& image, const std::vector<std::string>& ports,
                             EventSink& sink, bool fast, QObject* parent)
    : QObject(parent), sink_(sink) {
  for (const std::string& port : ports) {
    auto* run = new PortRun(port, image, sink, fast, this);
    run->onClosed = [this](PortRun&) { PortClosed(); };
    runs_.push_back(run);
  }
}

void UpdateSession::Start(const ImageInfo& image) {
  std::vector<std::string> ports;
  for (const PortRun* run : runs_) ports.push_back(run->Port());
  sink_.RunStarted(image, ports);
  for (PortRun* run : runs_) run->Start();
}

void UpdateSession::Interrupt(int signal) {
  if (signal_ == 0) signal_ = signal;
  for (PortRun* run : runs_) run->Interrupt();
}

void UpdateSession::PortClosed() {
  if (++closed_ < runs_.size()) return;
  std::vector<PortResult> results;
  ExitStatus status = ExitStatus::Success;
  for (const PortRun* run : runs_) {
    results.push_back(run->Result());
    status = Worse(status, ExitStatusOf(run->Result().outcome));
  }
  // The shell's convention for a run a signal ended: 128 + its number.
  if (status == ExitStatus::Interrupted && signal_ != 0)
    status = static_cast<ExitStatus>(128 + signal_);
  sink_.RunEnded(results, status);
  if (onDone) onDone(status);
}

}  // namespace kv37::cli
