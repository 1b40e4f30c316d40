#include "ProgressGauge.h"

#include <QPainter>
#include <QString>

#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>
#include <stdexcept>
#include <string>

#include "OverlayBitmap.h"

namespace kv37 {
namespace {

// XOR composition needs every pixel opaque and of one layout.
constexpr QImage::Format kImageFormat = QImage::Format_RGB32;

int Floor(double v) {
  return static_cast<int>(std::floor(v));
}

// Filled in 64 bits so a bound at either end of the 32-bit range gives an
// honest number instead of wrapping.
[[noreturn]] void ThrowRange(int64_t low, int64_t high) {
  throw std::out_of_range("Value must be between " + std::to_string(low) + " and " +
                          std::to_string(high));
}

}  // namespace

TProgressGauge::TProgressGauge(QWidget* parent) : QWidget(parent) {
  // Every paint covers the whole area, so Qt need not clear it first.
  setAttribute(Qt::WA_OpaquePaintEvent);
  setAttribute(Qt::WA_NoSystemBackground);
  resize(100, 100);
}

TProgressGauge::~TProgressGauge() = default;

QColor TProgressGauge::Color() const {
  return palette().color(QPalette::Window);
}

int32_t TProgressGauge::GetPercentDone() const {
  // 64-bit so that even the widest range neither wraps nor loses precision.
  const int64_t span = int64_t{maxValue_} - minValue_;
  if (span == 0) return 0;
  return static_cast<int32_t>((int64_t{progress_} - minValue_) * 100 / span);
}

void TProgressGauge::SetProgress(int32_t value) {
  value = std::clamp(value, minValue_, maxValue_);
  if (value == progress_) return;
  const int32_t before = GetPercentDone();
  progress_ = value;
  if (GetPercentDone() != before) Refresh();
}

void TProgressGauge::AddProgress(int32_t delta) {
  // Stored directly rather than through SetProgress so the unconditional
  // repaint is the only one.
  progress_ = static_cast<int32_t>(
      std::clamp(int64_t{progress_} + delta, int64_t{minValue_}, int64_t{maxValue_}));
  Refresh();
}

void TProgressGauge::SetKind(TProgressGaugeKind kind) {
  if (kind == kind_) return;
  kind_ = kind;
  Refresh();
}

void TProgressGauge::SetShowText(bool show) {
  if (show == showText_) return;
  showText_ = show;
  Refresh();
}

void TProgressGauge::SetBorderStyle(TBorderStyle style) {
  if (style == borderStyle_) return;
  borderStyle_ = style;
  Refresh();
}

void TProgressGauge::SetForeColor(const QColor& color) {
  if (color == foreColor_) return;
  foreColor_ = color;
  Refresh();
}

void TProgressGauge::SetBackColor(const QColor& color) {
  if (color == backColor_) return;
  backColor_ = color;
  Refresh();
}

void TProgressGauge::SetMinValue(int32_t value) {
  if (value == minValue_) return;
  if (value > maxValue_) ThrowRange(-2147483647, int64_t{maxValue_} - 1);
  minValue_ = value;
  progress_ = std::max(progress_, value);
  Refresh();
}

void TProgressGauge::SetMaxValue(int32_t value) {
  if (value == 0) return;
  if (value < minValue_) ThrowRange(int64_t{minValue_} + 1, 2147483647);
  maxValue_ = value;
  progress_ = std::min(progress_, value);
  Refresh();
}

void TProgressGauge::Refresh() {
  repaint();
}

void TProgressGauge::paintEvent(QPaintEvent*) {
  Paint();
}

void TProgressGauge::Paint() {
  const QImage composed = PaintToImage(devicePixelRatioF());
  if (composed.isNull()) return;
  QPainter screen(this);
  screen.setCompositionMode(QPainter::CompositionMode_Source);
  screen.drawImage(0, 0, composed);
}

QImage TProgressGauge::PaintToImage(qreal devicePixelRatio) const {
  // Composed in device pixels; every drawing step below still works in the
  // gauge's logical pixels.
  const QSize device(static_cast<int>(std::ceil(width() * devicePixelRatio)),
                     static_cast<int>(std::ceil(height() * devicePixelRatio)));
  QImage composed(device, kImageFormat);
  if (composed.isNull()) return composed;
  composed.setDevicePixelRatio(devicePixelRatio);
  PaintBackground(composed);

  TRect r{0, 0, width(), height()};
  if (borderStyle_ == TBorderStyle::bsSingle) r = {1, 1, width() - 1, height() - 1};

  TOverlayBitmap overlay;
  overlay.SizeLike(composed);
  PaintBackground(overlay);
  switch (kind_) {
    case TProgressGaugeKind::gkText:
      PaintAsNothing(overlay, r);
      break;
    case TProgressGaugeKind::gkHorizontalBar:
    case TProgressGaugeKind::gkVerticalBar:
      PaintAsBar(overlay, r);
      break;
    case TProgressGaugeKind::gkPie:
      PaintAsPie(overlay, r);
      break;
    case TProgressGaugeKind::gkNeedle:
      PaintAsNeedle(overlay, r);
      break;
  }
  // Onto the black image an XOR copy is a plain copy; the ring outside r
  // stays black and forms the frame.
  TCanvas(composed).Draw(0, 0, overlay, TCopyMode::cmSrcInvert);

  if (showText_) PaintAsText(composed, r);
  return composed;
}

void TProgressGauge::PaintBackground(QImage& bitmap) {
  bitmap.fill(Qt::black);
}

QPoint TProgressGauge::TextOrigin(const TRect& paintRect, int textWidth, int textHeight) {
  return QPoint((paintRect.right - paintRect.left + 1 - textWidth) / 2,
                (paintRect.bottom - paintRect.top + 1 - textHeight) / 2);
}

void TProgressGauge::PaintAsText(QImage& bitmap, const TRect& r) const {
  TOverlayBitmap text;
  text.SizeLike(bitmap);
  PaintBackground(text);
  const QString label = QString::number(GetPercentDone()) + QLatin1Char('%');
  {
    TCanvas canvas(text);
    canvas.SetFont(font());
    canvas.SetFontColor(Qt::white);
    const QPoint at = TextOrigin(r, canvas.TextWidth(label), canvas.TextHeight());
    canvas.TextRect(r, at.x(), at.y(), label);
  }
  // White XORed onto the picture turns each text pixel into the inverse of
  // what lies beneath it.
  TCanvas(bitmap).Draw(0, 0, text, TCopyMode::cmSrcInvert);
}

void TProgressGauge::PaintAsNothing(QImage& bitmap, const TRect& r) const {
  TCanvas canvas(bitmap);
  canvas.SetBrushColor(backColor_);
  canvas.FillRect(r);
}

void TProgressGauge::PaintAsBar(QImage& bitmap, const TRect& r) const {
  const int w = r.right - r.left + 1;
  const int h = r.bottom - r.top + 1;
  const int percent = GetPercentDone();
  TCanvas canvas(bitmap);
  canvas.SetBrushColor(backColor_);
  canvas.FillRect(r);
  canvas.SetPenColor(foreColor_);
  canvas.SetBrushColor(foreColor_);
  if (kind_ == TProgressGaugeKind::gkHorizontalBar) {
    const int fill = std::min(Floor(percent * 0.01 * w), w);
    // The right edge is the fill size itself, not r.left plus it.
    if (fill > 0) canvas.FillRect({r.left, r.top, fill, h});
  } else {
    int fill = Floor(percent * 0.01 * h);
    if (fill >= h) fill = h - 1;
    canvas.FillRect({r.left, h - fill, w, h});
  }
}

void TProgressGauge::PaintAsPie(QImage& bitmap, const TRect& r) const {
  const int extra = borderStyle_ == TBorderStyle::bsSingle ? 1 : 0;
  const int w = r.right - r.left + extra;
  const int h = r.bottom - r.top + extra;
  const TRect bounds{r.left, r.top, w, h};
  TCanvas canvas(bitmap);
  canvas.SetBrushColor(Color());
  canvas.FillRect(r);
  canvas.SetBrushColor(backColor_);
  canvas.SetPenColor(foreColor_);
  canvas.Ellipse(bounds);
  const int percent = GetPercentDone();
  if (percent <= 0) return;
  canvas.SetBrushColor(foreColor_);
  const int mx = w / 2;
  const int my = h / 2;
  const double angle = (percent * 0.02 + 0.5) * std::numbers::pi;
  // Grows clockwise from the top.
  canvas.Pie(bounds, QPoint(Floor((1 - std::cos(angle)) * mx), Floor((1 - std::sin(angle)) * my)),
             QPoint(mx, 0));
}

void TProgressGauge::PaintAsNeedle(QImage& bitmap, const TRect& r) const {
  const int extra = borderStyle_ == TBorderStyle::bsSingle ? 1 : 0;
  const int x = r.left;
  const int y = r.top;
  const int w = r.right - r.left + extra;
  const int h = r.bottom - r.top + extra;
  TCanvas canvas(bitmap);
  canvas.SetBrushColor(Color());
  canvas.FillRect(r);
  canvas.SetBrushColor(backColor_);
  canvas.SetPenColor(foreColor_);
  // The upper half of an ellipse twice the height: a semicircular dial.
  canvas.Pie({x, y, w, 2 * h - 1}, QPoint(x + w, r.bottom - 1), QPoint(x, r.bottom - 1));
  canvas.Line(QPoint(x, r.bottom), QPoint(x + w, r.bottom));
  const int percent = GetPercentDone();
  if (percent <= 0) return;
  // Pivots on the middle of the whole control, not of r.
  const int mx = width() / 2;
  const double angle = percent * 0.01 * std::numbers::pi;
  canvas.Line(QPoint(mx, r.bottom - 1), QPoint(Floor((1 - std::cos(angle)) * mx),
                                               Floor((1 - std::sin(angle)) * (r.bottom - 1))));
}

}  // namespace kv37
