#pragma once
// A one-line label that shortens its text with an ellipsis to the width it
// has, at paint time, so a tile's text is never cut off at any size or
// scale; the whole text is its tooltip.
//
// GUI thread only; the parent owns the label.

#include <QLabel>

namespace kv37 {

class ElidedLabel : public QLabel {
 public:
  explicit ElidedLabel(Qt::TextElideMode mode = Qt::ElideRight, QWidget* parent = nullptr);

  // Repaints only when `text` differs from what is shown.
  void SetText(const QString& text);

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  Qt::TextElideMode mode_;
};

}  // namespace kv37
