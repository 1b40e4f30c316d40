#include "WindowFonts.h"

#include <QLabel>
#include <QPalette>

namespace kv37 {

namespace {

QFont MakeFont(const QString& family, int pixelHeight, bool bold) {
  QFont font(family);
  font.setStyleHint(QFont::SansSerif);
  font.setPixelSize(pixelHeight);
  font.setBold(bold);
  return font;
}

}  // namespace

QFont ArialFont(int pixelHeight, bool bold) {
  return MakeFont("Arial", pixelHeight, bold);
}

QFont DesktopSansFont(int pixelHeight, bool bold) {
  return MakeFont("sans-serif", pixelHeight, bold);
}

void SetLabelColours(QLabel* label, const QColor& text, const QColor& background) {
  QPalette palette = label->palette();
  palette.setColor(QPalette::WindowText, text);
  if (background.isValid()) {
    palette.setColor(QPalette::Window, background);
    label->setAutoFillBackground(true);
  }
  label->setPalette(palette);
}

}  // namespace kv37
