#pragma once
// The utility's update path without the window: the real serial component
// and the update driver the operator window uses, with every status text,
// gauge value and frame fault recorded.
//
// Lives on the thread that created it, which must run a Qt event loop for
// chunks and watchdog ticks to arrive.

#include <QTimer>
#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "Comm.h"
#include "MemoryStream.h"
#include "UpdateDriver.h"
#include "UpdateView.h"

class QEventLoop;

class HeadlessUpdate : public kv37::UpdateView {
 public:
  // `image` must outlive the object and is only read. `record` keeps a copy
  // of every block queued for the port (see Written()).
  explicit HeadlessUpdate(const kv37::MemoryStream& image, bool record = true);
  ~HeadlessUpdate() override;

  // Opens `port` (a path or a port name) with the window's line settings and
  // presses the start button. Throws ECommsError when the port cannot open.
  void Start(const std::string& port);

  // Runs the event loop until the update has ended (a result text or a frame
  // fault) or `timeout` has passed; true when it ended.
  bool WaitForEnd(std::chrono::milliseconds timeout);
  bool Ended() const { return ended_; }

  // Runs the event loop for `period`, whatever happens.
  static void Pump(std::chrono::milliseconds period);

  const std::vector<std::string>& StatusTexts() const { return texts_; }
  // The text on the status line now; empty before the first.
  std::string Status() const { return texts_.empty() ? std::string() : texts_.back(); }
  int StatusLeft() const { return statusLeft_; }
  int Gauge() const { return gauge_; }
  // The text of the frame fault that ended the update, if one did.
  const std::optional<std::string>& Fatal() const { return fatal_; }
  bool WatchdogRunning() const { return driver_.Watchdog()->isActive(); }
  int32_t WatchdogCount() const { return driver_.WatchdogCount(); }
  unsigned ChunksReceived() const { return chunks_; }
  // Every block queued for the port, in order (the start command first).
  const std::vector<std::vector<uint8_t>>& Written() const { return written_; }

  TComm& Comm() { return comm_; }

  // kv37::UpdateView
  void ShowStatus() override {}
  void MoveStatus(int left) override { statusLeft_ = left; }
  void SetStatusText(const std::string& text) override;
  void UpdateEnded(kv37::UpdateEnd end) override;
  void SetGaugeProgress(int value) override { gauge_ = value; }
  void FatalError(const std::string& text) override;
  void Written(const uint8_t* data, uint16_t length) override;
  void ChunkReceived(const uint8_t*, uint16_t) override { ++chunks_; }

 private:
  void End();

  TComm comm_;
  kv37::UpdateDriver driver_;
  std::vector<std::string> texts_;
  std::optional<std::string> fatal_;
  int statusLeft_ = 0;
  int gauge_ = 0;
  unsigned chunks_ = 0;
  std::vector<std::vector<uint8_t>> written_;
  bool record_;
  bool ended_ = false;
  QEventLoop* waiting_ = nullptr;  // the loop WaitForEnd runs, while it runs
};
