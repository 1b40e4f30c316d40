// What a port name leads to, before anything is opened: the one place that
// follows a name through the port map and symbolic links to its device, and
// reads a USB adapter's identity from sysfs (as careful port libraries do:
// the USB device is the first ancestor of the tty's device with an idVendor).
// Linux; any thread; keeps no state.
#pragma once

#include <sys/types.h>

#include <optional>
#include <string>

struct TUsbIdentity {
  std::string vendorId;      // "0403": as sysfs gives it, four hexadecimal digits
  std::string productId;     // "6001"
  std::string serial;        // "" when the adapter has none
  std::string manufacturer;  // "" when not given
  std::string product;
  std::string interface;  // bInterfaceNumber, "00"
  std::string usbPath;    // the physical port as sysfs names its device: "1-1.2"
};

struct TPortIdentity {
  std::string name;        // as given
  std::string path;        // the one path opened for it (ResolvePortName)
  std::string devicePath;  // `path` with every link followed (ResolveDevicePath)
  bool present = false;    // something is at devicePath
  bool charDevice = false;
  dev_t device = 0;                 // its device number, for a character device
  std::optional<TUsbIdentity> usb;  // for a port on a USB device
};

// `path` with every symbolic link followed. A link that points nowhere still
// leads somewhere: its target, taken relative to the link's own folder. The
// result is absolute when `path` is.
std::string ResolveDevicePath(const std::string& path);

// The USB identity of character device `device`, from `sysfs`; empty for a
// device that is not on a USB bus (a UART, a pseudo-terminal).
std::optional<TUsbIdentity> UsbIdentityOf(dev_t device, const std::string& sysfs = "/sys");

// Everything above for a port name ("COM1", a path, a name under /dev).
// True when `path` has a UART (or adapter) behind it: the serial driver
// reports a port type. Opens the device without waiting for carrier and
// without taking it; false when it cannot be opened or tell.
bool IsSerialLine(const std::string& path);

TPortIdentity IdentifyPort(const std::string& name, const std::string& sysfs = "/sys");

// True when both lead to one device: the same device number, or for what is
// not a device, the same resolved path.
bool SameDevice(const TPortIdentity& a, const TPortIdentity& b);

// "0403:6001 serial A9XXXXXX at USB 1-1.2" (the serial left out when there
// is none).
std::string UsbIdentityText(const TUsbIdentity& usb);
