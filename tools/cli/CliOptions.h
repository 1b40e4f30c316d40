#pragma once
// kv37-update-cli's command line: options, their checks and the help text
// with the exit statuses.

#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

namespace kv37::cli {

struct CliOptions {
  std::string image;               // OS image file
  std::vector<std::string> ports;  // at least one, each a different device
  bool json = false;               // JSON lines on the standard output instead of progress
  std::string logPath;             // append a record here; empty for none
  bool force = false;              // send an empty or all-0xFF image all the same
  bool quiet = false;              // the summary only
  bool fast = false;               // answer clean page requests without the read gap
};

struct ParsedOptions {
  std::optional<CliOptions> options;  // empty: exit at once with exitStatus
  int exitStatus = 0;                 // 0 after --help or --version, ExitStatus::Usage on errors
  std::string error;                  // what was wrong, when exitStatus is not 0
};

// Parses and checks the arguments; help and the version go to `out`. Errors
// are returned, not printed. Ports that lead to the same device are an error:
// the same resolved path (port map and links followed) or the same device
// number. Never throws.
ParsedOptions ParseCliOptions(int argc, const char* const argv[], std::ostream& out);

// True when `flag` is among the arguments: --json, so that even an argument
// error is a JSON object, and --list-ports, which needs no image.
bool HasFlag(int argc, const char* const argv[], std::string_view flag);

}  // namespace kv37::cli
