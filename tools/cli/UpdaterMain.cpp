#include "UpdaterMain.h"

#include <QCoreApplication>
#include <QTimer>
#include <iostream>
#include <memory>
#include <optional>

#include "CliOptions.h"
#include "CliPlatform.h"
#include "History.h"
#include "ImageCheck.h"
#include "JsonEvents.h"
#include "OsImage.h"
#include "PortList.h"
#include "ProgressView.h"
#include "RunLog.h"
#include "Station.h"
#include "StationBoard.h"
#include "UnitRecorder.h"
#include "UpdateSession.h"

namespace kv37::cli {

namespace {

// Refusals before any port is touched: a message, and exit status 5.
struct Refusal {
  std::string message;
};

int Refuse(bool json, const std::string& message) {
  if (json)
    std::cout << ErrorJson(message, ExitStatus::Usage) << std::endl;
  else
    std::cerr << "kv37-update-cli: " << message << '\n';
  return static_cast<int>(ExitStatus::Usage);
}

// Loads and checks the image; throws Refusal.
ImageInfo LoadImage(MemoryStream& image, const std::string& path, bool force) {
  ImageInfo info;
  info.path = path;
  try {
    LoadOsImage(image, path);
  } catch (const EFOpenError& e) {
    throw Refusal{"cannot open image " + path + ": " + e.Reason()};
  } catch (const std::exception& e) {
    throw Refusal{"cannot read image " + path + ": " + e.what()};
  }
  const ImageCheck check = CheckImage(image, path);
  info.fileSize = check.fileSize;
  info.imageSize = image.Size();
  info.sha256 = check.sha256;
  if (!check.refusal.empty() && !force)
    throw Refusal{"image " + path + " " + check.refusal + "; add --force to send it"};
  if (!check.warning.empty()) std::cerr << "kv37-update-cli: warning: " << check.warning << '\n';
  return info;
}

std::unique_ptr<RunLog> OpenLog(const std::string& path) {
  if (path.empty()) return nullptr;
  try {
    return std::make_unique<RunLog>(path, std::cerr);
  } catch (const std::exception& e) {
    throw Refusal{e.what()};
  }
}

std::unique_ptr<UnitDatabase> OpenDatabase(const std::string& path) {
  if (path.empty()) return nullptr;
  try {
    return std::make_unique<UnitDatabase>(path);
  } catch (const UnitDatabaseError& e) {
    throw Refusal{e.what()};
  }
}

int RunUpdate(const CliOptions& options) {
  const UpdateOptions& o = options.update;
  MemoryStream image;
  const ImageInfo info = LoadImage(image, o.image, o.force);
  const std::unique_ptr<RunLog> log = OpenLog(o.logPath);
  const std::unique_ptr<UnitDatabase> db = OpenDatabase(o.recordPath);

  EventFanout sinks;
  std::optional<JsonEventWriter> json;
  std::optional<ProgressView> progress;
  std::optional<UnitRecorder> recorder;
  if (options.json) {
    sinks.Add(json.emplace(std::cout));
  } else {
    const bool terminal = StdoutIsTerminal();
    sinks.Add(progress.emplace(std::cout, terminal, terminal ? StdoutColumns() : 0, o.quiet));
  }
  if (log) sinks.Add(*log);
  if (db) {
    sinks.Add(recorder.emplace(*db, "update", info));
    recorder->onWriteFailed = [&db](const std::string& reason) {
      std::cerr << "kv37-update-cli: recording in " << db->Path() << " failed: " << reason << '\n';
    };
  }

  UpdateSession session(image, o.ports, sinks, o.fast);
  session.onDone = [&recorder](ExitStatus status) {
    // A unit that could not be recorded is not lost quietly.
    if (recorder && !recorder->Flush() && status == ExitStatus::Success) status = ExitStatus::Usage;
    QCoreApplication::exit(static_cast<int>(status));
  };
  WatchInterrupts(&session, [&session](int signal) { session.Interrupt(signal); });
  QTimer::singleShot(0, &session, [&session, &info] { session.Start(info); });
  return QCoreApplication::exec();
}

int RunStation(const CliOptions& options) {
  StationSpec spec;
  try {
    spec = ReadStationFile(options.station.file);
  } catch (const StationFileError& e) {
    throw Refusal{e.what()};
  }
  MemoryStream image;
  const ImageInfo info = LoadImage(image, spec.image, false);
  if (!spec.sha256.empty() && spec.sha256 != info.sha256)
    throw Refusal{"image " + spec.image + " has SHA-256 " + info.sha256 + ", but " + spec.file +
                  " expects " + spec.sha256 + ": not the image meant"};
  if (const std::string shared = SlotsSharingAnAdapter(spec); !shared.empty())
    throw Refusal{spec.file + ": " + shared};
  const std::string dbPath =
      options.station.recordPath.empty() ? spec.database : options.station.recordPath;
  if (dbPath.empty())
    throw Refusal{spec.file +
                  ": no unit database; name one with 'database =' in [station] or "
                  "with --record"};
  const std::unique_ptr<UnitDatabase> db = OpenDatabase(dbPath);
  const std::unique_ptr<RunLog> log = OpenLog(options.station.logPath);

  UnitRecorder recorder(*db, spec.name, info);
  const bool terminal = StdoutIsTerminal();
  StationBoard board(std::cout,
                     options.json ? BoardMode::Json
                     : terminal   ? BoardMode::InPlace
                                  : BoardMode::Plain,
                     terminal ? StdoutColumns() : 0);
  EventFanout units;
  units.Add(board);
  if (log) units.Add(*log);
  Station station(spec, image, recorder, units);
  try {
    station.Start();
  } catch (const std::exception& e) {
    throw Refusal{std::string("cannot watch for adapters: ") + e.what()};
  }
  board.Attach(station, info);
  station.onStopped = [&board] {
    board.Stopped();
    QCoreApplication::exit(0);
  };
  WatchInterrupts(&station, [&station](int) { station.Stop(); });
  return QCoreApplication::exec();
}

}  // namespace

int RunUpdater(int argc, char** argv) {
  // Keep our own copy: QCoreApplication may take its own options out of argv.
  const std::vector<const char*> args(argv, argv + argc);
  QCoreApplication app(argc, argv);

  const ParsedOptions parsed =
      ParseCliOptions(static_cast<int>(args.size()), args.data(), std::cout);
  if (!parsed.options) return parsed.exitStatus == 0 ? 0 : Refuse(parsed.json, parsed.error);
  const CliOptions& options = *parsed.options;
  try {
    switch (options.command) {
      case Command::ListPorts: {
        const std::vector<ListedPort> ports = ListPorts();
        std::cout << (options.json ? PortListJson(ports) + "\n" : PortListText(ports));
        return 0;
      }
      case Command::History:
        return RunHistory(options.history, std::cout, std::cerr);
      case Command::Station:
        return RunStation(options);
      case Command::Update:
        return RunUpdate(options);
    }
  } catch (const Refusal& refusal) {
    return Refuse(options.json, refusal.message);
  }
  return 0;
}

}  // namespace kv37::cli
