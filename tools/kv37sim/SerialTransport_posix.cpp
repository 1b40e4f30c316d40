// POSIX serial lines: termios devices and openpty pairs. A self-pipe wakes
// blocked waits on Cancel, so nothing polls while the line is idle.

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "SerialTransport.h"

namespace kv37::sim {
namespace {

using Clock = std::chrono::steady_clock;

// A write that cannot make progress for this long means the far end stopped
// reading altogether.
constexpr std::chrono::milliseconds kWriteStall{5000};

[[noreturn]] void ThrowErrno(const std::string& what) {
  throw TransportError(what + ": " + std::strerror(errno));
}

speed_t SpeedFor(unsigned baud) {
  switch (baud) {
    case 1200:
      return B1200;
    case 2400:
      return B2400;
    case 4800:
      return B4800;
    case 9600:
      return B9600;
    case 19200:
      return B19200;
    case 38400:
      return B38400;
    case 57600:
      return B57600;
    case 115200:
      return B115200;
    case 230400:
      return B230400;
    default:
      throw TransportError("unsupported line rate " + std::to_string(baud));
  }
}

void MakeRaw(int fd, speed_t speed, const std::string& what) {
  termios tio{};
  if (tcgetattr(fd, &tio) != 0) ThrowErrno(what);
  cfmakeraw(&tio);
  tio.c_cflag &= ~(CSTOPB | PARENB | CRTSCTS);
  tio.c_cflag |= CS8 | CLOCAL | CREAD;
  tio.c_iflag &= ~(IXON | IXOFF | IXANY);
  tio.c_cc[VMIN] = 1;
  tio.c_cc[VTIME] = 0;
  if (cfsetispeed(&tio, speed) != 0 || cfsetospeed(&tio, speed) != 0) ThrowErrno(what);
  if (tcsetattr(fd, TCSANOW, &tio) != 0) ThrowErrno(what);
}

// While nobody has a pseudo-terminal's far end open, its master reports a
// hang-up on every poll; the unit then looks again this often, as a unit on
// an unplugged cable would simply wait.
constexpr std::chrono::milliseconds kFarEndPoll{5};

// How long bytes are given to leave when the far end is held exclusively,
// and so cannot be looked at: the holder is the utility's own reader.
constexpr std::chrono::milliseconds kExclusiveGrace{300};

class PosixSerialTransport final : public SerialTransport {
 public:
  // Takes ownership of `fd`; `pseudoTerminal`: `fd` is the master of the
  // pair whose far end is `peerPath`.
  PosixSerialTransport(int fd, bool pseudoTerminal, std::string peerPath)
      : fd_(fd), pty_(pseudoTerminal), peerPath_(std::move(peerPath)) {
    // On failure the caller still owns and closes `fd`.
    if (pipe2(cancelPipe_, O_CLOEXEC | O_NONBLOCK) != 0) ThrowErrno("cancel pipe");
  }
  ~PosixSerialTransport() override { CloseAll(); }
  PosixSerialTransport(const PosixSerialTransport&) = delete;
  PosixSerialTransport& operator=(const PosixSerialTransport&) = delete;

  const std::string& PeerPath() const override { return peerPath_; }

  void Write(std::span<const uint8_t> bytes) override {
    while (!bytes.empty()) {
      const ssize_t n = ::write(fd_, bytes.data(), bytes.size());
      if (n > 0) {
        bytes = bytes.subspan(static_cast<std::size_t>(n));
        continue;
      }
      if (n < 0 && errno == EINTR) continue;
      if (n < 0 && errno != EAGAIN) ThrowErrno("write");
      if (!Wait(POLLOUT, kWriteStall)) throw TransportError("write: line stalled");
    }
  }

  std::size_t Read(std::span<uint8_t> buffer, std::chrono::milliseconds timeout) override {
    if (buffer.empty()) return 0;
    const auto deadline = Clock::now() + timeout;
    for (;;) {
      const ssize_t n = ::read(fd_, buffer.data(), buffer.size());
      if (n > 0) return static_cast<std::size_t>(n);
      if (n == 0) throw TransportError("read: line closed");
      if (errno == EINTR) continue;
      // EIO: nobody has the far end open (yet, or any more).
      if (errno != EAGAIN && !(pty_ && errno == EIO)) ThrowErrno("read");
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
          deadline - Clock::now() + std::chrono::microseconds(999));
      if (left.count() <= 0 || !Wait(POLLIN, left)) return 0;
    }
  }

