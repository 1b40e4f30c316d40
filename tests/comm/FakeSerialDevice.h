// A scripted serial device for what a pseudo-terminal cannot show: line
// errors, carrier and ring events, failing reads and writes, output held by
// flow control, and the ways real hardware behaves when it goes away.
#pragma once

#include <chrono>
#include <deque>
#include <mutex>
#include <vector>

#include "SerialDevice.h"

// How the device behaves, after the hardware it stands for.
enum class TPersonality {
  // An on-board 16550-like UART: keeps line-event counters; once hung up the
  // counters, reads and waits fail (EIO).
  Uart16550,
  // A USB adapter: counters as a UART, but received bytes reach the host in
  // packets of at most 62 bytes, one every 16 ms, as its latency timer sends
  // them; unplugged, the packets still in the adapter are lost.
  UsbAdapter,
  // A pseudo-terminal: no line events at all (ENOTTY); a closed far end
  // hangs it up.
  PseudoTerminal,
};

const char* PersonalityName(TPersonality personality);

class TFakeDevice final : public TSerialDevice {
 public:
  struct Step {
    enum class Kind { Data, Error, EndOfFile } kind = Kind::Data;
    std::vector<uint8_t> bytes;
  };

  explicit TFakeDevice(TPersonality personality = TPersonality::Uart16550);

  // ---- test side (any thread) ----
  void Feed(Step step);
  void Feed(std::vector<uint8_t> bytes) { Feed(Step{Step::Kind::Data, std::move(bytes)}); }
  // Several reads' worth at once, so no pause can fall between them.
  void FeedAll(std::vector<Step> steps);
  // The device goes away: bytes not yet read are lost.
  void Vanish();
  // Flow control holds the output: writes move nothing until released.
  void HoldOutput(bool held);
  void SetLines(const TLineSnapshot& lines);
  void SetLineTotalsSupported(bool supported);
  void FailWrites();
  std::vector<uint8_t> Written();
  // Bytes fed but not read yet.
  std::size_t Unread();
  int ReadWaits();
  int Applied();

  // ---- device side ----
  void Purge(uint32_t) override {}
  bool GetModemStatus(uint32_t& bits) override;
  TWaitResult WaitReadable(const TEvent& stop, TWaitTime timeout) override;
  TWaitResult WaitWritable(const TEvent& stop, TWaitTime timeout) override;
  TIoResult Read(uint8_t* buffer, std::size_t size) override;
  TIoResult Write(const uint8_t* data, std::size_t size) override;
  TLineProbe ReadLineSnapshot(TLineSnapshot& out) override;

 protected:
  bool ApplyState(const TDcb&) override;

 private:
  using Clock = std::chrono::steady_clock;
  struct Pending {
    Step step;
    Clock::time_point releaseAt;
  };
  void Queue(Step step);  // fMutex held
  bool Released() const;  // fMutex held

  const TPersonality fPersonality;
  const Clock::time_point fEpoch = Clock::now();
  std::mutex fMutex;
  std::deque<Pending> fScript;
  Clock::time_point fLastRelease;
  TEvent fReady;
  TEvent fOutputFree;
  TLineSnapshot fLines;
  bool fLinesSupported;
  bool fGone = false;
  bool fHeld = false;
  bool fFailWrites = false;
  std::vector<uint8_t> fWritten;
  int fReadWaits = 0;
  int fApplied = 0;
};
