#pragma once
// The standard output of a long run (the station's board, the updater's
// progress), written on a thread of its own: a reader that stops reading (a
// full pipe, a terminal paused with Ctrl-S) never holds up the thread that
// serves the units. What waits is kept up to a bound; past it new output is
// dropped, and a line says how much once the reader goes on.
//
// Stream() is used from one thread; the writer is the queue's own.

#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <ostream>
#include <sstream>
#include <streambuf>
#include <string>
#include <thread>

namespace kv37::cli {

class OutputQueue {
 public:
  // Writes to `fd`, which must stay open while the queue lives.
  explicit OutputQueue(int fd, std::size_t limit = std::size_t{8} << 20);
  // Writes what waits, for at most two seconds more, then lets go.
  ~OutputQueue();
  OutputQueue(const OutputQueue&) = delete;
  OutputQueue& operator=(const OutputQueue&) = delete;

  // What is written here goes to the queue at each flush (std::endl, flush()).
  std::ostream& Stream() { return stream_; }

 private:
  class Buffer : public std::stringbuf {
   public:
    explicit Buffer(OutputQueue& queue) : queue_(queue) {}
    int sync() override;

   private:
    OutputQueue& queue_;
  };

  void Push(std::string text);
  void Write();

  const int fd_;
  const std::size_t limit_;
  std::mutex mutex_;
  std::condition_variable wake_;
  std::string waiting_;
  std::size_t dropped_ = 0;
  bool ending_ = false;
  Buffer buffer_{*this};
  std::ostream stream_{&buffer_};
  std::thread writer_;
};

}  // namespace kv37::cli
