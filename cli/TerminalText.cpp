#include "TerminalText.h"

#include <cstdio>

#include "UpdateController.h"

namespace kv37::cli {

std::string Pad(const std::string& text, std::size_t width) {
  return text.size() >= width ? text : text + std::string(width - text.size(), ' ');
}

std::string PageOrNone(std::optional<uint16_t> page) {
  return page ? PageText(*page) : "PAGE---";
}

std::string Seconds(std::chrono::milliseconds elapsed) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f s", static_cast<double>(elapsed.count()) / 1000.0);
  return text;
}

std::string InPlaceLines::Frame(const std::vector<std::string>& lines, std::size_t columns) {
  // Back to the first line drawn, then each line cleared and written anew.
  std::string frame = drawn_ ? "\x1b[" + std::to_string(drawn_) + "F" : std::string();
  for (std::string line : lines) {
    if (columns != 0 && line.size() >= columns) line.resize(columns - 1);
    frame += "\x1b[2K" + line + "\n";
  }
  drawn_ = lines.size();
  return frame;
}

std::string InPlaceLines::Above(const std::string& line) {
  std::string text = drawn_ ? "\x1b[" + std::to_string(drawn_) + "F\x1b[2K" : std::string();
  drawn_ = 0;
  return text + line + "\n";
}

}  // namespace kv37::cli
