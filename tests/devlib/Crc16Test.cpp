#include "fautil/Crc16.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

namespace fautil {
namespace {

// Bit-at-a-time register, the definition the tables must agree with.
uint16_t BitwiseCrc(const uint8_t* data, std::size_t length, uint16_t reg) {
  for (std::size_t i = 0; i < length; ++i) {
    reg ^= data[i];
    for (int bit = 0; bit < 8; ++bit) reg = (reg & 1) ? (reg >> 1) ^ 0xA001 : reg >> 1;
  }
  return reg;
}

const uint8_t kDigits[] = {'1', '2', '3', '4', '5', '6', '7', '8', '9'};

TEST(Crc16, ModbusAndArcCheckValues) {
  EXPECT_EQ(CRC16(kDigits, 9, kCrc16Modbus), 0x4B37);
  EXPECT_EQ(CRC16(kDigits, 9, kCrc16Arc), 0xBB3D);
}

TEST(Crc16, SingleBytesMatchThePublishedTablePair) {
  // Low byte from the reference's "Hi" table, high byte from its "Lo" table.
  const uint16_t expected[] = {0x0000, 0xC0C1, 0xC181, 0x0140, 0xC301, 0x03C0, 0x0280, 0xC241};
  for (uint8_t b = 0; b < 8; ++b) EXPECT_EQ(CRC16(&b, 1, 0), expected[b]) << int{b};
  const uint8_t last = 0xFF;
  EXPECT_EQ(CRC16(&last, 1, 0), 0x4040);
}

TEST(Crc16, EmptyOrNullDataReturnsTheInitialValue) {
  EXPECT_EQ(CRC16(kDigits, 0, 0x1234), 0x1234);
  EXPECT_EQ(CRC16(nullptr, 100, 0xBEEF), 0xBEEF);
}

TEST(Crc16, MatchesBitwiseRegisterForEveryLengthAndAlignment) {
  std::mt19937 rng(7);
  std::vector<uint8_t> data(300);
  for (auto& b : data) b = static_cast<uint8_t>(rng());
  for (std::size_t offset = 0; offset < 8; ++offset) {
    for (std::size_t length = 0; length + offset <= data.size(); length += 7) {
      for (uint16_t init : {uint16_t{0}, uint16_t{0xFFFF}, uint16_t{0x5A3C}}) {
        ASSERT_EQ(CRC16(data.data() + offset, static_cast<uint32_t>(length), init),
                  BitwiseCrc(data.data() + offset, length, init))
            << "offset " << offset << " length " << length << " init " << init;
      }
    }
  }
}

TEST(Crc16, ChainingContinuesOverConcatenatedData) {
  const uint16_t whole = CRC16(kDigits, 9, kCrc16Modbus);
  for (uint32_t split = 0; split <= 9; ++split) {
    const uint16_t head = CRC16(kDigits, split, kCrc16Modbus);
    EXPECT_EQ(CRC16(kDigits + split, 9 - split, head), whole) << split;
  }
}

TEST(Crc16, AppendingTheResultLowByteFirstGivesZero) {
  std::mt19937 rng(11);
  for (uint32_t length : {1u, 3u, 8u, 17u, 1000u}) {
    std::vector<uint8_t> data(length + 2);
    for (uint32_t i = 0; i < length; ++i) data[i] = static_cast<uint8_t>(rng());
    const uint16_t crc = CRC16(data.data(), length, kCrc16Modbus);
    data[length] = static_cast<uint8_t>(crc);
    data[length + 1] = static_cast<uint8_t>(crc >> 8);
    EXPECT_EQ(CRC16(data.data(), length + 2, kCrc16Modbus), 0) << length;
  }
}

}  // namespace
}  // namespace fautil
