#pragma once
// How one unit's update on a port ended (the exit status it stands for:
// ExitStatus.h).

#include <string_view>

namespace kv37 {

enum class PortOutcome {
  Success,
  UnitFailure,
  Silent,
  PortLost,  // the port hung up or refused writes during the update
  OpenError,
  FrameFault,
  Interrupted,
};

// Stable lower-case keyword, used in the JSON events, the log and the summary.
std::string_view OutcomeKeyword(PortOutcome outcome);

}  // namespace kv37
