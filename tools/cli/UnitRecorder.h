#pragma once
// Writes a row to the unit database for every unit's Finished event. A row
// that cannot be written is kept and written again by Flush, oldest first,
// so nothing finished is lost while the database is unwritable.
//
// Main thread only.

#include <deque>
#include <functional>
#include <string>

#include "PortEvents.h"
#include "UnitDatabase.h"

namespace kv37::cli {

class UnitRecorder : public EventSink {
 public:
  // `db` must outlive the recorder; `station` names the rows' station.
  UnitRecorder(UnitDatabase& db, std::string station, ImageInfo image);

  void Report(const PortEvent& event) override;

  // Writes the kept rows; true when none is left.
  bool Flush();
  // Rows kept because the database could not take them.
  bool Blocked() const { return !pending_.empty(); }
  const std::string& Path() const { return db_.Path(); }

  // A write failed (the row is kept), with the database's reason.
  std::function<void(const std::string& reason)> onWriteFailed;

 private:
  UnitDatabase& db_;
  std::string station_;
  ImageInfo image_;
  std::deque<UnitRow> pending_;
};

}  // namespace kv37::cli
