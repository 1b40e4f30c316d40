#include <fcntl.h>
#include <unistd.h>

#include <QSocketNotifier>
#include <cerrno>
#include <csignal>

#include "StopSignals.h"

namespace kv37 {

namespace {

int gInterruptPipe[2] = {-1, -1};

extern "C" void OnInterruptSignal(int signal) {
  const int saved = errno;
  const char byte = static_cast<char>(signal);
  [[maybe_unused]] const ssize_t n = write(gInterruptPipe[1], &byte, 1);
  std::signal(signal, SIG_DFL);
  errno = saved;
}

}  // namespace

void WatchInterrupts(QObject* context, std::function<void(int signal)> onInterrupt) {
  if (pipe2(gInterruptPipe, O_CLOEXEC | O_NONBLOCK) != 0) return;
  auto* notifier = new QSocketNotifier(gInterruptPipe[0], QSocketNotifier::Read, context);
  QObject::connect(notifier, &QSocketNotifier::activated, context,
                   [onInterrupt = std::move(onInterrupt)] {
                     char drained[16];
                     int signal = 0;
                     for (ssize_t n; (n = read(gInterruptPipe[0], drained, sizeof drained)) > 0;)
                       if (signal == 0) signal = drained[0];
                     onInterrupt(signal);
                   });
  struct sigaction action {};
  action.sa_handler = OnInterruptSignal;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
  std::signal(SIGPIPE, SIG_IGN);
}

}  // namespace kv37
