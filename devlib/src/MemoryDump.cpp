#include "fautil/MemoryDump.h"

#include <algorithm>
#include <cstring>
#include <string_view>

#include "fautil/NumberText.h"

namespace fautil {
namespace {

constexpr char kHexDigits[] = "0123456789ABCDEF";

// Byte dump: cells from column 11, 3 columns each; characters from column 60.
constexpr std::size_t kByteLineWidth = 76;
constexpr std::size_t kBytesPerLine = 16;
constexpr std::size_t kByteCharColumn = 60;
// Word dump: cells from column 11, 5 columns each; characters from column 54.
constexpr std::size_t kWordLineWidth = 70;
constexpr std::size_t kWordsPerLine = 8;
constexpr std::size_t kWordCharColumn = 54;
constexpr std::size_t kCellColumn = 11;

// The item parser's scratch holds any item of a line the parsers accept.
constexpr int32_t kScratchSize = kMaxTextLine + 1;

char DumpChar(uint8_t byte) {
  return byte >= 0x20 && byte <= 0x7E ? static_cast<char>(byte) : '.';
}

void WriteHex(char* out, uint32_t value, int digits) {
  for (int i = digits - 1; i >= 0; --i, value >>= 4) out[i] = kHexDigits[value & 0x0F];
}

// Appends an all-space line with its index field filled in and returns its text.
char* StartLine(TStrings& lines, std::size_t width, std::size_t index) {
  std::string& line = lines.emplace_back(width, ' ');
  line[0] = ':';
  WriteHex(&line[1], static_cast<uint32_t>(index), 8);
  return line.data();
}

// Room for `more` lines without giving up the vector's geometric growth.
void MakeRoom(TStrings& lines, std::size_t more) {
  const std::size_t needed = lines.size() + more;
  if (needed > lines.capacity()) lines.reserve(std::max(needed, 2 * lines.capacity()));
}

int32_t UsableRoom(const uint8_t* buffer, int32_t limit) {
  return buffer == nullptr ? 0 : std::max(limit, int32_t{0});
}

bool IsHexSeparator(char c) {
  return c == ',' || c == ' ' || c == '\n' || c == '\r';
}
bool IsItemSeparator(char c) {
  return c == ',' || c == ' ' || c == '\r';
}

// -1 for anything that is not a hex digit of either case.
int HexLetterValue(char c) {
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

bool IsDecimal(char c) {
  return c >= '0' && c <= '9';
}

// One hex token of a TextToMem line; false when it is not 1 or 2 hex digits.
bool ParseHexToken(std::string_view token, uint8_t& value) {
  // A zero character would end the text early and hide what follows it.
  if (token.size() > 2 || token.find('\0') != std::string_view::npos) return false;
  char text[3] = {};
  token.copy(text, token.size());
  return StrToHex(text, value);
}

// UStrToMem on an item of known length (lines may hold zero characters).
int32_t ParseItem(std::string_view item, uint8_t* buffer, int32_t room) {
  if (item.empty()) return -1;
  if (item[0] != '\'' && item.size() > 3) return 0;
  room = UsableRoom(buffer, room);

  enum class State { kStart, kQuoted, kClosing, kNumber };
  State state = State::kStart;
  // Items of this state are at most 3 characters, so neither overflows.
  int decimal = 0;
  int hex = 0;
  bool decimalOnly = true;
  int32_t stored = 0;
  auto store = [&](uint8_t byte) {
    if (stored >= room) return false;
    buffer[stored++] = byte;
    return true;
  };

  for (std::size_t i = 0; i < item.size(); ++i) {
    const char c = item[i];
    const int letter = HexLetterValue(c);
    switch (state) {
      case State::kStart:
        if (c == '\'') {
          state = State::kQuoted;
        } else if (IsDecimal(c)) {
          decimal = hex = c - '0';
          state = State::kNumber;
        } else if (letter >= 0) {
          hex += letter;
          decimalOnly = false;
          state = State::kNumber;
        } else {
          return 0;
        }
        break;
      case State::kQuoted:
        if (c == '\'') {
          state = State::kClosing;
        } else if (!store(static_cast<uint8_t>(c))) {
          return -1;
        }
        break;
      case State::kClosing:
        if (c != '\'' || !store('\'')) return -1;
        state = State::kQuoted;
        break;
      case State::kNumber:
        if (c == 'H' || c == 'h') {
          // Only a final suffix counts.
          if (i + 1 == item.size()) return store(static_cast<uint8_t>(hex)) ? 1 : -1;
        } else if (IsDecimal(c)) {
          decimal = decimal * 10 + (c - '0');
          hex = hex * 16 + (c - '0');
        } else if (letter >= 0) {
          hex = hex * 16 + letter;
          decimalOnly = false;
        } else {
          return 0;
        }
        break;
    }
  }
  if (state == State::kClosing) return stored;
  if (state == State::kNumber && decimalOnly) return store(static_cast<uint8_t>(decimal)) ? 1 : -1;
  return -1;
}

}  // namespace

bool MemDump(TStrings* lines, const uint8_t* data, int32_t length) {
  if (lines == nullptr || data == nullptr || length <= 0) return true;
  const auto total = static_cast<std::size_t>(length);
  MakeRoom(*lines, (total + kBytesPerLine - 1) / kBytesPerLine);
  for (std::size_t first = 0; first < total; first += kBytesPerLine) {
    char* line = StartLine(*lines, kByteLineWidth, first);
    const std::size_t count = std::min(kBytesPerLine, total - first);
    for (std::size_t k = 0; k < count; ++k) {
      const uint8_t byte = data[first + k];
      WriteHex(line + kCellColumn + 3 * k, byte, 2);
      line[kByteCharColumn + k] = DumpChar(byte);
    }
  }
  return true;
}

bool WordMemDump(TStrings* lines, const uint16_t* data, int32_t count) {
  if (lines == nullptr || data == nullptr || count <= 0) return true;
  const auto total = static_cast<std::size_t>(count);
  MakeRoom(*lines, (total + kWordsPerLine - 1) / kWordsPerLine);
  for (std::size_t first = 0; first < total; first += kWordsPerLine) {
    char* line = StartLine(*lines, kWordLineWidth, first);
    const std::size_t words = std::min(kWordsPerLine, total - first);
    for (std::size_t k = 0; k < words; ++k) {
      const uint16_t word = data[first + k];
      WriteHex(line + kCellColumn + 5 * k, word, 4);
      line[kWordCharColumn + 2 * k] = DumpChar(static_cast<uint8_t>(word >> 8));
      line[kWordCharColumn + 2 * k + 1] = DumpChar(static_cast<uint8_t>(word));
    }
  }
  return true;
}

int32_t TextToMem(const TStrings* lines, uint8_t* buffer, int32_t limit) {
  if (lines == nullptr) return 0;
  const int32_t room = UsableRoom(buffer, limit);
  int32_t stored = 0;
  for (const std::string& line : *lines) {
    if (line.empty() || line[0] == ';') continue;
    if (line.size() > kMaxTextLine) return -1;
    // On a dump line only the 2-digit cells count: the index field, word
    // cells and the character column are skipped.
    const bool dumpLine = line[0] == ':';
    const char* p = line.data();
    const char* const end = p + line.size();
    for (;;) {
      while (p != end && IsHexSeparator(*p)) ++p;
      if (p == end) break;
      const char* const start = p;
      while (p != end && !IsHexSeparator(*p)) ++p;
      const std::string_view token(start, static_cast<std::size_t>(p - start));
      if (dumpLine && token.size() != 2) continue;
      uint8_t byte = 0;
      if (!ParseHexToken(token, byte)) return -1;
      if (stored >= room) return stored;
      buffer[stored++] = byte;
      if (stored == room) return stored;
    }
  }
  return stored;
}

int32_t UStrToMem(const char* item, uint8_t* buffer, int32_t room) {
  if (item == nullptr) return -1;
  return ParseItem(item, buffer, room);
}

int32_t UTextToMem(const TStrings* lines, uint8_t* buffer, int32_t limit) {
  if (lines == nullptr) return 0;
  const int32_t room = UsableRoom(buffer, limit);
  int32_t stored = 0;
  uint8_t scratch[kScratchSize];
  for (const std::string& text : *lines) {
    if (text.empty()) continue;
    if (text.size() > kMaxTextLine) return -1;
    const std::string_view line(text);
    bool inQuote = false;
    std::size_t start = 0;
    // One step past the end flushes the last item of the line.
    for (std::size_t i = 0; i <= line.size(); ++i) {
      if (i < line.size()) {
        const char c = line[i];
        if (c == '\'') inQuote = !inQuote;
        if (inQuote || !IsItemSeparator(c)) continue;
      } else if (inQuote) {
        return -1;
      }
      if (i > start) {
        const int32_t got = ParseItem(line.substr(start, i - start), scratch, kScratchSize);
        if (got <= 0) return -1;
        // Items are never split: one that does not fit ends the parse.
        if (got > room - stored) return stored;
        std::memcpy(buffer + stored, scratch, static_cast<std::size_t>(got));
        stored += got;
        if (stored == room) return stored;
      }
      start = i + 1;
    }
  }
  return stored;
}

}  // namespace fautil
