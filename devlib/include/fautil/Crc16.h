#pragma once
// CRC-16 with the reflected polynomial 0xA001 (0x8005 bit-reversed), as used
// by the tagged data file. Pure function: thread-safe, no allocation.

#include "fautil/Types.h"

namespace fautil {

// Initial values that select the two common flavours of this CRC.
inline constexpr uint16_t kCrc16Modbus = 0xFFFF;  // CRC-16/MODBUS, check 0x4B37
inline constexpr uint16_t kCrc16Arc = 0x0000;     // CRC-16/ARC, check 0xBB3D

// Runs the CRC register, starting at `init`, over `length` bytes at `data`
// and returns the register as a plain 16-bit value (no final reflection or
// inversion). Passing a result back as `init` continues the computation over
// concatenated data, and appending a result low byte first to the data makes
// the CRC of the extended data 0. Zero bytes (or a null `data`) return `init`.
FAUTIL_API uint16_t CRC16(const uint8_t* data, uint32_t length, uint16_t init);

}  // namespace fautil
