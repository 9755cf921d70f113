#include "battery/Bits.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

namespace {

// The reference reading: bit by bit, first bit most significant.
uint32_t SlowBits(const uint32_t* w, uint64_t t, int s) {
  uint32_t v = 0;
  for (int j = 0; j < s; ++j) v = (v << 1) | ((w[(t + j) >> 5] >> ((t + j) & 31)) & 1u);
  return v;
}

}  // namespace

TEST(Bits, BitOrderIsLeastSignificantFirstWithinEachWord) {
  const uint32_t words[3] = {0x00000001u, 0x80000002u, 0};
  EXPECT_EQ(ReadBit(words, 0), 1u);
  EXPECT_EQ(ReadBit(words, 1), 0u);
  EXPECT_EQ(ReadBit(words, 32), 0u);
  EXPECT_EQ(ReadBit(words, 33), 1u);
  EXPECT_EQ(ReadBit(words, 63), 1u);
}

TEST(Bits, FirstBitReadIsTheMostSignificant) {
  const uint32_t words[3] = {0x1u, 0, 0};  // bits 1, 0, 0, ...
  EXPECT_EQ(ReadBits(words, 0, 3), 4u);
  EXPECT_EQ(ReadBits(words, 0, 1), 1u);
  EXPECT_EQ(ReadBits(words, 0, 32), 0x80000000u);
}

TEST(Bits, ValuesAcrossAWordBoundary) {
  // Bits 30, 31 are 1, 0; bits 32, 33 are 1, 1.
  const uint32_t words[3] = {0x40000000u, 0x3u, 0};
  EXPECT_EQ(ReadBits(words, 30, 4), 0xBu);
  EXPECT_EQ(ReadBits(words, 31, 3), 0x3u);
}

TEST(Bits, AgreesWithBitByBitReadingEverywhere) {
  std::mt19937 gen(12345);
  std::vector<uint32_t> words(10);
  for (auto& w : words) w = gen();
  for (uint64_t t = 0; t + 32 <= 8 * 32; ++t)
    for (int s = 1; s <= 32; ++s) ASSERT_EQ(ReadBits(words.data(), t, s), SlowBits(words.data(), t, s)) << t << " " << s;
}

TEST(Bits, CountOnesAndBytesAgreeWithBitByBitReading) {
  std::mt19937 gen(777);
  std::vector<uint32_t> words(12);
  for (auto& w : words) w = gen();
  for (uint64_t start = 0; start < 70; start += 3)
    for (uint64_t len = 0; start + len <= 10 * 32; len += 7) {
      uint64_t slow = 0;
      for (uint64_t t = start; t < start + len; ++t) slow += ReadBit(words.data(), t);
      ASSERT_EQ(CountOnes(words.data(), start, len), slow) << start << " " << len;
    }
  for (uint64_t k = 0; k < 40; ++k) {
    uint32_t slow = 0;
    for (int j = 7; j >= 0; --j) slow = (slow << 1) | ReadBit(words.data(), 8 * k + j);
    ASSERT_EQ(ReadByte(words.data(), k), slow) << k;
  }
}
