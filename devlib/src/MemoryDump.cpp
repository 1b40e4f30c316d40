#include "fautil/MemoryDump.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <string_view>

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

// Character classes of the parsers, by byte value: hex digit values (-1 for
// none) and separator flags.
constexpr uint8_t kHexSeparator = 1;
constexpr uint8_t kItemSeparator = 2;

struct CharTables {
  std::array<int8_t, 256> hex{};
  std::array<uint8_t, 256> separator{};
};

constexpr CharTables MakeCharTables() {
  CharTables t;
  for (int c = 0; c < 256; ++c) {
    t.hex[c] = c >= '0' && c <= '9'   ? static_cast<int8_t>(c - '0')
               : c >= 'A' && c <= 'F' ? static_cast<int8_t>(c - 'A' + 10)
               : c >= 'a' && c <= 'f' ? static_cast<int8_t>(c - 'a' + 10)
                                      : int8_t{-1};
  }
  t.separator[','] = t.separator[' '] = t.separator['\r'] = kHexSeparator | kItemSeparator;
  t.separator['\n'] = kHexSeparator;
  return t;
}

constexpr CharTables kChars = MakeCharTables();

int HexDigitValue(char c) {
  return kChars.hex[static_cast<unsigned char>(c)];
}
bool IsHexDigit(char c) {
  return HexDigitValue(c) >= 0;
}
bool IsDecimal(char c) {
  return c >= '0' && c <= '9';
}
int HexLetterValue(char c) {
  return IsDecimal(c) ? -1 : HexDigitValue(c);
}

bool IsHexSeparator(char c) {
  return kChars.separator[static_cast<unsigned char>(c)] & kHexSeparator;
}
bool IsItemSeparator(char c) {
  return kChars.separator[static_cast<unsigned char>(c)] & kItemSeparator;
}

// ':', 8 hex digits and two spaces, as both dumps begin.
bool HasIndexField(std::string_view line) {
  if (line.size() < kCellColumn || line[0] != ':') return false;
  for (std::size_t i = 1; i <= 8; ++i) {
    if (!IsHexDigit(line[i])) return false;
  }
  return line[9] == ' ' && line[10] == ' ';
}

// Reads the cells of a line in the byte dump's exact columns into `cells` and
// returns their number, or -1 when the line has other columns. Blank cells
// are allowed, as on a short last line.
int ReadByteDumpLine(std::string_view line, uint8_t* cells) {
  if (line.size() <= kByteCharColumn || !HasIndexField(line)) return -1;
  if (line[kByteCharColumn - 1] != ' ') return -1;
  int count = 0;
  for (std::size_t k = 0; k < kBytesPerLine; ++k) {
    const char* cell = line.data() + kCellColumn + 3 * k;
    if (cell[2] != ' ') return -1;
    if (cell[0] == ' ' && cell[1] == ' ') continue;
    const int high = HexDigitValue(cell[0]);
    const int low = HexDigitValue(cell[1]);
    if (high < 0 || low < 0) return -1;
    cells[count++] = static_cast<uint8_t>(high * 16 + low);
  }
  return count;
}

// True for a line in the word dump's exact columns.
bool IsWordDumpLine(std::string_view line) {
  if (line.size() <= kWordCharColumn || !HasIndexField(line)) return false;
  for (std::size_t k = 0; k < kWordsPerLine; ++k) {
    const char* cell = line.data() + kCellColumn + 5 * k;
    const bool blank = cell[0] == ' ';
    for (int i = 0; i < 4; ++i) {
      if (blank ? cell[i] != ' ' : !IsHexDigit(cell[i])) return false;
    }
    if (cell[4] != ' ') return false;
  }
  return line.substr(kCellColumn + 5 * kWordsPerLine, 3) == "   ";
}

// One hex token of a TextToMem line; false when it is not 1 or 2 hex digits.
bool ParseHexToken(std::string_view token, uint8_t& value) {
  if (token.empty() || token.size() > 2) return false;
  int result = 0;
  for (const char c : token) {
    const int digit = HexDigitValue(c);
    if (digit < 0) return false;
    result = result * 16 + digit;
  }
  value = static_cast<uint8_t>(result);
  return true;
}

// UStrToMem on an item of known length (lines may hold zero characters).
int32_t ParseItem(std::string_view item, uint8_t* buffer, int32_t room) {
  if (item.empty()) return -1;
  if (item[0] != '\'' && item.size() > 3) return 0;
  room = UsableRoom(buffer, room);

  enum class State { kStart, kQuoted, kClosing, kNumber };
  State state = State::kStart;
  // Numbers are at most 3 characters long, so neither accumulator overflows.
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
  // False once the parse ends with `stored`; the room is checked before the
  // byte is written.
  const auto put = [&](uint8_t byte) {
    if (stored >= room) return false;
    buffer[stored++] = byte;
    return stored < room;
  };
  uint8_t cells[kBytesPerLine];
  for (const std::string& text : *lines) {
    if (text.empty() || text[0] == ';') continue;
    if (text.size() > kMaxTextLine) return -1;
    const std::string_view line(text);
    // On a dump line only the 2-digit cells count: the index field and word
    // cells are skipped. On the dumps' own lines the character column is not
    // read either: a space or comma there could cut out a 2-character piece
    // that would pass for a cell.
    const bool dumpLine = line[0] == ':';
    if (dumpLine) {
      const int count = ReadByteDumpLine(line, cells);
      for (int i = 0; i < count; ++i) {
        if (!put(cells[i])) return stored;
      }
      if (count >= 0 || IsWordDumpLine(line)) continue;
    }
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
      if (!put(byte)) return stored;
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
