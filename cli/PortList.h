#pragma once
// list-ports: the serial ports the component finds (PortScan.h), as a table
// or as JSON.

#include <string>
#include <vector>

#include "PortScan.h"

namespace kv37::cli {

// A table with a heading (port, device, state, USB identity), or "no serial
// ports found". Free ports for which other users' programs could not be
// checked are marked "free*", with a line saying so.
std::string PortListText(const std::vector<ListedPort>& ports);
// {"event":"ports","ports":[{"name","device","state","free","holder_pid","holder","usb"}]}
std::string PortListJson(const std::vector<ListedPort>& ports);

}  // namespace kv37::cli
