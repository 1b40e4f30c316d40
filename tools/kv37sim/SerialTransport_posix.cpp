// POSIX serial lines: termios devices and openpty pairs. A self-pipe wakes
// blocked waits on Cancel, so nothing polls while the line is idle.

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

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

class PosixSerialTransport final : public SerialTransport {
 public:
  // Takes ownership of `fd` and of `holdFd` (-1 when there is none).
  PosixSerialTransport(int fd, int holdFd, std::string peerPath)
      : fd_(fd), holdFd_(holdFd), peerPath_(std::move(peerPath)) {
    // On failure the caller still owns and closes `fd` and `holdFd`.
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
      if (errno != EAGAIN) ThrowErrno("read");
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
          deadline - Clock::now() + std::chrono::microseconds(999));
      if (left.count() <= 0 || !Wait(POLLIN, left)) return 0;
    }
  }

  bool Drain(std::chrono::milliseconds timeout) override {
    if (holdFd_ < 0) {
      // A device: the driver knows when its queue has left the wire.
      return ::tcdrain(fd_) == 0;
    }
    // A pseudo-terminal has no wire; the bytes sit on our copy of the far
    // end until the utility reads them, and closing the pair would drop them.
    // Polling that end first pushes bytes still on their way into its queue.
    const auto deadline = Clock::now() + timeout;
    for (;;) {
      pollfd far{holdFd_, POLLIN, 0};
      if (::poll(&far, 1, 0) < 0 && errno != EINTR) ThrowErrno("drain");
      if ((far.revents & POLLIN) == 0) return true;
      if (Clock::now() >= deadline) return false;
      if (Wait(0, std::chrono::milliseconds(1))) return false;  // only a line error wakes it
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
    pollfd fds[2] = {{fd_, events, 0}, {cancelPipe_[0], POLLIN, 0}};
    for (;;) {
      const int r = ::poll(fds, 2, static_cast<int>(timeout.count()));
      if (r < 0 && errno == EINTR) continue;
      if (r < 0) ThrowErrno("poll");
      if (fds[1].revents != 0) throw TransportCancelled();
      if (r == 0) return false;
      if (fds[0].revents & (POLLERR | POLLNVAL)) throw TransportError("line error");
      // A hang-up with data still queued is read first; read() reports the end.
      return true;
    }
  }

  void CloseAll() {
    for (int fd : {fd_, holdFd_, cancelPipe_[0], cancelPipe_[1]})
      if (fd >= 0) ::close(fd);
  }

  int fd_;
  int holdFd_;
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
    return std::make_unique<PosixSerialTransport>(fd, -1, path);
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
    MakeRaw(slave, B57600, "configure pseudo-terminal");
    for (int fd : {master, slave})
      if (::fcntl(fd, F_SETFD, FD_CLOEXEC) != 0) ThrowErrno("pseudo-terminal flags");
    if (::fcntl(master, F_SETFL, O_NONBLOCK) != 0) ThrowErrno("pseudo-terminal flags");
    return std::make_unique<PosixSerialTransport>(master, slave, name);
  } catch (...) {
    ::close(master);
    ::close(slave);
    throw;
  }
}

}  // namespace kv37::sim
