// The receive thread of TComm.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <thread>

#include "NoticeWindow.h"
#include "SerialDevice.h"

// Reads the device in chunks of at most kReadBufferSize bytes, cut by the
// device's read time-outs, and posts received-data, line-error, modem-event
// and hang-up notices. Ends on the stop event, or after one hang-up notice when
// the device fails or vanishes. Touches nothing of TComm; `device`, `stop`,
// `notices` and `hangupPosted` must outlive it. Created and joined by the
// owner's thread.
class TReadThread {
 public:
  TReadThread(TSerialDevice& device, const TEvent& stop, TNoticeWindow& notices,
              std::atomic<bool>& hangupPosted);
  ~TReadThread();
  TReadThread(const TReadThread&) = delete;
  TReadThread& operator=(const TReadThread&) = delete;

  // Throws std::system_error when no thread can be created.
  void Start();
  // Waits for the thread to end; returns at once when it never started.
  void Join();

 private:
  enum class TReadEnd { Chunk, Stop, Hangup, Quit };
  using Clock = std::chrono::steady_clock;

  void Execute();
  TReadEnd ReadChunk(uint8_t* buffer, uint32_t& length);
  // Posts line-error and modem notices; false when a post failed. A device
  // found gone sets fDeviceGone instead.
  bool CheckLineEvents(uint32_t modemBits);
  bool HandleReadData(const uint8_t* buffer, uint32_t length);
  bool ReceiveData(std::unique_ptr<uint8_t[]> copy, uint32_t length);
  bool ReceiveError(uint32_t flags);
  bool ModemStateChange(uint32_t bits);
  void PostHangupCall();

  TSerialDevice& fDevice;
  const TEvent& fStop;
  TNoticeWindow& fNotices;
  std::atomic<bool>& fHangupPosted;
  std::thread fThread;

  // Set by Start, then used by the receive thread only.
  TLineProbe fProbe = TLineProbe::Unsupported;
  bool fWatchLines = false;
  TLineSnapshot fLines;
  Clock::time_point fNextLineCheck;
  // The device has vanished: the chunk in hand is delivered, then the hang-up.
  bool fDeviceGone = false;
};
