#pragma once
// The exit statuses of kv37-update-cli and what a unit's end stands for: the
// number every front end records in a unit's exit_status column.
//
// Any thread; no state.

#include "PortEvents.h"
#include "PortOutcome.h"

namespace kv37 {

// With several ports the highest one wins.
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

ExitStatus ExitStatusOf(PortOutcome outcome);
// A Finished event's: 128 + the signal for a unit a signal interrupted.
ExitStatus ExitStatusOf(const PortEvent& finished);

// The worse of two statuses: the higher number.
ExitStatus Worse(ExitStatus a, ExitStatus b);

}  // namespace kv37
