// Addresses of network serial ports: "rfc2217://HOST:PORT" (telnet with the
// RFC 2217 COM-PORT-OPTION) and "tcp://HOST:PORT" (bytes as they are). The
// scheme is case-insensitive, as in any URL; HOST is a name, an IPv4 address
// or an IPv6 address in brackets; PORT is 1 to 65535; one trailing "/" is
// allowed and nothing else after the port. Pure text: no look-ups, no
// sockets; callable from any thread.
#pragma once

#include <string>

struct TNetAddress {
  bool rfc2217 = false;
  std::string host;  // without the brackets of an IPv6 address
  unsigned port = 0;
};

// True when `name` starts with one of the two schemes (any case): it names a
// network port, well-formed or not, and is never taken as a file path.
bool IsNetworkPortName(const std::string& name);

// Parses `url` into `out`. "" when it is well-formed, else what is wrong
// with it, in words ("port 109517 is out of range (1 to 65535)").
std::string ParseNetAddress(const std::string& url, TNetAddress& out);

// What is wrong with the port name `name` as an address, before anything is
// opened: "" for any name that is no URL (a path, COMn, a name under /dev)
// and for a well-formed network address; otherwise the name and the fault
// ("tcp://host:99999: port 99999 is out of range (1 to 65535)"), an
// unknown scheme included.
std::string PortNameProblem(const std::string& name);

// "HOST:PORT" of a well-formed network address ("[::1]:4001"), for the
// operator; `url` itself otherwise.
std::string NetServerText(const std::string& url);
