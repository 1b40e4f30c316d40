#include "WindowPlacement.h"

#include <algorithm>

namespace kv37 {

QPoint PlaceInside(const QRect& frame, const QRect& available) {
  if (available.isEmpty()) return frame.topLeft();
  const auto fit = [](int at, int size, int low, int extent) {
    return std::max(low, std::min(at, low + extent - size));
  };
  return {fit(frame.left(), frame.width(), available.left(), available.width()),
          fit(frame.top(), frame.height(), available.top(), available.height())};
}

}  // namespace kv37
