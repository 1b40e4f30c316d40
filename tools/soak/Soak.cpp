#include "Soak.h"

#include <unistd.h>

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <random>
#include <thread>
#include <vector>

#include "Comm.h"
#include "OsImage.h"
#include "ProcessFigures.h"
#include "SerialTransport.h"
#include "SimulatedUnit.h"
#include "UpdateController.h"
#include "UpdateDriver.h"
#include "UpdateRecorder.h"

namespace kv37::soak {
namespace {

// Resident memory may move by allocator caching and page granularity; a leak
// of even one image per update would pass this within a few updates.
constexpr int64_t kResidentSlackKiB = 4096;

std::vector<uint8_t> RandomImage(std::mt19937& random, uint32_t size) {
  std::vector<uint8_t> bytes(size);
  std::uniform_int_distribution<int> byte(0, 255);
  for (uint8_t& b : bytes) b = static_cast<uint8_t>(byte(random));
  return bytes;
}

// The image as the window loads it: written to a file and read back padded.
MemoryStream LoadImage(const std::vector<uint8_t>& bytes, const std::filesystem::path& file) {
  {
    std::ofstream os(file, std::ios::binary | std::ios::trunc);
    os.write(reinterpret_cast<const char*>(bytes.data()),
             static_cast<std::streamsize>(bytes.size()));
  }
  MemoryStream image;
  LoadOsImage(image, file.string());
  return image;
}

std::string HexText(const uint8_t* bytes, std::size_t length) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string text;
  for (std::size_t i = 0; i < length; ++i) {
    text += kDigits[bytes[i] >> 4];
    text += kDigits[bytes[i] & 0x0F];
  }
  return text;
}

struct UpdateResult {
  bool byteExact = false;
  std::string detail;
};

UpdateResult RunOneUpdate(TComm& comm, sim::ByteTransport& line, const MemoryStream& image) {
  sim::SimConfig config;
  config.expect = image;
  config.startTimeout = std::chrono::milliseconds(5000);
  config.silenceHold = std::chrono::milliseconds(100);
  sim::SimulatedUnit unit(line, std::move(config));

  QEventLoop loop;
  std::atomic<bool> unitDone{false};
  sim::RunSummary summary;
  UpdateRecorder effects;
  UpdateDriver driver(comm, image, effects);
  effects.driver = &driver;

  std::thread unitThread([&] {
    summary = unit.Run();
    unitDone = true;
  });
  driver.KV37_ModeClick();

  // Ends once the unit has finished and its completion frame has been handled
  // here, or a little after the unit finished without one arriving.
  QTimer poll;
  int graceTicks = 200;
  QObject::connect(&poll, &QTimer::timeout, [&] {
    if (!unitDone) return;
    const bool completed =
        effects.Ended() == UpdateEnd::Success || effects.Ended() == UpdateEnd::UnitFailure;
    if (completed || --graceTicks <= 0) loop.quit();
  });
  poll.start(5);
  loop.exec();
  unitThread.join();

  UpdateResult result;
  const std::vector<uint8_t>& flash = unit.Flash();
  const bool sameBytes =
      image.Size() >= flash.size() && std::equal(flash.begin(), flash.end(), image.Memory());
  result.byteExact = summary.outcome == sim::SimOutcome::Success && sameBytes &&
                     effects.Ended() == UpdateEnd::Success && effects.Fault().empty();
  if (!result.byteExact) {
    result.detail = sim::FormatSummary(summary) + " status=\"" + effects.Status() + "\"";
    if (!effects.Fault().empty())
      result.detail += " fault=\"" + effects.Fault() + "\" on " +
                       HexText(effects.FaultChunk().data(), effects.FaultChunk().size());
    if (!sameBytes) result.detail += " flash differs";
  }
  return result;
}

void PrintFigures(std::ostream& out, const char* label, const ProcessFigures& f) {
  out << "  " << label << ": descriptors " << f.descriptors << ", threads " << f.threads
      << ", resident " << f.residentKiB << " KiB" << std::endl;
}

// Counts and threads must be back exactly; memory within the slack.
bool Grew(const ProcessFigures& before, const ProcessFigures& after) {
  return after.descriptors != before.descriptors || after.threads != before.threads ||
         after.residentKiB - before.residentKiB > kResidentSlackKiB;
}

// Runs the updates over the open port; true when every one was byte-exact
// and the process did not grow across them.
bool SoakUpdates(const SoakOptions& options, TComm& comm, sim::ByteTransport& line,
                 std::ostream& out) {
  const std::filesystem::path imageFile =
      std::filesystem::temp_directory_path() / ("kv37soak-" + std::to_string(::getpid()) + ".bin");
  std::mt19937 random(options.seed);
  std::uniform_int_distribution<uint32_t> size(0, options.maxImageSize);
  bool ok = true;
  int exact = 0;
  std::optional<ProcessFigures> afterFirst;
  for (int i = 0; i < options.updates; ++i) {
    // The first two take the extreme sizes, the rest are drawn.
    const uint32_t bytes = i == 0 ? 0 : i == 1 ? options.maxImageSize : size(random);
    const MemoryStream image = LoadImage(RandomImage(random, bytes), imageFile);
    const UpdateResult result = RunOneUpdate(comm, line, image);
    if (result.byteExact)
      ++exact;
    else
      out << "  update " << i + 1 << " (" << bytes << " bytes): " << result.detail << std::endl;
    if (i == 0) afterFirst = ReadProcessFigures();
  }
  std::filesystem::remove(imageFile);
  const ProcessFigures afterUpdates = ReadProcessFigures();
  if (afterFirst) PrintFigures(out, "after first  ", *afterFirst);
  PrintFigures(out, "after last   ", afterUpdates);
  out << "  byte-exact: " << exact << '/' << options.updates << '\n';
  if (exact != options.updates) ok = false;
  if (afterFirst && Grew(*afterFirst, afterUpdates)) {
    out << "  GROWTH across the updates\n";
    ok = false;
  }

  return ok;
}

// Opens and closes the port again and again; true when each open succeeded
// and nothing grew from `before`.
bool SoakOpenClose(const SoakOptions& options, TComm& comm, const ProcessFigures& before,
                   std::ostream& out) {
  bool ok = true;
  out << "open/close cycles:\n";
  int opened = 0;
  for (int i = 0; i < options.cycles; ++i) {
    try {
      comm.StartComm();
      ++opened;
    } catch (const ECommsError& e) {
      out << "  cycle " << i + 1 << ": " << e.what() << '\n';
    }
    comm.StopComm();
    QCoreApplication::processEvents();
  }
  const ProcessFigures afterCycles = ReadProcessFigures();
  PrintFigures(out, "before cycles", before);
  PrintFigures(out, "after cycles ", afterCycles);
  out << "  opened and closed: " << opened << '/' << options.cycles << '\n';
  if (opened != options.cycles) ok = false;
  if (Grew(before, afterCycles)) {
    out << "  GROWTH across the cycles\n";
    ok = false;
  }

  return ok;
}

}  // namespace

