#include "CommTestSupport.h"

#include "PortName.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <unistd.h>

#include <QCoreApplication>
#include <algorithm>
#include <stdexcept>
#include <thread>

bool WaitUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
  const auto end = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    if (done()) return true;
    if (std::chrono::steady_clock::now() >= end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
}

void PumpEvents(std::chrono::milliseconds period) {
  WaitUntil([] { return false; }, period);
}

TPty::TPty() {
  char name[256] = {};
  if (openpty(&fMaster, &fSlave, name, nullptr, nullptr) != 0)
    throw std::runtime_error("openpty failed");
  fSlavePath = name;
  fcntl(fMaster, F_SETFL, fcntl(fMaster, F_GETFL) | O_NONBLOCK);
  fcntl(fMaster, F_SETFD, FD_CLOEXEC);
  fcntl(fSlave, F_SETFD, FD_CLOEXEC);
}

TPty::~TPty() {
  CloseMaster();
  if (fSlave >= 0) close(fSlave);
}

void TPty::CloseMaster() {
  if (fMaster >= 0) close(fMaster);
  fMaster = -1;
}

void TPty::Write(const std::vector<uint8_t>& bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = write(fMaster, bytes.data() + done, bytes.size() - done);
    if (n > 0) {
      done += static_cast<std::size_t>(n);
      continue;
    }
    if (n < 0 && errno != EAGAIN && errno != EINTR) throw std::runtime_error("pty write failed");
    // The component drains the other side; keep its events flowing meanwhile.
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    pollfd p{fMaster, POLLOUT, 0};
    poll(&p, 1, 10);
  }
}

std::vector<uint8_t> TPty::Read(std::size_t count, std::chrono::milliseconds timeout) {
  std::vector<uint8_t> out;
  const auto end = std::chrono::steady_clock::now() + timeout;
  uint8_t buffer[4096];
  while (out.size() < count && std::chrono::steady_clock::now() < end) {
    const std::size_t want = std::min(sizeof buffer, count - out.size());
    const ssize_t n = read(fMaster, buffer, want);
    if (n > 0) {
      out.insert(out.end(), buffer, buffer + n);
      continue;
    }
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    pollfd p{fMaster, POLLIN, 0};
    poll(&p, 1, 10);
  }
  return out;
}

std::vector<uint8_t> TPty::Drain(std::chrono::milliseconds period) {
  return Read(SIZE_MAX, period);
}

void TEventLog::Attach(TComm& comm) {
  comm.OnReceiveData = [this](TComm*, const uint8_t* buffer, uint16_t length) {
    chunks.push_back({std::vector<uint8_t>(buffer, buffer + length), buffer[length]});
    order.push_back("data");
  };
  comm.OnReceiveError = [this](TComm*, uint32_t mask) {
    errors.push_back(mask);
    order.push_back("error");
  };
  comm.OnModemStateChange = [this](TComm*, uint32_t bits) {
    modem.push_back(bits);
    order.push_back("modem");
  };
  comm.OnRequestHangup = [this](TComm*) {
    ++hangups;
    order.push_back("hangup");
  };
  comm.OnSendDataEmpty = [this](TComm*) {
    ++empties;
    order.push_back("empty");
  };
}

std::vector<uint8_t> TEventLog::Received() const {
  std::vector<uint8_t> all;
  for (const auto& c : chunks) all.insert(all.end(), c.bytes.begin(), c.bytes.end());
  return all;
}

void ApplyUtilitySettings(TComm& comm) {
  comm.SetBaudRate(57600);
  comm.SetOutx_XonXoffFlow(false);
}

std::vector<uint8_t> Pattern(std::size_t length, unsigned seed) {
  std::vector<uint8_t> v(length);
  uint32_t x = seed * 2654435761u + 1;
  for (auto& b : v) {
    x = x * 1103515245u + 12345u;
    b = static_cast<uint8_t>(x >> 16);
  }
  return v;
}

bool OpensNow(const std::string& name) {
  return OpenPort(name).device != nullptr;
}
