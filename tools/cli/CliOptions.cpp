#include "CliOptions.h"

#include <CLI/CLI.hpp>
#include <map>
#include <string_view>

#include "CliPlatform.h"
#include "PortName.h"
#include "PortOutcome.h"

namespace kv37::cli {

namespace {

constexpr const char* kExitStatusHelp =
    "Exit status (with several ports the highest one wins):\n"
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
    "       or an unwritable log file\n"
    "  130  interrupted by SIGINT (128 + 2)\n"
    "  143  interrupted by SIGTERM (128 + 15)\n";

int Usage() {
  return static_cast<int>(ExitStatus::Usage);
}

}  // namespace

bool HasFlag(int argc, const char* const argv[], std::string_view flag) {
  for (int i = 1; i < argc; ++i)
    if (argv[i] == flag) return true;
  return false;
}

ParsedOptions ParseCliOptions(int argc, const char* const argv[], std::ostream& out) {
  CliOptions options;
  CLI::App app{
      "Installs an OS image into KV-37 units over RS-232, several units at once.\n"
      "Each port gets the start command and is served the pages its unit asks for\n"
      "(57600 bit/s, 8N1; 1000 ms watchdog, six silent ticks).",
      "kv37-update-cli"};
  app.add_option("IMAGE", options.image, "OS image file; padded with 0xFF to 128 KiB unless larger")
      ->required();
  app.add_option(
         "-p,--port", options.ports,
         "port to update a unit on; repeat for several units: COM1 .. COM256 (per-user port map,\n"
         "then /dev/ttyS<n-1>), a device path, or a name under /dev")
      ->required()
      ->allow_extra_args(false)  // one name per --port, so IMAGE may come last
      ->take_all();
  app.add_flag("--json", options.json,
               "one JSON object per event on the standard output instead of progress lines");
  app.add_option("--log", options.logPath, "append a timestamped record of the run to FILE")
      ->type_name("FILE");
  app.add_flag("--fast", options.fast,
               "answer a complete, checksum-valid page request at once instead of after the\n"
               "100 ms read gap; anything else is cut by the gap as without it");
  app.add_flag("-q,--quiet", options.quiet, "print only the summary (no progress lines)");
  bool listPorts = false;  // handled before these options, see HasFlag
  app.add_flag("--list-ports", listPorts,
               "list the serial ports (COM map entries, /dev/serial/by-id, ttyUSB, ttyACM,\n"
               "ttyS) with the device each leads to and whether it is free, then exit");
  app.add_flag("--force", options.force,
               "send an image that is empty or all 0xFF (it would erase the unit)");
  app.set_version_flag("--version", std::string("kv37-update-cli ") + KV37_VERSION);
  app.footer(kExitStatusHelp);

  try {
    app.parse(argc, argv);
  } catch (const CLI::Success& e) {
    app.exit(e, out, out);
    return {std::nullopt, 0, {}};
  } catch (const CLI::ParseError& e) {
    return {std::nullopt, Usage(), std::string(e.what()) + "; run with --help for the options"};
  }

  // Decided before any port is opened: the first name would get the start
  // command and the second a misleading "busy".
  std::map<std::string, std::string> devices;
  for (const std::string& port : options.ports) {
    if (port.empty()) return {std::nullopt, Usage(), "--port: empty port name"};
    const auto [it, added] = devices.emplace(DeviceIdentity(ResolvePortName(port)), port);
    if (!added)
      return {std::nullopt, Usage(),
              "--port " + port + ": the same device as --port " + it->second};
  }
  return {std::move(options), 0, {}};
}

}  // namespace kv37::cli
