#include "PortOutcome.h"

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

std::string_view OutcomeKeyword(PortOutcome outcome) {
  switch (outcome) {
    case PortOutcome::Success:
      return "success";
    case PortOutcome::UnitFailure:
      return "unit-failure";
    case PortOutcome::Silent:
      return "silent";
    case PortOutcome::PortLost:
      return "port-lost";
    case PortOutcome::OpenError:
      return "open-error";
    case PortOutcome::FrameFault:
      return "frame-fault";
    case PortOutcome::Interrupted:
      return "interrupted";
  }
  return "interrupted";
}

}  // namespace kv37
