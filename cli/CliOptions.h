#pragma once
// kv37-update-cli's command line: the subcommands update (also the default,
// so `kv37-update-cli IMAGE --port ...` keeps working), list-ports (also
// `--list-ports`), station, history, forward and records-schema, their
// options, their checks and the help text with the exit statuses.

#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace kv37::cli {

enum class Command { Update, ListPorts, Station, History, Forward, RecordsSchema };

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
  std::string database;      // an SQLite file, or a records server's postgresql:// URI
  std::string since, until;  // ISO 8601 local times; empty for no bound
  std::string slot;
  std::string station;
  std::string outcome;           // an outcome keyword; empty for any
  std::string format = "table";  // table, csv or json
  bool stats = false;            // yield per station, slot and adapter instead of the units
  std::string trace;             // a unit's identity: its serial traffic instead of the units
};

struct ForwardOptions {
  std::string database;  // the SQLite unit database whose waiting rows go
  std::string to;        // the records server's URI
};

struct SchemaOptions {
  std::string apply;  // a records server's URI to create the schema in; empty: print it
};

struct CliOptions {
  Command command = Command::Update;
  bool json = false;  // JSON lines on the standard output (update, list-ports, station)
  UpdateOptions update;
  StationOptions station;
  HistoryOptions history;
  ForwardOptions forward;
  SchemaOptions schema;
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
