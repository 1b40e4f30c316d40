#include "PortMap.h"

#include <QStandardPaths>
#include <cctype>
#include <filesystem>
#include <optional>

#include "NetAddress.h"

namespace {

// n of "COMn", or nothing.
std::optional<unsigned> ComNumber(const std::string& name) {
  if (name.size() < 4 || name.size() > 6) return std::nullopt;
  for (int i = 0; i < 3; ++i)
    if (std::toupper(static_cast<unsigned char>(name[i])) != "COM"[i]) return std::nullopt;
  if (name[3] == '0') return std::nullopt;
  unsigned n = 0;
  for (std::size_t i = 3; i < name.size(); ++i) {
    if (!std::isdigit(static_cast<unsigned char>(name[i]))) return std::nullopt;
    n = n * 10 + static_cast<unsigned>(name[i] - '0');
  }
  if (n < 1 || n > 256) return std::nullopt;
  return n;
}

}  // namespace

std::string PortMapDirectory() {
  // Named here, not after the running program: the window, the updater and
  // the station share one map.
  return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation).toStdString() +
         "/kv37update/ports";
}

std::string ResolvePortName(const std::string& name) {
  if (!name.empty() && name.front() == '/') return name;
  if (IsNetworkPortName(name)) return name;
  if (const auto n = ComNumber(name)) {
    const std::string entry = PortMapDirectory() + "/COM" + std::to_string(*n);
    std::error_code ec;
    // A link to a network port's address: the link's text is the address.
    const std::filesystem::path target = std::filesystem::read_symlink(entry, ec);
    if (!ec && IsNetworkPortName(target.string())) return target.string();
    // A link that points nowhere is still an entry: its device is missing.
    if (std::filesystem::symlink_status(entry, ec).type() != std::filesystem::file_type::not_found)
      return entry;
    return "/dev/ttyS" + std::to_string(*n - 1);
  }
  if (name.empty() || name.find('/') != std::string::npos) return name;
  return "/dev/" + name;
}
