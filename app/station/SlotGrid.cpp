#include "SlotGrid.h"

#include <algorithm>
#include <cmath>

#include "SlotTile.h"

namespace kv37 {

namespace {

constexpr int kGap = 6;
// Wide enough for an adapter's serial, USB port and device on one line.
constexpr double kTileAspect = 2.4;

}  // namespace

int GridColumns(int count, int width, int height, double aspect) {
  int best = 1;
  double bestSize = -1;
  for (int columns = 1; columns <= std::max(1, count); ++columns) {
    const int rows = (count + columns - 1) / columns;
    const double size =
        std::min(static_cast<double>(width) / columns / aspect, static_cast<double>(height) / rows);
    if (size > bestSize) {
      bestSize = size;
      best = columns;
    }
  }
  return best;
}

SlotGrid::SlotGrid(const std::vector<SlotView>& views, QWidget* parent) : QWidget(parent) {
  for (const SlotView& slot : views) tiles_.push_back(new SlotTile(slot, this));
  for (std::size_t i = 1; i < tiles_.size(); ++i) setTabOrder(tiles_[i - 1], tiles_[i]);
  setMinimumSize(320, 120);
}

void SlotGrid::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  Flow();
}

void SlotGrid::Flow() {
  const int count = static_cast<int>(tiles_.size());
  if (count == 0) return;
  const int columns = GridColumns(count, width(), height(), kTileAspect);
  const int rows = (count + columns - 1) / columns;
  const int tileWidth = (width() - kGap * (columns + 1)) / columns;
  const int tileHeight = (height() - kGap * (rows + 1)) / rows;
  for (int i = 0; i < count; ++i)
    tiles_[i]->setGeometry(kGap + (i % columns) * (tileWidth + kGap),
                           kGap + (i / columns) * (tileHeight + kGap), tileWidth, tileHeight);
}

}  // namespace kv37
