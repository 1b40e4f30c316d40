#include "CliOptions.h"

#include <CLI/CLI.hpp>

#include "ExitStatus.h"
#include "PortIdentity.h"
#include "PortName.h"

namespace kv37::cli {

namespace {

constexpr const char* kExitStatusHelp =
    "Exit status of update (with several ports the highest one wins):\n"
    "  0    every unit reported success\n"
    "  1    a unit reported failure (\"Error!! please retry again\")\n"
    "  2    a unit fell silent: six watchdog ticks without an answer\n"
    "       (\"Update Fail,retry again!!\"), or its port went away\n"
    "  3    a port could not be opened: missing, permission (join the dialout\n"
    "       group), or busy\n"
    "  4    a frame fault: a page request with a bad delimiter (\"Data Error\")\n"
    "       or a bad checksum (\"CheckSume Error!!\")\n"
    "  5    bad arguments (two names of one device among them), an image that\n"
    "       cannot be read or is refused (empty or all 0xFF without --force),\n"
    "       an unwritable log file, or a station that cannot start\n"
    "  6    units ended, but not all reached the unit database (--record, a\n"
    "       station): they are kept in DB.unwritten beside it\n"
    "  130  interrupted by SIGINT (128 + 2)\n"
    "  143  interrupted by SIGTERM (128 + 15)\n"
    "A station stopped by SIGINT or SIGTERM exits 0, or 6; history and\n"
    "records-schema exit 0 or 5; forward exits 0 when every row reached the\n"
    "records server, 6 when rows still wait, 5 when the database cannot be read.\n";

// The update options, on the program itself (the default command) and on
// `update`, bound to the same fields.
void AddUpdateOptions(CLI::App& app, CliOptions& o) {
  app.add_option("IMAGE", o.update.image,
                 "OS image file; padded with 0xFF to 128 KiB unless larger");
  app.add_option(
         "-p,--port", o.update.ports,
         "port to update a unit on; repeat for several units: COM1 .. COM256 (per-user port map,\n"
         "then /dev/ttyS<n-1>), a device path, a name under /dev, or a network serial port:\n"
         "rfc2217://HOST:PORT or tcp://HOST:PORT")
      ->allow_extra_args(false)  // one name per --port, so IMAGE may come last
      ->take_all();
  app.add_flag("--json", o.json,
               "one JSON object per event on the standard output instead of progress lines");
  app.add_option("--log", o.update.logPath, "append a timestamped record of the run to FILE")
      ->type_name("FILE");
  app.add_option("--record", o.update.recordPath,
                 "record each unit in the unit database DB (SQLite; see history)")
      ->type_name("DB");
  app.add_flag("--fast", o.update.fast,
               "answer a complete, checksum-valid page request at once instead of after the\n"
               "100 ms read gap; anything else is cut by the gap as without it");
  app.add_flag("-q,--quiet", o.update.quiet, "print only the summary (no progress lines)");
  app.add_flag("--force", o.update.force,
               "send an image that is empty or all 0xFF (it would erase the unit)");
}

std::string CheckUpdate(const UpdateOptions& u) {
  if (u.image.empty()) return "IMAGE is required";
  if (u.ports.empty()) return "--port is required";
  // Decided before any port is opened: the first name would get the start
  // command and the second a misleading "busy".
  std::vector<TPortIdentity> seen;
  for (const std::string& port : u.ports) {
    if (port.empty()) return "--port: empty port name";
    // A mistyped address must not reach another server's unit.
    if (const std::string problem = PortNameProblem(ResolvePortName(port)); !problem.empty())
      return "--port " + problem;
    TPortIdentity id = IdentifyPort(port);
    for (const TPortIdentity& other : seen)
      if (SameDevice(id, other))
        return "--port " + port + ": the same device as --port " + other.name;
    seen.push_back(std::move(id));
  }
  return {};
}

}  // namespace

ParsedOptions ParseCliOptions(int argc, const char* const argv[], std::ostream& out) {
  CliOptions o;
  CLI::App app{
      "Installs an OS image into KV-37 units over RS-232: several units at once, or all\n"
      "shift long at a fixture's slots. Each port gets the start command and is served\n"
      "the pages its unit asks for (57600 bit/s, 8N1; 1000 ms watchdog, six silent ticks).",
      "kv37-update-cli"};
  app.require_subcommand(0, 1);
  AddUpdateOptions(app, o);
  bool listPorts = false;
  app.add_flag("--list-ports", listPorts, "the same as the list-ports command");
  app.set_version_flag("--version", std::string("kv37-update-cli ") + KV37_VERSION);
  app.footer(kExitStatusHelp);

  CLI::App* update =
      app.add_subcommand("update", "update the units on the named ports (the default)");
  AddUpdateOptions(*update, o);

  CLI::App* list = app.add_subcommand(
      "list-ports",
      "list the serial ports (COM map entries, /dev/serial/by-id, ttyUSB, ttyACM, ttyS)\n"
      "with the device each leads to, whether it is free, and a USB adapter's identity");
  list->add_flag("--json", o.json, "one JSON object instead of the table");

  CLI::App* station = app.add_subcommand(
      "station", "run a fixture: update each unit as its slot's adapter appears (docs/STATION.md)");
  station->add_option("FILE", o.station.file, "the station file")->required();
  station->add_flag("--json", o.json, "one JSON object per event instead of the board");
  station->add_option("--record", o.station.recordPath, "the unit database (overrides the file)")
      ->type_name("DB");
  station->add_option("--log", o.station.logPath, "append a timestamped record to FILE")
      ->type_name("FILE");

  CLI::App* history =
      app.add_subcommand("history", "show the units a unit database or a records server recorded");
  history
      ->add_option("DB", o.history.database,
                   "the unit database (SQLite), or a records server's postgresql:// URI")
      ->required();
  history->add_option("--since", o.history.since, "from this local time on (2026-12-09T08:00)")
      ->type_name("TIME");
  history->add_option("--until", o.history.until, "before this local time")->type_name("TIME");
  history->add_option("--slot", o.history.slot, "only this slot")->type_name("NAME");
  history->add_option("--station", o.history.station, "only this station")->type_name("NAME");
  history
      ->add_option("--outcome", o.history.outcome,
                   "only this outcome: success, unit-failure, silent, port-lost, open-error, "
                   "frame-fault or interrupted")
      ->type_name("KEYWORD");
  history->add_option("--format", o.history.format, "table, csv or json")
      ->check(CLI::IsMember({"table", "csv", "json"}));
  CLI::Option* stats = history->add_flag(
      "--stats", o.history.stats,
      "per station, slot and adapter: units, passed, failed by outcome, yield, median time");
  history
      ->add_option("--trace", o.history.trace,
                   "the last serial traffic of the unit ID (one that did not succeed)")
      ->type_name("ID")
      ->excludes(stats);

  CLI::App* forward = app.add_subcommand(
      "forward", "send a unit database's rows not yet forwarded to a records server, and exit");
  forward->add_option("DB", o.forward.database, "the unit database (SQLite)")->required();
  forward->add_option("--to", o.forward.to, "the records server (postgresql:// URI)")
      ->type_name("URI")
      ->required();

  CLI::App* schema = app.add_subcommand(
      "records-schema",
      "print the SQL that makes a PostgreSQL database a records server (for its administrator)");
  schema->add_option("--apply", o.schema.apply, "create it in this database instead of printing it")
      ->type_name("URI");

  try {
    app.parse(argc, argv);
  } catch (const CLI::Success& e) {
    app.exit(e, out, out);
    return {std::nullopt, 0, {}, false};
  } catch (const CLI::ParseError& e) {
    return {std::nullopt, static_cast<int>(ExitStatus::Usage),
            std::string(e.what()) + "; run with --help for the options", o.json};
  }

  if (list->parsed() || listPorts) {
    o.command = Command::ListPorts;
  } else if (station->parsed()) {
    o.command = Command::Station;
  } else if (history->parsed()) {
    o.command = Command::History;
  } else if (forward->parsed()) {
    o.command = Command::Forward;
  } else if (schema->parsed()) {
    o.command = Command::RecordsSchema;
  } else if (const std::string problem = CheckUpdate(o.update); !problem.empty()) {
    return {std::nullopt, static_cast<int>(ExitStatus::Usage), problem, o.json};
  }
  const bool json = o.json;
  return {std::move(o), 0, {}, json};
}

}  // namespace kv37::cli
