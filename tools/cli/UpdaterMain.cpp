#include "UpdaterMain.h"

#include <QCoreApplication>
#include <QTimer>
#include <iostream>
#include <memory>
#include <optional>

#include "CliOptions.h"
#include "CliPlatform.h"
#include "ImageCheck.h"
#include "JsonEvents.h"
#include "OsImage.h"
#include "PortList.h"
#include "ProgressView.h"
#include "RunLog.h"
#include "UpdateSession.h"

namespace kv37::cli {

int RunUpdater(int argc, char** argv) {
  // Keep our own copy: QCoreApplication may take its own options out of argv.
  const std::vector<const char*> args(argv, argv + argc);
  QCoreApplication app(argc, argv);
  // The window's name, so COMn finds the same per-user port map.
  QCoreApplication::setApplicationName("kv37update");

  // With --json even these failures are one JSON object on the output.
  const int argCount = static_cast<int>(args.size());
  const bool jsonErrors = HasFlag(argCount, args.data(), "--json");
  if (HasFlag(argCount, args.data(), "--list-ports")) {
    const std::vector<ListedPort> ports = ListPorts();
    std::cout << (jsonErrors ? PortListJson(ports) + "\n" : PortListText(ports));
    return 0;
  }
  const auto fail = [jsonErrors](const std::string& message) {
    if (jsonErrors)
      std::cout << ErrorJson(message, ExitStatus::Usage) << std::endl;
    else
      std::cerr << "kv37-update-cli: " << message << '\n';
    return static_cast<int>(ExitStatus::Usage);
  };

  const ParsedOptions parsed =
      ParseCliOptions(static_cast<int>(args.size()), args.data(), std::cout);
  if (!parsed.options) return parsed.exitStatus == 0 ? 0 : fail(parsed.error);
  const CliOptions& options = *parsed.options;

  MemoryStream image;
  ImageInfo info;
  info.path = options.image;
  try {
    LoadOsImage(image, options.image);
  } catch (const EFOpenError& e) {
    return fail("cannot open image " + options.image + ": " + e.Reason());
  } catch (const std::exception& e) {
    return fail("cannot read image " + options.image + ": " + e.what());
  }
  const ImageCheck check = CheckImage(image, options.image);
  info.fileSize = check.fileSize;
  info.imageSize = image.Size();
  info.sha256 = check.sha256;
  if (!check.refusal.empty() && !options.force)
    return fail("image " + options.image + " " + check.refusal + "; add --force to send it");
  if (!check.warning.empty()) std::cerr << "kv37-update-cli: warning: " << check.warning << '\n';

  std::unique_ptr<RunLog> log;
  if (!options.logPath.empty()) {
    try {
      log = std::make_unique<RunLog>(options.logPath, std::cerr);
    } catch (const std::exception& e) {
      return fail(e.what());
    }
  }

  EventFanout sinks;
  std::optional<JsonEventWriter> json;
  std::optional<ProgressView> progress;
  if (options.json) {
    sinks.Add(json.emplace(std::cout));
  } else {
    const bool terminal = StdoutIsTerminal();
    sinks.Add(progress.emplace(std::cout, terminal, terminal ? StdoutColumns() : 0, options.quiet));
  }
  if (log) sinks.Add(*log);

  UpdateSession session(image, options.ports, sinks, options.fast);
  session.onDone = [](ExitStatus status) { QCoreApplication::exit(static_cast<int>(status)); };
  WatchInterrupts(&session, [&session](int signal) { session.Interrupt(signal); });
  QTimer::singleShot(0, &session, [&session, &info] { session.Start(info); });
  return QCoreApplication::exec();
}

}  // namespace kv37::cli
