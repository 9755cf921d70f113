#include "battery/SOB.h"

#include <vector>

#include "BdayGcdSobReference.h"
#include "NullLaw.h"
#include "SequenceFixture.h"
#include "battery/PValueTests.h"
#include "tools/nullrun/NullRun.h"

using SparseOccupancyTest = SequenceFixture;

TEST(SparseOccupancyConstants, MeanOfTheMissingValues) {
  EXPECT_NEAR(24687971.0, SOB_REF_MEAN, 0.5);
}

TEST_F(SparseOccupancyTest, AgreesWithTheReference) {
  for (const SobRef& ref : SOB_REF) {
    nullrun::SplitMix64 gen(ref.seed);
    nullrun::FillSequence(gen, words, SOB::MIN_BITS);
    SOB test;
    EXPECT_EQ(test.Missing(seqBits), ref.missing) << ref.seed;
    if (&ref != &SOB_REF[0]) continue;
    const auto pairs = Run(test, SLOT_SOB);
    ASSERT_EQ(pairs.size(), 1u);
    EXPECT_EQ(pairs[0].label, "SOB");
    EXPECT_NEAR(pairs[0].p, ref.p, 1e-12) << ref.seed;
  }
}

TEST_F(SparseOccupancyTest, NeedsTwoToTheTwentySixWindows) {
  for (uint32_t n : {SOB::MIN_BITS - 1, SOB::MIN_BITS}) {
    nullrun::SplitMix64 gen(3);
    nullrun::FillSequence(gen, words, n);
    SOB test;
    EXPECT_EQ(Run(test, SLOT_SOB).size(), n == SOB::MIN_BITS ? 1u : 0u) << n;
  }
}

TEST_F(SparseOccupancyTest, OnlyTheFirstWindowsCount) {
  // The last window ends at bit 2^26 + 24: a bit after it changes nothing,
  // that bit itself changes the last window's value.
  nullrun::SplitMix64 gen(8);
  nullrun::FillSequence(gen, words, SOB::MIN_BITS + 64);
  SOB test;
  const uint32_t before = test.Missing(seqBits);
  const uint64_t after = uint64_t{SOB::MIN_BITS};
  words[after >> 5] ^= 1u << (after & 31);
  EXPECT_EQ(test.Missing(seqBits), before);
  const uint64_t last = after - 1;
  words[last >> 5] ^= 1u << (last & 31);
  EXPECT_NE(test.Missing(seqBits), before);
}

TEST_F(SparseOccupancyTest, NullLawIsUniform) {
  seqLen = SOB::MIN_BITS;
  SOB test;
  ExpectUniformNullLaw(test, SLOT_SOB, SOB::MIN_BITS, 20, 41);
}

TEST_F(SparseOccupancyTest, PlainlyBadInputGivesOneAndFailsTheSecondLevel) {
  // Constant: one window value, missing = 2^26 - 1. Period two: two values.
  // Both give z near 10,000 and the lower tail 1; a run of them has all
  // its p-values at 1, which Kolmogorov-Smirnov and Anderson-Darling reject.
  struct Case {
    uint32_t word;
    uint32_t missing;
  };
  for (const Case c : {Case{0, SOB::WINDOWS - 1}, Case{0xFFFFFFFFu, SOB::WINDOWS - 1}, Case{0x55555555u, SOB::WINDOWS - 2}}) {
    Zeros(SOB::MIN_BITS);
    std::fill(words.begin(), words.end(), c.word);
    SOB test;
    EXPECT_EQ(test.Missing(seqBits), c.missing);
    const auto pairs = Run(test, SLOT_SOB);
    ASSERT_EQ(pairs.size(), 1u);
    EXPECT_EQ(pairs[0].p, 1.0);
    const std::vector<double> row(20, pairs[0].p);
    EXPECT_LT(KsUniformPValue(row.data(), 20), 1e-6);
    EXPECT_LT(AdUniformPValue(row.data(), 20), 1e-6);
  }
}

TEST_F(SparseOccupancyTest, BiasedInputFails) {
  // Ones with probability 3/4: far more values are missing.
  nullrun::SplitMix64 gen(6);
  nullrun::FillSequence(gen, words, SOB::MIN_BITS);
  std::vector<uint32_t> other = words;
  nullrun::FillSequence(gen, other, SOB::MIN_BITS);
  for (size_t i = 0; i < words.size(); ++i) words[i] |= other[i];
  seqBits = words.data();
  SOB test;
  const auto pairs = Run(test, SLOT_SOB);
  ASSERT_EQ(pairs.size(), 1u);
  EXPECT_GT(pairs[0].p, 1 - 1e-10);
}
