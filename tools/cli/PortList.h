#pragma once
// --list-ports: the serial devices a technician may name with --port.

#include <string>
#include <vector>

#include "SerialDevice.h"

namespace kv37::cli {

struct ListedPort {
  std::string name;                     // what to give --port: a COM name, a by-id link or a device
  std::string device;                   // where it leads
  TOpenError state = TOpenError::None;  // None: free right now
  long holderPid = 0;                   // Busy: the holder, where known
  std::string holderName;
  int uncheckedProcs = 0;  // free, but other users' processes were not looked at
};

// The port map's COM entries, /dev/serial/by-id links, and the ttyUSB*,
// ttyACM* and ttyS* devices that are serial lines (on-board ttyS entries
// without a UART are left out). Each is tried with the component's exclusive
// open and closed at once. `devFolder` is /dev but for tests.
std::vector<ListedPort> ListPorts(const std::string& devFolder = "/dev");

// "free", "busy, held by minicom (pid 4242)", "no permission (join the dialout
// group)", "missing", "not a serial port".
std::string StateText(const ListedPort& port);

// A table with a heading, or "no serial ports found".
std::string PortListText(const std::vector<ListedPort>& ports);
// {"event":"ports","ports":[{"name","device","state","free","holder_pid","holder"}]}
std::string PortListJson(const std::vector<ListedPort>& ports);

}  // namespace kv37::cli
