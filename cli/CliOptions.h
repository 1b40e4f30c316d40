#pragma once
// kv37-update-cli's command line: the subcommands update (also the default,
// so `kv37-update-cli IMAGE --port ...` keeps working), list-ports (also
// `--list-ports`), station and history, their options, their checks and the
// help text with the exit statuses.

#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace kv37::cli {

enum class Command { Update, ListPorts, Station, History };

struct UpdateOptions {
  std::string image;               // OS image file
  std::vector<std::string> ports;  // at least one, each a different device
  std::string logPath;             // append a record here; empty for none
  std::string recordPath;          // a unit database to record each unit in; empty for none
  bool force = false;              // send an empty or all-0xFF image all the same
  bool quiet = false;              // the summary only
  bool fast = false;               // answer clean page requests without the read gap
};

struct StationOptions {
  std::string file;        // the station file
  std::string recordPath;  // overrides the file's database
  std::string logPath;
};

struct HistoryOptions {
  std::string database;
  std::string since, until;  // ISO 8601 local times; empty for no bound
  std::string slot;
  std::string outcome;           // an outcome keyword; empty for any
  std::string format = "table";  // table, csv or json
};

struct CliOptions {
  Command command = Command::Update;
  bool json = false;  // JSON lines on the standard output (update, list-ports, station)
  UpdateOptions update;
  StationOptions station;
  HistoryOptions history;
};

struct ParsedOptions {
  std::optional<CliOptions> options;  // empty: exit at once with exitStatus
  int exitStatus = 0;                 // 0 after --help or --version, ExitStatus::Usage on errors
  std::string error;                  // what was wrong, when exitStatus is not 0
  bool json = false;                  // --json was seen: the error goes out as JSON
};

// Parses and checks the arguments; help and the version go to `out`. Errors
// are returned, not printed. For `update`, ports that lead to the same device
// are an error: the same device number, or the same resolved path. Never
// throws.
ParsedOptions ParseCliOptions(int argc, const char* const argv[], std::ostream& out);

}  // namespace kv37::cli
