#include "battery/AQL.h"

#include <cmath>
#include <cstdio>
#include <set>
#include <string>
#include <vector>

#include "AqlReference.h"
#include "NullLaw.h"
#include "SequenceFixture.h"
#include "tools/nullrun/NullRun.h"

namespace {

void SetGrid(int smin, int smax, int sstp, int mmin, int mmax, int mstp) {
  aqlSmin = smin, aqlSmax = smax, aqlSstp = sstp;
  aqlMmin = mmin, aqlMmax = mmax, aqlMstp = mstp;
}

class AqlTest : public SequenceFixture {
 protected:
  void SetUp() override { SetGrid(9, 9, 1, 1, 100, 5); }
  void Random(uint64_t seed, uint32_t n) {
    nullrun::SplitMix64 gen(seed);
    nullrun::FillSequence(gen, words, n);
  }
};

}  // namespace

TEST(AqlPlan, BreakpointsForFiveHundredTwelveItems) {
  // The pairs (a, r) where they change, and the last one.
  struct Breakpoint {
    int t, a, r;
  };
  std::vector<Breakpoint> found;
  for (int t = 1; t <= 512; ++t) {
    int a, r;
    AQL::Plan(t, a, r);
    if (found.empty() || found.back().a != a || found.back().r != r) found.push_back({t, a, r});
  }
  const Breakpoint first[] = {{1, -1, 1}, {3, -1, 2}, {23, 0, 2}, {28, 0, 3}, {48, 1, 3}, {53, 1, 4}};
  ASSERT_GE(found.size(), 6u);
  for (int i = 0; i < 6; ++i) {
    EXPECT_EQ(found[i].t, first[i].t);
    EXPECT_EQ(found[i].a, first[i].a);
    EXPECT_EQ(found[i].r, first[i].r);
  }
  EXPECT_EQ(found.back().t, 506);
  EXPECT_EQ(found.back().a, 19);
  EXPECT_EQ(found.back().r, 22);
}

TEST(AqlLaw, AgreesWithTheReference) {
  const AQL::Point point = AQL::StoppingLaw(9, 16);
  for (int e = 0; e <= 16; ++e) EXPECT_NEAR(point.Law(e), AQL_LAW_512_16[e], 1e-15) << e;
  // m up to 11 leaves the acceptance with no defect at 0.6 or more.
  EXPECT_NEAR(AQL::StoppingLaw(9, 11).Law(0), 0.6001, 1e-4);
  EXPECT_NEAR(AQL::StoppingLaw(9, 12).Law(0), 0.5725, 1e-4);
}

TEST_F(AqlTest, AgreesWithTheReference) {
  size_t i = 0;
  while (i < std::size(AQL_REF)) {
    const AqlRef& first = AQL_REF[i];
    SetGrid(first.s, first.s, 1, first.mmin, first.mmax, first.mstp);
    Random(first.seed, 1 << 20);
    AQL test;
    const auto pairs = Run(test, SLOT_AQL);
    size_t k = 0;
    for (; i < std::size(AQL_REF) && AQL_REF[i].seed == first.seed; ++i, ++k) {
      const AqlRef& ref = AQL_REF[i];
      ASSERT_LT(k, pairs.size()) << ref.seed;
      char label[64];
      std::snprintf(label, sizeof label, "AQL %d_%d %d", ref.s, ref.m, ref.cells);
      EXPECT_EQ(pairs[k].label, label);
      EXPECT_NEAR(pairs[k].p, ref.p, 1e-10 * ref.p + 1e-14) << label;
    }
    EXPECT_EQ(pairs.size(), k) << first.seed;
  }
}

TEST_F(AqlTest, TheDefaultGridStopsAtTheRejectionNumber) {
  // s = 9: m = 1, 6, 11 fail the gate, 16 and 21 pass, 26 is lowered to
  // r(512) = 22 and ends the walk.
  Random(7, 1 << 20);
  AQL test;
  std::vector<int> ms;
  for (const auto& point : test.points) ms.push_back(point.m);
  EXPECT_EQ(ms, (std::vector<int>{16, 21, 22}));
  EXPECT_EQ(Run(test, SLOT_AQL).size(), 3u);
}

