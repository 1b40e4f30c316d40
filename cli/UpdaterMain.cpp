#include "UpdaterMain.h"

#include <unistd.h>

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
#include "OutputQueue.h"
#include "PortList.h"
#include "ProgressView.h"
#include "RunLog.h"
#include "Station.h"
#include "StationBoard.h"
#include "StationFile.h"
#include "StationHost.h"
#include "StopSignals.h"
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

// Loads and checks the image; throws Refusal.
ImageInfo LoadImage(MemoryStream& image, const std::string& path, bool force) {
  try {
    std::string warning;
    const ImageInfo info = LoadCheckedImage(image, path, force, "add --force to send it", warning);
    if (!warning.empty()) std::cerr << "kv37-update-cli: warning: " << warning << '\n';
    return info;
  } catch (const ImageRefused& e) {
    throw Refusal{e.what()};
  }
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
    return std::make_unique<UnitRecorder>(path, station, image);
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

  // Declared first, so it outlasts everything that writes to it.
  OutputQueue output(STDOUT_FILENO);
  EventFanout sinks;
  std::optional<JsonEventWriter> json;
  std::optional<ProgressView> progress;
  if (options.json) {
    sinks.Add(json.emplace(output.Stream()));
  } else {
    const bool terminal = StdoutIsTerminal();
    sinks.Add(progress.emplace(output.Stream(), terminal, terminal ? StdoutColumns() : 0, o.quiet));
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

// The board, the log and the end of the process, as listeners of the station.
class StationEnd : public StationListener {
 public:
  StationEnd(UnitRecorder& recorder, RunLog* log) : recorder_(recorder), log_(log) {}
  void UnitEvent(const PortEvent& event) override {
    if (log_) log_->Report(event);
  }
  void Stopped() override {
    QCoreApplication::exit(static_cast<int>(FinishRecording(recorder_, ExitStatus::Success)));
  }

 private:
  UnitRecorder& recorder_;
  RunLog* log_;
};

int RunStation(const CliOptions& options) {
  std::optional<StationHost> host;
  try {
    host.emplace(options.station.file, options.station.recordPath, "--record");
  } catch (const StationRefusal& e) {
    throw Refusal{e.what()};
  }
  const StationSetup& setup = host->Setup();
  if (!setup.warning.empty()) std::cerr << "kv37-update-cli: warning: " << setup.warning << '\n';
  const std::unique_ptr<RunLog> log = OpenLog(options.station.logPath);

  const bool terminal = StdoutIsTerminal();
  // A board nobody reads must not stop the units: it is written on a thread
  // of its own.
  OutputQueue output(STDOUT_FILENO);
  StationBoard board(output.Stream(),
                     options.json ? BoardMode::Json
                     : terminal   ? BoardMode::InPlace
                                  : BoardMode::Plain,
                     terminal ? StdoutColumns() : 0);
  Station& station = host->Units();
  try {
    host->Start();
  } catch (const StationRefusal& e) {
    throw Refusal{e.what()};
  }
  board.Attach(station, setup.image);
  // After the board: the process ends once the board has shown the end.
  StationEnd end(host->Recorder(), log.get());
  station.AddListener(end);
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
      case Command::Forward:
        return RunForward(options.forward, std::cout, std::cerr);
      case Command::RecordsSchema:
        return RunRecordsSchema(options.schema, std::cout, std::cerr);
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
