#pragma once
// SIGINT and SIGTERM as events: a station (or an update) interrupted by a
// signal ends its units as interrupted, records them and exits, whichever
// front end runs it. One implementation per system (StopSignals_posix.cpp).

#include <QObject>
#include <functional>

namespace kv37 {

// Calls `onInterrupt` with the signal number from `context`'s event loop when
// SIGINT or SIGTERM arrives; the default action is restored after the first
// one, so a second signal ends the process at once. SIGPIPE is ignored from
// then on, so a reader that closed the output does not cut the updates
// short. Call once, on the main thread.
void WatchInterrupts(QObject* context, std::function<void(int signal)> onInterrupt);

}  // namespace kv37
