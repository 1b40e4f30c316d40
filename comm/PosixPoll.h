// One wait of the Posix files: ppoll with the component's microsecond
// time-outs (a negative one waits without limit).
#pragma once

#include <poll.h>

#include "SerialDevice.h"

// ppoll's result for `fds`.
int PollFor(pollfd* fds, nfds_t count, TWaitTime timeout);
