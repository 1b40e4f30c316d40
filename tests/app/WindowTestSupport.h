#pragma once
// Helpers for driving the operator window: answering its modal boxes, a
// pseudo-terminal that stands in for a serial port, and the per-user port map.

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <unistd.h>

#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QMessageBox>
#include <QTimer>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "PortName.h"

namespace kv37::test {

// Runs `action` on the next modal window, from inside that window's own event
// loop. Gives up after `limitMs` so a box that never opens cannot hang a test.
inline void OnNextModal(std::function<void(QWidget*)> action, int limitMs = 5000) {
  auto* poll = new QTimer(qApp);
  auto* clock = new QElapsedTimer;
  clock->start();
  QObject::connect(poll, &QTimer::timeout, poll,
                   [poll, clock, action = std::move(action), limitMs] {
                     QWidget* modal = QApplication::activeModalWidget();
                     const bool expired = clock->elapsed() > limitMs;
                     if ((modal == nullptr || !modal->isVisible()) && !expired) return;
                     poll->stop();
                     poll->deleteLater();
                     delete clock;
                     if (modal != nullptr) action(modal);
                   });
  poll->start(5);
}

// Dismisses the next message box and reports its caption and text.
struct SeenBox {
  QString caption;
  QString text;
  std::string detail;
};
inline void DismissNextBox(SeenBox& seen) {
  OnNextModal([&seen](QWidget* modal) {
    seen.caption = modal->windowTitle();
    if (auto* box = qobject_cast<QMessageBox*>(modal)) {
      seen.text = box->text();
      seen.detail = box->detailedText().toStdString();
    }
    if (auto* dialog = qobject_cast<QDialog*>(modal)) dialog->done(QDialog::Accepted);
  });
}

// A pseudo-terminal pair. The test plays the unit on the master side; the
// slave's path is what the port map points at.
class PtyPair {
 public:
  PtyPair() {
    char name[256] = {};
    if (openpty(&master_, &slave_, name, nullptr, nullptr) == 0) slavePath_ = name;
    fcntl(master_, F_SETFL, fcntl(master_, F_GETFL) | O_NONBLOCK);
  }
  ~PtyPair() {
    if (master_ >= 0) close(master_);
    if (slave_ >= 0) close(slave_);
  }
  PtyPair(const PtyPair&) = delete;
  PtyPair& operator=(const PtyPair&) = delete;

  bool Valid() const { return !slavePath_.empty(); }
  const std::string& SlavePath() const { return slavePath_; }

  bool Write(const std::vector<uint8_t>& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
      const ssize_t n = ::write(master_, bytes.data() + done, bytes.size() - done);
      if (n > 0) {
        done += static_cast<std::size_t>(n);
      } else if (!WaitFor(POLLOUT, 1000)) {
        return false;
      }
    }
    return true;
  }

  // Reads exactly `count` bytes; fewer when the line stays silent for
  // `silenceMs`.
  std::vector<uint8_t> Read(std::size_t count, int silenceMs) {
    std::vector<uint8_t> bytes;
    uint8_t buffer[512];
    while (bytes.size() < count) {
      if (!WaitFor(POLLIN, silenceMs)) break;
      const ssize_t n = ::read(master_, buffer, std::min(sizeof buffer, count - bytes.size()));
      if (n > 0) bytes.insert(bytes.end(), buffer, buffer + n);
      if (n == 0 || (n < 0 && errno != EAGAIN && errno != EINTR)) break;
    }
    return bytes;
  }

 private:
  bool WaitFor(short events, int timeoutMs) {
    pollfd fd{master_, events, 0};
    return ::poll(&fd, 1, timeoutMs) > 0 && (fd.revents & events) != 0;
  }

  int master_ = -1;
  int slave_ = -1;
  std::string slavePath_;
};

// Entries of the per-user port map ("COMn" -> a path), removed again on
// destruction.
class PortMap {
 public:
  PortMap() { std::filesystem::create_directories(PortMapDirectory()); }
  ~PortMap() {
    for (const auto& entry : entries_) std::filesystem::remove(entry);
  }
  PortMap(const PortMap&) = delete;
  PortMap& operator=(const PortMap&) = delete;

  void Link(const std::string& port, const std::string& target) {
    const std::filesystem::path entry = std::filesystem::path(PortMapDirectory()) / port;
    std::filesystem::remove(entry);
    std::filesystem::create_symlink(target, entry);
    entries_.push_back(entry);
  }

 private:
  std::vector<std::filesystem::path> entries_;
};

}  // namespace kv37::test
