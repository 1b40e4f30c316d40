// kv37sim: a simulated KV-37 unit on a pseudo-terminal or a serial device.
// See README.md and --help for the options, the output and the exit status.

#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <filesystem>
#include <iostream>

#include "SerialTransport.h"
#include "SimCommandLine.h"
#include "SimulatedUnit.h"

namespace {

using namespace kv37::sim;

kv37::sim::ByteTransport* gLine = nullptr;

extern "C" void OnSignal(int) {
  if (gLine != nullptr) gLine->Cancel();
}

// Points `link` at `target`, replacing an older symbolic link but never a
// real file. Returns false with a message on `std::cerr`.
bool MakeLink(const std::string& link, const std::string& target) {
  namespace fs = std::filesystem;
  std::error_code ec;
  const auto status = fs::symlink_status(link, ec);
  if (fs::exists(status) && !fs::is_symlink(status)) {
    std::cerr << "kv37sim: --link " << link << ": exists and is not a symbolic link\n";
    return false;
  }
  fs::remove(link, ec);
  fs::create_symlink(target, link, ec);
  if (ec) {
    std::cerr << "kv37sim: --link " << link << ": " << ec.message() << '\n';
    return false;
  }
  return true;
}

// Removes the link only while it is still ours.
void RemoveLink(const std::string& link, const std::string& target) {
  std::error_code ec;
  if (std::filesystem::read_symlink(link, ec) == target) std::filesystem::remove(link, ec);
}

}  // namespace

int main(int argc, char** argv) {
  auto parsed = ParseCommandLine(argc, argv, std::cout, std::cerr);
  if (!parsed.commandLine) return parsed.exitStatus;
  CommandLine& cl = *parsed.commandLine;

  std::unique_ptr<SerialTransport> line;
  try {
    line = cl.device.empty() ? SerialTransport::CreatePseudoTerminal()
                             : SerialTransport::OpenDevice(cl.device, cl.deviceBaud);
  } catch (const TransportError& e) {
    std::cerr << "kv37sim: " << e.what() << '\n';
    return static_cast<int>(SimOutcome::LineError);
  }
  if (!cl.link.empty() && !MakeLink(cl.link, line->PeerPath()))
    return static_cast<int>(SimOutcome::LineError);

  gLine = line.get();
  struct sigaction action {};
  action.sa_handler = OnSignal;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
  // A reader that went away must not kill the unit before its summary.
  std::signal(SIGPIPE, SIG_IGN);

  std::cout << line->PeerPath() << std::endl;
  if (cl.config.faults.randomOrder && !cl.seedGiven)
    std::cerr << "kv37sim: random order, --seed " << cl.config.faults.seed << '\n';
  cl.config.note = [](std::string_view text) { std::cerr << "kv37sim: " << text << '\n'; };

  SimulatedUnit unit(*line, std::move(cl.config));
  const RunSummary summary = unit.Run();

  try {
    // The completion frame must reach the utility before the line closes.
    line->Drain(std::chrono::milliseconds(2000));
  } catch (const TransportError&) {
  }
  gLine = nullptr;
  if (!cl.link.empty()) RemoveLink(cl.link, line->PeerPath());
  std::cout << FormatSummary(summary) << std::endl;
  return static_cast<int>(summary.outcome);
}
