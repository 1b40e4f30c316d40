#pragma once
// What an update shows its operator, and the moments a front end may want to
// act on. UpdateDriver forwards the controller's display effects here; the
// operator window shows them on its controls, the command-line updater turns
// them into progress events, tests record them.
//
// Called on the driver's thread only, from inside the driver's handlers.

#include <cstdint>
#include <string>

#include "UpdateEffects.h"

namespace kv37 {

class UpdateView {
 public:
  virtual ~UpdateView() = default;

  // The status line: shown, moved to a left edge (pixels), given a text.
  virtual void ShowStatus() = 0;
  virtual void MoveStatus(int left) = 0;
  virtual void SetStatusText(const std::string& text) = 0;
  virtual void SetGaugeProgress(int value) = 0;
  // A frame fault (see UpdateEffects::FatalError). The window shows its box
  // here and then halts the driver.
  virtual void FatalError(const std::string& text) = 0;

  // The controller's steps, typed (see UpdateEffects): what front ends act
  // on, so that none of them reads the operator's texts.
  virtual void PageRequested(uint16_t /*page*/) {}
  virtual void WatchdogTicked(int32_t /*count*/) {}
  virtual void UpdateEnded(UpdateEnd /*end*/) {}

  // A block the port queued (`data` only valid during the call), or refused
  // because it is closed or its transmit thread has ended.
  virtual void Written(const uint8_t* /*data*/, uint16_t /*length*/) {}
  virtual void WriteRefused() {}

  // Every chunk the port delivers, handled or not (the driver may be halted).
  virtual void ChunkReceived(const uint8_t* /*data*/, uint16_t /*length*/) {}
  // After the controller has handled a chunk or a watchdog tick.
  virtual void ChunkHandled() {}
  virtual void TickHandled() {}
};

}  // namespace kv37
