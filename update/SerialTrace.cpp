#include "SerialTrace.h"

#include <algorithm>
#include <cstdio>

#include "fautil/MemoryDump.h"

namespace kv37 {

void SerialTrace::Add(std::chrono::milliseconds at, Way way, const uint8_t* data,
                      std::size_t length) {
  if (length == 0) return;
  // A chunk longer than all that is kept keeps its tail.
  if (length > kKeep) {
    data += length - kKeep;
    length = kKeep;
  }
  // A record's length has 16 bits: a longer chunk is kept as several.
  constexpr std::size_t kLongest = 0xFFFF;
  for (std::size_t done = 0; done < length; done += kLongest) {
    const std::size_t piece = std::min(kLongest, length - done);
    chunks_.push_back({at, way, std::string(reinterpret_cast<const char*>(data + done), piece)});
  }
  const int w = static_cast<int>(way);
  kept_[w] += length;
  // Drop this way's oldest bytes until it fits again.
  for (auto it = chunks_.begin(); kept_[w] > kKeep && it != chunks_.end();) {
    if (it->way != way) {
      ++it;
      continue;
    }
    const std::size_t over = kept_[w] - kKeep;
    if (it->bytes.size() > over) {
      it->bytes.erase(0, over);
      kept_[w] -= over;
      break;
    }
    kept_[w] -= it->bytes.size();
    it = chunks_.erase(it);
  }
}

std::string SerialTrace::Serialize() const {
  std::string blob;
  for (const Chunk& chunk : chunks_) {
    const auto ms = static_cast<uint32_t>(chunk.at.count());
    const auto length = static_cast<uint16_t>(chunk.bytes.size());
    const char head[7] = {static_cast<char>(ms),         static_cast<char>(ms >> 8),
                          static_cast<char>(ms >> 16),   static_cast<char>(ms >> 24),
                          static_cast<char>(chunk.way),  static_cast<char>(length),
                          static_cast<char>(length >> 8)};
    blob.append(head, sizeof head);
    blob += chunk.bytes;
  }
  return blob;
}

std::vector<SerialTrace::Chunk> SerialTrace::Parse(const std::string& blob) {
  std::vector<Chunk> chunks;
  const auto byte = [&](std::size_t i) {
    return static_cast<uint32_t>(static_cast<uint8_t>(blob[i]));
  };
  for (std::size_t i = 0; i + 7 <= blob.size();) {
    const uint32_t ms = byte(i) | byte(i + 1) << 8 | byte(i + 2) << 16 | byte(i + 3) << 24;
    const uint32_t way = byte(i + 4);
    const std::size_t length = byte(i + 5) | byte(i + 6) << 8;
    if (way > 1 || i + 7 + length > blob.size()) break;
    chunks.push_back(
        {std::chrono::milliseconds(ms), static_cast<Way>(way), blob.substr(i + 7, length)});
    i += 7 + length;
  }
  return chunks;
}

std::string SerialTrace::Dump(const std::string& blob) {
  std::string text;
  for (const Chunk& chunk : Parse(blob)) {
    char line[96];
    std::snprintf(line, sizeof line, "+%9.3f s  %s  %zu byte%s\n",
                  static_cast<double>(chunk.at.count()) / 1000.0,
                  chunk.way == Way::ToUnit ? "station -> unit" : "unit -> station",
                  chunk.bytes.size(), chunk.bytes.size() == 1 ? "" : "s");
    text += line;
    fautil::TStrings lines;
    fautil::MemDump(&lines, reinterpret_cast<const uint8_t*>(chunk.bytes.data()),
                    static_cast<int32_t>(chunk.bytes.size()));
    for (const std::string& dump : lines) text += "  " + dump + "\n";
  }
  return text;
}

}  // namespace kv37
