#pragma once
// list-ports: the serial devices a technician may name with --port or in a
// station's slots.

#include <string>
#include <vector>

#include "PortIdentity.h"
#include "SerialDevice.h"

namespace kv37::cli {

struct ListedPort {
  std::string name;        // what to give --port: a COM name, a by-id link or a device
  TPortIdentity identity;  // where it leads, with a USB adapter's identity
  TOpenResult open;        // what an open found just now (the device is closed again)
};

// The port map's COM entries, /dev/serial/by-id links, and the ttyUSB*,
// ttyACM* and ttyS* devices that are serial lines (on-board ttyS entries
// without a UART are left out). Each is tried with the component's exclusive
// open and closed at once. `devFolder` is /dev but for tests.
std::vector<ListedPort> ListPorts(const std::string& devFolder = "/dev");

// A table with a heading (port, device, state, USB identity), or "no serial
// ports found". Free ports for which other users' programs could not be
// checked are marked "free*", with a line saying so.
std::string PortListText(const std::vector<ListedPort>& ports);
// {"event":"ports","ports":[{"name","device","state","free","holder_pid","holder","usb"}]}
std::string PortListJson(const std::vector<ListedPort>& ports);

}  // namespace kv37::cli
