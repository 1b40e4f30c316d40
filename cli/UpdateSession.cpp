#include "UpdateSession.h"

#include "PortRun.h"

namespace kv37::cli {

UpdateSession::UpdateSession(const MemoryStream& image, const std::vector<std::string>& ports,
                             RunSink& sink, bool fast, QObject* parent)
    : QObject(parent), image_(image), ports_(ports), sink_(sink), fast_(fast) {}

void UpdateSession::Start(const ImageInfo& image) {
  sink_.RunStarted(image, ports_);
  results_.resize(ports_.size());
  for (std::size_t i = 0; i < ports_.size(); ++i) {
    auto* run = new PortRun(ports_[i], ports_[i], image_, sink_, {.fast = fast_}, this);
    run->onClosed = [this, i](PortRun& done) {
      results_[i] = done.Result();
      runs_.erase(&done);
      // Let go from the event loop: this is the run's own callback.
      done.deleteLater();
      if (runs_.empty()) Done();
    };
    runs_.insert(run);
  }
  // Started once every run exists, so that none can end the session early.
  for (PortRun* run : std::set<PortRun*>(runs_)) run->Start();
}

void UpdateSession::Interrupt(int signal) {
  if (signal_ == 0) signal_ = signal;
  for (PortRun* run : std::set<PortRun*>(runs_)) run->Interrupt(signal);
}

void UpdateSession::Done() {
  ExitStatus status = ExitStatus::Success;
  for (const PortResult& result : results_) status = Worse(status, ExitStatusOf(result.outcome));
  // The shell's convention for a run a signal ended: 128 + its number.
  if (status == ExitStatus::Interrupted && signal_ != 0)
    status = static_cast<ExitStatus>(128 + signal_);
  sink_.RunEnded(results_, status);
  if (onDone) onDone(status);
}

}  // namespace kv37::cli
