#include "battery/RW1D.h"

#include <cmath>
#include <string>

#include "NullLaw.h"
#include "RandomWalkReference.h"
#include "SequenceFixture.h"

class RandomWalk1dTest : public SequenceFixture {
 protected:
  static void SetUpTestSuite() { EnsureLnFactorial(1 << 20); }

  static void Walk(int lmin, int lmax, int lstp, int sk) {
    zarWlkLmin = lmin;
    zarWlkLmax = lmax;
    zarWlkLstp = lstp;
    zarWlkSk = sk;
  }
};

TEST_F(RandomWalk1dTest, AgreesWithTheStepByStepReference) {
  for (const auto& ref : RW1D_REF) {
    Xorshift(ref.seed, ref.n);
    Walk(ref.lmin, ref.lmax, ref.lstp, ref.sk);
    RW1D test;
    EXPECT_EQ(zarWlkLmax, ref.lmaxAfter) << "seed " << ref.seed;
    const auto pairs = Run(test, SLOT_RW1D);
    ASSERT_EQ(pairs.size(), static_cast<size_t>(ref.count)) << "seed " << ref.seed;
    for (int i = 0; i < ref.count; ++i) {
      EXPECT_EQ(pairs[i].label, ref.results[i].label) << "seed " << ref.seed;
      EXPECT_NEAR(pairs[i].p, ref.results[i].p, 1e-9 * ref.results[i].p + 1e-14) << ref.results[i].label;
    }
  }
}

TEST_F(RandomWalk1dTest, EveryLawSumsToOneOverTheCellsItVisits) {
  // The expected counts cover all n walks, the walks that never reach the
  // level included, so no class of the multinomial is left out.
  for (int L = 1; L <= 70; ++L)
    for (int sk : {1, 2, 5, -3}) {
      zarWlkSk = sk;
      const int b = RW1D::Level(L);
      for (int s = 0; s < RW1D::STATISTICS; ++s) {
        const bool evenOnly = s == RW1D::RW_SIGN || s == RW1D::RW_SIDE || s == RW1D::RW_ZERO;
        if ((evenOnly && L % 2 != 0) || (s == RW1D::RW_SK && b <= 0)) continue;
        double sum = 0;
        RW1D::ForEachCell(s, L, false, [&](int k) { sum += RW1D::CellProbability(s, L, b, k); });
        EXPECT_NEAR(sum, 1.0, 1e-12) << "statistic " << s << " L " << L << " level " << b;
      }
    }
  // The walks that never pass level 1 within 8 steps: 35/128.
  EXPECT_NEAR(RW1D::CellProbability(RW1D::RW_SK, 8, 1, 0), 35.0 / 128, 1e-15);
}

TEST_F(RandomWalk1dTest, WalkProbabilityIsZeroOutsideItsRangeAndPastTheTable) {
  EXPECT_NEAR(RW1D::WalkProbability(8, 4), 70.0 / 256, 1e-15);
  EXPECT_EQ(RW1D::WalkProbability(5, 6), 0.0);
  EXPECT_EQ(RW1D::WalkProbability(5, -1), 0.0);
  EXPECT_EQ(RW1D::WalkProbability(-1, 0), 0.0);
  EXPECT_EQ(RW1D::WalkProbability(lnFactorialMax + 1, 3), 0.0);
  // A level far above the walk: passage at k needs (k + b) / 2 > k.
  EXPECT_EQ(RW1D::CellProbability(RW1D::RW_SK, 16, 40, 16), 0.0);
  EXPECT_NEAR(RW1D::CellProbability(RW1D::RW_SK, 16, 40, 0), 1.0, 1e-14);
  // The largest level the window offers: no walk reaches it, at once.
  EXPECT_NEAR(RW1D::CellProbability(RW1D::RW_SK, 16, 999999999, 0), 1.0, 1e-14);
}

TEST_F(RandomWalk1dTest, NullLawIsUniform) {
  Walk(2, 256, -1, 1);
  seqLen = 1 << 14;
  RW1D test;
  const auto law = ExpectUniformNullLaw(test, SLOT_RW1D, seqLen, 300, 11);
  for (const char* label : {"RW_Sk 8", "RW_sign 64", "RW_stpup 128", "RW_side 32", "RW_zero 16", "RW_Smax 2"})
    EXPECT_EQ(law.count(label), 1u) << label;
}

TEST_F(RandomWalk1dTest, FirstPassageNullLawAtLengthEight) {
  // With the walks that never reach the level left out of the counts but
  // not of the expectations, this row's KS p-value is about 6e-9 here.
  Walk(8, 8, 1, 1);
  seqLen = 1 << 16;
  RW1D test;
  const auto law = ExpectUniformNullLaw(test, SLOT_RW1D, seqLen, 2000, 5);
  EXPECT_EQ(law.count("RW_Sk 8"), 1u);
}

TEST_F(RandomWalk1dTest, PlainlyBadSequencesFail) {
  Walk(8, 64, -1, 2);
  // 0110 repeated: every walk of 8 steps is the same.
  std::string periodic;
  for (int i = 0; i < 4096; ++i) periodic += "0110";
  FromText(periodic);
  {
    std::vector<std::string> labels;  // every statistic at every length
    for (int L : {8, 16, 32, 64})
      for (const char* statistic : {"RW_Sk", "RW_sign", "RW_stpup", "RW_side", "RW_zero", "RW_Smax"})
        labels.push_back(statistic + (" " + std::to_string(L)));
    RW1D test;
    ExpectRejected(Run(test, SLOT_RW1D), labels);
  }
  // Ones with probability 5/8: the walks drift upwards.
  Biased(12345, 1 << 15, [](uint32_t x) { return (x & 7) < 5; });
  RW1D test;
  const auto pairs = Run(test, SLOT_RW1D);
  for (const char* label : {"RW_stpup 64", "RW_Smax 64", "RW_Sk 64", "RW_side 64"}) {
    bool seen = false;
    for (const Pair& pair : pairs)
      if (pair.label == label) {
        seen = true;
        EXPECT_TRUE(pair.p == PVALUE_FAIL || (pair.p >= 0 && pair.p < 1e-10)) << label << " " << pair.p;
      }
    EXPECT_TRUE(seen) << label;
  }
}

