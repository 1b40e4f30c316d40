#pragma once
// A station as every front end runs it: the station file checked, its image
// loaded, its unit database opened (and its rows forwarded to the records
// server the file names), the system's adapter watch and the event loop's
// clock, and the station on them. One place, so the command
// line and the window refuse the same things with the same words.
//
// Owner's thread only; owns everything it made.

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "AdapterWatch.h"
#include "MemoryStream.h"
#include "RecordsForwarder.h"
#include "Station.h"
#include "StationClock.h"
#include "StationSetup.h"
#include "UnitRecorder.h"

namespace kv37 {

class StationHost {
 public:
  // Checks the station file at `file` and opens its unit database
  // (`database`, when not empty, over the file's; `databaseOption` as for
  // PrepareStation). Throws StationRefusal with the reason; nothing runs yet.
  explicit StationHost(const std::string& file, const std::string& database = {},
                       const std::string& databaseOption = {});
  ~StationHost();
  StationHost(const StationHost&) = delete;
  StationHost& operator=(const StationHost&) = delete;

  // Starts watching the slots' adapters. Throws StationRefusal when the
  // device events cannot be watched.
  void Start();

  const StationSetup& Setup() const { return setup_; }
  Station& Units() { return *station_; }
  UnitRecorder& Recorder() { return *recorder_; }
  // Null when the station file names no records server.
  RecordsForwarder* Forwarder() { return forwarder_.get(); }
  // `call` runs whenever every row so far is in the unit database.
  void AddWrittenListener(std::function<void()> call) { written_.push_back(std::move(call)); }

 private:
  MemoryStream image_;
  StationSetup setup_;
  std::unique_ptr<UnitRecorder> recorder_;
  std::unique_ptr<RecordsForwarder> forwarder_;
  std::vector<std::function<void()>> written_;
  std::unique_ptr<AdapterWatch> watch_;
  EventLoopClock clock_;
  std::unique_ptr<Station> station_;  // last: it goes before what it uses
};

}  // namespace kv37
