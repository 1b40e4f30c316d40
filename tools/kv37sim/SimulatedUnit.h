#pragma once
// A KV-37 unit taking a new OS image: waits for the start command, asks for
// the pages one at a time, checks and stores each reply and ends with a
// completion frame. Runs over any ByteTransport, so it can live in its own
// process (kv37sim) or on a thread beside the utility under test.

#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string_view>
#include <vector>

#include "ByteTransport.h"
#include "FaultPlan.h"
#include "LinePacing.h"
#include "MemoryStream.h"
#include "RunSummary.h"
#include "UnitFrames.h"

namespace kv37::sim {

inline constexpr unsigned kFlashPages = 512;

struct SimConfig {
  unsigned pages = kFlashPages;  // regular pages 0 .. pages-1 (1 to 512)
  // When set, every page must also equal this image's page as the utility
  // serves it (padded with 0xFF, see LoadOsImage and CopyPage).
  std::optional<MemoryStream> expect;
  FaultPlan faults;
  unsigned baud = 0;                             // pace the line at this rate; 0 = unpaced
  std::size_t writeSize = 1;                     // bytes a paced write hands on together
  std::chrono::milliseconds flashDelay{0};       // the unit's write time per page
  bool retry = false;                            // re-request a missing or bad reply
  unsigned retries = 3;                          // re-requests per page at most
  std::chrono::milliseconds replyTimeout{1000};  // from a request's last byte to the reply
  // Pause that makes the utility see two chunks (its reads end 100 ms after
  // the last byte): between the pieces of a split request, after noise.
  std::chrono::milliseconds chunkGap{250};
  std::chrono::milliseconds startTimeout{0};  // 0 waits for the start command forever
  // How long a silenced unit stays on the line before it ends; longer than
  // the utility's six-second watchdog.
  std::chrono::milliseconds silenceHold{7000};
  // Told about each problem (bad or missing reply, mismatching page) as it
  // happens, on the unit's thread; may be empty.
  std::function<void(std::string_view)> note;
};

class SimulatedUnit {
 public:
  // `line` must outlive the unit. The configuration is taken as given
  // (kv37sim validates the command line before it gets here).
  SimulatedUnit(ByteTransport& line, SimConfig config);

  // Runs one update from the start command to the completion frame (or the
  // end of the silence) and returns what happened. Call once, on one thread.
  // Line failures end the run with SimOutcome::LineError, Stop() with
  // Interrupted; nothing is thrown for them.
  RunSummary Run();

  // Ends a running Run() as soon as it next touches the line. Any thread.
  void Stop() noexcept { line_.Cancel(); }

  // The unit's flash after the run: pages*256 bytes, 0xFF where no intact
  // reply was stored. Read only after Run() returned.
  const std::vector<uint8_t>& Flash() const { return flash_; }

 private:
  using Clock = LinePacing::Clock;
  struct Reply;

  bool WaitForStart();
  void Exchange(uint16_t page);
  Clock::time_point SendRequest(uint16_t page, RequestFault fault);
  Reply ReceiveReply(Clock::time_point requestEnd);
  void Accept(uint16_t page, const Reply& reply);
  void Hold(std::chrono::milliseconds duration);
  void DiscardInput();
  void SendCompletion(uint8_t result);
  void Note(const std::string& text) const;

  ByteTransport& line_;
  SimConfig config_;
  LinePacing pacing_;
  std::vector<uint8_t> flash_;
  std::vector<bool> good_;       // by page number, 0 .. 65535
  std::vector<bool> requested_;  // by page number
  std::array<uint8_t, kPageReplyLength + 64> replyBuffer_{};
  bool gaveUp_ = false;  // a reply stayed missing: the utility is gone
  Clock::time_point started_{};
  RunSummary summary_;
};

}  // namespace kv37::sim
