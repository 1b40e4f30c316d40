#pragma once
// A simulated KV-37 unit on its own thread, on a fresh pseudo-terminal whose
// far end (PeerPath) the utility under test opens as its port.

#include <chrono>
#include <string>
#include <thread>

#include "SerialTransport.h"
#include "SimulatedUnit.h"

class UnitOnThread {
 public:
  // Creates the line and starts the unit at once; it waits for the start
  // command. Throws kv37::sim::TransportError when no pseudo-terminal can be
  // made.
  explicit UnitOnThread(kv37::sim::SimConfig config);
  // Stops a unit still running and joins its thread.
  ~UnitOnThread();
  UnitOnThread(const UnitOnThread&) = delete;
  UnitOnThread& operator=(const UnitOnThread&) = delete;

  const std::string& PeerPath() const { return line_->PeerPath(); }

  // Waits for the run to end and returns its summary; Stop() first to end a
  // run early. Call once, from the thread that made the object.
  const kv37::sim::RunSummary& Finish();
  void Stop() noexcept { unit_.Stop(); }

  // Read only after Finish().
  const std::vector<uint8_t>& Flash() const { return unit_.Flash(); }
  // CPU time the unit's thread used, so a caller can tell it apart from the
  // utility's in the process total. Read only after Finish().
  std::chrono::nanoseconds UnitCpuTime() const { return cpu_; }

 private:
  std::unique_ptr<kv37::sim::SerialTransport> line_;
  kv37::sim::SimulatedUnit unit_;
  kv37::sim::RunSummary summary_;
  std::chrono::nanoseconds cpu_{0};
  std::thread thread_;
};
