#pragma once
// Text for the command line's displays (progress lines, the station board,
// the log): one way to pad a column, to show a page and a time, and to keep
// lines drawn in place at the bottom of a terminal.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace kv37::cli {

// `text` padded with spaces to `width`; longer text stays whole.
std::string Pad(const std::string& text, std::size_t width);
// "PAGE0A3" as the window shows it, or "PAGE---" before the first page.
std::string PageOrNone(std::optional<uint16_t> page);
// "12.3 s"
std::string Seconds(std::chrono::milliseconds elapsed);

// Lines redrawn in place: each frame goes back over the lines drawn last.
class InPlaceLines {
 public:
  // What replaces the lines drawn last with `lines`, each cut to fit
  // `columns` (0: no limit), since a wrapped line would throw the cursor off.
  std::string Frame(const std::vector<std::string>& lines, std::size_t columns);
  // What puts `line` where the drawn lines began; they must be drawn anew.
  std::string Above(const std::string& line);
  bool Drawn() const { return drawn_ != 0; }

 private:
  std::size_t drawn_ = 0;
};

}  // namespace kv37::cli
