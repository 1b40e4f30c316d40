#pragma once
// Serial adapters coming and going, for the station: USB ttys through the
// kernel's device events (libudev's monitor: udev's own events where udevd
// runs, so that its rules have set permissions and links, else the kernel's),
// and named paths through their folders' inotify events. Each is reported as
// it happened, in order: a path removed and made again while the caller was
// busy is a departure and an arrival, never a path that merely stayed. What
// is there at the start is reported as arriving.
//
// Main thread only; the callbacks run from its event loop.

#include <QObject>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

class QSocketNotifier;

namespace kv37 {

class AdapterWatch : public QObject {
 public:
  // `paths`: the paths of the path slots.
  explicit AdapterWatch(std::vector<std::string> paths, QObject* parent = nullptr);
  ~AdapterWatch() override;

  // Starts watching; what is there already is reported from the event loop.
  // Throws std::runtime_error when the device events cannot be had.
  void Start();

  // "udev" or "kernel": whose device events are watched.
  const char* Source() const { return source_; }

  // A tty on a USB bus (its /dev node), and a watched path, arriving and leaving.
  std::function<void(const std::string&node)> onUsbArrived, onUsbLeft;
  std::function<void(const std::string&path)> onPathArrived, onPathLeft;

 private:
  struct Udev;
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

}  // namespace kv37
