#include "Canvas.h"

#include <QFontMetrics>
#include <QPen>
#include <QRectF>

#include <cmath>
#include <numbers>

namespace kv37 {
namespace {

// An aliased 1-pixel outline of a rectangle (x, y, w, h) covers w + 1 by
// h + 1 pixels; the bounds of a shape leave out their right column and
// bottom row, so the outline rectangle is one pixel smaller.
QRectF OutlineRect(const TRect& bounds) {
  return QRectF(bounds.left, bounds.top, bounds.right - bounds.left - 1,
                bounds.bottom - bounds.top - 1);
}

// Qt measures ellipse angles parametrically; this is the parameter of the
// point where the ray from the centre through `p` meets the ellipse.
double RadialAngle(const QRectF& ellipse, QPoint p) {
  const QPointF c = ellipse.center();
  const double rx = ellipse.width() / 2;
  const double ry = ellipse.height() / 2;
  const double ux = rx > 0 ? (p.x() - c.x()) / rx : 0.0;
  const double uy = ry > 0 ? (c.y() - p.y()) / ry : 0.0;  // y grows downwards
  return std::atan2(uy, ux);
}

int SixteenthsOfDegree(double radians) {
  return static_cast<int>(std::lround(radians * 180.0 / std::numbers::pi * 16.0));
}

}  // namespace

TCanvas::TCanvas(QImage& image)
    : painter_(&image), penWidth_(image.devicePixelRatio()), fontColor_(Qt::black) {
  painter_.setRenderHint(QPainter::Antialiasing, false);
  painter_.setRenderHint(QPainter::TextAntialiasing, false);
  SetPenColor(Qt::black);
  SetBrushColor(Qt::white);
}

void TCanvas::SetPenColor(const QColor& color) {
  // Cosmetic, so the outlines land on the same pixels at any scale.
  QPen pen(color, penWidth_);
  pen.setCosmetic(true);
  painter_.setPen(pen);
}

void TCanvas::SetBrushColor(const QColor& color) {
  painter_.setBrush(QBrush(color));
}

void TCanvas::SetFont(const QFont& font) {
  QFont aliased(font);
  aliased.setStyleStrategy(QFont::NoAntialias);
  painter_.setFont(aliased);
}

void TCanvas::SetFontColor(const QColor& color) {
  fontColor_ = color;
}

void TCanvas::FillRect(const TRect& r) {
  if (r.IsEmpty()) return;
  painter_.fillRect(r.ToQRect(), painter_.brush());
}

void TCanvas::Ellipse(const TRect& bounds) {
  painter_.drawEllipse(OutlineRect(bounds));
}

void TCanvas::Pie(const TRect& bounds, QPoint start, QPoint end) {
  const QRectF ellipse = OutlineRect(bounds);
  const double from = RadialAngle(ellipse, start);
  double span = RadialAngle(ellipse, end) - from;
  while (span <= 0) span += 2 * std::numbers::pi;  // coinciding radials: the whole ellipse
  painter_.drawPie(ellipse, SixteenthsOfDegree(from), SixteenthsOfDegree(span));
}

void TCanvas::Line(QPoint from, QPoint to) {
  painter_.drawLine(from, to);
}

int TCanvas::TextWidth(const QString& text) const {
  return painter_.fontMetrics().horizontalAdvance(text);
}

int TCanvas::TextHeight() const {
  return painter_.fontMetrics().height();
}

void TCanvas::TextRect(const TRect& clip, int x, int y, const QString& text) {
  if (clip.IsEmpty()) return;
  painter_.save();
  painter_.setClipRect(clip.ToQRect());
  painter_.setPen(fontColor_);
  painter_.setBackgroundMode(Qt::TransparentMode);
  painter_.drawText(x, y + painter_.fontMetrics().ascent(), text);
  painter_.restore();
}

void TCanvas::Draw(int x, int y, const QImage& source, TCopyMode mode) {
  painter_.setCompositionMode(mode == TCopyMode::cmSrcInvert
                                  ? QPainter::RasterOp_SourceXorDestination
                                  : QPainter::CompositionMode_Source);
  painter_.drawImage(x, y, source);
  painter_.setCompositionMode(QPainter::CompositionMode_SourceOver);
}

}  // namespace kv37
