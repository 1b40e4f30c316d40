#pragma once
// How one port's update ended, and the process exit status it stands for.

#include <string_view>

namespace kv37 {

// Exit statuses of kv37-update-cli. With several ports the highest one wins.
enum class ExitStatus : int {
  Success = 0,        // every unit reported success
  UnitFailure = 1,    // a unit reported failure (completion '0')
  Silent = 2,         // a unit fell silent (watchdog) or its port went away
  OpenError = 3,      // a port could not be opened
  FrameFault = 4,     // a page request with a bad delimiter or checksum
  Usage = 5,          // bad arguments or an unreadable image or log file
  Unrecorded = 6,     // units ended but not all reached the unit database (kept beside it)
  Interrupted = 130,  // stopped by SIGINT or SIGTERM before every port ended
};

enum class PortOutcome {
  Success,
  UnitFailure,
  Silent,
  PortLost,  // the port hung up or refused writes during the update
  OpenError,
  FrameFault,
  Interrupted,
};

ExitStatus ExitStatusOf(PortOutcome outcome);

// The worse of two statuses: the higher number.
ExitStatus Worse(ExitStatus a, ExitStatus b);

// Stable lower-case keyword, used in the JSON events, the log and the summary.
std::string_view OutcomeKeyword(PortOutcome outcome);

}  // namespace kv37
