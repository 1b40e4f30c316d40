#include "PortEvents.h"

#include "OsImage.h"

namespace kv37 {

int PercentOf(const PageCounts& counts) {
  constexpr unsigned kFlashPages = kOsImageSize / kPageSize;
  return static_cast<int>(std::min<unsigned>(100, counts.distinct * 100 / kFlashPages));
}

std::string PageCountsText(const PageCounts& counts) {
  std::string text = std::to_string(counts.distinct) + " pages";
  if (counts.repeats != 0) text += ", " + std::to_string(counts.repeats) + " repeats";
  if (counts.beyond != 0) text += ", " + std::to_string(counts.beyond) + " past the image";
  return text + " in " + std::to_string(counts.replies) + " replies";
}

}  // namespace kv37
