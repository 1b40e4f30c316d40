#include "PosixNameLookup.h"

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace {

std::atomic<TGetAddrInfo> gGetAddrInfo{nullptr};

// Shared by the caller and the look-up thread; the last one to let go frees it.
struct TPending {
  std::mutex mutex;
  std::condition_variable done;
  bool finished = false;
  int error = 0;
  TAddrInfoList list;
};

}  // namespace

TGetAddrInfo SetGetAddrInfo(TGetAddrInfo lookup) {
  return gGetAddrInfo.exchange(lookup);
}

TNameLookup LookUpHost(const std::string& host, const std::string& port,
                       std::chrono::steady_clock::time_point deadline) {
  auto pending = std::make_shared<TPending>();
  const TGetAddrInfo lookup = gGetAddrInfo.load();
  try {
    std::thread([pending, host, port, lookup] {
      addrinfo hints{};
      hints.ai_socktype = SOCK_STREAM;
      hints.ai_family = AF_UNSPEC;
      hints.ai_flags = AI_NUMERICSERV;
      addrinfo* found = nullptr;
      const int error = (lookup ? lookup : getaddrinfo)(host.c_str(), port.c_str(), &hints, &found);
      std::lock_guard lock(pending->mutex);
      pending->error = error != 0 ? error : found == nullptr ? EAI_NONAME : 0;
      pending->list.reset(error == 0 ? found : nullptr);
      pending->finished = true;
      pending->done.notify_all();
    }).detach();
  } catch (const std::system_error&) {
    return {nullptr, false, EAI_SYSTEM};
  }
  std::unique_lock lock(pending->mutex);
  if (!pending->done.wait_until(lock, deadline, [&] { return pending->finished; }))
    return {nullptr, true, 0};
  return {std::move(pending->list), false, pending->error};
}
