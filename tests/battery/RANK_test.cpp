#include "battery/RANK.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "NullLaw.h"
#include "battery/PValueTests.h"
#include "RankMaurerReference.h"
#include "RankThreeClassReference.h"
#include "SequenceFixture.h"

namespace {

struct RankFixture : SequenceFixture {
  // One size through mode 0's grid of a single point.
  std::vector<Pair> RunSize(int R, int C) {
    rankM = 0;
    rankRmin = rankRmax = R;
    rankCmin = rankCmax = C;
    rankRstp = rankCstp = 1;
    RANK test;
    return Run(test, SLOT_RANK);
  }
};

}  // namespace

TEST(RankLaw, PublishedValuesFor32x32) {
  const double published[4] = {0.2887880952, 0.5775761902, 0.1283502644, 0.0052387863};
  for (int k = 0; k < 4; ++k) EXPECT_NEAR(RankProbability(32, 32, 32 - k), published[k], 1e-10) << k;
}

TEST(RankLaw, HugeSizesNeitherOverflowNorLoseTheLaw) {
  // r (R + C - r) - R C needs 64 bits here; the full and next ranks keep
  // their limits 0.2888 and 0.5776 (square) and ~1 (wide).
  EXPECT_NEAR(RankProbability(50000, 50000, 50000), 0.2887880951, 1e-9);
  EXPECT_NEAR(RankProbability(50000, 50000, 49999), 0.5775761902, 1e-9);
  EXPECT_NEAR(RankProbability(60000, 60100, 60000), 1.0, 1e-12);
  EXPECT_EQ(RankProbability(50000, 50000, 10), 0.0);
}

TEST(Gf2RankTest, SmallMatrices) {
  struct Case {
    int R, C;
    std::vector<uint64_t> rows;  // one word per row, or two for C > 64
    int rank;
  };
  const Case cases[] = {
      {3, 3, {0b001, 0b010, 0b100}, 3},
      {3, 3, {0b011, 0b110, 0b101}, 2},  // third = first ^ second
      {3, 3, {0, 0, 0}, 0},
      {4, 2, {0b01, 0b10, 0b11, 0b01}, 2},
      {2, 70, {1, 0x20, 1, 0x20}, 1},  // equal rows spanning two words
      {2, 70, {1, 0x20, 0, 0x20}, 2},
      {3, 128, {~0ull, ~0ull, 1, 0, ~0ull - 1, ~0ull}, 2},
  };
  for (const Case& c : cases) {
    RANK::rows = c.R;
    RANK::cols = c.C;
    std::vector<uint64_t> m = c.rows;
    EXPECT_EQ(Gf2Rank(m.data(), static_cast<int>(m.size()) / c.R), c.rank) << c.R << "x" << c.C;
  }
}

TEST(Gf2RankTest, SmallRankAgreesWithTheGeneralElimination) {
  // Random matrices of every shape up to 32 x 32, sparse and dense, and
  // ones built to a known low rank, against Gf2Rank.
  uint64_t x = 0x2545F4914F6CDD1Dull;
  auto next = [&x] {
    x ^= x << 13, x ^= x >> 7, x ^= x << 17;
    return x;
  };
  const int shapes[][2] = {{32, 32}, {32, 31}, {31, 32}, {1, 1}, {1, 32}, {32, 1}, {5, 7}, {20, 12}, {17, 29}};
  int lowRankSeen = 0;
  for (const auto& shape : shapes) {
    const int R = shape[0], C = shape[1];
    RANK::rows = R;
    RANK::cols = C;
    const uint64_t mask = (uint64_t(1) << C) - 1;
    for (int trial = 0; trial < 300; ++trial) {
      uint32_t small[32] = {};
      std::vector<uint64_t> general(R);
      for (int r = 0; r < R; ++r) {
        uint64_t row = next() & mask;
        if (trial % 3 == 1) row &= next() & next();  // sparse
        if (trial % 3 == 2 && r >= 3) row = general[r % 3] ^ general[(r + 1) % 3];  // rank at most 3
        general[r] = row;
        small[r] = static_cast<uint32_t>(row);
      }
      const int expected = Gf2Rank(general.data(), 1);
      lowRankSeen += expected <= 3 && R > 3 && C > 3;
      EXPECT_EQ(SmallRank(small, C), expected) << R << "x" << C << " trial " << trial;
    }
  }
  EXPECT_GT(lowRankSeen, 100);
}

