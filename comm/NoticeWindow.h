// The hidden notice object that carries worker-thread notices to the thread
// that created it.
#pragma once

#include <QObject>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>

// One notice: a number from notice::, two parameters and, for received data,
// the heap copy of the chunk (length + 1 bytes, the last one 0).
struct TNotice {
  uint32_t number = 0;
  uint32_t wParam = 0;
  uint32_t lParam = 0;
  std::unique_ptr<uint8_t[]> data;
};

// Post() may be called from any thread and never waits for the owner's thread.
// Notices are handed to the handler on the creating thread, one per posted Qt
// event and in posting order, so a handler that runs a nested event loop (a
// modal box) keeps receiving the following notices. A notice's data is freed
// after the handler returns. Needs a running event loop on the creating thread.
class TNoticeWindow : public QObject {
 public:
  using THandler = std::function<void(TNotice&)>;

  explicit TNoticeWindow(THandler handler);
  ~TNoticeWindow() override;

  // False only when memory ran out; the notice is then dropped.
  bool Post(TNotice notice) noexcept;

 protected:
  bool event(QEvent* e) override;

 private:
  THandler fHandler;
  std::mutex fMutex;
  std::deque<TNotice> fQueue;
  // True while a wake-up event is on its way to this object.
  bool fWakePending = false;
};
