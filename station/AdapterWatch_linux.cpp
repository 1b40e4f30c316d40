#include <libudev.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QSocketNotifier>
#include <QTimer>
#include <algorithm>
#include <filesystem>
#include <map>
#include <optional>
#include <set>
#include <stdexcept>

#include "AdapterWatch.h"

namespace kv37 {

namespace {

struct Udev {
  udev* context = nullptr;
  udev_monitor* monitor = nullptr;
  ~Udev() {
    udev_monitor_unref(monitor);
    udev_unref(context);
  }
};

// A tty on a USB bus, the station's kind of adapter: its identity.
std::optional<TUsbIdentity> UsbTty(udev_device* device) {
  if (udev_device_get_devnode(device) == nullptr) return std::nullopt;
  return UsbIdentityOf(udev_device_get_devnum(device));
}

class SystemAdapterWatch final : public QObject, public AdapterWatch {
 public:
  explicit SystemAdapterWatch(std::vector<std::string> paths)
      : paths_(std::move(paths)), udev_(std::make_unique<Udev>()) {}
  ~SystemAdapterWatch() override {
    if (inotify_ >= 0) close(inotify_);
  }

  void Start() override;
  std::string Source() const override { return source_; }

 private:
  void ReportPresent();
  void DeviceEvent();
  void FolderEvents();
  void CheckPaths();
  void PathArrived(const std::string& path);
  void PathLeft(const std::string& path);

  std::vector<std::string> paths_;
  std::set<std::string> presentPaths_;
  std::set<std::string> usbNodes_;
  std::unique_ptr<Udev> udev_;
  QSocketNotifier* notifier_ = nullptr;
  int inotify_ = -1;
  std::map<int, std::string> folders_;  // inotify watch -> folder
  QSocketNotifier* folderNotifier_ = nullptr;
  const char* source_ = "kernel";
};

}  // namespace

std::unique_ptr<AdapterWatch> MakeSystemAdapterWatch(std::vector<std::string> paths) {
  return std::make_unique<SystemAdapterWatch>(std::move(paths));
}

void SystemAdapterWatch::Start() {
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

  // Every name made, removed or renamed in a slot's folder, queued by the
  // kernel until read: nothing is lost while the event loop is busy.
  inotify_ = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  if (inotify_ < 0) throw std::runtime_error("cannot watch the slots' folders (inotify)");
  for (const std::string& path : paths_) {
    const std::string folder = std::filesystem::path(path).parent_path().string();
    const int watch = inotify_add_watch(inotify_, folder.c_str(),
                                        IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO);
    // A folder that is not there yet (/dev/serial/by-id before the first
    // adapter) is looked at on every device event instead.
    if (watch >= 0) folders_[watch] = folder;
  }
  folderNotifier_ = new QSocketNotifier(inotify_, QSocketNotifier::Read, this);
  connect(folderNotifier_, &QSocketNotifier::activated, this, [this] { FolderEvents(); });

  // What is plugged in already arrives first, from the event loop: whoever
  // shows the arrivals is listening by then.
  QTimer::singleShot(0, this, [this] { ReportPresent(); });
}

void SystemAdapterWatch::ReportPresent() {
  udev_enumerate* existing = udev_enumerate_new(udev_->context);
  udev_enumerate_add_match_subsystem(existing, "tty");
  udev_enumerate_scan_devices(existing);
  udev_list_entry* entry;
  udev_list_entry_foreach(entry, udev_enumerate_get_list_entry(existing)) {
    udev_device* device =
        udev_device_new_from_syspath(udev_->context, udev_list_entry_get_name(entry));
    if (device != nullptr) {
      if (const auto usb = UsbTty(device)) {
        const std::string node = udev_device_get_devnode(device);
        usbNodes_.insert(node);
        if (onUsbArrived) onUsbArrived(node, *usb);
      }
    }
    udev_device_unref(device);
  }
  udev_enumerate_unref(existing);
  CheckPaths();
}

void SystemAdapterWatch::DeviceEvent() {
  udev_device* device = udev_monitor_receive_device(udev_->monitor);
  if (device == nullptr) return;
  const char* action = udev_device_get_action(device);
  const char* node = udev_device_get_devnode(device);
  if (action != nullptr && node != nullptr) {
    const std::string name = node;
    if (std::string(action) == "remove") {
      if (usbNodes_.erase(name) > 0 && onUsbLeft) onUsbLeft(name);
    } else if (std::string(action) == "add") {
      const auto usb = UsbTty(device);
      if (usb && usbNodes_.insert(name).second && onUsbArrived) onUsbArrived(name, *usb);
    }
  }
  udev_device_unref(device);
  // A path slot may name a device link (/dev/serial/by-id/..., a udev SYMLINK).
  CheckPaths();
}

void SystemAdapterWatch::FolderEvents() {
  alignas(inotify_event) char buffer[16384];
  for (ssize_t n; (n = read(inotify_, buffer, sizeof buffer)) > 0;) {
    for (char* at = buffer; at < buffer + n;) {
      const auto* event = reinterpret_cast<const inotify_event*>(at);
      at += sizeof(inotify_event) + event->len;
      const auto folder = folders_.find(event->wd);
      if (folder == folders_.end() || event->len == 0) continue;
      const std::string path = (std::filesystem::path(folder->second) / event->name).string();
      if (std::find(paths_.begin(), paths_.end(), path) == paths_.end()) continue;
      if (event->mask & (IN_DELETE | IN_MOVED_FROM)) PathLeft(path);
      std::error_code ec;
      if ((event->mask & (IN_CREATE | IN_MOVED_TO)) && std::filesystem::exists(path, ec)) {
        // A name made over one that stood (ln -sfn) is a new adapter too.
        PathLeft(path);
        PathArrived(path);
      }
    }
  }
}

void SystemAdapterWatch::CheckPaths() {
  for (const std::string& path : paths_) {
    std::error_code ec;
    if (std::filesystem::exists(path, ec))
      PathArrived(path);
    else
      PathLeft(path);
  }
}

void SystemAdapterWatch::PathArrived(const std::string& path) {
  if (presentPaths_.insert(path).second && onPathArrived) onPathArrived(path);
}

void SystemAdapterWatch::PathLeft(const std::string& path) {
  if (presentPaths_.erase(path) > 0 && onPathLeft) onPathLeft(path);
}

}  // namespace kv37
