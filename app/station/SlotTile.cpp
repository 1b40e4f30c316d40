#include "SlotTile.h"

#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>

#include "ElidedLabel.h"
#include "ProgressGauge.h"
#include "UpdateController.h"

namespace kv37 {

namespace {

struct Colours {
  QColor back, text;
};

// Light on dark for the states that matter from across the line, so the
// colour carries at a distance; the words say the same for those who
// cannot tell red from green.
Colours ColoursOf(SlotState state) {
  switch (state) {
    case SlotState::Waiting:
      return {QColor(0xec, 0xef, 0xf1), QColor(0x37, 0x47, 0x4f)};
    case SlotState::Settling:
      return {QColor(0xbb, 0xde, 0xfb), QColor(0x0d, 0x47, 0xa1)};
    case SlotState::Held:
      return {QColor(0xff, 0xe0, 0x82), QColor(0x3e, 0x27, 0x23)};
    case SlotState::Updating:
      return {QColor(0x15, 0x65, 0xc0), Qt::white};
    case SlotState::Passed:
      return {QColor(0x2e, 0x7d, 0x32), Qt::white};
    case SlotState::Failed:
      return {QColor(0xc6, 0x28, 0x28), Qt::white};
  }
  return {Qt::white, Qt::black};
}

QString Seconds(double seconds) {
  return seconds < 100 ? QString::number(seconds, 'f', 0) + " s"
                       : QString::number(std::round(seconds / 60)) + " min";
}

int Clamp(double value, int low, int high) {
  return std::clamp(static_cast<int>(value), low, high);
}

}  // namespace

QString SlotProgressText(const SlotView& slot) {
  if (slot.state == SlotState::Failed) return QString::fromStdString(slot.text);
  const double seconds = std::chrono::duration<double>(slot.elapsed).count();
  if (slot.state == SlotState::Passed) return "done in " + Seconds(seconds);
  if (slot.state != SlotState::Updating || !slot.page) return {};
  QString text = QString::fromStdString(PageText(*slot.page));
  if (seconds > 0.5 && slot.pages > 0) {
    text += QString(" · %1 pages/s").arg(slot.pages / seconds, 0, 'f', 1);
    if (slot.percent > 0 && slot.percent < 100)
      text += " · " + Seconds(seconds * (100 - slot.percent) / slot.percent) + " left";
  }
  return text;
}

QString SlotAdapterText(const SlotView& slot) {
  QString text =
      QString::fromStdString(slot.usb ? UsbIdentityText(*slot.usb) : SlotSpecText(slot.spec));
  if (!slot.node.empty() && slot.node != slot.spec.value)
    text += " · " + QString::fromStdString(slot.node);
  return text;
}

SlotTile::SlotTile(const SlotView& slot, QWidget* parent)
    : QFrame(parent),
      name_(new ElidedLabel(Qt::ElideRight, this)),
      state_(new ElidedLabel(Qt::ElideRight, this)),
      gauge_(new TProgressGauge(this)),
      progress_(new ElidedLabel(Qt::ElideRight, this)),
      adapter_(new ElidedLabel(Qt::ElideMiddle, this)),
      counts_(new ElidedLabel(Qt::ElideRight, this)) {
  setFocusPolicy(Qt::StrongFocus);
  setAutoFillBackground(true);
  setFrameShape(QFrame::Box);
  setLineWidth(3);
  gauge_->SetForeColor(QColor(0x0d, 0x47, 0xa1));
  counts_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  auto* top = new QHBoxLayout;
  top->addWidget(name_, 3);
  top->addWidget(counts_, 2);
  auto* column = new QVBoxLayout(this);
  column->setSpacing(2);
  column->addLayout(top);
  column->addWidget(state_);
  column->addWidget(gauge_);
  column->addWidget(progress_);
  column->addWidget(adapter_);
  column->addStretch(1);
  name_->SetText(QString::fromStdString(slot.spec.name));
  setAccessibleName("slot " + name_->text());
  Show(slot);
}

void SlotTile::Show(const SlotView& slot) {
  slot_ = slot;
  state_->SetText(StateText());
  progress_->SetText(SlotProgressText(slot));
  // A held failure's unit has mostly gone: the line tells what to do instead.
  adapter_->SetText(slot.held ? "to go on: click, or Enter on the tile" : SlotAdapterText(slot));
  counts_->SetText(QString("passed %1 · failed %2").arg(slot.passed).arg(slot.failed));
  // A failure keeps how far its unit got.
  gauge_->SetProgress(
      slot.state == SlotState::Waiting || slot.state == SlotState::Settling ? 0 : slot.percent);
  setAccessibleDescription(StateText());
  Colour();
}

QString SlotTile::StateText() const {
  const QString word = SlotStateWord(slot_.state);
  if (slot_.state == SlotState::Held) return QString::fromStdString(slot_.text);
  if (slot_.state == SlotState::Waiting && !slot_.text.empty())
    return word + ": " + QString::fromStdString(slot_.text);
  return slot_.held ? word + " · unacknowledged" : word;
}

int SlotTile::NamePixelSize() const {
  return name_->font().pixelSize();
}
int SlotTile::StatePixelSize() const {
  return state_->font().pixelSize();
}

void SlotTile::Colour() {
  const int key = static_cast<int>(slot_.state) * 2 + (slot_.held ? 1 : 0);
  if (key == colouredFor_) return;
  colouredFor_ = key;
  const Colours colours = ColoursOf(slot_.state);
  QPalette palette = this->palette();
  palette.setColor(QPalette::Window, colours.back);
  palette.setColor(QPalette::WindowText, colours.text);
  setPalette(palette);
  gauge_->SetBackColor(Qt::white);
  // A held failure wears a heavier frame: it waits for someone.
  setLineWidth(slot_.held ? 6 : 3);
}

void SlotTile::Fit() {
  // Sized by the tile so the name and state stay readable at a distance on
  // a full fixture, and nothing is cut off on a small one.
  const double h = height(), w = width();
  const auto setPixels = [](QWidget* label, int pixels, bool bold) {
    QFont font = label->font();
    font.setPixelSize(pixels);
    font.setBold(bold);
    label->setFont(font);
  };
  setPixels(name_, Clamp(std::min(h * 0.17, w * 0.1), 12, 72), true);
  setPixels(state_, Clamp(std::min(h * 0.13, w * 0.075), 11, 48), true);
  const int small = Clamp(std::min(h * 0.085, w * 0.05), 10, 24);
  for (QWidget* label : std::initializer_list<QWidget*>{progress_, adapter_, counts_, gauge_})
    setPixels(label, small, false);
  gauge_->setFixedHeight(Clamp(h * 0.14, 12, 44));
  layout()->setContentsMargins(8, 4, 8, 4);
}

void SlotTile::resizeEvent(QResizeEvent* event) {
  QFrame::resizeEvent(event);
  Fit();
}

void SlotTile::mousePressEvent(QMouseEvent* event) {
  QFrame::mousePressEvent(event);
  setFocus(Qt::MouseFocusReason);
  if (slot_.held) emit acknowledged();
}

void SlotTile::keyPressEvent(QKeyEvent* event) {
  const int key = event->key();
  if (key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Space) {
    if (slot_.held) emit acknowledged();
    return;
  }
  QFrame::keyPressEvent(event);
}

void SlotTile::paintEvent(QPaintEvent* event) {
  QFrame::paintEvent(event);
  if (!hasFocus()) return;
  // The keyboard's tile, visible on every state's colour.
  QPainter painter(this);
  painter.setPen(QPen(QColor(0xff, 0xd6, 0x00), 5));
  painter.drawRect(rect().adjusted(2, 2, -3, -3));
}

}  // namespace kv37
