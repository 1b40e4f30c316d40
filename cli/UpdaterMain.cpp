#include "UpdaterMain.h"

#include <QCoreApplication>
#include <QTimer>
#include <iostream>
#include <memory>
#include <optional>

#include "CliOptions.h"
#include "CliPlatform.h"
#include "HistoryCommand.h"
#include "ImageCheck.h"
#include "JsonEvents.h"
#include "OsImage.h"
#include "PortList.h"
#include "ProgressView.h"
#include "RunLog.h"
#include "Station.h"
#include "StationBoard.h"
#include "StationFile.h"
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
    std::cerr << "kv37-update-cli: " << Printable(message) << '\n';
  return static_cast<int>(ExitStatus::Usage);
}

// Loads and checks the image; throws Refusal. `advice`: what the user can do
// about an image refused as empty or all 0xFF.
ImageInfo LoadImage(MemoryStream& image, const std::string& path, bool force,
                    const std::string& advice = "add --force to send it") {
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
    throw Refusal{"image " + path + " " + check.refusal + "; " + advice};
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

// How long rows still waiting for the database are offered to it at the end.
constexpr auto kRecordAtEnd = std::chrono::seconds(5);

std::unique_ptr<UnitRecorder> OpenRecorder(const std::string& path, const std::string& station,
                                           const ImageInfo& image) {
  if (path.empty()) return nullptr;
  try {
    return std::make_unique<UnitRecorder>(path, station, image, [](const PortEvent& finished) {
      return static_cast<int>(ExitStatusOf(finished));
    });
  } catch (const UnitDatabaseError& e) {
    throw Refusal{e.what()};
  }
}

// Gives the recorder its last chance; says where the rows it could not write
// went. `status` made worse when some did not reach the database.
ExitStatus FinishRecording(UnitRecorder& recorder, ExitStatus status) {
  const UnitRecorder::Outcome end = recorder.Finish(kRecordAtEnd);
  if (end.unwritten == 0) return status;
  std::cerr << "kv37-update-cli: " << end.unwritten << " units could not be written to "
            << recorder.Path() << ": "
            << (end.keptIn.empty() ? "they are lost (" + end.error + ")"
                                   : "kept in " + end.keptIn +
                                         " (history shows them; the next station or --record "
                                         "on that database takes them back)")
            << '\n';
  return Worse(status, ExitStatus::Unrecorded);
}

int RunUpdate(const CliOptions& options) {
  const UpdateOptions& o = options.update;
  MemoryStream image;
  const ImageInfo info = LoadImage(image, o.image, o.force);
  const std::unique_ptr<RunLog> log = OpenLog(o.logPath);
  const std::unique_ptr<UnitRecorder> recorder = OpenRecorder(o.recordPath, "update", info);

  EventFanout sinks;
  std::optional<JsonEventWriter> json;
  std::optional<ProgressView> progress;
  if (options.json) {
    sinks.Add(json.emplace(std::cout));
  } else {
    const bool terminal = StdoutIsTerminal();
    sinks.Add(progress.emplace(std::cout, terminal, terminal ? StdoutColumns() : 0, o.quiet));
  }
  if (log) sinks.Add(*log);
  if (recorder) {
    sinks.Add(*recorder);
    recorder->onWriteFailed = [&recorder](const std::string& reason) {
      std::cerr << "kv37-update-cli: recording in " << recorder->Path() << " failed: " << reason
                << '\n';
    };
  }

  UpdateSession session(image, o.ports, sinks, o.fast);
  session.onDone = [&recorder](ExitStatus status) {
    // A unit that could not be recorded is not lost quietly.
    if (recorder) status = FinishRecording(*recorder, status);
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
  const ImageInfo info = LoadImage(
      image, spec.image, false,
      "a station never sends such an image: name the release in 'image =' of " + spec.file);
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
  const std::unique_ptr<UnitRecorder> recorded = OpenRecorder(dbPath, spec.name, info);
  UnitRecorder& recorder = *recorded;
  const std::unique_ptr<RunLog> log = OpenLog(options.station.logPath);

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
  station.onStopped = [&board, &recorder] {
    board.Stopped();
    QCoreApplication::exit(static_cast<int>(FinishRecording(recorder, ExitStatus::Success)));
  };
  WatchInterrupts(&station, [&station](int signal) { station.Stop(signal); });
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
