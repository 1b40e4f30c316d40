#pragma once
// Serial adapters coming and going, as the station hears of them. The
// system's watch (MakeSystemAdapterWatch) follows USB ttys through the
// kernel's device events (libudev's monitor: udev's own events where udevd
// runs, so that its rules have set permissions and links, else the
// kernel's) and the path slots' names through their folders' inotify events.
// Each is reported as it happened, in order: a path removed and made again
// while the caller was busy is a departure and an arrival, never a path that
// merely stayed. What is there at the start is reported as arriving. Tests
// put a watch of their own in its place.
//
// Owner's thread only; the callbacks run from its event loop.

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "PortIdentity.h"

namespace kv37 {

class AdapterWatch {
 public:
  virtual ~AdapterWatch() = default;

  // Starts watching; what is there already is reported from the event loop.
  // Throws std::runtime_error when the events cannot be had.
  virtual void Start() = 0;
  // Whose device events are watched ("udev", "kernel"), for the operator.
  virtual std::string Source() const = 0;

  // A tty on a USB bus (its /dev node, and the adapter's identity) and a
  // path slot's path, arriving and leaving.
  std::function<void(const std::string& node, const TUsbIdentity& usb)> onUsbArrived;
  std::function<void(const std::string& node)> onUsbLeft;
  std::function<void(const std::string&path)> onPathArrived, onPathLeft;
};

// The system's watch; `paths` are the path slots' paths.
std::unique_ptr<AdapterWatch> MakeSystemAdapterWatch(std::vector<std::string> paths);

}  // namespace kv37
