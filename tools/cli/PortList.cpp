#include "PortList.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <algorithm>
#include <filesystem>

#include "CliPlatform.h"
#include "PortName.h"

namespace kv37::cli {

namespace {

namespace fs = std::filesystem;

ListedPort Try(const std::string& name, const std::string& path) {
  const TOpenResult r = OpenSerialDevice(path);
  return {name, r.devicePath, r.error, r.holderPid, r.holderName, r.uncheckedProcs};
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
    ports.push_back(Try(entry.filename().string(), entry.string()));
  for (const fs::path& link : Sorted(fs::path(devFolder) / "serial" / "by-id", Any))
    ports.push_back(Try(link.string(), link.string()));
  for (const fs::path& device : Sorted(devFolder, IsDeviceName)) {
    ListedPort port = Try(device.string(), device.string());
    // Every PC has ttyS0..ttyS31 nodes; only those with a UART behind answer.
    const bool onBoard = device.filename().string().rfind("ttyS", 0) == 0;
    if (onBoard && (port.state == TOpenError::NotTerminal || port.state == TOpenError::Other ||
                    (port.state == TOpenError::None && !IsSerialLine(device.string()))))
      continue;
    ports.push_back(std::move(port));
  }
  return ports;
}

std::string StateText(const ListedPort& port) {
  switch (port.state) {
    case TOpenError::None:
      return "free";
    case TOpenError::Busy:
      return "busy, held by " + HolderText(port.holderPid, port.holderName);
    case TOpenError::Permission:
      return "no permission (join the dialout group)";
    case TOpenError::Missing:
      return "missing";
    case TOpenError::NotCharDevice:
    case TOpenError::NotTerminal:
      return "not a serial port";
    case TOpenError::Other:
      break;
  }
  return "cannot be opened";
}

std::string PortListText(const std::vector<ListedPort>& ports) {
  if (ports.empty()) return "no serial ports found\n";
  std::size_t nameWidth = 4, deviceWidth = 6;
  for (const ListedPort& p : ports) {
    nameWidth = std::max(nameWidth, p.name.size());
    deviceWidth = std::max(deviceWidth, p.device.size());
  }
  const auto row = [&](const std::string& a, const std::string& b, const std::string& c) {
    return a + std::string(nameWidth - a.size() + 2, ' ') + b +
           std::string(deviceWidth - b.size() + 2, ' ') + c + "\n";
  };
  std::string text = row("PORT", "DEVICE", "STATE");
  bool unchecked = false;
  for (const ListedPort& p : ports) {
    unchecked = unchecked || p.uncheckedProcs > 0;
    text += row(p.name, p.device, StateText(p) + (p.uncheckedProcs > 0 ? "*" : ""));
  }
  if (unchecked) text += "* programs of other users could not be checked; as root they would be\n";
  return text;
}

std::string PortListJson(const std::vector<ListedPort>& ports) {
  QJsonArray list;
  for (const ListedPort& p : ports) {
    QJsonObject port{{"name", QString::fromStdString(p.name)},
                     {"device", QString::fromStdString(p.device)},
                     {"state", QString::fromStdString(StateText(p))},
                     {"free", p.state == TOpenError::None}};
    if (p.uncheckedProcs > 0) port["unchecked_processes"] = p.uncheckedProcs;
    if (p.holderPid != 0) {
      port["holder_pid"] = static_cast<qint64>(p.holderPid);
      port["holder"] = QString::fromStdString(p.holderName);
    }
    list.append(port);
  }
  return QJsonDocument(QJsonObject{{"event", "ports"}, {"ports", list}})
      .toJson(QJsonDocument::Compact)
      .toStdString();
}

}  // namespace kv37::cli