  bool Drain(std::chrono::milliseconds timeout) override {
    // A device: the driver knows when its queue has left the wire.
    if (!pty_) return ::tcdrain(fd_) == 0;
    // A pseudo-terminal has no wire: the bytes wait in the far end's queue
    // until the utility reads them, and closing the pair would drop them.
    // The unit holds no copy of that end (a program holding a port is one
    // the utility must refuse), so it looks in briefly.
    const auto deadline = Clock::now() + timeout;
    for (;;) {
      if (FarEndClosed()) return true;  // nobody left to read them
      const int far = ::open(peerPath_.c_str(), O_RDONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
      if (far < 0) {
        if (errno != EBUSY) ThrowErrno("drain");
        WaitFarEndClosed(std::min(deadline, Clock::now() + kExclusiveGrace));
        return true;
      }
      // Polling that end first pushes bytes still on their way into its queue.
      pollfd probe{far, POLLIN, 0};
      ::poll(&probe, 1, 0);
      int queued = 0;
      const bool known = ::ioctl(far, FIONREAD, &queued) == 0;
      ::close(far);
      if (known && queued == 0) return true;
      if (Clock::now() >= deadline) return false;
      Sleep(std::chrono::milliseconds(1));
    }
  }

  void Cancel() noexcept override {
    const char byte = 1;
    // Never drained, so the pipe stays readable and every later wait ends at once.
    [[maybe_unused]] const ssize_t n = ::write(cancelPipe_[1], &byte, 1);
  }

 private:
  // True when `events` is ready on the line, false on time-out.
  bool Wait(short events, std::chrono::milliseconds timeout) {
    const auto deadline = Clock::now() + timeout;
    for (;;) {
      pollfd fds[2] = {{fd_, events, 0}, {cancelPipe_[0], POLLIN, 0}};
      const int r = ::poll(fds, 2, static_cast<int>(timeout.count()));
      if (r < 0 && errno == EINTR) continue;
      if (r < 0) ThrowErrno("poll");
      if (fds[1].revents != 0) throw TransportCancelled();
      if (r == 0) return false;
      if (fds[0].revents & (POLLERR | POLLNVAL)) throw TransportError("line error");
      if (pty_ && (fds[0].revents & (POLLHUP | events)) == POLLHUP) {
        // The far end is not open: nothing can arrive until it is.
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0) return false;
        Sleep(std::min(left, kFarEndPoll));
        timeout = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
        if (timeout.count() < 0) timeout = std::chrono::milliseconds(0);
        continue;
      }
      // A hang-up with data still queued is read first; read() reports the end.
      return true;
    }
  }

  bool FarEndClosed() {
    pollfd master{fd_, POLLIN, 0};
    return ::poll(&master, 1, 0) == 1 && (master.revents & POLLHUP);
  }

  bool WaitFarEndClosed(Clock::time_point deadline) {
    while (!FarEndClosed()) {
      if (Clock::now() >= deadline) return false;
      Sleep(kFarEndPoll);
    }
    return true;
  }

  // Waits on the cancel pipe alone.
  void Sleep(std::chrono::milliseconds period) {
    pollfd cancel{cancelPipe_[0], POLLIN, 0};
    if (::poll(&cancel, 1, static_cast<int>(period.count())) > 0) throw TransportCancelled();
  }

  void CloseAll() {
    for (int fd : {fd_, cancelPipe_[0], cancelPipe_[1]})
      if (fd >= 0) ::close(fd);
  }

  int fd_;
  bool pty_;
  int cancelPipe_[2] = {-1, -1};
  std::string peerPath_;
};

}  // namespace

std::unique_ptr<SerialTransport> SerialTransport::OpenDevice(const std::string& path,
                                                             unsigned baud) {
  const speed_t speed = SpeedFor(baud);
  const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) ThrowErrno("open " + path);
  try {
    if (::ioctl(fd, TIOCEXCL) != 0) ThrowErrno("lock " + path);
    MakeRaw(fd, speed, "configure " + path);
    tcflush(fd, TCIOFLUSH);
    return std::make_unique<PosixSerialTransport>(fd, false, path);
  } catch (...) {
    ::close(fd);
    throw;
  }
}

std::unique_ptr<SerialTransport> SerialTransport::CreatePseudoTerminal() {
  int master = -1;
  int slave = -1;
  if (::openpty(&master, &slave, nullptr, nullptr, nullptr) != 0) ThrowErrno("openpty");
  try {
    char name[256];
    if (::ttyname_r(slave, name, sizeof name) != 0) ThrowErrno("pseudo-terminal name");
    // The line discipline sits on the far end: raw there, or 0x03 would
    // become an interrupt and bytes would be echoed back.
    // The settings stay with the pair when the far end is closed.
    MakeRaw(slave, B57600, "configure pseudo-terminal");
    ::close(slave);
    slave = -1;
    if (::fcntl(master, F_SETFD, FD_CLOEXEC) != 0) ThrowErrno("pseudo-terminal flags");
    if (::fcntl(master, F_SETFL, O_NONBLOCK) != 0) ThrowErrno("pseudo-terminal flags");
    return std::make_unique<PosixSerialTransport>(master, true, name);
  } catch (...) {
    ::close(master);
    if (slave >= 0) ::close(slave);
    throw;
  }
}

}  // namespace kv37::sim