TEST_F(RankFixture, AgreesWithTheIndependentScript) {
  for (const RankRef& ref : RANK_REF) {
    Xorshift(ref.seed, ref.n);
    const auto pairs = RunSize(ref.R, ref.C);
    if (!ref.judged) {
      EXPECT_TRUE(pairs.empty()) << ref.R << "x" << ref.C;
      continue;
    }
    ASSERT_EQ(pairs.size(), 1u) << ref.R << "x" << ref.C;
    EXPECT_EQ(pairs[0].label, "Rank " + std::to_string(ref.R) + "x" + std::to_string(ref.C));
    if (ref.p == 0) {  // a linear generator fails beyond what a double holds
      EXPECT_TRUE(pairs[0].p == PVALUE_FAIL || pairs[0].p < 1e-300) << pairs[0].p;
    } else if (ref.greater == ref.atLeast) {
      EXPECT_NEAR(pairs[0].p, ref.p, 1e-9 * ref.p) << ref.R << "x" << ref.C;
    } else {
      // A three-class size: randomised over the atom of its exact law,
      // tabulated to 1e-7.
      EXPECT_GE(pairs[0].p, ref.greater - 1e-7) << ref.R << "x" << ref.C;
      EXPECT_LE(pairs[0].p, ref.atLeast + 1e-7) << ref.R << "x" << ref.C;
    }
  }
}

TEST_F(RankFixture, SizesWithoutDataOrClassesAppendNothing) {
  Xorshift(1, 1000);
  EXPECT_TRUE(RunSize(40, 40).empty());        // N = 0
  EXPECT_TRUE(RunSize(70000, 70000).empty());  // R C above 2^32
  // 250 matrices: ranks 2, 1 and 0 close, but rank 0 expects only 15.6:
  // three classes need 30 each. With 500 matrices it expects 31.25.
  EXPECT_TRUE(RunSize(2, 2).empty());
  Xorshift(1, 2000);
  EXPECT_FALSE(RunSize(2, 2).empty());
  Xorshift(1, 60);
  EXPECT_TRUE(RunSize(2, 2).empty());  // 15 matrices: rank 0 expects 0.94, two classes only
}

TEST_F(RankFixture, ModesWalkTheirSizes) {
  Xorshift(3, 1 << 16);
  rankRmin = 2;
  rankRmax = 4;
  rankRstp = 2;
  rankCmin = -2;
  rankCmax = 1;
  rankCstp = 1;
  rankM = 1;  // C = R - 2 .. R + 1, C <= 1 skipped
  RANK test;
  std::vector<std::string> labels;
  for (const Pair& p : Run(test, SLOT_RANK)) labels.push_back(p.label);
  EXPECT_EQ(labels, (std::vector<std::string>{"Rank 2x2", "Rank 2x3", "Rank 4x2", "Rank 4x3", "Rank 4x4",
                                              "Rank 4x5"}));
  rankM = 2;  // squares, the same label and value as mode 0
  const auto square = Run(test, SLOT_RANK);
  ASSERT_EQ(square.size(), 2u);
  EXPECT_EQ(square[1].label, "Rank 4x4");
  EXPECT_EQ(square[1].p, RunSize(4, 4)[0].p);
  rankM = 1;
  rankCmin = -8;  // a doubling walk from C <= 0 ends instead of looping
  rankCstp = -1;
  EXPECT_TRUE(Run(test, SLOT_RANK).empty());
}

