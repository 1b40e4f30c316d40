#pragma once
// One slot of the station window, read from across the fixture: the slot's
// name, large; its state in words and in colour (never colour alone); the
// progress gauge with the page in transit, the rate and the time left; the
// adapter and its device; the units passed and failed. Text grows with the
// tile. A held failure is acknowledged with a click or, when the tile has the
// focus, with Enter or Space.
//
// GUI thread only; the parent owns the tile.

#include <QFrame>

#include "Station.h"

namespace kv37 {

class ElidedLabel;
class TProgressGauge;

// "PAGE0A3 · 6.8 pages/s · 12 s left" while updating, the reason of a
// failure, the time a success took; "" otherwise.
QString SlotProgressText(const SlotView& slot);
// "serial FT1234AB at USB 1-1.2 · /dev/ttyUSB0", the slot's own words while
// no adapter is there.
QString SlotAdapterText(const SlotView& slot);

class SlotTile : public QFrame {
  Q_OBJECT

 public:
  explicit SlotTile(const SlotView& slot, QWidget* parent = nullptr);

  // Shows `slot`; only what changed is repainted.
  void Show(const SlotView& slot);
  const SlotView& Shown() const { return slot_; }
  // The state line's words, as shown.
  QString StateText() const;
  int NamePixelSize() const;
  int StatePixelSize() const;

 signals:
  // The operator acknowledged the held failure.
  void acknowledged();

 protected:
  void resizeEvent(QResizeEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void paintEvent(QPaintEvent* event) override;

 private:
  void Colour();
  void Fit();

  SlotView slot_;
  ElidedLabel* name_;
  ElidedLabel* state_;
  TProgressGauge* gauge_;
  ElidedLabel* progress_;
  ElidedLabel* adapter_;
  ElidedLabel* counts_;
  int colouredFor_ = -1;  // the state (and hold) the colours were set for
};

}  // namespace kv37
