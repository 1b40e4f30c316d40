// POSIX (Linux) implementation of the platform seam.
#include <fcntl.h>
#include <linux/serial.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <vector>

#include "PosixTermios.h"
#include "SerialDevice.h"

// ---- TEvent: an eventfd whose counter is non-zero while set ----

TEvent::TEvent() : fHandle(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

TEvent::~TEvent() {
  if (fHandle >= 0) close(fHandle);
}

void TEvent::Set() {
  const uint64_t one = 1;
  // Only fails when the counter is near overflow, which is still "set".
  [[maybe_unused]] ssize_t n = write(fHandle, &one, sizeof one);
}

void TEvent::Reset() {
  uint64_t value;
  [[maybe_unused]] ssize_t n = read(fHandle, &value, sizeof value);
}

bool TEvent::IsSet() const {
  pollfd p{fHandle, POLLIN, 0};
  return poll(&p, 1, 0) == 1 && (p.revents & POLLIN);
}

int WaitForEvents(std::initializer_list<const TEvent*> events, int timeoutMs) {
  pollfd fds[8];
  nfds_t n = 0;
  for (const TEvent* e : events) {
    if (n == std::size(fds)) return kWaitFailed;
    fds[n++] = pollfd{e->Handle(), POLLIN, 0};
  }
  const int r = poll(fds, n, timeoutMs);
  if (r < 0) return errno == EINTR ? kWaitTimeout : kWaitFailed;
  if (r == 0) return kWaitTimeout;
  for (nfds_t i = 0; i < n; ++i) {
    if (fds[i].revents & POLLIN) return static_cast<int>(i);
    if (fds[i].revents & (POLLERR | POLLNVAL)) return kWaitFailed;
  }
  return kWaitFailed;
}

void RaiseThreadPriority(int steps) {
  // On Linux the nice value is per thread when addressed by thread id.
  const pid_t tid = gettid();
  errno = 0;
  const int current = getpriority(PRIO_PROCESS, static_cast<id_t>(tid));
  if (errno == 0) setpriority(PRIO_PROCESS, static_cast<id_t>(tid), current - steps);
}

// ---- the device ----

namespace {

bool Unsupported(int err) {
  return err == ENOTTY || err == EINVAL || err == ENOSYS;
}

class TPosixSerialDevice final : public TSerialDevice {
 public:
  explicit TPosixSerialDevice(int fd) : fFd(fd) {
    TDcb initial;
    termios t{};
    if (tcgetattr(fd, &t) == 0) {
      uint32_t rate = 0;
      initial.BaudRate = ReadBaudRate(fd, rate) ? rate : SpeedToBaud(cfgetospeed(&t));
      initial.XonChar = t.c_cc[VSTART];
      initial.XoffChar = t.c_cc[VSTOP];
    }
    InitState(initial);
  }

  ~TPosixSerialDevice() override {
    // Lift the exclusive mode so the next opener is not refused.
    ioctl(fFd, TIOCNXCL);
    close(fFd);
  }

  void Purge(uint32_t actions) override {
    const bool rx = actions & purge::kRxClear;
    const bool tx = actions & purge::kTxClear;
    if (rx && tx)
      tcflush(fFd, TCIOFLUSH);
    else if (rx)
      tcflush(fFd, TCIFLUSH);
    else if (tx)
      tcflush(fFd, TCOFLUSH);
  }

  bool GetModemStatus(uint32_t& bits) override {
    int lines = 0;
    if (ioctl(fFd, TIOCMGET, &lines) != 0) return false;
    bits = 0;
    if (lines & TIOCM_CTS) bits |= modem_status::kCtsOn;
    if (lines & TIOCM_DSR) bits |= modem_status::kDsrOn;
    if (lines & TIOCM_RNG) bits |= modem_status::kRingOn;
    if (lines & TIOCM_CAR) bits |= modem_status::kRlsdOn;
    return true;
  }

  TWaitResult WaitReadable(const TEvent& stop, TWaitTime timeout) override {
    return Wait(stop, POLLIN, timeout);
  }

  TWaitResult WaitWritable(const TEvent& stop, int timeoutMs) override {
    return Wait(stop, POLLOUT,
                timeoutMs < 0 ? kWaitTimeForever : TWaitTime(std::chrono::milliseconds(timeoutMs)));
  }

  TIoResult Read(uint8_t* buffer, std::size_t size) override {
    return Result(read(fFd, buffer, size));
  }

  TIoResult Write(const uint8_t* data, std::size_t size) override {
    return Result(write(fFd, data, size));
  }

  TLineProbe ReadLineSnapshot(TLineSnapshot& out) override {
    if (fCounters) {
      serial_icounter_struct c{};
      if (ioctl(fFd, TIOCGICOUNT, &c) == 0) {
        out.frame = static_cast<uint32_t>(c.frame);
        out.overrun = static_cast<uint32_t>(c.overrun);
        out.parity = static_cast<uint32_t>(c.parity);
        out.brk = static_cast<uint32_t>(c.brk);
        out.bufOverrun = static_cast<uint32_t>(c.buf_overrun);
        out.dcd = static_cast<uint32_t>(c.dcd);
        out.rng = static_cast<uint32_t>(c.rng);
        return TLineProbe::Ok;
      }
      if (!Unsupported(errno)) return TLineProbe::Failed;
      fCounters = false;
    }
    // No counters: count carrier and ring transitions from the modem lines.
    int lines = 0;
    if (ioctl(fFd, TIOCMGET, &lines) != 0)
      return Unsupported(errno) ? TLineProbe::Unsupported : TLineProbe::Failed;
    if (fHaveLines) {
      if ((lines ^ fLines) & TIOCM_CAR) ++fDcd;
      if ((lines & TIOCM_RNG) && !(fLines & TIOCM_RNG)) ++fRng;
    }
    fHaveLines = true;
    fLines = lines;
    out = TLineSnapshot{};
    out.dcd = fDcd;
    out.rng = fRng;
    return TLineProbe::Ok;
  }

 protected:
  bool ApplyState(const TDcb& state) override {
    termios current{};
    if (tcgetattr(fFd, &current) != 0) return false;
    const auto plan = MapDcbToTermios(state, current);
    if (!plan) return false;
    if (tcsetattr(fFd, TCSANOW, &plan->tio) != 0) return false;
    if (plan->customRate != 0 && !SetCustomBaudRate(fFd, plan->customRate)) {
      tcsetattr(fFd, TCSANOW, &current);
      return false;
    }
    // Devices without modem lines (pseudo-terminals) refuse these; that is fine.
    SetLine(TIOCM_DTR, plan->dtr);
    SetLine(TIOCM_RTS, plan->rts);
    return true;
  }

 private:
  void SetLine(int line, TLineAction action) {
    if (action == TLineAction::Leave) return;
    ioctl(fFd, action == TLineAction::On ? TIOCMBIS : TIOCMBIC, &line);
  }

  TWaitResult Wait(const TEvent& stop, short what, TWaitTime timeout) {
    pollfd fds[2] = {{stop.Handle(), POLLIN, 0}, {fFd, what, 0}};
    timespec limit{};
    if (timeout >= TWaitTime::zero()) {
      limit.tv_sec = static_cast<time_t>(timeout.count() / 1000000);
      limit.tv_nsec = static_cast<long>(timeout.count() % 1000000 * 1000);
    }
    const int r = ppoll(fds, 2, timeout >= TWaitTime::zero() ? &limit : nullptr, nullptr);
    if (r < 0) return errno == EINTR ? TWaitResult::Timeout : TWaitResult::Failed;
    if (r == 0) return TWaitResult::Timeout;
    if (fds[0].revents) return TWaitResult::Stop;
    // Data still buffered is read before a hang-up is believed.
    if (fds[1].revents & what) return TWaitResult::Ready;
    if (fds[1].revents & POLLNVAL) return TWaitResult::Failed;
    return TWaitResult::Hangup;
  }

  static TIoResult Result(ssize_t n) {
    if (n >= 0) return {TIoResult::Kind::Done, static_cast<std::size_t>(n)};
    if (errno == EAGAIN || errno == EINTR) return {TIoResult::Kind::WouldBlock, 0};
    if (errno == EBADF) return {TIoResult::Kind::Closed, 0};
    return {TIoResult::Kind::Failed, 0};
  }

  const int fFd;
  // Used by the receive thread only.
  bool fCounters = true;
  bool fHaveLines = false;
  int fLines = 0;
  uint32_t fDcd = 0;
  uint32_t fRng = 0;
};

}  // namespace

TOpenResult OpenSerialDevice(const std::string& path) {
  TOpenResult result;
  const int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return result;
  // The lock holds against every other opener using this component, root and
  // this very process included; TIOCEXCL adds the terminal driver's own guard.
  if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
    close(fd);
    return result;
  }
  struct stat st {};
  if (fstat(fd, &st) != 0 || !S_ISCHR(st.st_mode)) {
    close(fd);
    result.error = TOpenError::NotCharDevice;
    return result;
  }
  termios t{};
  if (tcgetattr(fd, &t) != 0) {
    close(fd);
    result.error = TOpenError::NotTerminal;
    return result;
  }
  if (ioctl(fd, TIOCEXCL) != 0 && !Unsupported(errno)) {
    close(fd);
    return result;
  }
  result.device = std::make_unique<TPosixSerialDevice>(fd);
  result.error = TOpenError::None;
  return result;
}
