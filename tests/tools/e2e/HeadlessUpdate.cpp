#include "HeadlessUpdate.h"

#include <QEventLoop>

HeadlessUpdate::HeadlessUpdate(const kv37::MemoryStream& image, bool record)
    : controller_(image, *this), record_(record) {
  comm_.SetBaudRate(57600);
  comm_.SetOutx_XonXoffFlow(false);
  comm_.OnReceiveData = [this](TComm*, const uint8_t* buffer, uint16_t length) {
    ++chunks_;
    // A frame fault ends the program once its box is dismissed; here there
    // is no box, so the program counts as ended at once.
    if (fatal_) return;
    controller_.Comm1ReceiveData(buffer, length);
  };
  QObject::connect(&timer_, &QTimer::timeout, [this] {
    if (!fatal_) controller_.Timer1Timer();
  });
}

HeadlessUpdate::~HeadlessUpdate() {
  comm_.OnReceiveData = nullptr;
  comm_.StopComm();
}

void HeadlessUpdate::Start(const std::string& port) {
  comm_.CommName = port;
  comm_.StartComm();
  controller_.KV37_ModeClick();
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

void HeadlessUpdate::WriteCommData(const uint8_t* data, uint16_t length) {
  if (comm_.WriteCommData(data, length) && record_) written_.emplace_back(data, data + length);
}

void HeadlessUpdate::SetStatusText(const std::string& text) {
  texts_.push_back(text);
  if (text == kv37::kTextSuccess || text == kv37::kTextCompletionFail ||
      text == kv37::kTextUpdateFail)
    End();
}

void HeadlessUpdate::SetTimerEnabled(bool enabled) {
  if (enabled == timer_.isActive()) return;
  if (enabled)
    timer_.start();
  else
    timer_.stop();
}

void HeadlessUpdate::SetTimerInterval(int milliseconds) {
  if (milliseconds != timer_.interval()) timer_.setInterval(milliseconds);
}

void HeadlessUpdate::FatalError(const std::string& text) {
  fatal_ = text;
  timer_.stop();
  End();
}
