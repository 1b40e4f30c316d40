// Port names and the exclusive open shared by TComm and the "Open COM Port"
// probe of the operator window.
//
// A name that is an absolute path is opened as it is. "COMn" (any case,
// n = 1..256) is looked up in the per-user port map, the folder
// PortMapDirectory(): an entry COMn there (normally a symbolic link to the
// device) is opened first, and /dev/ttyS<n-1> is the fallback. Any other
// name without a slash is taken from /dev.
//
// All functions may be called from any thread; they keep no state.
#pragma once

#include <string>

#include "SerialDevice.h"

// <AppConfigLocation>/ports
std::string PortMapDirectory();

// The path tried first for `name`.
std::string ResolvePortName(const std::string& name);

// The path tried when the first one cannot be opened, or "" when there is none.
std::string FallbackPortName(const std::string& name);

// Opens `name` exclusively: the resolved path, then the fallback when the first
// could not be opened at all. A device that opened but is not a terminal is not
// retried.
TOpenResult OpenPort(const std::string& name);

// True when `name` can be opened exclusively right now; the device is closed
// again before returning.
bool ProbePort(const std::string& name);
