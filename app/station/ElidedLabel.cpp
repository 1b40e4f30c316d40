#include "ElidedLabel.h"

#include <QPainter>

namespace kv37 {

ElidedLabel::ElidedLabel(Qt::TextElideMode mode, QWidget* parent) : QLabel(parent), mode_(mode) {
  setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
}

void ElidedLabel::SetText(const QString& text) {
  if (text == this->text()) return;
  setText(text);
  setToolTip(text);
}

void ElidedLabel::paintEvent(QPaintEvent* /*event*/) {
  QPainter painter(this);
  const QRect box = contentsRect();
  painter.setPen(palette().color(QPalette::WindowText));
  painter.drawText(box, static_cast<int>(alignment()) | Qt::TextSingleLine,
                   fontMetrics().elidedText(text(), mode_, box.width()));
}

}  // namespace kv37
