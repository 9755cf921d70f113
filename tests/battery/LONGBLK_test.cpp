#include "battery/LONGBLK.h"

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "FirstTestsReference.h"
#include "LongBlocksLawReference.h"
#include "NullLaw.h"
#include "SequenceFixture.h"
#include "battery/Distributions.h"
#include "battery/PValueTests.h"

class LongBlocksTest : public SequenceFixture {
 protected:
  void Grid(int min, int max, int step) {
    longBlkSmin = min;
    longBlkSmax = max;
    longBlkSstp = step;
  }
  // sum (2 c_b - m)^2 over the first `blocks` blocks of m bits, counted bit
  // by bit: the statistic is this over m.
  uint64_t Squares(uint64_t blocks, uint64_t m) const {
    uint64_t squares = 0;
    for (uint64_t b = 0; b < blocks; ++b) {
      int64_t c = 0;
      for (uint64_t t = b * m; t < (b + 1) * m; ++t) c += (words[t >> 5] >> (t & 31)) & 1u;
      const int64_t d = 2 * c - static_cast<int64_t>(m);
      squares += static_cast<uint64_t>(d * d);
    }
    return squares;
  }
  // The randomised p-value of x lies between the law's upper tail half a
  // lattice step (4 / m, or 8 / m for odd m) above x and half a step below.
  static void ExpectWithinLatticePoint(double p, uint64_t blocks, uint64_t m, double x, const std::string& what) {
    const double h = (m % 2 == 0 ? 4.0 : 8.0) / static_cast<double>(m);
    const double greater = LongBlocksPValue(blocks, m, x + h / 2);
    const double atLeast = x - h / 2 > 0 ? LongBlocksPValue(blocks, m, x - h / 2) : 1.0;
    EXPECT_GE(p, greater * (1 - 1e-12)) << what;
    EXPECT_LE(p, atLeast * (1 + 1e-12)) << what;
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
      const uint64_t m = static_cast<uint64_t>(ref.blocks[b].m), blocks = ref.n / m;
      const double x = static_cast<double>(Squares(blocks, m)) / static_cast<double>(m);
      const std::string what = "n " + std::to_string(ref.n) + " M " + std::to_string(m);
      EXPECT_EQ(pairs[0].label, "Long blk " + std::to_string(ref.blocks[b].m));
      // The law at x is the reference's; the p-value is randomised within
      // x's lattice point.
      EXPECT_NEAR(LongBlocksPValue(blocks, m, x), ref.blocks[b].p, 1e-10 * ref.blocks[b].p) << what;
      ExpectWithinLatticePoint(pairs[0].p, blocks, m, x, what);
    }
  }
}

TEST_F(LongBlocksTest, PublishedHundredBitExample) {
  // Block frequency with M = 10 on the first 100 bits of the binary
  // expansion of pi: statistic 7.2 (published p-value 0.706438 under the
  // chi-square with 10 degrees of freedom). The exact law of 7.2 over 10
  // blocks of 10 bits gives the mid-p-value 0.7195; the fitted law 0.7242.
  // X lives on a lattice of step 0.4: the p-value is randomised between the
  // fitted law's tails at 7.4 and 7.0 (0.7050 and 0.7431), around the exact
  // law's P(X > 7.2) = 0.7005 and P(X >= 7.2) = 0.7385, which hold the
  // published value.
  FromText(
      "1100100100001111110110101010001000100001011010001100001000110100110001001100011001100010100010111000");
  Grid(10, 10, 1);
  LONGBLK test;
  const auto pairs = Run(test, SLOT_LONGBLK);
  ASSERT_EQ(pairs.size(), 1u);
  const LongBlocksLawRef& ref = LONG_BLOCKS_EXAMPLE;
  EXPECT_NEAR(LongBlocksPValue(10, 10, 7.2), ref.fitted, 1e-12);
  ExpectWithinLatticePoint(pairs[0].p, 10, 10, 7.2, "example");
  EXPECT_NEAR(pairs[0].p, ref.exactMidP, 0.03);
  const double exactGreater = 2 * ref.exactMidP - ref.exactTail;
  EXPECT_GT(0.706438, exactGreater);
  EXPECT_LT(0.706438, ref.exactTail);
  EXPECT_NEAR(IncompleteGammaQ(10 / 2.0, 7.2 / 2), 0.706438, 1e-6);  // the published p-value of the statistic
}

