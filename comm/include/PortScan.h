#pragma once
// The serial ports a technician may name with --port, in a station's slots
// or in the port map, and the state of each, found as the component's own
// exclusive open finds it.
//
// Any thread; no state.

#include <string>
#include <vector>

#include "PortIdentity.h"
#include "SerialDevice.h"

struct ListedPort {
  std::string name;        // what to name it by: a COM name, a by-id link or a device
  TPortIdentity identity;  // where it leads, with a USB adapter's identity
  TOpenResult open;        // what an open found just now (the device is closed again)
};

// The port map's COM entries, /dev/serial/by-id links, and the ttyUSB*,
// ttyACM* and ttyS* devices that are serial lines (on-board ttyS entries
// without a UART are left out). Each is tried with the component's exclusive
// open and closed at once. `devFolder` is /dev but for tests.
std::vector<ListedPort> ListPorts(const std::string& devFolder = "/dev");
