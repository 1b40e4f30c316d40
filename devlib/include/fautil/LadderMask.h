#pragma once
// Reversible masking of a ladder buffer and the random key filler.
//
// A ladder buffer is kLadderSize bytes: the payload below kLadderKeyOffset and
// a 256-byte per-buffer key area after it. Masking XORs payload byte i with
// key-area byte i % 256 and with byte i % 5 of the fixed key "RUNGS"; the key
// travels with the buffer. Buffers masked with another fixed key do not
// unmask with this one.

#include <cstddef>

#include "fautil/Types.h"

namespace fautil {

inline constexpr std::size_t kLadderSize = 0x8000;
inline constexpr std::size_t kLadderKeyOffset = 0x7F00;
inline constexpr std::size_t kLadderKeySize = kLadderSize - kLadderKeyOffset;
inline constexpr char kLadderFixedKey[] = "RUNGS";  // five letters, the terminator unused

// Masks the payload of `buffer` (kLadderSize bytes, changed in place) with the
// key already in its key area, which is left as it is. Null does nothing.
// Thread-safe on distinct buffers.
FAUTIL_API void LadderMask(uint8_t* buffer);

// Undoes LadderMask on `buffer` (kLadderSize bytes, changed in place), then
// sets the whole key area to 0xFF. Null does nothing.
FAUTIL_API void LadderUnMask(uint8_t* buffer);

// Fills `count` bytes of `buffer` with pseudo-random values 0..254 (never
// 0xFF), after seeding the standard generator (std::srand) with the current
// time in seconds: two calls within the same second give the same bytes.
// count <= 0 or a null buffer writes nothing. Disturbs every other user of
// std::rand, so it is not thread-safe.
FAUTIL_API void Randomize(uint8_t* buffer, int32_t count);

}  // namespace fautil
