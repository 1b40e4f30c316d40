#pragma once
// Says why a port could not be opened, in words a technician can act on.

#include <string>

#include "CliPlatform.h"

namespace kv37::cli {

// The reason text for `failure` of the device at `path`.
std::string DescribeOpenFailure(const std::string& path, const OpenFailure& failure);

// Looks at the paths TComm tries for port `name` (see PortName.h) and returns
// the reason the exclusive open failed; `componentError` (TComm's own text)
// stands when the device can be opened again by now. Call only after it failed.
std::string ExplainOpenFailure(const std::string& name, const std::string& componentError);

}  // namespace kv37::cli
