#pragma once
// An off-screen image that is sized after another one and starts out in the
// window-frame colour; the gauge composes its picture from these.

#include <QColor>
#include <QImage>

namespace kv37 {

// The system window-frame colour the overlay starts in.
inline const QColor kWindowFrameColor = Qt::black;

class TOverlayBitmap : public QImage {
 public:
  TOverlayBitmap() = default;

  // Takes the width, height, pixel format and device pixel ratio of
  // `pattern` and fills the whole image with kWindowFrameColor. A null `pattern` gives a null
  // image.
  void SizeLike(const QImage& pattern);
};

}  // namespace kv37
