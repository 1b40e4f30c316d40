#pragma once
// kv37-update-cli's command line: options, their checks and the help text
// with the exit statuses.

#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace kv37::cli {

struct CliOptions {
  std::string image;               // OS image file
  std::vector<std::string> ports;  // at least one, each a different device
  bool json = false;               // JSON lines on the standard output instead of progress
  std::string logPath;             // append a record here; empty for none
};

struct ParsedOptions {
  std::optional<CliOptions> options;  // empty: exit at once with exitStatus
  int exitStatus = 0;                 // 0 after --help, ExitStatus::Usage on errors
};

// Parses and checks the arguments; help goes to `out`, errors to `err`.
// Ports naming the same device (after name resolution, see PortName.h) are
// an error. Never throws.
ParsedOptions ParseCliOptions(int argc, const char* const argv[], std::ostream& out,
                              std::ostream& err);

}  // namespace kv37::cli
