#pragma once
// Serial adapters coming and going, for the station: USB ttys through the
// kernel's device events (libudev's monitor: udev's own events where udevd
// runs, so that its rules have set permissions and links, else the kernel's),
// and named paths through their folders. What is there at the start is
// reported as arriving.
//
// Main thread only; the callbacks run from its event loop.

#include <QObject>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

class QFileSystemWatcher;
class QSocketNotifier;

namespace kv37::cli {

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
  void CheckPaths();

  std::vector<std::string> paths_;
  std::set<std::string> presentPaths_;
  std::set<std::string> usbNodes_;
  std::unique_ptr<Udev> udev_;
  QSocketNotifier* notifier_ = nullptr;
  QFileSystemWatcher* folders_ = nullptr;
  const char* source_ = "kernel";
};

}  // namespace kv37::cli