TEST_F(RandomWalk1dTest, WhichStatisticsEachLengthComputes) {
  struct Case {
    uint32_t n;
    int lmin, lmax, lstp, sk;
    int lmaxAfter;
    std::vector<std::string> labels;
  };
  const Case cases[] = {
      // 200 bits: L = 16 forms no three classes, so the walk stops at 8.
      // The first-passage statistic, with its no-passage cell, is usable
      // at 4 and 8 too.
      {200, 2, 256, -1, 1, 8,
       {"RW_Smax 2", "RW_Sk 4", "RW_zero 4", "RW_Smax 4", "RW_Sk 8", "RW_zero 8", "RW_Smax 8"}},
      // Odd L: only the first passage, the up steps and the maximum.
      {1 << 14, 9, 9, 1, 1, 9, {"RW_Sk 9", "RW_stpup 9", "RW_Smax 9"}},
      // A level of 0, or L + Sk <= 0, or above L: no first passage.
      {1 << 14, 10, 10, 1, 0, 10, {"RW_sign 10", "RW_stpup 10", "RW_side 10", "RW_zero 10", "RW_Smax 10"}},
      {1 << 14, 10, 10, 1, -10, 10, {"RW_sign 10", "RW_stpup 10", "RW_side 10", "RW_zero 10", "RW_Smax 10"}},
      {1 << 14, 10, 10, 1, 11, 10, {"RW_sign 10", "RW_stpup 10", "RW_side 10", "RW_zero 10", "RW_Smax 10"}},
      {1 << 14, 10, 10, 1, 999999999, 10, {"RW_sign 10", "RW_stpup 10", "RW_side 10", "RW_zero 10", "RW_Smax 10"}},
      // A step of 0 ends the walk after its first length. The positive
      // side needs L >= 8: its usability counts only the downward run of
      // its cells, two at L = 6.
      {1 << 14, 6, 100, 0, 1, 100, {"RW_Sk 6", "RW_sign 6", "RW_stpup 6", "RW_zero 6", "RW_Smax 6"}},
      {1 << 14, 8, 100, 0, 1, 100,
       {"RW_Sk 8", "RW_sign 8", "RW_stpup 8", "RW_side 8", "RW_zero 8", "RW_Smax 8"}},
      // The first length has nothing: nothing for the whole run.
      {100, 64, 256, -1, 1, 0, {}},
      // Lengths below 1 are no walks.
      {1 << 14, 0, 64, 8, 1, 0, {}},
      {1 << 14, -7, 64, 8, 1, 0, {}},
  };
  for (const Case& c : cases) {
    Xorshift(99, c.n);
    Walk(c.lmin, c.lmax, c.lstp, c.sk);
    RW1D test;
    EXPECT_EQ(zarWlkLmax, c.lmaxAfter) << c.lmin << " " << c.sk;
    const auto pairs = Run(test, SLOT_RW1D);
    EXPECT_EQ(Labels(pairs), c.labels) << c.n << " " << c.lmin << " " << c.sk;
    for (const Pair& pair : pairs) {
      EXPECT_GE(pair.p, 0.0) << pair.label;
      EXPECT_LE(pair.p, 1.0) << pair.label;
    }
  }
}

TEST_F(RandomWalk1dTest, ANegativeLevelCountsFromTheWalkLength) {
  // L = 16 with Sk = -4 is level 12, the same law as Sk = 12.
  Xorshift(7, 1 << 20);
  Walk(16, 16, 1, -4);
  RW1D fromEnd;
  const auto a = Run(fromEnd, SLOT_RW1D);
  Walk(16, 16, 1, 12);
  RW1D direct;
  const auto b = Run(direct, SLOT_RW1D);
  ASSERT_FALSE(a.empty());
  EXPECT_EQ(a[0].label, "RW_Sk 16");
  ExpectSamePairs(b, a);
}

TEST_F(RandomWalk1dTest, LongWalksKeepTheirWholeLabels) {
  // 40 walks of 2^20 steps.
  const int L = 1 << 20;
  Xorshift(3, 40u * L);
  Walk(L, L, 1, 1);
  RW1D test;
  ASSERT_EQ(zarWlkLmax, L);
  const auto pairs = Run(test, SLOT_RW1D);
  ASSERT_FALSE(pairs.empty());
  bool sawUpSteps = false;
  for (const Pair& pair : pairs) {
    EXPECT_EQ(pair.label.substr(pair.label.find(' ')), " 1048576");
    sawUpSteps = sawUpSteps || pair.label == "RW_stpup 1048576";
    EXPECT_GE(pair.p, 0.0) << pair.label;
  }
  EXPECT_TRUE(sawUpSteps);
}

TEST_F(RandomWalk1dTest, RepeatedRunsGiveTheSameResults) {
  Xorshift(5, 5000);
  Walk(2, 64, -1, 1);
  RW1D test;
  const auto first = Run(test, SLOT_RW1D);
  ExpectSamePairs(Run(test, SLOT_RW1D), first);
}
