#include "PortName.h"

#include <QStandardPaths>
#include <cctype>
#include <cstring>
#include <filesystem>
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

// "/dev/ttyUSB0", or "~/.config/kv37update/ports/COM1 -> /dev/ttyUSB0".
std::string Named(const TOpenResult& r) {
  if (r.devicePath.empty() || r.devicePath == r.path) return r.path;
  return r.path + " -> " + r.devicePath;
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
    std::error_code ec;
    // A link that points nowhere is still an entry: its device is missing.
    if (std::filesystem::symlink_status(entry, ec).type() != std::filesystem::file_type::not_found)
      return entry;
    return "/dev/ttyS" + std::to_string(*n - 1);
  }
  if (name.empty() || name.find('/') != std::string::npos) return name;
  return "/dev/" + name;
}

std::string PortTargetText(const std::string& name) {
  namespace fs = std::filesystem;
  const std::string path = ResolvePortName(name);
  std::error_code ec;
  std::string text = path;
  if (fs::is_symlink(path, ec)) {
    // Shown as the open would reach it, links followed, even when the end is
    // missing: that end is what the technician has to plug in.
    fs::path target = fs::read_symlink(path, ec);
    if (!ec) {
      if (target.is_relative()) target = fs::path(path).parent_path() / target;
      const fs::path device = fs::weakly_canonical(target, ec);
      text += " -> " + (ec ? target.lexically_normal() : device).string();
    }
  }
  if (!fs::exists(path, ec)) text += " (not present)";
  return text;
}

TOpenResult OpenPort(const std::string& name) {
  return OpenSerialDevice(ResolvePortName(name));
}

bool ProbePort(const std::string& name) {
  return OpenPort(name).device != nullptr;
}

std::string HolderText(long pid, const std::string& name) {
  if (pid == 0) return name.empty() ? "another program" : name;
  return (name.empty() ? std::string("process") : name) + " (pid " + std::to_string(pid) + ")";
}

std::string UncheckedText(const TOpenResult& r) {
  if (r.error != TOpenError::None || r.uncheckedProcs == 0) return {};
  return "programs of other users could not be checked for " + Named(r) + " (" +
         std::to_string(r.uncheckedProcs) +
         " processes): a getty or ModemManager there would take the unit's answers";
}

std::string DescribeOpenFailure(const TOpenResult& r) {
  const std::string what = Named(r);
  switch (r.error) {
    case TOpenError::None:
      return {};
    case TOpenError::Missing:
      return "no such port: " + what + " does not exist";
    case TOpenError::Permission:
      return "permission denied on " + what +
             "; add the user to the dialout group (sudo usermod -aG dialout $USER) and log in "
             "again";
    case TOpenError::Busy:
      return "port busy: " + what + " is held by " + HolderText(r.holderPid, r.holderName);
    case TOpenError::NotCharDevice:
    case TOpenError::NotTerminal:
      return what + " is not a serial port";
    case TOpenError::Other:
      break;
  }
  return what + ": " + (r.sysError != 0 ? std::strerror(r.sysError) : "cannot be opened");
}
