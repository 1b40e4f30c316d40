#pragma once
// The few operating-system services the command-line updater needs beyond
// TComm and Qt. One implementation per system (CliPlatform_posix.cpp).

#include <QObject>
#include <functional>
#include <string>

namespace kv37::cli {

// True when the standard output is a terminal that understands cursor moves.
bool StdoutIsTerminal();

// Width of the terminal on the standard output in columns; 0 when unknown.
int StdoutColumns();

// Calls `onInterrupt` with the signal number from `context`'s event loop when SIGINT or SIGTERM
// arrives; the default action is restored after the first one, so a second
// signal ends the process at once. SIGPIPE is ignored from then on, so a
// reader that closed the output does not cut the updates short. Call once, on
// the main thread.
void WatchInterrupts(QObject* context, std::function<void(int signal)> onInterrupt);

}  // namespace kv37::cli
