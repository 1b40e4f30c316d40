// The transmit thread of TComm.
#pragma once

#include <atomic>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>

#include "NoticeWindow.h"
#include "SerialDevice.h"

// Writes queued blocks to the device one after another, each completely, and
// posts a transmit-queue-empty notice when the queue runs empty (once after
// the start, then once after each run of writes). Ends on the stop event, or
// after one hang-up notice when a write fails; blocks still queued are then
// dropped and Post refuses further blocks. The queue exists from construction.
// `device`, `stop`, `notices`, `idle` and `hangupPosted` must outlive it.
class TWriteThread {
 public:
  TWriteThread(TSerialDevice& device, const TEvent& stop, TNoticeWindow& notices,
               std::atomic<bool>& idle, std::atomic<bool>& hangupPosted);
  ~TWriteThread();
  TWriteThread(const TWriteThread&) = delete;
  TWriteThread& operator=(const TWriteThread&) = delete;

  // False when the queue's wake-up event could not be created.
  bool Valid() const { return fInput.Valid(); }
  // Throws std::system_error when no thread can be created.
  void Start();
  // Waits for the thread to end; returns at once when it never started.
  void Join();

  // Any thread. Takes ownership of `block` (`length` bytes, 1..65535) and
  // clears the idle flag; false once the thread has ended.
  bool Post(std::unique_ptr<uint8_t[]> block, uint16_t length);

 private:
  struct TBlock {
    std::unique_ptr<uint8_t[]> data;
    uint32_t length = 0;
  };

  void Execute();
  bool HandleWriteData(const uint8_t* data, uint32_t length);
  void PostHangupCall();

  TSerialDevice& fDevice;
  const TEvent& fStop;
  TNoticeWindow& fNotices;
  std::atomic<bool>& fIdle;
  std::atomic<bool>& fHangupPosted;

  std::mutex fMutex;
  std::deque<TBlock> fQueue;  // guarded by fMutex
  bool fClosed = false;       // guarded by fMutex
  TEvent fInput;              // set while fQueue may hold blocks
  std::thread fThread;
};
