#pragma once
// Toolkit-style drawing on an off-screen image: rectangles given by their
// edges with the right and bottom edges left out, a solid pen and brush, pies
// given by two radial points, and the copy modes used to compose images.
//
// Everything is drawn aliased, so colours stay exact and an XOR copy inverts
// them cleanly. Coordinates are logical pixels of the image: on an image with
// a device pixel ratio of 2 a 1-pixel line is 2 device pixels wide and text
// is drawn at twice the resolution.
//
// Not thread-safe: a canvas and its image belong to one thread at a time.

#include <QColor>
#include <QFont>
#include <QImage>
#include <QPainter>
#include <QPoint>
#include <QRect>
#include <QString>

namespace kv37 {

// Left, top, right and bottom edges in pixels; the right column and the
// bottom row lie just outside the rectangle.
struct TRect {
  int left = 0;
  int top = 0;
  int right = 0;
  int bottom = 0;

  bool IsEmpty() const { return right <= left || bottom <= top; }
  QRect ToQRect() const { return QRect(left, top, right - left, bottom - top); }
  friend bool operator==(const TRect&, const TRect&) = default;
};

enum class TCopyMode {
  cmSrcCopy,    // the source replaces the destination
  cmSrcInvert,  // destination := source XOR destination
};

class TCanvas {
 public:
  // Draws on `image` until destroyed. The image must outlive the canvas and
  // must not be resized while the canvas exists.
  explicit TCanvas(QImage& image);

  TCanvas(const TCanvas&) = delete;
  TCanvas& operator=(const TCanvas&) = delete;

  void SetPenColor(const QColor& color);    // solid, 1 pixel wide
  void SetBrushColor(const QColor& color);  // solid
  // Text is drawn aliased in the font colour on a clear background.
  void SetFont(const QFont& font);
  void SetFontColor(const QColor& color);

  // Fills `r` with the brush; the pen is not used. Nothing for an empty `r`.
  void FillRect(const TRect& r);
  // Ellipse within `bounds`: outlined with the pen, filled with the brush.
  void Ellipse(const TRect& bounds);
  // Sector of the ellipse within `bounds`, from the radial through `start`
  // counter-clockwise to the radial through `end`; when both radials
  // coincide the whole ellipse. Outlined with the pen, filled with the brush.
  void Pie(const TRect& bounds, QPoint start, QPoint end);
  // Line with the pen, both end points included.
  void Line(QPoint from, QPoint to);

  // Size of `text` in the current font, in pixels.
  int TextWidth(const QString& text) const;
  int TextHeight() const;
  // Draws `text` with its top-left corner at (x, y), clipped to `clip`.
  void TextRect(const TRect& clip, int x, int y, const QString& text);

  // Copies `source` with its top-left corner at (x, y).
  void Draw(int x, int y, const QImage& source, TCopyMode mode);

 private:
  QPainter painter_;
  qreal penWidth_;  // one logical pixel, in device pixels
  QColor fontColor_;
};

}  // namespace kv37
