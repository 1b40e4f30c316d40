#pragma once
// The station window's tiles in a grid that fills the space it is given:
// as many columns as make the tiles largest at a readable shape, re-flowed
// on every resize. Tab and Shift+Tab walk the tiles in slot order.
//
// GUI thread only; the grid owns its tiles.

#include <QWidget>
#include <vector>

#include "Station.h"

namespace kv37 {

class SlotTile;

// How many columns `count` tiles get in `width` x `height` pixels, so that
// the smaller of a tile's height and its width / `aspect` is largest.
int GridColumns(int count, int width, int height, double aspect);

class SlotGrid : public QWidget {
  Q_OBJECT

 public:
  SlotGrid(const std::vector<SlotView>& views, QWidget* parent = nullptr);

  SlotTile* Tile(std::size_t slot) const { return tiles_.at(slot); }
  std::size_t Count() const { return tiles_.size(); }

 protected:
  void resizeEvent(QResizeEvent* event) override;

 private:
  void Flow();

  std::vector<SlotTile*> tiles_;
};

}  // namespace kv37
