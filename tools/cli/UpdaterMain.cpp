#include "UpdaterMain.h"

#include <QCoreApplication>
#include <QTimer>
#include <filesystem>
#include <iostream>
#include <memory>
#include <optional>

#include "CliOptions.h"
#include "CliPlatform.h"
#include "JsonEvents.h"
#include "OsImage.h"
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

  const ParsedOptions parsed =
      ParseCliOptions(static_cast<int>(args.size()), args.data(), std::cout, std::cerr);
  if (!parsed.options) return parsed.exitStatus;
  const CliOptions& options = *parsed.options;

  MemoryStream image;
  ImageInfo info;
  info.path = options.image;
  try {
    std::error_code ec;
    if (std::filesystem::is_directory(options.image, ec))
      throw std::runtime_error(options.image + " is a folder, not an image file");
    LoadOsImage(image, options.image);
    info.fileSize = static_cast<std::size_t>(std::filesystem::file_size(options.image, ec));
    if (ec) info.fileSize = image.Size();
    info.imageSize = image.Size();
  } catch (const std::exception& e) {
    std::cerr << "kv37-update-cli: " << e.what() << '\n';
    return static_cast<int>(ExitStatus::Usage);
  }

  std::unique_ptr<RunLog> log;
  if (!options.logPath.empty()) {
    try {
      log = std::make_unique<RunLog>(options.logPath, std::cerr);
    } catch (const std::exception& e) {
      std::cerr << "kv37-update-cli: " << e.what() << '\n';
      return static_cast<int>(ExitStatus::Usage);
    }
  }

  EventFanout sinks;
  std::optional<JsonEventWriter> json;
  std::optional<ProgressView> progress;
  if (options.json) {
    sinks.Add(json.emplace(std::cout));
  } else {
    const bool terminal = StdoutIsTerminal();
    sinks.Add(progress.emplace(std::cout, terminal, terminal ? StdoutColumns() : 0));
  }
  if (log) sinks.Add(*log);

  UpdateSession session(image, options.ports, sinks);
  session.onDone = [](ExitStatus status) { QCoreApplication::exit(static_cast<int>(status)); };
  WatchInterrupts(&session, [&session] { session.Interrupt(); });
  QTimer::singleShot(0, &session, [&session, &info] { session.Start(info); });
  return QCoreApplication::exec();
}

}  // namespace kv37::cli
