#pragma once
// What a front end hears of a running station (the terminal board, JSON
// lines, a log, the station window): any number of them.
//
// Every call from the owner's thread.

#include <string>

#include "PortEvents.h"

namespace kv37 {

struct SlotView;

class StationListener {
 public:
  virtual ~StationListener() = default;
  // A slot's state, adapter, progress or counts changed.
  virtual void SlotChanged(const SlotView& /*slot*/) {}
  // Each step of each unit's run; a Finished one is queued for the record first.
  virtual void UnitEvent(const PortEvent& /*event*/) {}
  // Something for the operator that belongs to no slot (an unknown adapter,
  // the database).
  virtual void Note(const std::string& /*text*/) {}
  // Every port is closed after Stop().
  virtual void Stopped() {}
};

}  // namespace kv37
