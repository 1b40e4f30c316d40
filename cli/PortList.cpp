#include "PortList.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <algorithm>
#include <array>

#include "JsonEvents.h"
#include "PortName.h"

namespace kv37::cli {

namespace {

// The last column: the adapter's USB identity, or what kind of network port.
std::string AdapterText(const TPortIdentity& id) {
  if (id.usb) return UsbIdentityText(*id.usb);
  if (id.devicePath.rfind("rfc2217://", 0) == 0) return "network, RFC 2217";
  if (IsNetworkPortName(id.devicePath)) return "network, raw: the server's line settings hold";
  return {};
}

}  // namespace

std::string PortListText(const std::vector<ListedPort>& ports) {
  if (ports.empty()) return "no serial ports found\n";
  std::vector<std::array<std::string, 4>> rows{{"PORT", "DEVICE", "STATE", "ADAPTER"}};
  bool unchecked = false;
  for (const ListedPort& p : ports) {
    unchecked = unchecked || p.open.uncheckedProcs > 0;
    rows.push_back({p.name, p.identity.devicePath,
                    OpenStateText(p.open) + (p.open.uncheckedProcs > 0 ? "*" : ""),
                    AdapterText(p.identity)});
  }
  std::array<std::size_t, 4> width{};
  for (const auto& row : rows)
    for (std::size_t i = 0; i < row.size(); ++i) width[i] = std::max(width[i], row[i].size());
  std::string text;
  for (const auto& row : rows) {
    std::string line;
    for (std::size_t i = 0; i < row.size(); ++i)
      line += row[i] + (i + 1 < row.size() ? std::string(width[i] - row[i].size() + 2, ' ') : "");
    line.erase(line.find_last_not_of(' ') + 1);
    text += line + "\n";
  }
  if (unchecked) text += "* programs of other users could not be checked; as root they would be\n";
  return text;
}

std::string PortListJson(const std::vector<ListedPort>& ports) {
  QJsonArray list;
  for (const ListedPort& p : ports) {
    QJsonObject port{{"name", QString::fromStdString(p.name)},
                     {"device", QString::fromStdString(p.identity.devicePath)},
                     {"state", QString::fromStdString(OpenStateText(p.open))},
                     {"free", p.open.error == TOpenError::None}};
    if (p.open.uncheckedProcs > 0) port["unchecked_processes"] = p.open.uncheckedProcs;
    if (p.open.holderPid != 0) {
      port["holder_pid"] = static_cast<qint64>(p.open.holderPid);
      port["holder"] = QString::fromStdString(p.open.holderName);
    }
    if (p.identity.usb) port["usb"] = UsbJson(*p.identity.usb);
    if (IsNetworkPortName(p.identity.devicePath))
      port["network"] = QString::fromStdString(AdapterText(p.identity));
    list.append(port);
  }
  return QJsonDocument(QJsonObject{{"event", "ports"}, {"ports", list}})
      .toJson(QJsonDocument::Compact)
      .toStdString();
}

}  // namespace kv37::cli
