// Port names: which path a name the operator gives opens.
//
// A name that is an absolute path is opened as it is. "COMn" (any case,
// n = 1..256) is looked up in the per-user port map, the folder
// PortMapDirectory(): when an entry COMn exists there (normally a symbolic
// link to the device) that entry is opened and nothing else, even when its
// device is missing, busy or refused, because another device would be the
// wrong unit. Only a name without an entry opens /dev/ttyS<n-1>. Any other
// name without a slash is taken from /dev.
//
// Network addresses (NetAddress.h) are taken as they are, and a map entry
// may be a link whose text is one.
//
// Any thread; no state.
#pragma once

#include <string>

// <GenericConfigLocation>/kv37update/ports
std::string PortMapDirectory();

// The one path opened for `name`.
std::string ResolvePortName(const std::string& name);
