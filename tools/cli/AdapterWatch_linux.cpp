#include <libudev.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QFileSystemWatcher>
#include <QSocketNotifier>
#include <QTimer>
#include <filesystem>
#include <stdexcept>

#include "AdapterWatch.h"
#include "PortIdentity.h"

namespace kv37::cli {

struct AdapterWatch::Udev {
  udev* context = nullptr;
  udev_monitor* monitor = nullptr;
  ~Udev() {
    udev_monitor_unref(monitor);
    udev_unref(context);
  }
};

namespace {

// A tty on a USB bus: the station's kind of adapter.
bool IsUsbTty(udev_device* device) {
  const char* node = udev_device_get_devnode(device);
  return node != nullptr && UsbIdentityOf(udev_device_get_devnum(device)).has_value();
}

}  // namespace

AdapterWatch::AdapterWatch(std::vector<std::string> paths, QObject* parent)
    : QObject(parent), paths_(std::move(paths)), udev_(std::make_unique<Udev>()) {}

AdapterWatch::~AdapterWatch() = default;

void AdapterWatch::Start() {
  udev_->context = udev_new();
  if (udev_->context == nullptr) throw std::runtime_error("libudev: cannot start");
  // udevd's events come once its rules have run; without udevd (a container,
  // a chroot, a small system) only the kernel's come at all.
  source_ = access("/run/udev/control", F_OK) == 0 ? "udev" : "kernel";
  udev_->monitor = udev_monitor_new_from_netlink(udev_->context, source_);
  if (udev_->monitor == nullptr ||
      udev_monitor_filter_add_match_subsystem_devtype(udev_->monitor, "tty", nullptr) < 0 ||
      udev_monitor_enable_receiving(udev_->monitor) < 0)
    throw std::runtime_error(std::string("cannot watch the ") + source_ + "'s device events");
  notifier_ = new QSocketNotifier(udev_monitor_get_fd(udev_->monitor), QSocketNotifier::Read, this);
  connect(notifier_, &QSocketNotifier::activated, this, [this] { DeviceEvent(); });

  folders_ = new QFileSystemWatcher(this);
  for (const std::string& path : paths_) {
    const std::string folder = std::filesystem::path(path).parent_path().string();
    if (!folder.empty()) folders_->addPath(QString::fromStdString(folder));
  }
  connect(folders_, &QFileSystemWatcher::directoryChanged, this, [this] { CheckPaths(); });

  // What is plugged in already arrives first, from the event loop: whoever
  // shows the arrivals is listening by then.
  QTimer::singleShot(0, this, [this] { ReportPresent(); });
}

void AdapterWatch::ReportPresent() {
  udev_enumerate* existing = udev_enumerate_new(udev_->context);
  udev_enumerate_add_match_subsystem(existing, "tty");
  udev_enumerate_scan_devices(existing);
  udev_list_entry* entry;
  udev_list_entry_foreach(entry, udev_enumerate_get_list_entry(existing)) {
    udev_device* device =
        udev_device_new_from_syspath(udev_->context, udev_list_entry_get_name(entry));
    if (device != nullptr && IsUsbTty(device)) {
      const std::string node = udev_device_get_devnode(device);
      usbNodes_.insert(node);
      if (onUsbArrived) onUsbArrived(node);
    }
    udev_device_unref(device);
  }
  udev_enumerate_unref(existing);
  CheckPaths();
}

void AdapterWatch::DeviceEvent() {
  udev_device* device = udev_monitor_receive_device(udev_->monitor);
  if (device == nullptr) return;
  const char* action = udev_device_get_action(device);
  const char* node = udev_device_get_devnode(device);
  if (action != nullptr && node != nullptr) {
    const std::string name = node;
    if (std::string(action) == "remove") {
      if (usbNodes_.erase(name) > 0 && onUsbLeft) onUsbLeft(name);
    } else if (std::string(action) == "add" && IsUsbTty(device) && usbNodes_.insert(name).second &&
               onUsbArrived) {
      onUsbArrived(name);
    }
  }
  udev_device_unref(device);
  // A path slot may name a device link (/dev/serial/by-id/..., a udev SYMLINK).
  CheckPaths();
}

void AdapterWatch::CheckPaths() {
  for (const std::string& path : paths_) {
    std::error_code ec;
    const bool present = std::filesystem::exists(path, ec);
    if (present && presentPaths_.insert(path).second) {
      if (onPathArrived) onPathArrived(path);
    } else if (!present && presentPaths_.erase(path) > 0) {
      if (onPathLeft) onPathLeft(path);
    }
  }
}

}  // namespace kv37::cli
