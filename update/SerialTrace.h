#pragma once
// The last bytes of a unit's serial traffic, each way, with the time each
// chunk passed: what an engineer reads to see why a unit failed. At most
// kKeep bytes are kept each way; older chunks go first (the oldest one kept
// may lose its head).
//
// Stored as a blob of records, in the order they passed:
//   u32 milliseconds since the run began (little-endian)
//   u8  direction: 0 station to unit, 1 unit to station
//   u16 length (little-endian), then that many bytes
//
// One thread at a time; no locking.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>
#include <vector>

namespace kv37 {

class SerialTrace {
 public:
  static constexpr std::size_t kKeep = 64 * 1024;  // bytes, each way

  enum class Way : uint8_t { ToUnit = 0, FromUnit = 1 };
  struct Chunk {
    std::chrono::milliseconds at{0};
    Way way = Way::ToUnit;
    std::string bytes;
  };

  void Add(std::chrono::milliseconds at, Way way, const uint8_t* data, std::size_t length);
  bool Empty() const { return chunks_.empty(); }
  // Bytes kept, one way.
  std::size_t Kept(Way way) const { return kept_[static_cast<int>(way)]; }

  // The blob described above.
  std::string Serialize() const;
  // The chunks of a blob; a truncated or malformed tail is left out.
  static std::vector<Chunk> Parse(const std::string& blob);
  // For people: a line per chunk ("+   1.234 s  unit -> station  6 bytes")
  // followed by its bytes as memory dump lines.
  static std::string Dump(const std::string& blob);

 private:
  std::deque<Chunk> chunks_;
  std::size_t kept_[2] = {0, 0};
};

}  // namespace kv37
