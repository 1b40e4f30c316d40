#pragma once
// The few operating-system services the command-line updater needs beyond
// TComm, Qt and the station core (its signals: StopSignals.h). One implementation per system
// (CliPlatform_posix.cpp).

#include <string>

namespace kv37::cli {

// True when the standard output is a terminal that understands cursor moves.
bool StdoutIsTerminal();

// Width of the terminal on the standard output in columns; 0 when unknown.
int StdoutColumns();

}  // namespace kv37::cli
