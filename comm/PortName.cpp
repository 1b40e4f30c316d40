#include "PortName.h"

#include <cstring>
#include <filesystem>

namespace {

// "/dev/ttyUSB0", or "~/.config/kv37update/ports/COM1 -> /dev/ttyUSB0".
std::string Named(const TOpenResult& r) {
  if (r.devicePath.empty() || r.devicePath == r.path) return r.path;
  return r.path + " -> " + r.devicePath;
}

}  // namespace

std::string PortTargetText(const std::string& name) {
  // Shown as the open would reach it, links followed, even when the end is
  // missing: that end is what the technician has to plug in.
  const TPortIdentity id = IdentifyPort(name);
  std::string text = id.path;
  if (id.devicePath != id.path) text += " -> " + id.devicePath;
  if (id.usb) text += " (" + UsbIdentityText(*id.usb) + ")";
  if (!id.present) text += " (not present)";
  return text;
}

TOpenResult OpenPort(const std::string& name) {
  const std::string path = ResolvePortName(name);
  if (!IsNetworkPortName(path)) return OpenSerialDevice(path);
  TOpenResult result = OpenNetworkPort(path);
  // Shown as the map entry that named it, where one did.
  if (path != name) result.path = name;
  return result;
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

std::string OpenStateText(const TOpenResult& r) {
  switch (r.error) {
    case TOpenError::None:
      return "free";
    case TOpenError::Missing:
      return "not present";
    case TOpenError::Permission:
      return "no permission (join the dialout group)";
    case TOpenError::Busy:
      return "busy, held by " + HolderText(r.holderPid, r.holderName);
    case TOpenError::NotCharDevice:
    case TOpenError::NotTerminal:
      return "not a serial port";
    case TOpenError::Refused:
      return "connection refused (nothing listens there)";
    case TOpenError::Unreachable:
      if (!r.detail.empty()) return "unreachable: " + r.detail;
      return "unreachable (no route to the host, or no such host)";
    case TOpenError::BadAddress:
      return "bad address: " + r.detail;
    case TOpenError::TimedOut:
      if (!r.detail.empty()) return "timed out: " + r.detail;
      return "timed out: the server did not answer within " +
             std::to_string(
                 std::chrono::duration_cast<std::chrono::seconds>(kNetworkOpenTimeout).count()) +
             " s";
    case TOpenError::Other:
      break;
  }
  return r.sysError != 0 ? std::strerror(r.sysError) : "cannot be opened";
}

std::string DescribeOpenFailure(const TOpenResult& r) {
  if (r.error == TOpenError::None) return {};
  std::string text = Named(r) + ": " + OpenStateText(r);
  if (r.error == TOpenError::Permission)
    text += "; add the user to it (sudo usermod -aG dialout $USER) and log in again";
  return text;
}
