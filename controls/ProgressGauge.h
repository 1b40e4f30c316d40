#pragma once
// TProgressGauge shows a value between MinValue and MaxValue as a whole
// percentage, drawn as text only, a horizontal or vertical bar, a pie or a
// needle, optionally with the percentage written on top. Each paint composes
// the whole picture off-screen and puts it on screen in one step, so the
// gauge does not flicker.
//
// Ownership follows Qt: the parent widget deletes the gauge.
// Thread affinity: the GUI thread only, like every widget.
// Errors: only SetMinValue and SetMaxValue throw, std::out_of_range for an
// inverted range, and leave the gauge unchanged. Out-of-range progress is
// clamped, never refused.
//
// Painting uses the widget's font for the percentage and its palette's
// window colour (Color) around the dial of the pie and needle kinds, at the
// device pixel ratio of the screen the gauge is on.

#include <QColor>
#include <QImage>
#include <QPoint>
#include <QWidget>

#include <cstdint>

#include "Canvas.h"

namespace kv37 {

enum class TProgressGaugeKind : uint8_t { gkText, gkHorizontalBar, gkVerticalBar, gkPie, gkNeedle };

enum class TBorderStyle : uint8_t {
  bsNone,    // no frame
  bsSingle,  // 1-pixel black frame
};

class TProgressGauge : public QWidget {
  Q_OBJECT

 public:
  // 100 x 100 pixels, horizontal bar, text shown, single border, black on
  // white, range 0..100, progress 0.
  explicit TProgressGauge(QWidget* parent = nullptr);
  ~TProgressGauge() override;

  TProgressGaugeKind Kind() const { return kind_; }
  bool ShowText() const { return showText_; }
  TBorderStyle BorderStyle() const { return borderStyle_; }
  QColor ForeColor() const { return foreColor_; }  // filled part, outlines, needle
  QColor BackColor() const { return backColor_; }  // unfilled part
  int32_t MinValue() const { return minValue_; }   // shown as 0 %
  int32_t MaxValue() const { return maxValue_; }   // shown as 100 %
  int32_t Progress() const { return progress_; }   // always within MinValue..MaxValue
  // The area around the dial of the pie and needle kinds: the palette's
  // window colour.
  QColor Color() const;

  // floor((Progress - MinValue) * 100 / (MaxValue - MinValue)), 0 .. 100;
  // 0 when the range is empty.
  int32_t GetPercentDone() const;

  // Clamps `value` into the range and stores it; repaints only when the
  // whole percentage changes.
  void SetProgress(int32_t value);
  // Advances Progress by `delta` (clamped, no overflow) and always repaints.
  void AddProgress(int32_t delta);

  // Each stores a different value and repaints; an equal value does nothing.
  void SetKind(TProgressGaugeKind kind);
  void SetShowText(bool show);
  void SetBorderStyle(TBorderStyle style);
  void SetForeColor(const QColor& color);
  void SetBackColor(const QColor& color);

  // Throws std::out_of_range "Value must be between -2147483647 and
  // <MaxValue - 1>" when `value` is above MaxValue; a value equal to
  // MaxValue is accepted. Raises Progress to the new minimum if below it.
  void SetMinValue(int32_t value);
  // 0 is ignored. Throws std::out_of_range "Value must be between
  // <MinValue + 1> and 2147483647" when `value` is below MinValue; a value
  // equal to MinValue is accepted. Lowers Progress to the new maximum if
  // above it. Any other value, even the current one, is applied and repaints.
  void SetMaxValue(int32_t value);

  // The picture a paint puts on screen: an RGB32 image of the gauge's size
  // in logical pixels, drawn at `devicePixelRatio` device pixels per logical
  // one (so text and edges stay sharp on a scaled screen) and carrying that
  // ratio; null for an empty gauge. Needs no screen.
  QImage PaintToImage(qreal devicePixelRatio = 1.0) const;

  // Where the percentage text of the given size starts within `paintRect`;
  // centred on the rectangle's size, not offset by its left and top edges.
  static QPoint TextOrigin(const TRect& paintRect, int textWidth, int textHeight);

 protected:
  void paintEvent(QPaintEvent* event) override;

  // Puts the composed picture on the widget; only from paintEvent.
  void Paint();

  // Drawing steps, each on `bitmap` within the paint rectangle `r`.
  static void PaintBackground(QImage& bitmap);
  void PaintAsText(QImage& bitmap, const TRect& r) const;
  void PaintAsNothing(QImage& bitmap, const TRect& r) const;
  void PaintAsBar(QImage& bitmap, const TRect& r) const;
  void PaintAsPie(QImage& bitmap, const TRect& r) const;
  void PaintAsNeedle(QImage& bitmap, const TRect& r) const;

 private:
  // Invalidates and paints at once (nothing while the gauge is hidden).
  void Refresh();

  TProgressGaugeKind kind_ = TProgressGaugeKind::gkHorizontalBar;
  bool showText_ = true;
  TBorderStyle borderStyle_ = TBorderStyle::bsSingle;
  QColor foreColor_ = Qt::black;
  QColor backColor_ = Qt::white;
  int32_t minValue_ = 0;
  int32_t maxValue_ = 100;
  int32_t progress_ = 0;
};

}  // namespace kv37
