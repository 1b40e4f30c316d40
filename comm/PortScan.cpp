#include "PortScan.h"

#include <algorithm>
#include <filesystem>

#include "PortName.h"

namespace {

namespace fs = std::filesystem;

ListedPort Try(const std::string& name) {
  ListedPort port{name, IdentifyPort(name), OpenPort(name)};
  port.open.device.reset();
  return port;
}

std::vector<fs::path> Sorted(const fs::path& folder, bool (*keep)(const std::string&)) {
  std::vector<fs::path> found;
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(folder, ec))
    if (keep(entry.path().filename().string())) found.push_back(entry.path());
  std::sort(found.begin(), found.end());
  return found;
}

bool IsDeviceName(const std::string& name) {
  return name.rfind("ttyUSB", 0) == 0 || name.rfind("ttyACM", 0) == 0 || name.rfind("ttyS", 0) == 0;
}

bool IsComName(const std::string& name) {
  return name.rfind("COM", 0) == 0;
}

bool Any(const std::string&) {
  return true;
}

}  // namespace

std::vector<ListedPort> ListPorts(const std::string& devFolder) {
  std::vector<ListedPort> ports;
  for (const fs::path& entry : Sorted(PortMapDirectory(), IsComName))
    ports.push_back(Try(entry.filename().string()));
  for (const fs::path& link : Sorted(fs::path(devFolder) / "serial" / "by-id", Any))
    ports.push_back(Try(link.string()));
  for (const fs::path& device : Sorted(devFolder, IsDeviceName)) {
    ListedPort port = Try(device.string());
    // Every PC has ttyS0..ttyS31 nodes; only those with a UART behind answer.
    const TOpenError state = port.open.error;
    const bool onBoard = device.filename().string().rfind("ttyS", 0) == 0;
    if (onBoard && (state == TOpenError::NotTerminal || state == TOpenError::Other ||
                    (state == TOpenError::None && !IsSerialLine(device.string()))))
      continue;
    ports.push_back(std::move(port));
  }
  return ports;
}