int RunSoak(const SoakOptions& options, std::ostream& out) {
  std::unique_ptr<sim::SerialTransport> line;
  try {
    line = sim::SerialTransport::CreatePseudoTerminal();
  } catch (const sim::TransportError& e) {
    out << "soak: cannot create a pseudo-terminal: " << e.what() << '\n';
    return 1;
  }
  TComm comm;
  comm.CommName = line->PeerPath();
  // The line settings of the operator window: with XON/XOFF output flow the
  // driver would swallow page numbers 0x11 and 0x13.
  comm.SetBaudRate(57600);
  comm.SetOutx_XonXoffFlow(false);
  comm.SetReadIntervalTimeout(options.readInterval);

  out << "soak: seed " << options.seed << ", port " << comm.CommName << '\n';
  out << "updates over one open port:\n";
  const ProcessFigures beforeOpen = ReadProcessFigures();
  PrintFigures(out, "before open  ", beforeOpen);
  try {
    comm.StartComm();
  } catch (const ECommsError& e) {
    out << "soak: cannot open " << comm.CommName << ": " << e.what() << '\n';
    return 1;
  }

  bool ok = SoakUpdates(options, comm, *line, out);
  comm.StopComm();
  QCoreApplication::processEvents();  // notices posted before the stop
  const ProcessFigures afterClose = ReadProcessFigures();
  PrintFigures(out, "after close  ", afterClose);
  if (afterClose.descriptors != beforeOpen.descriptors ||
      afterClose.threads != beforeOpen.threads) {
    out << "  GROWTH after closing the port\n";
    ok = false;
  }

  ok = SoakOpenClose(options, comm, afterClose, out) && ok;
  out << "peak resident: " << ReadProcessFigures().peakKiB << " KiB\n";
  out << (ok ? "soak: PASS\n" : "soak: FAIL\n");
  return ok ? 0 : 1;
}

}  // namespace kv37::soak
