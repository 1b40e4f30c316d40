#pragma once
// Plays the utility's side of the update link on the far end of a
// pseudo-terminal: sends the start command, reads what the unit sends and
// answers page requests with replies built by the update core.

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "MemoryStream.h"
#include "UpdateFrames.h"

namespace kv37::sim::test {

using namespace std::chrono_literals;
using Bytes = std::vector<uint8_t>;

class ScriptedUtility {
 public:
  // Opens `port` raw; fails the current test when it cannot.
  explicit ScriptedUtility(const std::string& port);
  ~ScriptedUtility();
  ScriptedUtility(const ScriptedUtility&) = delete;
  ScriptedUtility& operator=(const ScriptedUtility&) = delete;

  void Write(std::span<const uint8_t> bytes);
  void SendStart();
  void SendReply(const MemoryStream& image, uint16_t page);

  // What arrives until the line has been quiet for `gap`; empty when nothing
  // came within `timeout`. Chunks as the utility's reads would see them.
  Bytes ReadChunk(std::chrono::milliseconds timeout = 2000ms, std::chrono::milliseconds gap = 20ms);
  // One whole frame: a 7-byte page request or a 6-byte completion, read by
  // its length rather than by a pause, so long runs stay fast. Anything
  // else is returned as it arrived. Empty on time-out.
  Bytes ReadFrame(std::chrono::milliseconds timeout = 2000ms);

  // Decides the answer to one request: return false to leave it unanswered,
  // or change `reply` before it goes out.
  using Answer = std::function<bool(uint16_t page, PageReply& reply)>;

  struct Served {
    std::vector<uint16_t> pages;     // every valid request, in order
    std::vector<Bytes> otherFrames;  // frames that were not valid requests
    std::optional<uint8_t> result;   // the completion's result byte
  };
  // Answers requests from `image` until the completion frame arrives or the
  // line stays quiet for `timeout`.
  Served Serve(const MemoryStream& image, const Answer& answer = {},
               std::chrono::milliseconds timeout = 2000ms);

 private:
  int fd_ = -1;
};

// An image whose every byte differs from its neighbours' pages.
MemoryStream PatternImage(std::size_t size);

}  // namespace kv37::sim::test
