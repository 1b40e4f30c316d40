#include "fautil/Crc16.h"

#include <array>
#include <cstring>

namespace fautil {
namespace {

// The Modbus reference's table pair, built at compile time: for an index byte,
// `low` gives the low byte and `high` the high byte of the register's update.
struct CrcTables {
  std::array<uint8_t, 256> low{};
  std::array<uint8_t, 256> high{};
  // Slicing tables: wide[k][b] is the register update of byte b followed by
  // k zero bytes, so eight bytes are folded in per step.
  std::array<std::array<uint16_t, 256>, 8> wide{};
};

constexpr CrcTables MakeTables() {
  CrcTables t;
  for (unsigned b = 0; b < 256; ++b) {
    unsigned reg = b;
    for (int bit = 0; bit < 8; ++bit) reg = (reg & 1u) ? (reg >> 1) ^ 0xA001u : reg >> 1;
    t.low[b] = static_cast<uint8_t>(reg);
    t.high[b] = static_cast<uint8_t>(reg >> 8);
    t.wide[0][b] = static_cast<uint16_t>(reg);
  }
  for (unsigned k = 1; k < 8; ++k) {
    for (unsigned b = 0; b < 256; ++b) {
      const uint16_t prev = t.wide[k - 1][b];
      t.wide[k][b] = static_cast<uint16_t>((prev >> 8) ^ t.wide[0][prev & 0xFFu]);
    }
  }
  return t;
}

constexpr CrcTables kTables = MakeTables();

// Byte-at-a-time step with the table pair.
inline uint16_t Step(uint16_t reg, uint8_t byte) {
  const uint8_t index = static_cast<uint8_t>(reg ^ byte);
  return static_cast<uint16_t>(((reg >> 8) ^ kTables.low[index]) | (kTables.high[index] << 8));
}

}  // namespace

uint16_t CRC16(const uint8_t* data, uint32_t length, uint16_t init) {
  if (data == nullptr) return init;
  uint16_t reg = init;
  const uint8_t* p = data;
  const uint8_t* const end = data + length;
  const auto& w = kTables.wide;
  // Eight bytes per step; the bytes are taken one by one, so the result does
  // not depend on the host's byte order.
  while (end - p >= 8) {
    const unsigned b0 = p[0] ^ (reg & 0xFFu);
    const unsigned b1 = p[1] ^ (reg >> 8);
    reg = static_cast<uint16_t>(w[7][b0] ^ w[6][b1] ^ w[5][p[2]] ^ w[4][p[3]] ^ w[3][p[4]] ^
                                w[2][p[5]] ^ w[1][p[6]] ^ w[0][p[7]]);
    p += 8;
  }
  while (p != end) reg = Step(reg, *p++);
  return reg;
}

}  // namespace fautil
