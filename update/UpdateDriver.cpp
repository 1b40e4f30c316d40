#include "UpdateDriver.h"

#include <QTimer>

#include "Comm.h"

namespace kv37 {

UpdateDriver::UpdateDriver(TComm& comm, const MemoryStream& image, UpdateView& view,
                           QObject* parent)
    : QObject(parent),
      comm_(comm),
      view_(view),
      controller_(image, *this),
      watchdog_(new QTimer(this)) {
  comm_.OnReceiveData = [this](TComm*, const uint8_t* buffer, uint16_t length) {
    Run([&] { Comm1ReceiveData(buffer, length); });
  };
  connect(watchdog_, &QTimer::timeout, this, [this] { Run([this] { Timer1Timer(); }); });
}

UpdateDriver::~UpdateDriver() {
  comm_.OnReceiveData = nullptr;
}

void UpdateDriver::Run(const std::function<void()>& handler) {
  if (guard_)
    guard_(handler);
  else
    handler();
}

void UpdateDriver::KV37_ModeClick() {
  if (halted_) return;
  controller_.KV37_ModeClick();
}

void UpdateDriver::Comm1ReceiveData(const uint8_t* buffer, uint16_t length) {
  view_.ChunkReceived(buffer, length);
  if (halted_) return;
  controller_.Comm1ReceiveData(buffer, length);
  if (!halted_) view_.ChunkHandled();
}

void UpdateDriver::Timer1Timer() {
  if (halted_) return;
  controller_.Timer1Timer();
  if (!halted_) view_.TickHandled();
}

void UpdateDriver::Halt() {
  halted_ = true;
  watchdog_->stop();
}

void UpdateDriver::WriteCommData(const uint8_t* data, uint16_t length) {
  if (comm_.WriteCommData(data, length))
    view_.Written(data, length);
  else
    view_.WriteRefused();
}

void UpdateDriver::ShowStatus() {
  view_.ShowStatus();
}

void UpdateDriver::MoveStatus(int left) {
  view_.MoveStatus(left);
}

void UpdateDriver::SetStatusText(const std::string& text) {
  view_.SetStatusText(text);
}

void UpdateDriver::SetGaugeProgress(int value) {
  view_.SetGaugeProgress(value);
}

void UpdateDriver::SetTimerEnabled(bool enabled) {
  // Starting a running QTimer would restart its period; the watchdog keeps it.
  if (halted_ && enabled) return;
  if (enabled == watchdog_->isActive()) return;
  if (enabled)
    watchdog_->start();
  else
    watchdog_->stop();
}

void UpdateDriver::SetTimerInterval(int milliseconds) {
  // QTimer restarts a running timer on a new interval; an equal one must not.
  if (milliseconds != watchdog_->interval()) watchdog_->setInterval(milliseconds);
}

void UpdateDriver::FatalError(const std::string& text) {
  view_.FatalError(text);
}

}  // namespace kv37
