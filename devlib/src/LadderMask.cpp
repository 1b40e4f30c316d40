#include "fautil/LadderMask.h"

#include <cstdlib>
#include <ctime>

namespace fautil {
namespace {

constexpr std::size_t kFixedKeyLength = sizeof kLadderFixedKey - 1;
static_assert(kFixedKeyLength == 5);

// XOR is its own inverse and the two keys commute, so one pass both masks
// and unmasks.
void XorPayload(uint8_t* buffer) {
  const uint8_t* key = buffer + kLadderKeyOffset;
  for (std::size_t i = 0; i < kLadderKeyOffset; ++i) {
    buffer[i] ^= key[i & 0xFF] ^ static_cast<uint8_t>(kLadderFixedKey[i % kFixedKeyLength]);
  }
}

}  // namespace

void LadderMask(uint8_t* buffer) {
  if (buffer == nullptr) return;
  XorPayload(buffer);
}

void LadderUnMask(uint8_t* buffer) {
  if (buffer == nullptr) return;
  XorPayload(buffer);
  for (std::size_t i = kLadderKeyOffset; i < kLadderSize; ++i) buffer[i] = 0xFF;
}

void Randomize(uint8_t* buffer, int32_t count) {
  if (buffer == nullptr || count <= 0) return;
  std::srand(static_cast<unsigned>(std::time(nullptr)));
  for (int32_t i = 0; i < count; ++i) buffer[i] = static_cast<uint8_t>(std::rand() % 255);
}

}  // namespace fautil
