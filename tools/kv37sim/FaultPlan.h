#pragma once
// The faults the simulated unit can be told to commit, and the order in
// which it asks for pages. Page-keyed faults fire on the first request for
// that page only; a re-request after a missing reply is always clean.

#include <cstdint>
#include <optional>
#include <vector>

namespace kv37::sim {

struct FaultPlan {
  bool randomOrder = false;              // shuffle the regular pages
  uint32_t seed = 0;                     // of the shuffle; the same seed gives the same order
  unsigned repeatEvery = 0;              // every N-th request is sent again at once; 0 = never
  std::optional<uint16_t> beyondPage{};  // asked for once after the regular pages
  std::optional<uint16_t> splitPage{};   // request sent as two chunks
  std::optional<uint16_t> badChecksumPage{};
  std::optional<uint16_t> badDelimiterPage{};
  std::optional<uint16_t> noisePage{};        // a noise chunk goes out before its request
  std::optional<uint16_t> silentAfterPage{};  // nothing more is sent after its exchange
  bool failCompletion = false;                // completion '0' even when all pages are good
};

// What goes on the wire for one request.
enum class RequestFault { None, Split, BadChecksum, BadDelimiter };

// Pages 0 .. pages-1 (in order, or shuffled), each repeated request right
// after its first, then the page beyond the flash when planned.
std::vector<uint16_t> RequestOrder(unsigned pages, const FaultPlan& plan);

// The pages that must arrive intact for a success completion: 0 .. pages-1
// and the page beyond the flash when planned.
std::vector<uint16_t> PlannedPages(unsigned pages, const FaultPlan& plan);

// The fault for the first request of `page`.
RequestFault FaultFor(const FaultPlan& plan, uint16_t page);

}  // namespace kv37::sim
