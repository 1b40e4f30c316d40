// Network peers for the tests and benchmarks of network serial ports, all on
// loopback: ser2net (Debian's package) in front of pseudo-terminals, and an
// address that never answers.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace kv37::test {

// A TCP port on 127.0.0.1 that nothing listens on just now.
int FreeTcpPort();

// ser2net with one connection per device, on loopback, while the object
// lives. Throws std::runtime_error when it does not come up.
class Ser2Net {
 public:
  // `rfc2217`: telnet with the COM port option; else raw TCP.
  explicit Ser2Net(const std::vector<std::string>& devices, bool rfc2217 = true);
  ~Ser2Net();
  Ser2Net(const Ser2Net&) = delete;
  Ser2Net& operator=(const Ser2Net&) = delete;

  // "rfc2217://127.0.0.1:PORT" (or tcp://) of device `i`.
  std::string Url(std::size_t i) const;
  int Port(std::size_t i) const { return ports_.at(i); }
  // Ends ser2net at once, every connection with it.
  void Kill();

 private:
  pid_t pid_ = -1;
  bool rfc2217_;
  std::vector<int> ports_;
  std::string config_;
};

// A loopback address whose listening socket's queue is full: a connection
// to it is never answered, and never leaves this machine.
class BlackHole {
 public:
  BlackHole();
  ~BlackHole();
  BlackHole(const BlackHole&) = delete;
  BlackHole& operator=(const BlackHole&) = delete;
  int Port() const { return port_; }

 private:
  int listener_ = -1;
  int port_ = 0;
  std::vector<int> fillers_;
};

}  // namespace kv37::test
