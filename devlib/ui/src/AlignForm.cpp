#include "fautil/ui/AlignForm.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

namespace fautil {
namespace {

int LeftBeside(const QRect& moved, int formWidth, const QSize& screen) {
  return screen.width() < moved.x() + formWidth ? screen.width() - formWidth : moved.x();
}

}  // namespace

QRect AlignedFormRect(QPoint origin, QRect rect, TAlign align, QRect form, QSize screen) {
  const QRect moved = rect.translated(origin);
  const int top = moved.y();
  const int bottom = moved.y() + moved.height();  // the row just below
  const int height = form.height();
  QRect placed = form;
  switch (align) {
    case TAlign::alTop:
      placed.moveLeft(LeftBeside(moved, form.width(), screen));
      placed.moveTop(top - height >= 0 ? top - height - 1 : bottom);
      break;
    case TAlign::alBottom:
      placed.moveLeft(LeftBeside(moved, form.width(), screen));
      placed.moveTop(screen.height() < bottom + height ? top - height - 1 : bottom);
      break;
    case TAlign::alClient:
      placed = moved;
      break;
    case TAlign::alNone:
    case TAlign::alLeft:
    case TAlign::alRight:
      break;
  }
  if (placed.y() < 0) placed.moveTop(0);
  return placed;
}

void AlignForm(QPoint origin, QRect rect, TAlign align, QWidget* form) {
  if (form == nullptr) return;
  const QScreen* screen = QGuiApplication::primaryScreen();
  if (screen == nullptr) return;
  if (align == TAlign::alClient) {
    const QRect placed = AlignedFormRect(origin, rect, align, form->geometry(), screen->size());
    form->setGeometry(placed);
    return;
  }
  const QRect placed = AlignedFormRect(origin, rect, align, form->frameGeometry(), screen->size());
  form->move(placed.topLeft());
}

}  // namespace fautil
