#include "battery/WEIGHT.h"

#include <set>

#include "NullLaw.h"
#include "SequenceFixture.h"
#include "ShortBlocksWeightReference.h"

class WeightTest : public SequenceFixture {
 protected:
  void SetUp() override { EnsureLnFactorial(WEIGHT::GROUP); }
  void Grid(int smin, int smax, int sstp, int g) {
    weightSmin = smin;
    weightSmax = smax;
    weightSstp = sstp;
    weightProb = g;
  }
};

TEST_F(WeightTest, AgreesWithTheReferenceScript) {
  WEIGHT test;  // one object across lengths and grids: its plan follows them
  for (const auto& ref : WEIGHT_REF) {
    Xorshift(ref.seed, ref.n);
    Grid(ref.s, ref.s, 1, ref.g);
    const auto pairs = Run(test, SLOT_WEIGHT);
    ASSERT_EQ(pairs.size(), static_cast<size_t>(ref.count)) << "n " << ref.n << " s " << ref.s << " g " << ref.g;
    for (int i = 0; i < ref.count; ++i) {
      const WeightRefPair& want = WEIGHT_REF_PAIRS[ref.first + i];
      EXPECT_EQ(pairs[i].label, want.label);
      EXPECT_NEAR(pairs[i].p, want.p, 1e-9 * want.p) << want.label << " n " << ref.n << " g " << ref.g;
    }
  }
}

TEST(WeightReference, HoldsBothOddAndEvenCellCounts) {
  // With an even number of cells the degrees of freedom over 2 is not a
  // whole number: the reference would catch a halving in integers.
  std::set<int> parity;
  for (const auto& pair : WEIGHT_REF_PAIRS) parity.insert(pair.cells % 2);
  EXPECT_EQ(parity.size(), 2u);
}

TEST_F(WeightTest, ThresholdsAndTheirLabels) {
  Xorshift(5, 40 * 32 * 100);
  WEIGHT test;
  Grid(8, 8, 1, 2);  // thresholds 85 and 170
  EXPECT_EQ(Labels(Run(test, SLOT_WEIGHT)), (std::vector<std::string>{"Weight 8_67", "Weight 8_34"}));
  Grid(8, 8, 1, 3);  // 64, 128, 192
  EXPECT_EQ(Labels(Run(test, SLOT_WEIGHT)), (std::vector<std::string>{"Weight 8_75", "Weight 8_50", "Weight 8_25"}));
  Grid(2, 2, 1, 4);  // more thresholds than values: one, 2
  EXPECT_EQ(Labels(Run(test, SLOT_WEIGHT)), (std::vector<std::string>{"Weight 2_50"}));
  Grid(1, 32, -1, 1);  // s = 1, 2, 4, 8, 16, 32, each at its middle
  EXPECT_EQ(Labels(Run(test, SLOT_WEIGHT)),
            (std::vector<std::string>{"Weight 1_50", "Weight 2_50", "Weight 4_50", "Weight 8_50", "Weight 16_50",
                                      "Weight 32_50"}));
}

TEST_F(WeightTest, TooFewGroupsOrCellsAppendNothing) {
  WEIGHT test;
  Grid(8, 8, 1, 4);
  Zeros(8 * 39);  // 39 words: no group
  EXPECT_TRUE(Run(test, SLOT_WEIGHT).empty());
  Xorshift(1, 8 * 40 * 2);  // 2 groups: fewer than 3 cells
  EXPECT_TRUE(Run(test, SLOT_WEIGHT).empty());
}

TEST_F(WeightTest, BalancedGroupsFail) {
  // Bytes 0xFF and 0x00 in turn: every group holds exactly 20 words at or
  // above any threshold, where the binomial law spreads them.
  Zeros(8 * 40 * 500);
  for (auto& w : words) w = 0x00FF00FFu;
  WEIGHT test;
  Grid(8, 8, 1, 4);
  ExpectRejected(Run(test, SLOT_WEIGHT), {"Weight 8_80", "Weight 8_60", "Weight 8_40", "Weight 8_20"}, 1e-50);
}

TEST_F(WeightTest, SmallWordsOfABiasedSequenceFail) {
  // 60% ones: the one-bit and two-bit words reach their middle too often.
  Zeros(1 << 15);
  for (uint32_t t = 0; t < (1u << 15); ++t)
    if (t % 5 < 3) words[t >> 5] |= 1u << (t & 31);
  WEIGHT test;
  Grid(1, 2, 1, 1);
  ExpectRejected(Run(test, SLOT_WEIGHT), {"Weight 1_50", "Weight 2_50"}, 1e-20);
}

TEST_F(WeightTest, NullLawIsUniform) {
  Grid(1, 32, -1, 4);
  WEIGHT test;
  const auto law = ExpectUniformNullLaw(test, SLOT_WEIGHT, 1 << 16, 300, 0x3E16);
  EXPECT_EQ(law.size(), 1u + 1u + 4u * 4u);  // s = 1 and 2 at their middle; 4, 8, 16, 32 at four thresholds
}
