#include "battery/BDAY.h"

#include <cmath>
#include <vector>

#include "BdayGcdSobReference.h"
#include "NullLaw.h"
#include "SequenceFixture.h"
#include "battery/PValueTests.h"
#include "tools/nullrun/NullRun.h"

using BirthdaySpacingsTest = SequenceFixture;

TEST(BirthdaySpacingsConstants, ExpectedCountsArePoissonWithMeanFour) {
  const auto& e = BDAY::Expected();
  for (int j = 0; j < 10; ++j) EXPECT_NEAR(e[j], BDAY_REF_EXPECTED[j], 1e-12 * BDAY_REF_EXPECTED[j]) << j;
  EXPECT_NEAR(e[10], BDAY_REF_EXPECTED[10], 1e-6);
}

TEST_F(BirthdaySpacingsTest, AgreesWithTheReference) {
  for (const BdayRef& ref : BDAY_REF) {
    nullrun::SplitMix64 gen(ref.seed);
    nullrun::FillSequence(gen, words, BDAY::MIN_BITS);
    BDAY test;
    uint32_t histogram[11] = {};
    for (int k = 0; k < BDAY::SAMPLES; ++k)
      ++histogram[std::min(test.RepeatedSpacings(seqBits + k * BDAY::SAMPLE), 10)];
    for (int j = 0; j <= 10; ++j) EXPECT_EQ(histogram[j], ref.histogram[j]) << ref.seed << " cell " << j;
    const auto pairs = Run(test, SLOT_BDAY);
    ASSERT_EQ(pairs.size(), 1u);
    EXPECT_EQ(pairs[0].label, "Bday");
    EXPECT_NEAR(pairs[0].p, ref.p, 1e-12) << ref.seed;
  }
}

TEST_F(BirthdaySpacingsTest, SpacingsAreTakenOfTheSortedValues) {
  // Values in steps of 10: every spacing is 10, so 4094 repeat the one
  // before. (Differences of already replaced neighbours would alternate.)
  // Squares have the spacings 2i - 1, all different. The order in which
  // the words come does not matter.
  std::vector<uint32_t> sample(BDAY::SAMPLE);
  struct Case {
    uint32_t (*value)(uint32_t i);
    int J;
  };
  const Case cases[] = {
      {[](uint32_t i) { return 10 * i; }, 4094},
      {[](uint32_t i) { return (4095 - i) * 10 + 7; }, 4094},
      {[](uint32_t i) { return i * i; }, 0},
      {[](uint32_t i) { return ((i * 2654435761u) % 4096) * ((i * 2654435761u) % 4096); }, 0},
      // pairs of equal values: spacings 0 and 8 alternate, 2047 + 2046 repeats
      {[](uint32_t i) { return (i / 2) * 8; }, 4093},
  };
  BDAY test;
  for (const Case& c : cases) {
    for (uint32_t i = 0; i < BDAY::SAMPLE; ++i) sample[i] = c.value(i);
    EXPECT_EQ(test.RepeatedSpacings(sample.data()), c.J);
  }
}

TEST_F(BirthdaySpacingsTest, NeedsFiveHundredSamples) {
  for (uint32_t n : {BDAY::MIN_BITS - 1, BDAY::MIN_BITS}) {
    nullrun::SplitMix64 gen(3);
    nullrun::FillSequence(gen, words, n);
    BDAY test;
    EXPECT_EQ(Run(test, SLOT_BDAY).size(), n == BDAY::MIN_BITS ? 1u : 0u) << n;
  }
}

TEST_F(BirthdaySpacingsTest, NullLawIsUniform) {
  BDAY test;
  ExpectUniformNullLaw(test, SLOT_BDAY, BDAY::MIN_BITS, 200, 31);
}

TEST_F(BirthdaySpacingsTest, ConstantInputGivesOneAndFailsTheSecondLevel) {
  // Identical words: every spacing is 0, J = 4094 for every sample, X is
  // about 60,000 and its lower tail is 1. A run of such sequences has all
  // its p-values at 1, which the Kolmogorov-Smirnov and Anderson-Darling
  // judgements of the row reject.
  Zeros(BDAY::MIN_BITS);
  std::fill(words.begin(), words.end(), 0x5A5A5A5Au);
  BDAY test;
  const auto pairs = Run(test, SLOT_BDAY);
  ASSERT_EQ(pairs.size(), 1u);
  EXPECT_EQ(pairs[0].p, 1.0);
  const std::vector<double> row(20, pairs[0].p);
  EXPECT_LT(KsUniformPValue(row.data(), 20), 1e-6);
  EXPECT_LT(AdUniformPValue(row.data(), 20), 1e-6);
}

TEST_F(BirthdaySpacingsTest, FewDistinctDaysGiveOne) {
  // Words from only 2^16 values: spacings repeat far more than Poisson(4).
  nullrun::SplitMix64 gen(5);
  nullrun::FillSequence(gen, words, BDAY::MIN_BITS);
  for (auto& w : words) w &= 0xFFFF0000u;
  BDAY test;
  const auto pairs = Run(test, SLOT_BDAY);
  ASSERT_EQ(pairs.size(), 1u);
  EXPECT_GT(pairs[0].p, 1 - 1e-10);
}
