#include "PortOutcome.h"

namespace kv37 {

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
