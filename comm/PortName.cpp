#include "PortName.h"

#include <sys/stat.h>

#include <QStandardPaths>
#include <cctype>
#include <optional>

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

std::string DevTtyS(unsigned n) {
  return "/dev/ttyS" + std::to_string(n - 1);
}

}  // namespace

std::string PortMapDirectory() {
  return QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation).toStdString() +
         "/ports";
}

std::string ResolvePortName(const std::string& name) {
  if (!name.empty() && name.front() == '/') return name;
  if (const auto n = ComNumber(name)) {
    const std::string entry = PortMapDirectory() + "/COM" + std::to_string(*n);
    struct stat st {};
    if (lstat(entry.c_str(), &st) == 0) return entry;
    return DevTtyS(*n);
  }
  if (name.empty() || name.find('/') != std::string::npos) return name;
  return "/dev/" + name;
}

std::string FallbackPortName(const std::string& name) {
  const auto n = ComNumber(name);
  if (!n) return {};
  const std::string fallback = DevTtyS(*n);
  return fallback == ResolvePortName(name) ? std::string() : fallback;
}

TOpenResult OpenPort(const std::string& name) {
  TOpenResult result = OpenSerialDevice(ResolvePortName(name));
  if (result.error != TOpenError::OpenFailed) return result;
  const std::string fallback = FallbackPortName(name);
  if (fallback.empty()) return result;
  return OpenSerialDevice(fallback);
}

bool ProbePort(const std::string& name) {
  return OpenPort(name).device != nullptr;
}
