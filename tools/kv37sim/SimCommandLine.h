#pragma once
// kv37sim's command line: options, their checks and the help text.

#include <optional>
#include <ostream>
#include <string>

#include "SimulatedUnit.h"

namespace kv37::sim {

inline constexpr unsigned kDefaultDeviceBaud = 57600;

struct CommandLine {
  std::string device;  // serial device to open; empty creates a pseudo-terminal
  std::string link;    // symbolic link to the utility's end; empty for none
  unsigned deviceBaud = kDefaultDeviceBaud;  // line rate set on a device
  bool seedGiven = false;                    // --seed was on the command line
  SimConfig config;                          // --expect is already loaded
};

struct ParsedCommandLine {
  std::optional<CommandLine> commandLine;  // empty: exit at once with exitStatus
  int exitStatus = 0;                      // 0 after --help, SimOutcome::Usage on errors
};

// Parses and checks the options; help goes to `out`, errors to `err`.
// Loads the --expect image. Never throws.
ParsedCommandLine ParseCommandLine(int argc, const char* const argv[], std::ostream& out,
                                   std::ostream& err);

}  // namespace kv37::sim
