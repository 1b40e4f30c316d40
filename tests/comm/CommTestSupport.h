// Helpers shared by the serial component tests: event-loop waiting, a
// pseudo-terminal pair and a recorder of TComm events.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "Comm.h"

// Runs the owner's event loop until `done` holds or `timeout` passes.
bool WaitUntil(const std::function<bool()>& done,
               std::chrono::milliseconds timeout = std::chrono::seconds(15));
// Runs the owner's event loop for `period`.
void PumpEvents(std::chrono::milliseconds period);

// True when the port `name` can be opened exclusively right now; it is
// closed again at once.
bool OpensNow(const std::string& name);

// A pseudo-terminal: the component opens the slave by path, the test plays
// the far end on the master.
class TPty {
 public:
  TPty();
  ~TPty();
  TPty(const TPty&) = delete;
  TPty& operator=(const TPty&) = delete;

  int master() const { return fMaster; }
  const std::string& slavePath() const { return fSlavePath; }

  void Write(const std::vector<uint8_t>& bytes);
  // Collects what arrives until `count` bytes are in or `timeout` passes,
  // running the owner's event loop meanwhile.
  std::vector<uint8_t> Read(std::size_t count,
                            std::chrono::milliseconds timeout = std::chrono::seconds(10));
  // Everything that arrives within `period`.
  std::vector<uint8_t> Drain(std::chrono::milliseconds period);
  void CloseMaster();

 private:
  int fMaster = -1;
  int fSlave = -1;
  std::string fSlavePath;
};

// Records every event of one TComm, in arrival order.
struct TEventLog {
  struct TChunk {
    std::vector<uint8_t> bytes;
    uint8_t after = 0xAA;  // the byte just past the chunk
  };
  std::vector<TChunk> chunks;
  std::vector<uint32_t> errors;
  std::vector<uint32_t> modem;
  std::vector<std::string> order;  // "data", "error", "modem", "hangup", "empty"
  int hangups = 0;
  int empties = 0;

  void Attach(TComm& comm);
  std::vector<uint8_t> Received() const;
};

// The settings the update utility gives its port.
void ApplyUtilitySettings(TComm& comm);

std::vector<uint8_t> Pattern(std::size_t length, unsigned seed = 1);
