#include "battery/LONGBLK.h"

#include <cmath>

#include "FirstTestsReference.h"
#include "SequenceFixture.h"

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
