#pragma once
// Runs kv37-update-cli as a separate process against simulated units, each
// on its own pseudo-terminal and thread in the test process.

#include <cstdint>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "MemoryStream.h"
#include "SerialTransport.h"
#include "SimulatedUnit.h"

namespace kv37::cli::test {

// A private folder, removed with everything in it.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  std::string Write(const std::string& name, const std::vector<uint8_t>& bytes) const;
  std::filesystem::path Path() const { return path_; }

 private:
  std::filesystem::path path_;
};

// Bytes that differ from page to page and from the 0xFF padding.
std::vector<uint8_t> Pattern(std::size_t size);

// A simulated unit that asks for `pages` pages of `image` and checks each one,
// running from construction; the destructor stops it if still running.
// `hangUpAtEnd`: the line is dropped as soon as the unit's last frame has
// been read, as by a unit that reboots into its new OS. `baud`: the unit
// paces its bytes at that rate (0: unpaced).
class UnitOnPty {
 public:
  UnitOnPty(const MemoryStream& image, unsigned pages, sim::FaultPlan faults = {},
            bool hangUpAtEnd = false, unsigned baud = 0);
  ~UnitOnPty();
  UnitOnPty(const UnitOnPty&) = delete;
  UnitOnPty& operator=(const UnitOnPty&) = delete;

  const std::string& Path() const { return path_; }
  // Waits for the unit's run to end (Stop()s it first when `stop`).
  const sim::RunSummary& Finish(bool stop = false);
  // The unit's flash; call after Finish().
  const std::vector<uint8_t>& Flash() const { return unit_->Flash(); }

 private:
  std::mutex lineMutex_;
  std::unique_ptr<sim::SerialTransport> line_;  // reset by the unit's thread on hang-up
  std::string path_;
  std::unique_ptr<sim::SimulatedUnit> unit_;
  sim::RunSummary summary_;
  std::thread thread_;
};

struct CliResult {
  int exitStatus = -1;  // -1 when it crashed or did not end in time
  std::string out;
  std::string err;
};

// Runs the updater with `args` and waits for it (at most `timeoutMs`);
// `wrapper` (e.g. strace and its options) runs it when given.
CliResult RunCli(const std::vector<std::string>& args, int timeoutMs = 30000,
                 const std::vector<std::string>& wrapper = {});

// Runs the updater and sends it SIGTERM once `line` appears on its output.
CliResult RunCliAndTerminate(const std::vector<std::string>& args, const std::string& line);

}  // namespace kv37::cli::test
