#include "OutputQueue.h"

#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <utility>

namespace kv37::cli {

OutputQueue::OutputQueue(int fd, std::size_t limit)
    : fd_(fd), limit_(limit), writer_([this] { Write(); }) {}

OutputQueue::~OutputQueue() {
  stream_.flush();
  {
    std::lock_guard lock(mutex_);
    ending_ = true;
  }
  wake_.notify_all();
  writer_.join();
}

int OutputQueue::Buffer::sync() {
  queue_.Push(str());
  str(std::string());
  return 0;
}

void OutputQueue::Push(std::string text) {
  if (text.empty()) return;
  {
    std::lock_guard lock(mutex_);
    if (waiting_.size() + text.size() > limit_) {
      dropped_ += text.size();
      return;
    }
    waiting_ += text;
  }
  wake_.notify_all();
}

void OutputQueue::Write() {
  using Clock = std::chrono::steady_clock;
  Clock::time_point giveUp = Clock::time_point::max();
  std::unique_lock lock(mutex_);
  for (;;) {
    wake_.wait(lock, [&] { return ending_ || !waiting_.empty(); });
    if (ending_ && giveUp == Clock::time_point::max())
      giveUp = Clock::now() + std::chrono::seconds(2);
    if (waiting_.empty() || Clock::now() >= giveUp) return;
    std::string text = std::move(waiting_);
    waiting_.clear();
    if (dropped_ > 0)
      text = "(" + std::to_string(std::exchange(dropped_, 0)) +
             " bytes of output dropped: nobody read them)\n" + text;
    lock.unlock();
    std::size_t done = 0;
    while (done < text.size() && Clock::now() < giveUp) {
      pollfd out{fd_, POLLOUT, 0};
      if (poll(&out, 1, 100) <= 0) continue;
      // Ready means room for PIPE_BUF bytes: a write that size never waits.
      const std::size_t chunk = std::min<std::size_t>(text.size() - done, PIPE_BUF);
      const ssize_t n = write(fd_, text.data() + done, chunk);
      if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
      if (n <= 0) break;  // the reader has gone: nothing more to write to
      done += static_cast<std::size_t>(n);
    }
    lock.lock();
  }
}

}  // namespace kv37::cli
