// Turning two snapshots of a device's line-event totals into notices.
#pragma once

#include <cstdint>

#include "SerialDevice.h"

struct TLineChange {
  uint32_t errors = 0;       // line_error:: flags
  uint32_t modemEvents = 0;  // modem_event:: bits
};

// Pure. Counters that went backwards (a driver reset) count as changed.
TLineChange DiffLineSnapshot(const TLineSnapshot& before, const TLineSnapshot& after);
