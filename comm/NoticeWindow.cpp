#include "NoticeWindow.h"

#include <QCoreApplication>
#include <QEvent>
#include <new>

namespace {
const QEvent::Type kWakeEvent = static_cast<QEvent::Type>(QEvent::User + 0x37);
}

TNoticeWindow::TNoticeWindow(THandler handler) : fHandler(std::move(handler)) {}

TNoticeWindow::~TNoticeWindow() = default;

bool TNoticeWindow::Post(TNotice notice) noexcept {
  std::unique_ptr<QEvent> wake;
  try {
    std::lock_guard lock(fMutex);
    // Allocated under the lock, so the owner's lock in event() orders its
    // later deletion after this allocation.
    if (!fWakePending) wake = std::make_unique<QEvent>(kWakeEvent);
    fQueue.push_back(std::move(notice));
    if (wake) fWakePending = true;
  } catch (const std::bad_alloc&) {
    return false;
  }
  if (wake) QCoreApplication::postEvent(this, wake.release());
  return true;
}

bool TNoticeWindow::event(QEvent* e) {
  TNotice notice;
  QEvent* wake = nullptr;
  {
    // Locked before the event is even looked at: a worker allocated it under
    // this lock, and Qt's hand-over is invisible to race checkers.
    std::unique_lock lock(fMutex);
    if (e->type() != kWakeEvent) {
      lock.unlock();
      return QObject::event(e);
    }
    if (fQueue.empty()) {
      fWakePending = false;
      return true;
    }
    notice = std::move(fQueue.front());
    fQueue.pop_front();
    // One notice per event: the rest wait for the next event, which a nested
    // loop inside the handler will also dispatch.
    if (fQueue.empty())
      fWakePending = false;
    else
      wake = new QEvent(kWakeEvent);
  }
  if (wake) QCoreApplication::postEvent(this, wake);
  fHandler(notice);
  return true;
}
