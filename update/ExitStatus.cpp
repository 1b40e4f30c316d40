#include "ExitStatus.h"

namespace kv37 {

ExitStatus ExitStatusOf(PortOutcome outcome) {
  switch (outcome) {
    case PortOutcome::Success:
      return ExitStatus::Success;
    case PortOutcome::UnitFailure:
      return ExitStatus::UnitFailure;
    case PortOutcome::Silent:
    case PortOutcome::PortLost:
      return ExitStatus::Silent;
    case PortOutcome::OpenError:
      return ExitStatus::OpenError;
    case PortOutcome::FrameFault:
      return ExitStatus::FrameFault;
    case PortOutcome::Interrupted:
      return ExitStatus::Interrupted;
  }
  return ExitStatus::Interrupted;
}

ExitStatus Worse(ExitStatus a, ExitStatus b) {
  return static_cast<int>(a) >= static_cast<int>(b) ? a : b;
}

ExitStatus ExitStatusOf(const PortEvent& finished) {
  if (finished.outcome == PortOutcome::Interrupted && finished.signal != 0)
    return static_cast<ExitStatus>(128 + finished.signal);
  return ExitStatusOf(finished.outcome);
}

}  // namespace kv37
