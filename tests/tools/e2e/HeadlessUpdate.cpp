#include "HeadlessUpdate.h"

#include <QEventLoop>

HeadlessUpdate::HeadlessUpdate(const kv37::MemoryStream& image, bool record)
    : driver_(comm_, image, *this), record_(record) {
  comm_.SetBaudRate(57600);
  comm_.SetOutx_XonXoffFlow(false);
}

HeadlessUpdate::~HeadlessUpdate() {
  comm_.StopComm();
}

void HeadlessUpdate::Start(const std::string& port) {
  comm_.CommName = port;
  comm_.StartComm();
  driver_.KV37_ModeClick();
}

bool HeadlessUpdate::WaitForEnd(std::chrono::milliseconds timeout) {
  if (ended_) return true;
  QEventLoop loop;
  QTimer::singleShot(timeout, &loop, &QEventLoop::quit);
  waiting_ = &loop;
  loop.exec();
  waiting_ = nullptr;
  return ended_;
}

void HeadlessUpdate::Pump(std::chrono::milliseconds period) {
  QEventLoop loop;
  QTimer::singleShot(period, &loop, &QEventLoop::quit);
  loop.exec();
}

void HeadlessUpdate::End() {
  ended_ = true;
  if (waiting_ != nullptr) waiting_->quit();
}

void HeadlessUpdate::Written(const uint8_t* data, uint16_t length) {
  if (record_) written_.emplace_back(data, data + length);
}

void HeadlessUpdate::SetStatusText(const std::string& text) {
  texts_.push_back(text);
}

void HeadlessUpdate::UpdateEnded(kv37::UpdateEnd end) {
  // A frame fault ends with its FatalError, which comes next.
  if (end == kv37::UpdateEnd::Success || end == kv37::UpdateEnd::UnitFailure ||
      end == kv37::UpdateEnd::NoAnswer)
    End();
}

void HeadlessUpdate::FatalError(const std::string& text) {
  fatal_ = text;
  // A frame fault ends the program once its box is dismissed; here there is
  // no box, so the program counts as ended at once.
  driver_.Halt();
  End();
}
