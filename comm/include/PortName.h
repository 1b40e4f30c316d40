// The exclusive open of a named port, shared by TComm and the "Open COM
// Port" probe of the operator window, and what it found in words. Names are
// resolved as PortMap.h says.
//
// All functions may be called from any thread; they keep no state.
#pragma once

#include <string>

#include "PortIdentity.h"
#include "PortMap.h"
#include "SerialDevice.h"

// Where `name` leads, for showing before any open: "<map entry> -> <device>"
// for a port-map entry, the device itself otherwise, with a USB adapter's
// identity and " (not present)" when nothing is there. Opens nothing.
std::string PortTargetText(const std::string& name);

// Opens `name` exclusively (see OpenSerialDevice); the result says why not.
TOpenResult OpenPort(const std::string& name);

// What an open found, in a few words: "free", "not present", "busy, held by
// cat (pid 4242)", "no permission (join the dialout group)", "not a serial
// port", or the system's own words for anything else.
std::string OpenStateText(const TOpenResult& result);

// Why an open failed, in words a technician can act on: the path, the device
// it resolves to and OpenStateText, with the command for a missing
// permission; "" for a successful open.
std::string DescribeOpenFailure(const TOpenResult& result);

// "cat (pid 4242)", "the system console", or "another program" when the
// holder is not known.
std::string HolderText(long pid, const std::string& name);

// For a successful open that could not look at other users' processes: what
// was left unchecked; "" otherwise.
std::string UncheckedText(const TOpenResult& result);