TEST_F(AqlTest, GridsItCannotRunAppendNothing) {
  struct Case {
    int smin, smax, sstp, mmin, mmax, mstp;
    uint32_t n;
  };
  const Case cases[] = {
      {25, 31, 1, 100000, 200000, 50000, 1u << 20},  // word sizes above the bound
      {0, 0, 1, 16, 16, 1, 1u << 20},                // no word size
      {9, 9, 1, 0, 0, 1, 1u << 20},                  // no value
      {9, 9, 1, 16, 16, 1, 1000},                    // too short for two cells
      {1, 1, 1, 1, 5, 1, 1u << 20},                  // K = 2: every batch stops at e = 1
  };
  for (const Case& c : cases) {
    SetGrid(c.smin, c.smax, c.sstp, c.mmin, c.mmax, c.mstp);
    Random(1, c.n);
    AQL test;
    EXPECT_TRUE(test.points.empty()) << c.smin << " " << c.mmin;
    EXPECT_TRUE(Run(test, SLOT_AQL).empty());
  }
}

TEST_F(AqlTest, TwoCellsHaveOneDegreeOfFreedom) {
  // Short sequences that fill two cells: with (cells - 1) / 2 halved as an
  // integer the p-value would be 1 whatever the counts.
  SetGrid(9, 9, 1, 22, 22, 1);
  std::set<double> values;
  for (uint64_t seed = 1; seed <= 40; ++seed) {
    Random(seed, 2800);
    AQL test;
    ASSERT_EQ(test.points.size(), 1u);
    for (const Pair& p : Run(test, SLOT_AQL)) {
      if (p.label != "AQL 9_22 2") continue;
      EXPECT_GE(p.p, 0.0);
      EXPECT_LT(p.p, 1.0);
      values.insert(p.p);
    }
  }
  EXPECT_GE(values.size(), 3u);
}

TEST_F(AqlTest, OnlyWordsEndingBeforeTheLastBitAreRead) {
  // n = 2^16 + 9: the word at 2^16 ends at the last bit and is not read;
  // the one before it is.
  SetGrid(9, 9, 1, 16, 16, 1);
  const uint32_t n = (1u << 16) + 9;
  Random(3, n);
  AQL test;
  ASSERT_EQ(test.points.size(), 1u);
  const auto before = Run(test, SLOT_AQL);
  ASSERT_EQ(before.size(), 1u);
  words[(n - 1) >> 5] ^= 1u << ((n - 1) & 31);
  ExpectSamePairs(Run(test, SLOT_AQL), before);
  words[(n - 10) >> 5] ^= 0x3u << ((n - 10) & 31);
  words[(n - 20) >> 5] ^= 0x3u << ((n - 20) & 31);
  bool changed = false;
  for (int k = 1; k < 200 && !changed; ++k) {
    const uint64_t t = n - 10 - 9 * uint64_t(k);
    words[t >> 5] ^= 1u << (t & 31);
    const auto pairs = Run(test, SLOT_AQL);
    ASSERT_EQ(Labels(pairs), Labels(before));
    changed = pairs[0].p != before[0].p;
  }
  EXPECT_TRUE(changed);
}

TEST_F(AqlTest, NullLawIsUniform) {
  seqLen = 1 << 20;
  AQL test;
  ExpectUniformNullLaw(test, SLOT_AQL, 1 << 20, 300, 61);
  SetGrid(12, 12, 1, 90, 160, 35);
  seqLen = 1 << 20;
  AQL larger;
  ExpectUniformNullLaw(larger, SLOT_AQL, 1 << 20, 100, 62);
}

TEST_F(AqlTest, SkewedValuesFail) {
  // Ones with probability 3/4: the values with many ones, the high items,
  // are the defects far more often than the low ones the plan inspects.
  Random(4, 1 << 20);
  std::vector<uint32_t> other = words;
  nullrun::SplitMix64 gen(99);
  nullrun::FillSequence(gen, other, 1 << 20);
  for (size_t i = 0; i < words.size(); ++i) words[i] |= other[i];
  seqBits = words.data();
  AQL test;
  const auto pairs = Run(test, SLOT_AQL);
  ASSERT_EQ(pairs.size(), 3u);
  for (const Pair& p : pairs) EXPECT_TRUE(p.p == PVALUE_FAIL || (p.p >= 0 && p.p < 1e-10)) << p.label;
}

TEST_F(AqlTest, ConstantInputHasNoBatch) {
  // One value only: no batch ever holds m >= 2 different values although
  // the sequence is long enough for many: a failure, not a pass.
  Zeros(1 << 20);
  AQL test;
  const auto pairs = Run(test, SLOT_AQL);
  ASSERT_EQ(pairs.size(), 3u);
  for (const Pair& p : pairs) {
    EXPECT_EQ(p.p, PVALUE_FAIL);
    EXPECT_EQ(p.label.substr(p.label.size() - 2), " 0");
  }
}
