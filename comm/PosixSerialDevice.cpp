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

#include "PortIdentity.h"
#include "PosixPoll.h"
#include "PosixPortLock.h"
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

int PollFor(pollfd* fds, nfds_t count, TWaitTime timeout) {
  if (timeout < TWaitTime::zero()) return ppoll(fds, count, nullptr, nullptr);
  const timespec limit{static_cast<time_t>(timeout.count() / 1000000),
                       static_cast<long>(timeout.count() % 1000000 * 1000)};
  return ppoll(fds, count, &limit, nullptr);
}

int WaitForEvents(std::initializer_list<const TEvent*> events, TWaitTime timeout) {
  pollfd fds[8];
  nfds_t n = 0;
  for (const TEvent* e : events) {
    if (n == std::size(fds)) return kWaitFailed;
    fds[n++] = pollfd{e->Handle(), POLLIN, 0};
  }
  const int r = PollFor(fds, n, timeout);
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

// The line as another program left it, put back at close as careful
// terminal programs do: a port left raw with VMIN = VTIME = 0 reads as end
// of file at once to the next plain reader, and a port left without a
// closing wait drops the next writer's last bytes.
struct TLineBackup {
  bool haveTermios = false;
  termios tio{};
  uint32_t customInput = 0;  // non-zero: a rate without a B-constant
  uint32_t customOutput = 0;
  bool haveSerial = false;
  serial_struct serial{};
};

TLineBackup SaveLine(int fd) {
  TLineBackup saved;
  saved.haveTermios = tcgetattr(fd, &saved.tio) == 0;
  uint32_t input = 0, output = 0;
  // A rate without a B-constant does not come back with the termios record.
  if (saved.haveTermios && SpeedToBaud(cfgetospeed(&saved.tio)) == 0 &&
      ReadLineRates(fd, input, output)) {
    saved.customInput = input;
    saved.customOutput = output;
  }
  saved.haveSerial = ioctl(fd, TIOCGSERIAL, &saved.serial) == 0;
  return saved;
}

void RestoreLine(int fd, const TLineBackup& saved) {
  // Nothing more is sent: held output would make the restored closing wait
  // block the close.
  tcflush(fd, TCOFLUSH);
  if (saved.haveTermios) {
    tcsetattr(fd, TCSANOW, &saved.tio);
    if (saved.customOutput != 0) SetLineRates(fd, saved.customInput, saved.customOutput);
  }
  if (saved.haveSerial) {
    serial_struct now{};
    if (ioctl(fd, TIOCGSERIAL, &now) == 0 &&
        (now.flags != saved.serial.flags || now.closing_wait != saved.serial.closing_wait))
      ioctl(fd, TIOCSSERIAL, &saved.serial);
  }
}

class TPosixSerialDevice final : public TSerialDevice {
 public:
  // Takes `fd` and the lock file created for it ("" when none); `saved` is
  // put back on the line at close.
  TPosixSerialDevice(int fd, std::string lockFile, const TLineBackup& saved)
      : fFd(fd), fLockFile(std::move(lockFile)), fSaved(saved) {
    TDcb initial;
    termios t{};
    if (tcgetattr(fd, &t) == 0) {
      uint32_t input = 0, output = 0;
      initial.BaudRate = ReadLineRates(fd, input, output) ? output : SpeedToBaud(cfgetospeed(&t));
      initial.XonChar = t.c_cc[VSTART];
      initial.XoffChar = t.c_cc[VSTOP];
    }
    InitState(initial);
  }

  ~TPosixSerialDevice() override {
    RestoreLine(fFd, fSaved);
    // Lift the exclusive mode so the next opener is not refused.
    ioctl(fFd, TIOCNXCL);
    close(fFd);
    if (!fLockFile.empty()) RemoveLockFile(fLockFile);
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

  TWaitResult WaitWritable(const TEvent& stop, TWaitTime timeout) override {
    return Wait(stop, POLLOUT, timeout);
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
    uint32_t input = 0, output = 0;
    const bool haveRates = ReadLineRates(fFd, input, output);
    const auto plan = MapDcbToTermios(state, current);
    if (!plan) return false;
    // tcsetattr succeeds when any part applied and drivers round rates, so
    // only the line read back tells whether the record holds.
    bool applied = tcsetattr(fFd, TCSANOW, &plan->tio) == 0 &&
                   (plan->customRate == 0 || SetLineRates(fFd, plan->customRate, plan->customRate));
    if (applied) {
      termios got{};
      uint32_t gotInput = 0, gotOutput = 0;
      applied = tcgetattr(fFd, &got) == 0 && ReadLineRates(fFd, gotInput, gotOutput) &&
                SettingsHold(plan->tio, state.BaudRate, got, gotInput, gotOutput);
    }
    if (!applied) {
      tcsetattr(fFd, TCSANOW, &current);
      // A custom rate does not come back with the termios record alone.
      uint32_t nowInput = 0, nowOutput = 0;
      if (haveRates && ReadLineRates(fFd, nowInput, nowOutput) &&
          (nowInput != input || nowOutput != output))
        SetLineRates(fFd, input, output);
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
    const int r = PollFor(fds, 2, timeout);
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
  const std::string fLockFile;
  const TLineBackup fSaved;
  // Used by the receive thread only.
  bool fCounters = true;
  bool fHaveLines = false;
  int fLines = 0;
  uint32_t fDcd = 0;
  uint32_t fRng = 0;
};

TOpenError OpenErrorOf(int error) {
  switch (error) {
    case ENOENT:
    case ENOTDIR:
    case ENXIO:
    case ENODEV:
    case ELOOP:
      return TOpenError::Missing;
    case EACCES:
    case EPERM:
    case EROFS:
      return TOpenError::Permission;
    case EBUSY:
      return TOpenError::Busy;
    default:
      return TOpenError::Other;
  }
}

// Asks a USB adapter for low latency (its latency timer would otherwise hold
// bytes for up to 16 ms) and a UART for no closing wait, so that closing a
// port whose output is held by flow control never blocks. Drivers that offer
// neither refuse with ENOTTY or EINVAL; closing_wait needs privileges.
void TuneDriver(int fd) {
  serial_struct info{};
  if (ioctl(fd, TIOCGSERIAL, &info) != 0) return;
  if ((info.flags & ASYNC_LOW_LATENCY) == 0) {
    info.flags |= ASYNC_LOW_LATENCY;
    if (ioctl(fd, TIOCSSERIAL, &info) != 0) info.flags &= ~ASYNC_LOW_LATENCY;
  }
  if (info.closing_wait != ASYNC_CLOSING_WAIT_NONE) {
    info.closing_wait = ASYNC_CLOSING_WAIT_NONE;
    ioctl(fd, TIOCSSERIAL, &info);
  }
}

TOpenResult Refuse(TOpenResult result, int fd, TOpenError error, int sysError = 0) {
  if (fd >= 0) close(fd);
  result.error = error;
  result.sysError = sysError;
  return result;
}

TOpenResult Busy(TOpenResult result, int fd, long holder, std::string name = {}) {
  result.holderPid = holder;
  result.holderName = holder != 0 && name.empty() ? ProcessName(holder) : std::move(name);
  return Refuse(std::move(result), fd, TOpenError::Busy);
}

}  // namespace

TOpenResult OpenSerialDevice(const std::string& path, const std::string& lockDirectory) {
  TOpenResult result;
  result.path = path;
  result.devicePath = ResolveDevicePath(path);
  const std::string lockFile = LockFilePath(lockDirectory, result.devicePath);

  const int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    const int error = errno;
    if (error == EBUSY) return Busy(std::move(result), -1, LiveLockHolder(lockFile));
    return Refuse(std::move(result), -1, OpenErrorOf(error), error);
  }
  struct stat st {};
  if (fstat(fd, &st) != 0 || !S_ISCHR(st.st_mode))
    return Refuse(std::move(result), fd, TOpenError::NotCharDevice);
  termios t{};
  if (tcgetattr(fd, &t) != 0) return Refuse(std::move(result), fd, TOpenError::NotTerminal, errno);

  // Programs of the UUCP convention (minicom, cu, ...) hold a port by a lock
  // file alone; a live one is a holder like any other.
  if (const long holder = LiveLockHolder(lockFile)) return Busy(std::move(result), fd, holder);
  // The flock holds against every other opener using this component, root and
  // this very process included; TIOCEXCL adds the terminal driver's own guard.
  if (flock(fd, LOCK_EX | LOCK_NB) != 0)
    return Busy(std::move(result), fd, FlockHolder(st.st_dev, st.st_ino));
  if (ioctl(fd, TIOCEXCL) != 0 && !Unsupported(errno))
    return Refuse(std::move(result), fd, TOpenError::Other, errno);
  // A plain reader (cat, a getty, ModemManager probing a new adapter) takes
  // no lock of any kind, but would take the unit's first request.
  const TOpeners others = FindOtherOpeners(st.st_rdev, result.devicePath);
  if (others.pid != 0 || !others.name.empty())
    return Busy(std::move(result), fd, others.pid, others.name);
  result.uncheckedProcs = others.uncheckedProcs;
  const long raced = CreateLockFile(lockFile);
  if (raced > 0) return Busy(std::move(result), fd, raced);

  const TLineBackup saved = SaveLine(fd);
  TuneDriver(fd);
  result.device =
      std::make_unique<TPosixSerialDevice>(fd, raced == 0 ? lockFile : std::string(), saved);
  result.error = TOpenError::None;
  return result;
}
