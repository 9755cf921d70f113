#include "battery/LONGBLK.h"

#include <cmath>

#include "FirstTestsReference.h"
#include "NullLaw.h"
#include "SequenceFixture.h"
#include "battery/Distributions.h"

class LongBlocksTest : public SequenceFixture {
 protected:
  void Grid(int min, int max, int step) {
    longBlkSmin = min;
    longBlkSmax = max;
    longBlkSstp = step;
  }
};

TEST_F(LongBlocksTest, AgreesWithMpmath) {
  for (const auto& ref : FIRST_TESTS_REF) {
    Xorshift(ref.seed, ref.n);
    for (int b = 0; b < ref.blockCount; ++b) {
      Grid(ref.blocks[b].m, ref.blocks[b].m, 1);
      LONGBLK test;
      const auto pairs = Run(test, SLOT_LONGBLK);
      ASSERT_EQ(pairs.size(), 1u);
      EXPECT_EQ(pairs[0].label, "Long blk " + std::to_string(ref.blocks[b].m));
      EXPECT_NEAR(pairs[0].p, ref.blocks[b].p, 1e-10 * ref.blocks[b].p) << "n " << ref.n << " M " << ref.blocks[b].m;
    }
  }
}

TEST_F(LongBlocksTest, PublishedHundredBitExample) {
  // Block frequency with M = 10 on the first 100 bits of the binary
  // expansion of pi: chi-square 7.2, p = 0.706438.
  FromText(
      "1100100100001111110110101010001000100001011010001100001000110100110001001100011001100010100010111000");
  Grid(10, 10, 1);
  LONGBLK test;
  const auto pairs = Run(test, SLOT_LONGBLK);
  ASSERT_EQ(pairs.size(), 1u);
  EXPECT_NEAR(pairs[0].p, 0.706438, 1e-6);
}

TEST_F(LongBlocksTest, TheWalkEndsAtTheFirstLengthWithFewerThanTenBlocks) {
  Xorshift(9, 1000);
  Grid(8, 1024, -1);
  LONGBLK test;
  const auto pairs = Run(test, SLOT_LONGBLK);
  ASSERT_EQ(pairs.size(), 4u);
  EXPECT_EQ(pairs[0].label, "Long blk 8");
  EXPECT_EQ(pairs[1].label, "Long blk 16");
  EXPECT_EQ(pairs[2].label, "Long blk 32");
  EXPECT_EQ(pairs[3].label, "Long blk 64");

  Zeros(79);  // fewer than 10 blocks of 8 bits
  Grid(8, 8, 1);
  EXPECT_TRUE(Run(test, SLOT_LONGBLK).empty());
}

TEST_F(LongBlocksTest, BalancedBlocksPassAndAConstantSequenceFails) {
  // Every block of 8 holds exactly four ones: the statistic is 0.
  Zeros(800);
  for (uint32_t i = 0; i < words.size(); ++i) words[i] = 0x0F0F0F0Fu;
  Grid(8, 8, 1);
  LONGBLK test;
  auto pairs = Run(test, SLOT_LONGBLK);
  ASSERT_EQ(pairs.size(), 1u);
  EXPECT_DOUBLE_EQ(pairs[0].p, 1.0);

  Zeros(1 << 16);  // all zeros: chi-square n, far beyond any p-value
  pairs = Run(test, SLOT_LONGBLK);
  ASSERT_EQ(pairs.size(), 1u);
  EXPECT_TRUE(pairs[0].p == PVALUE_FAIL || pairs[0].p < 1e-300) << pairs[0].p;
}

TEST_F(LongBlocksTest, EveryLengthOfAWalkAgreesWithCountingItsBlocksBitByBit) {
  // Doubling walks are counted together from the smallest blocks, others
  // length by length; either way each p-value is the statistic as defined,
  // counted bit by bit here. Lengths cover the tail after the last whole
  // stretch of 2^15 bits, blocks of 8 and 16 bits, multiples of 32 and 64
  // and lengths of neither kind.
  struct Walk {
    int min, max, step;
  } walks[] = {{8, 1 << 30, -1}, {8, 1 << 30, -2}, {8, 1 << 30, -3}, {16, 1 << 20, -1}, {12, 1 << 30, -1},
               {24, 1 << 30, -2}, {40, 5000, -1},   {64, 1 << 30, -1}, {100, 1 << 30, -1}, {8, 200, 24},
               {13, 13, 1},       {96, 96, 1}};
  for (uint32_t n : {999u, 4097u, 32768u, 65536u + 4000u, 100001u, 262144u + 77u}) {
    Xorshift(n, n);
    for (const auto& w : walks) {
      Grid(w.min, w.max, w.step);
      LONGBLK test;
      const auto pairs = Run(test, SLOT_LONGBLK);
      size_t i = 0;
      for (int64_t m = w.min; m <= w.max; m = w.step >= 1 ? m + w.step : m << -w.step, ++i) {
        const uint32_t blocks = n / static_cast<uint32_t>(m);
        if (blocks < 10) break;
        // S as defined, in long double so that its rounding stays below
        // the comparison's tolerance.
        long double s = 0;
        for (uint32_t b = 0; b < blocks; ++b) {
          uint32_t c = 0;
          for (uint64_t t = uint64_t(b) * m; t < uint64_t(b + 1) * m; ++t) c += (words[t >> 5] >> (t & 31)) & 1u;
          s += (static_cast<long double>(c) / m - 0.5L) * (static_cast<long double>(c) / m - 0.5L);
        }
        const double p = IncompleteGammaQ(blocks / 2.0, static_cast<double>(4.0L * m * s / 2));
        ASSERT_LT(i, pairs.size()) << n << " " << w.min << " " << w.step;
        EXPECT_EQ(pairs[i].label, "Long blk " + std::to_string(m));
        EXPECT_NEAR(pairs[i].p, p, 1e-12 * p) << n << " M " << m << " walk " << w.min << " " << w.step;
      }
      EXPECT_EQ(pairs.size(), i) << n << " " << w.min << " " << w.step;
    }
  }
}

TEST(LongBlocksNullLaw, UniformOnGoodBitsOverTheDefaultGrid) {
  longBlkSmin = 8;
  longBlkSmax = 1 << 30;
  longBlkSstp = -2;
  LONGBLK test;
  const auto law = ExpectUniformNullLaw(test, SLOT_LONGBLK, 1 << 16, 300, 0x10B);
  EXPECT_EQ(law.size(), 5u);  // 8, 32, 128, 512, 2048 leave at least 10 blocks
}
