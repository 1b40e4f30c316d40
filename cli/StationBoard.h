#pragma once
// The station's live board. On a terminal, one line per slot (slot, adapter,
// state, page, percentage, rate, units passed and failed since the start),
// redrawn in place under the station's heading; otherwise plain lines, one
// per change of a slot's state and per tenth of the way; with --json, one
// object per slot change, per note and per step of every unit (the update
// command's events, each with its slot).
//
// Main thread only; writes to the stream it was given.

#include <QObject>
#include <ostream>
#include <string>
#include <vector>

#include "PortEvents.h"
#include "Station.h"
#include "TerminalText.h"

class QTimer;

namespace kv37::cli {

enum class BoardMode { InPlace, Plain, Json };

// "A1  serial FT1234AB  /dev/ttyUSB0  updating  PAGE0A3  31%  6.8 pages/s  serving pages  passed 3
// failed 0", shortened from the right to `columns` (0: no limit).
std::string FormatSlotLine(const SlotView& slot, std::size_t nameWidth, std::size_t columns);
// {"event":"slot","slot":...,"state":...,...}
std::string SlotJson(const SlotView& slot);

class StationBoard : public QObject, public StationListener {
 public:
  StationBoard(std::ostream& out, BoardMode mode, int columns = 0, QObject* parent = nullptr);

  // Shows `station` from now on; it must outlive the board.
  void Attach(Station& station, const ImageInfo& image);

  // The station has stopped: the last state of every slot.
  void Stopped() override;
  // Every unit's events (shown in the JSON mode only).
  void UnitEvent(const PortEvent& event) override;
  void SlotChanged(const SlotView& slot) override;
  void Note(const std::string& text) override;

 private:
  void Redraw();
  void Line(const std::string& text);

  std::ostream& out_;
  BoardMode mode_;
  std::size_t columns_;
  Station* station_ = nullptr;
  std::string heading_;
  std::size_t nameWidth_ = 4;
  std::vector<int> printedDecile_;  // plain mode, per slot
  QTimer* redraw_ = nullptr;
  InPlaceLines lines_;
};

}  // namespace kv37::cli
