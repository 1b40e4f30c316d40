#pragma once
// What one soak update showed: the status line's last text and the first
// frame fault with the chunk that caused it. A fault halts the update, as the
// window's program end would; the unit is left to time out.
//
// Thread affinity: the update driver's thread.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "UpdateDriver.h"
#include "UpdateView.h"

namespace kv37::soak {

class UpdateRecorder : public UpdateView {
 public:
  // Set before the first chunk; the driver halted on a fault.
  UpdateDriver* driver = nullptr;

  void ShowStatus() override {}
  void MoveStatus(int) override {}
  void SetStatusText(const std::string& text) override { status_ = text; }
  void SetGaugeProgress(int) override {}
  void UpdateEnded(UpdateEnd end) override { end_ = end; }
  void FatalError(const std::string& text) override {
    if (fault_.empty()) {
      fault_ = text;
      faultChunk_ = lastChunk_;
    }
    if (driver != nullptr) driver->Halt();
  }
  void ChunkReceived(const uint8_t* data, uint16_t length) override {
    lastChunk_.assign(data, data + length);
  }

  // The status line's last text, for the report; how the update ended.
  const std::string& Status() const { return status_; }
  const std::optional<UpdateEnd>& Ended() const { return end_; }
  // The frame fault that ended the update, "" when none, and its chunk.
  const std::string& Fault() const { return fault_; }
  const std::vector<uint8_t>& FaultChunk() const { return faultChunk_; }

 private:
  std::string status_;
  std::optional<UpdateEnd> end_;
  std::string fault_;
  std::vector<uint8_t> faultChunk_;
  std::vector<uint8_t> lastChunk_;
};

}  // namespace kv37::soak
