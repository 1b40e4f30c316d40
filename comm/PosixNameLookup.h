// Host name look-ups bounded in time. getaddrinfo cannot be cancelled and may
// wait on a name server for many seconds, so each look-up runs on a thread of
// its own; a caller whose deadline passes goes on without it, and the thread
// frees its answer when it ends.
#pragma once

#include <netdb.h>

#include <chrono>
#include <memory>
#include <string>

struct TAddrInfoFree {
  void operator()(addrinfo* list) const { freeaddrinfo(list); }
};
using TAddrInfoList = std::unique_ptr<addrinfo, TAddrInfoFree>;

struct TNameLookup {
  TAddrInfoList list;     // the addresses, when found
  bool timedOut = false;  // the deadline passed first
  int error = 0;          // getaddrinfo's EAI_* code when it failed
};

// TCP addresses of `host`:`port` (a number), waiting until `deadline` at most.
TNameLookup LookUpHost(const std::string& host, const std::string& port,
                       std::chrono::steady_clock::time_point deadline);

// getaddrinfo, or a stand-in for tests (a name server that never answers).
// Returns the previous one; nullptr restores getaddrinfo.
using TGetAddrInfo = int (*)(const char*, const char*, const addrinfo*, addrinfo**);
TGetAddrInfo SetGetAddrInfo(TGetAddrInfo lookup);
