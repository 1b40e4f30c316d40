#include "NetServers.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <stdexcept>
#include <thread>

extern char** environ;

namespace kv37::test {

namespace {

sockaddr_in Loopback(int port) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<uint16_t>(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  return address;
}

bool Listening(int port) {
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  const sockaddr_in address = Loopback(port);
  const bool up = connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
  close(fd);
  return up;
}

}  // namespace

int FreeTcpPort() {
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address = Loopback(0);
  socklen_t length = sizeof address;
  bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
  getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
  close(fd);
  return ntohs(address.sin_port);
}

Ser2Net::Ser2Net(const std::vector<std::string>& devices, bool rfc2217) : rfc2217_(rfc2217) {
  char name[] = "/tmp/kv37-ser2net-XXXXXX";
  const int fd = mkstemp(name);
  if (fd < 0) throw std::runtime_error("ser2net: no configuration file");
  close(fd);
  config_ = name;
  std::ofstream yaml(config_);
  yaml << "%YAML 1.1\n---\n";
  for (std::size_t i = 0; i < devices.size(); ++i) {
    ports_.push_back(FreeTcpPort());
    yaml << "connection: &c" << i << "\n"
         << "    accepter: " << (rfc2217 ? "telnet(rfc2217),tcp(nodelay)," : "tcp(nodelay),")
         << "127.0.0.1," << ports_.back() << "\n"
         << "    connector: serialdev," << devices[i]
         << ",57600n81,local\n"
         // Bytes go on at once rather than after two character times.
         << "    options:\n      chardelay: false\n";
  }
  yaml.close();
  const char* argv[] = {"ser2net", "-n", "-u", "-c", config_.c_str(), nullptr};
  if (posix_spawnp(&pid_, "ser2net", nullptr, nullptr, const_cast<char**>(argv), environ) != 0)
    throw std::runtime_error("ser2net cannot be started (is the ser2net package installed?)");
  for (int tries = 0; tries < 200; ++tries) {
    bool all = true;
    for (const int port : ports_) all = all && Listening(port);
    if (all) return;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  Kill();
  throw std::runtime_error("ser2net did not start listening");
}

Ser2Net::~Ser2Net() {
  Kill();
  std::remove(config_.c_str());
}

std::string Ser2Net::Url(std::size_t i) const {
  return std::string(rfc2217_ ? "rfc2217" : "tcp") + "://127.0.0.1:" + std::to_string(ports_.at(i));
}

void Ser2Net::Kill() {
  if (pid_ <= 0) return;
  kill(pid_, SIGKILL);
  waitpid(pid_, nullptr, 0);
  pid_ = -1;
}

BlackHole::BlackHole() {
  listener_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address = Loopback(0);
  socklen_t length = sizeof address;
  bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address);
  listen(listener_, 0);
  getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length);
  port_ = ntohs(address.sin_port);
  // Never accepted: once these fill its queue, new connections go unanswered.
  for (int i = 0; i < 3; ++i) {
    const int filler = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    connect(filler, reinterpret_cast<const sockaddr*>(&address), sizeof address);
    fillers_.push_back(filler);
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
}

BlackHole::~BlackHole() {
  for (const int fd : fillers_) close(fd);
  close(listener_);
}

}  // namespace kv37::test
