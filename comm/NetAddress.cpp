#include "NetAddress.h"

#include <algorithm>
#include <cctype>

namespace {

constexpr std::string_view kSeparator = "://";

std::string Lower(std::string_view text) {
  std::string lower(text);
  std::transform(lower.begin(), lower.end(), lower.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return lower;
}

// The scheme of "scheme://...", lower-cased; "" when `name` has none.
std::string SchemeOf(const std::string& name) {
  const auto at = name.find(kSeparator);
  if (at == std::string::npos || at == 0) return {};
  const std::string_view scheme(name.data(), at);
  const bool word = std::all_of(scheme.begin(), scheme.end(), [](unsigned char c) {
    return std::isalnum(c) || c == '+' || c == '-' || c == '.';
  });
  return word ? Lower(scheme) : std::string();
}

}  // namespace

bool IsNetworkPortName(const std::string& name) {
  const std::string scheme = SchemeOf(name);
  return scheme == "rfc2217" || scheme == "tcp";
}

std::string ParseNetAddress(const std::string& url, TNetAddress& out) {
  const std::string scheme = SchemeOf(url);
  if (scheme != "rfc2217" && scheme != "tcp")
    return scheme.empty() ? "not a network address (rfc2217://HOST:PORT or tcp://HOST:PORT)"
                          : "unknown scheme '" + scheme + "://' (rfc2217:// or tcp://)";
  out.rfc2217 = scheme == "rfc2217";
  std::string rest = url.substr(scheme.size() + kSeparator.size());
  if (!rest.empty() && rest.back() == '/') rest.pop_back();

  std::string port;
  if (!rest.empty() && rest.front() == '[') {
    const auto close = rest.find(']');
    if (close == std::string::npos) return "an IPv6 address without its closing ']'";
    out.host = rest.substr(1, close - 1);
    const std::string after = rest.substr(close + 1);
    if (after.empty()) return "no port (" + scheme + "://HOST:PORT)";
    if (after.front() != ':') return "'" + after + "' after the address; expected :PORT";
    port = after.substr(1);
  } else {
    const auto slash = rest.find('/');
    const auto colon = rest.rfind(':', slash);
    if (colon == std::string::npos) return "no port (" + scheme + "://HOST:PORT)";
    out.host = rest.substr(0, colon);
    port = rest.substr(colon + 1);
    if (out.host.find(':') != std::string::npos)
      return "an IPv6 address must stand in brackets ([" + out.host + "]:PORT)";
  }
  if (out.host.empty()) return "no host (" + scheme + "://HOST:PORT)";
  if (port.empty()) return "no port (" + scheme + "://HOST:PORT)";
  const auto digits =
      std::find_if(port.begin(), port.end(), [](unsigned char c) { return !std::isdigit(c); });
  if (digits != port.end()) {
    if (digits != port.begin())
      return "'" + std::string(digits, port.end()) + "' after the port; nothing may follow it";
    return "port '" + port + "' is not a number";
  }
  // Compared as text first: a long number must not wrap into range.
  const std::string trimmed = port.substr(std::min(port.find_first_not_of('0'), port.size()));
  if (trimmed.empty() || trimmed.size() > 5 || std::stoul(trimmed) > 65535)
    return "port " + port + " is out of range (1 to 65535)";
  out.port = static_cast<unsigned>(std::stoul(trimmed));
  return {};
}

std::string PortNameProblem(const std::string& name) {
  if (SchemeOf(name).empty()) return {};
  TNetAddress address;
  const std::string problem = ParseNetAddress(name, address);
  return problem.empty() ? problem : name + ": " + problem;
}

std::string NetServerText(const std::string& url) {
  TNetAddress address;
  if (!ParseNetAddress(url, address).empty()) return url;
  const bool v6 = address.host.find(':') != std::string::npos;
  return (v6 ? "[" + address.host + "]" : address.host) + ":" + std::to_string(address.port);
}
