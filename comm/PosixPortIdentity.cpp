#include <fcntl.h>
#include <linux/serial.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "NetAddress.h"
#include "PortIdentity.h"
#include "PortMap.h"

namespace fs = std::filesystem;

namespace {

// A sysfs attribute's value without its newline; "" when absent.
std::string Attribute(const fs::path& dir, const char* name) {
  std::ifstream in(dir / name);
  std::string value;
  std::getline(in, value);
  return value;
}

}  // namespace

std::string ResolveDevicePath(const std::string& path) {
  std::error_code ec;
  fs::path at(path);
  // Followed one link at a time, so a dangling one still names its target.
  for (int hops = 0; hops < 40 && fs::is_symlink(at, ec); ++hops) {
    const fs::path target = fs::read_symlink(at, ec);
    if (ec) break;
    at = target.is_absolute() ? target : at.parent_path() / target;
  }
  const fs::path resolved = fs::weakly_canonical(at, ec);
  return (ec ? at.lexically_normal() : resolved).string();
}

std::optional<TUsbIdentity> UsbIdentityOf(dev_t device, const std::string& sysfs) {
  std::error_code ec;
  const fs::path node = fs::path(sysfs) / "dev" / "char" /
                        (std::to_string(major(device)) + ":" + std::to_string(minor(device)));
  fs::path at = fs::canonical(node / "device", ec);
  if (ec) return std::nullopt;
  // Up from the port to the USB device; the step below it is the interface.
  const fs::path top = fs::canonical(sysfs, ec);
  fs::path interface;
  for (; at.has_relative_path() && at != top; interface = at, at = at.parent_path()) {
    if (!fs::exists(at / "idVendor", ec)) continue;
    TUsbIdentity usb;
    usb.vendorId = Attribute(at, "idVendor");
    usb.productId = Attribute(at, "idProduct");
    usb.serial = Attribute(at, "serial");
    usb.manufacturer = Attribute(at, "manufacturer");
    usb.product = Attribute(at, "product");
    usb.interface = interface.empty() ? "" : Attribute(interface, "bInterfaceNumber");
    usb.usbPath = at.filename().string();
    return usb;
  }
  return std::nullopt;
}

TPortIdentity IdentifyPort(const std::string& name, const std::string& sysfs) {
  TPortIdentity id;
  id.name = name;
  id.path = ResolvePortName(name);
  if (IsNetworkPortName(id.path)) {
    // Present as far as can be told without connecting.
    id.devicePath = id.path;
    id.present = true;
    return id;
  }
  id.devicePath = ResolveDevicePath(id.path);
  struct stat st {};
  id.present = stat(id.devicePath.c_str(), &st) == 0;
  id.charDevice = id.present && S_ISCHR(st.st_mode);
  if (id.charDevice) {
    id.device = st.st_rdev;
    id.usb = UsbIdentityOf(st.st_rdev, sysfs);
  }
  return id;
}

bool IsSerialLine(const std::string& path) {
  const int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return false;
  serial_struct info{};
  const bool known = ioctl(fd, TIOCGSERIAL, &info) == 0 && info.type != PORT_UNKNOWN;
  close(fd);
  return known;
}

bool SameDevice(const TPortIdentity& a, const TPortIdentity& b) {
  if (a.charDevice && b.charDevice) return a.device == b.device;
  // One server port, whatever the scheme or its case: its one device.
  TNetAddress x, y;
  if (ParseNetAddress(a.devicePath, x).empty() && ParseNetAddress(b.devicePath, y).empty())
    return NetServerText(a.devicePath) == NetServerText(b.devicePath);
  return a.devicePath == b.devicePath;
}

std::string UsbIdentityText(const TUsbIdentity& usb) {
  std::string text = usb.vendorId + ":" + usb.productId;
  if (!usb.serial.empty()) text += " serial " + usb.serial;
  return text + " at USB " + usb.usbPath;
}