TEST(LongBlocksLaw, FollowsTheExactLawIntoTheTail) {
  // The exact law by convolution (tools/reference/long_blocks_law.py):
  // the fitted law keeps to its mid-p-value within the measured bound for
  // the number of blocks, where the chi-square law is far off for M = 8.
  for (const auto& ref : LONG_BLOCKS_LAW_REF) {
    const double p = LongBlocksPValue(ref.blocks, ref.m, ref.x);
    EXPECT_NEAR(p, ref.fitted, 1e-9 * ref.fitted) << "M " << ref.m << " N " << ref.blocks << " x " << ref.x;
    if (ref.exactMidP < 1e-6) continue;
    const double bound = ref.blocks >= 16384 ? 2e-3 : ref.blocks >= 1000 ? 1e-2 : ref.blocks >= 100 ? 8e-2 : 0.6;
    EXPECT_LT(std::fabs(p / ref.exactMidP - 1), bound) << "M " << ref.m << " N " << ref.blocks << " x " << ref.x;
    if (ref.m == 8 && ref.blocks >= 1000 && ref.exactMidP < 0.02) {
      const double chiSquare = IncompleteGammaQ(ref.blocks / 2.0, ref.x / 2);
      EXPECT_GT(chiSquare / ref.exactMidP - 1, 0.4) << "M " << ref.m << " N " << ref.blocks << " x " << ref.x;
    }
  }
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
  ExpectWithinLatticePoint(pairs[0].p, 100, 8, 0, "balanced");
  EXPECT_GT(pairs[0].p, 0.99);

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
        // 4 M S = sum (2 c_b - M)^2 / M exactly: the sum in integers, then
        // one division, so the statistic is the same number both ways (the
        // p-value of some 10^4 blocks turns a last-bit difference in it
        // into some 1e-11).
        const uint64_t squares = Squares(blocks, static_cast<uint64_t>(m));
        ASSERT_LT(i, pairs.size()) << n << " " << w.min << " " << w.step;
        EXPECT_EQ(pairs[i].label, "Long blk " + std::to_string(m));
        ExpectWithinLatticePoint(pairs[i].p, blocks, static_cast<uint64_t>(m),
                                 static_cast<double>(squares) / static_cast<double>(m),
                                 std::to_string(n) + " M " + std::to_string(m) + " walk " + std::to_string(w.min) +
                                     " " + std::to_string(w.step));
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
  // X on a lattice of step 1/2 (8-bit blocks) or 1/8: randomised within its
  // point, no two p-values are the same.
  ExpectNoRepeatedPValues(law, "Long blk 8");
  ExpectNoRepeatedPValues(law, "Long blk 32");
}

TEST(LongBlocksNullLaw, UniformAtEightBitBlocksOverManySequences) {
  // Blocks of 8 bits, where the statistic's variance is 1.75 per block and
  // not 2: 20,000 short sequences see the chi-square law's lean (KS 1e-9,
  // AD 2e-14 with it).
  longBlkSmin = longBlkSmax = 8;
  longBlkSstp = 1;
  LONGBLK test;
  const auto law = ExpectUniformNullLaw(test, SLOT_LONGBLK, 8192, 20000, 0x10B8);
  ASSERT_EQ(law.size(), 1u);
  std::vector<double> sorted = law.begin()->second.pvalues;
  std::sort(sorted.begin(), sorted.end());
  EXPECT_GT(AdUniformPValue(sorted.data(), static_cast<int>(sorted.size())), 1e-4);
}

TEST(LongBlocksLaw, ItsStoredConstantsGiveTheSamePValues) {
  // The law made once per run gives LongBlocksPValue's p-value over the
  // statistic's whole range: around its mean (the stored power series),
  // at the split to the continued fraction and deep in both tails.
  struct Case {
    uint64_t blocks, m;
  } cases[] = {{10, 8}, {13, 10}, {100, 8}, {1000, 16}, {8192, 128}, {131072, 8}, {12, 1 << 20}, {4096, 256}};
  for (const Case& c : cases) {
    const LongBlocksLaw law(c.blocks, c.m);
    const double n = static_cast<double>(c.blocks);
    for (double z = -12; z <= 40; z += 0.0625) {
      const double x = n + z * std::sqrt(2 * n);
      const double p = LongBlocksPValue(c.blocks, c.m, x);
      const double q = law.PValue(x);
      if (p == PVALUE_FAIL) EXPECT_EQ(q, p) << "N " << c.blocks << " M " << c.m << " x " << x;
      else EXPECT_NEAR(q, p, 2e-14 * p + 1e-300) << "N " << c.blocks << " M " << c.m << " x " << x;
    }
    EXPECT_EQ(law.PValue(-1e9), 1.0);
    EXPECT_EQ(law.PValue(HUGE_VAL), PVALUE_FAIL);
  }
}
