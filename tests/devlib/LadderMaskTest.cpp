#include "fautil/LadderMask.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

namespace fautil {
namespace {

using Buffer = std::vector<uint8_t>;

uint8_t FixedKey(std::size_t i) {
  return static_cast<uint8_t>(kLadderFixedKey[i % 5]);
}

TEST(LadderFixedKey, IsFiveUpperCaseLetters) {
  ASSERT_EQ(sizeof kLadderFixedKey, 6u);
  for (int i = 0; i < 5; ++i) EXPECT_TRUE(kLadderFixedKey[i] >= 'A' && kLadderFixedKey[i] <= 'Z');
}

TEST(LadderMask, ZerosMaskToTheRepeatedFixedKeyAndUnmaskToZeros) {
  Buffer buffer(kLadderSize, 0);
  LadderMask(buffer.data());
  for (std::size_t i = 0; i < kLadderKeyOffset; ++i) ASSERT_EQ(buffer[i], FixedKey(i)) << i;
  EXPECT_TRUE(std::all_of(buffer.begin() + kLadderKeyOffset, buffer.end(),
                          [](uint8_t b) { return b == 0; }));
  LadderUnMask(buffer.data());
  EXPECT_TRUE(std::all_of(buffer.begin(), buffer.begin() + kLadderKeyOffset,
                          [](uint8_t b) { return b == 0; }));
  EXPECT_TRUE(std::all_of(buffer.begin() + kLadderKeyOffset, buffer.end(),
                          [](uint8_t b) { return b == 0xFF; }));
}

TEST(LadderMask, KeyAreaByteAndFixedKeyByteFollowTheIndex) {
  Buffer buffer(kLadderSize, 0);
  for (std::size_t j = 0; j < kLadderKeySize; ++j)
    buffer[kLadderKeyOffset + j] = static_cast<uint8_t>(j);
  LadderMask(buffer.data());
  for (std::size_t i : {std::size_t{0}, std::size_t{4}, std::size_t{255}, std::size_t{256},
                        std::size_t{1000}, std::size_t{32511}}) {
    EXPECT_EQ(buffer[i], static_cast<uint8_t>((i & 0xFF) ^ FixedKey(i))) << i;
  }
  EXPECT_EQ(buffer[32511], 255 ^ FixedKey(1));
  EXPECT_EQ(buffer[256], 0 ^ FixedKey(1));
}

TEST(LadderMask, AllOnesKeyInvertsAndAppliesFixedKey) {
  Buffer buffer(kLadderSize, 0x5A);
  std::fill(buffer.begin() + kLadderKeyOffset, buffer.end(), 0xFF);
  LadderMask(buffer.data());
  for (std::size_t i = 0; i < kLadderKeyOffset; i += 97) {
    EXPECT_EQ(buffer[i], static_cast<uint8_t>(0x5A ^ 0xFF ^ FixedKey(i))) << i;
  }
}

TEST(LadderMask, RandomBuffersRoundTripWithTheirKey) {
  std::mt19937 rng(2024);
  for (int round = 0; round < 5; ++round) {
    Buffer buffer(kLadderSize);
    for (auto& b : buffer) b = static_cast<uint8_t>(rng());
    const Buffer original = buffer;
    LadderMask(buffer.data());
    EXPECT_NE(buffer, original);
    EXPECT_TRUE(std::equal(buffer.begin() + kLadderKeyOffset, buffer.end(),
                           original.begin() + kLadderKeyOffset));
    LadderUnMask(buffer.data());
    EXPECT_TRUE(std::equal(buffer.begin(), buffer.begin() + kLadderKeyOffset, original.begin()));
    EXPECT_TRUE(std::all_of(buffer.begin() + kLadderKeyOffset, buffer.end(),
                            [](uint8_t b) { return b == 0xFF; }));
  }
}

TEST(LadderMask, NullBufferIsIgnored) {
  LadderMask(nullptr);
  LadderUnMask(nullptr);
}

TEST(Randomize, NeverYieldsFF) {
  Buffer bytes(200000, 0xFF);
  Randomize(bytes.data(), static_cast<int32_t>(bytes.size()));
  EXPECT_EQ(std::count(bytes.begin(), bytes.end(), 0xFF), 0);
  // The draws still spread over the whole range 0..254.
  EXPECT_EQ(*std::max_element(bytes.begin(), bytes.end()), 254);
  EXPECT_EQ(*std::min_element(bytes.begin(), bytes.end()), 0);
}

TEST(Randomize, WritesExactlyCountBytes) {
  for (int32_t count : {-5, 0, 1, 17}) {
    Buffer bytes(32, 0xFF);
    Randomize(bytes.data(), count);
    const auto touched = static_cast<std::size_t>(std::max(count, 0));
    EXPECT_TRUE(std::all_of(bytes.begin() + touched, bytes.end(), [](uint8_t b) {
      return b == 0xFF;
    })) << count;
    EXPECT_EQ(std::count(bytes.begin(), bytes.begin() + touched, 0xFF), 0) << count;
  }
  Randomize(nullptr, 10);
}

}  // namespace
}  // namespace fautil
