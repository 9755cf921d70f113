#include "battery/Bits.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "GuardedSequence.h"

namespace {

// The reference reading: bit by bit, first bit most significant.
uint32_t SlowBits(const uint32_t* w, uint64_t t, int s) {
  uint32_t v = 0;
  for (int j = 0; j < s; ++j) v = (v << 1) | ReadBit(w, t + j);
  return v;
}

// Lengths around word boundaries, short and spanning several words.
const uint32_t LENGTHS[] = {1, 31, 32, 33, 63, 64, 65, 95, 96, 97, 200, 255, 256, 257};

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

TEST(Bits, TheGuardStopsAReadPastTheBuffer) {
  GuardedSequence seq(100, 1);
  const volatile uint32_t* words = seq.words();
  EXPECT_EQ(words[100 / 32 + 1], seq.words()[100 / 32 + 1]);  // the last spare word is readable
  EXPECT_DEATH((void)words[100 / 32 + 2], "");
}

TEST(Bits, ReadBitsAgreesWithBitByBitReadingUpToTheLastBit) {
  for (uint32_t n : LENGTHS) {
    GuardedSequence seq(n, n);
    for (int s = 1; s <= 32; ++s)
      for (uint64_t t = 0; t + s <= n; ++t)
        ASSERT_EQ(ReadBits(seq.words(), t, s), SlowBits(seq.words(), t, s)) << n << " " << t << " " << s;
  }
}

TEST(Bits, SlidingWindowsAgreeWithBitByBitReadingFromEveryStart) {
  for (uint32_t n : LENGTHS) {
    GuardedSequence seq(n, 1000 + n);
    for (int s = 1; s <= 32 && s <= static_cast<int>(n); ++s) {
      const uint64_t windows = n - s + 1;
      for (uint64_t start = 0; start < windows; ++start) {
        // Every window from start to the one ending at the last bit.
        uint64_t t = start;
        ForEachWindow(seq.words(), start, windows - start, s, [&](uint32_t v) {
          ASSERT_EQ(v, SlowBits(seq.words(), t, s)) << n << " " << start << " " << t << " " << s;
          ++t;
        });
        ASSERT_EQ(t, windows);
        // The same windows in buffer order: the values reversed.
        t = start;
        ForEachWindowInBufferOrder(seq.words(), start, windows - start, s, [&](uint32_t v) {
          ASSERT_EQ(ReverseBits32(v) >> (32 - s), SlowBits(seq.words(), t, s)) << n << " " << start << " " << t;
          ASSERT_EQ(v & ~LowMask(s), 0u) << n << " " << start << " " << t << " " << s;
          ++t;
        });
        ASSERT_EQ(t, windows);
        // And every second one of them.
        t = start;
        ForEachWindowInBufferOrder<2>(seq.words(), start, (windows - start + 1) / 2, s, [&](uint32_t v) {
          ASSERT_EQ(ReverseBits32(v) >> (32 - s), SlowBits(seq.words(), t, s)) << n << " " << start << " " << t;
          t += 2;
        });
        ASSERT_EQ(t, start + (windows - start + 1) / 2 * 2);
      }
      uint64_t calls = 0;
      ForEachWindow(seq.words(), 0, 0, s, [&](uint32_t) { ++calls; });
      ForEachWindowInBufferOrder(seq.words(), 0, 0, s, [&](uint32_t) { ++calls; });
      EXPECT_EQ(calls, 0u);
    }
  }
}

TEST(Bits, ConsecutiveValuesAgreeWithBitByBitReadingFromEveryStart) {
  for (uint32_t n : LENGTHS) {
    GuardedSequence seq(n, 2000 + n);
    for (int s = 1; s <= 32; ++s)
      for (uint64_t start = 0; start < n; ++start) {
        // As many whole values as fit: the last may end at the last bit.
        const uint64_t count = (n - start) / s;
        uint64_t t = start;
        ForEachValue(seq.words(), start, count, s, [&](uint32_t v) {
          ASSERT_EQ(v, SlowBits(seq.words(), t, s)) << n << " " << start << " " << t << " " << s;
          t += s;
        });
        ASSERT_EQ(t, start + count * s);
      }
  }
}

TEST(Bits, BitStreamMixesWidthsAndSkips) {
  const uint32_t n = 4096;
  GuardedSequence seq(n, 77);
  std::mt19937 gen(5);
  for (uint64_t start : {0u, 1u, 31u, 32u, 45u}) {
    BitStream stream(seq.words(), start);
    uint64_t t = start;
    for (;;) {
      const int s = 1 + static_cast<int>(gen() % 32);
      const uint64_t skip = gen() % 3 == 0 ? gen() % 100 : 0;
      if (t + skip + s > n) break;
      stream.Skip(skip);
      t += skip;
      ASSERT_EQ(stream.Next(s), SlowBits(seq.words(), t, s)) << start << " " << t << " " << s;
      t += s;
    }
    EXPECT_GT(t, n - 140);
  }
}

TEST(Bits, PairsOfWordsAndBytesAsStored) {
  for (uint32_t n : LENGTHS) {
    GuardedSequence seq(n, 3000 + n);
    // The pair from word i covers bits 32 i .. 32 i + 63: every pair that
    // begins inside the sequence.
    for (uint64_t i = 0; 32 * i < n; ++i) {
      uint64_t slow = 0;
      for (int j = 0; j < 64; ++j) slow = (slow << 1) | ReadBit(seq.words(), 32 * i + j);
      ASSERT_EQ(MsbFirstPair(seq.words(), i), slow) << n << " " << i;
    }
    for (uint64_t k = 0; 8 * k + 8 <= n; ++k) {
      uint32_t slow = 0;
      for (int j = 7; j >= 0; --j) slow = (slow << 1) | ReadBit(seq.words(), 8 * k + j);
      ASSERT_EQ(ReadByte(seq.words(), k), slow) << n << " " << k;
    }
  }
}

TEST(Bits, SixtyFourBitsInBufferOrderFromEveryStart) {
  for (uint32_t n : LENGTHS) {
    GuardedSequence seq(n, 3500 + n);
    // Every start whose 64 bits lie within the sequence.
    for (uint64_t t = 0; t + 64 <= n; ++t) {
      uint64_t slow = 0;
      for (int j = 63; j >= 0; --j) slow = (slow << 1) | ReadBit(seq.words(), t + j);
      ASSERT_EQ(LsbFirst64(seq.words(), t), slow) << n << " " << t;
    }
  }
}

TEST(Bits, CountOnesAtEveryStartAndLength) {
  for (uint32_t n : {1u, 32u, 63u, 64u, 65u, 200u, 257u, 640u}) {
    GuardedSequence seq(n, 4000 + n);
    // prefix[t]: ones among bits 0 .. t - 1, bit by bit.
    std::vector<uint64_t> prefix(n + 1, 0);
    for (uint64_t t = 0; t < n; ++t) prefix[t + 1] = prefix[t] + ReadBit(seq.words(), t);
    for (uint64_t start = 0; start <= n; ++start)
      for (uint64_t len = 0; start + len <= n; ++len)
        ASSERT_EQ(CountOnes(seq.words(), start, len), prefix[start + len] - prefix[start]) << n << " " << start << " " << len;
  }
}

namespace {

// Built twice, with and without the POPCNT instruction; both must count alike.
QV_POPCNT_CLONES uint64_t CountByClones(const uint64_t* x, size_t k) {
  uint64_t c = 0;
  for (size_t i = 0; i < k; ++i) c += Popcount64(x[i]) + Popcount32(static_cast<uint32_t>(x[i] >> 7));
  return c;
}

int SlowPopcount(uint64_t x) {
  int c = 0;
  for (; x != 0; x >>= 1) c += static_cast<int>(x & 1);
  return c;
}

}  // namespace

TEST(Bits, PopcountsAgreeWithCountingBitByBit) {
  std::mt19937_64 gen(9);
  std::vector<uint64_t> x = {0, 1, ~0ull, 0x8000000000000000ull, 0xFFFFFFFFull, 0x5555555555555555ull};
  for (int i = 0; i < 1000; ++i) x.push_back(gen() & gen());
  uint64_t slow = 0;
  for (uint64_t v : x) {
    ASSERT_EQ(Popcount64(v), SlowPopcount(v)) << v;
    ASSERT_EQ(Popcount32(static_cast<uint32_t>(v)), SlowPopcount(static_cast<uint32_t>(v))) << v;
    slow += SlowPopcount(v) + SlowPopcount(static_cast<uint32_t>(v >> 7));
  }
  EXPECT_EQ(CountByClones(x.data(), x.size()), slow);
}

namespace {

// The reference: bit by bit, bit t lowest.
uint64_t SlowLsbFirst(const uint32_t* w, uint64_t t, int len) {
  uint64_t v = 0;
  for (int j = 0; j < len; ++j) v |= static_cast<uint64_t>(ReadBit(w, t + j)) << j;
  return v;
}

// Every read of 1 to 64 bits from `from` on that ends at or before the
// last bit, and every read of all 64 bits.
void ExpectLsbFirst64(const GuardedSequence& seq, uint64_t from) {
  const uint32_t n = seq.n();
  for (int len = 1; len <= 64; ++len)
    for (uint64_t t = from; t + len <= n; ++t)
      ASSERT_EQ(LsbFirst64(seq.words(), t, len) & LowMask64(len), SlowLsbFirst(seq.words(), t, len))
          << n << " " << t << " " << len;
  for (uint64_t t = from; t + 64 <= n; ++t)
    ASSERT_EQ(LsbFirst64(seq.words(), t), SlowLsbFirst(seq.words(), t, 64)) << n << " " << t;
}

}  // namespace

TEST(Bits, LsbFirst64AgreesWithBitByBitReadingUpToTheLastBit) {
  for (uint32_t n : LENGTHS) {
    GuardedSequence seq(n, 5000 + n);
    ExpectLsbFirst64(seq, 0);
  }
  // Short reads that end at the last bit, a few bits into the buffer's
  // last word but one: 220 bits (blocks of 20 end at bit 219, read from
  // bit 200) and 1,048,600 bits (the same from bit 1,048,580).
  GuardedSequence short220(220, 5220);
  ExpectLsbFirst64(short220, 0);
  GuardedSequence long1m(1048600, 5221);
  ExpectLsbFirst64(long1m, 1048600 - 200);
}

TEST(Bits, LowMask64KeepsTheLowBits) {
  EXPECT_EQ(LowMask64(1), 1u);
  EXPECT_EQ(LowMask64(20), 0xFFFFFull);
  EXPECT_EQ(LowMask64(63), 0x7FFFFFFFFFFFFFFFull);
  EXPECT_EQ(LowMask64(64), ~0ull);
}
