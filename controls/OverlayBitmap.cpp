#include "OverlayBitmap.h"

namespace kv37 {

void TOverlayBitmap::SizeLike(const QImage& pattern) {
  if (pattern.isNull()) {
    QImage::operator=(QImage());
    return;
  }
  QImage::operator=(QImage(pattern.size(), pattern.format()));
  setDevicePixelRatio(pattern.devicePixelRatio());
  fill(kWindowFrameColor);
}

}  // namespace kv37