TEST_F(RankFixture, DependentMatricesFail) {
  // Every row the same word: rank 1 at most, below the ranks the classes
  // visit, so the full-rank classes come out empty.
  Zeros(1 << 18);
  for (auto& w : words) w = 0x9E3779B9u;
  ExpectRejected(RunSize(32, 32), {"Rank 32x32"});
  Zeros(1 << 16);
  ExpectRejected(RunSize(8, 8), {"Rank 8x8"}, 1e-20);
}

TEST(RankNullLaw, UniformOnGoodBits) {
  rankM = 0;
  rankRmin = 8;
  rankRmax = 16;
  rankRstp = -1;
  rankCmin = 8;
  rankCmax = 16;
  rankCstp = -1;
  RANK test;
  const auto law = ExpectUniformNullLaw(test, SLOT_RANK, 1 << 16, 300, 20261210);
  EXPECT_EQ(law.size(), 2u);  // 8x8 and 16x16; 8x16 and 16x8 have two classes
}

TEST(RankNullLaw, ThreeClassSizesAreUniformOverManySequences) {
  // 256 matrices of 8 x 8 bits: three classes (full rank 74.2, one less
  // 147.9, the rest 33.9 expected, of which 1.0 under rank 6 not judged),
  // the class structure of 64 x 64 at 2^20 bits. The chi-square law's
  // p-values are off by up to 0.009 there, which 10^5 sequences see
  // (KS 6e-8 with it).
  rankM = 0;
  rankRmin = rankRmax = rankCmin = rankCmax = 8;
  rankRstp = rankCstp = 1;
  RANK test;
  const auto law = ExpectUniformNullLaw(test, SLOT_RANK, 8 * 8 * 256, 100000, 0x3C1A55);
  ASSERT_EQ(law.size(), 1u);
  std::vector<double> sorted = law.begin()->second.pvalues;
  std::sort(sorted.begin(), sorted.end());
  EXPECT_GT(AdUniformPValue(sorted.data(), static_cast<int>(sorted.size())), 1e-4);
  // The statistic's outcomes have atoms of up to 0.3 % here; randomised
  // over them, no two p-values are the same.
  ExpectNoRepeatedPValues(law, "Rank 8x8");
}

TEST(RankLaw, ThreeClassLawAgreesWithTheExactMultinomialLaw) {
  // The exact mid-p-values of tools/reference/rank_three_class_cases.py;
  // the outcomes below 1e-7, gathered in bins of the statistic, leave the
  // mid-p-value within 1e-7, and within 0.1 % in the tail.
  for (const auto& ref : RANK_THREE_CLASS_REF) {
    const FewClassLaw law(ref.N, ref.q);
    const double p = law.MidPValue(law.Statistic(ref.O));
    if (ref.midP < 1e-20) {
      EXPECT_LT(p, 1e-20) << ref.R << "x" << ref.C;
      continue;
    }
    EXPECT_NEAR(p, ref.midP, std::min(1e-7, 1e-3 * ref.midP)) << ref.R << "x" << ref.C << " " << ref.O[0];
    // The randomised p-value runs from P(X > x) to P(X >= x) as u does
    // (x's bin of binned outcomes counted in its atom: within 1e-7).
    const double x = law.Statistic(ref.O);
    const double tolerance = std::min(1e-7, 1e-3 * ref.greater);
    EXPECT_NEAR(law.RandomisedPValue(x, 0x1p-54), ref.greater, tolerance) << ref.R << "x" << ref.C << " " << ref.O[0];
    EXPECT_NEAR(law.RandomisedPValue(x, 1 - 0x1p-54), ref.atLeast, std::min(1e-7, 1e-3 * ref.atLeast))
        << ref.R << "x" << ref.C << " " << ref.O[0];
    const double half = law.RandomisedPValue(x, 0.5);
    EXPECT_NEAR(half, p, 1e-12 + 1e-9 * p) << ref.R << "x" << ref.C << " " << ref.O[0];
  }
}
