#include "battery/GCD.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "BdayGcdSobReference.h"
#include "SequenceFixture.h"
#include "battery/PValueTests.h"
#include "tools/nullrun/NullRun.h"

using GcdTest = SequenceFixture;

namespace {

constexpr uint32_t MIN_BITS = 32 * 20000000u;

// Euclid's algorithm as written down: one division per step.
void PlainEuclid(uint32_t u, uint32_t v, uint32_t& gcd, int& steps) {
  steps = 0;
  do {
    const uint32_t r = u % v;
    u = v;
    v = r;
    ++steps;
  } while (v != 0);
  gcd = u;
}

}  // namespace

TEST_F(GcdTest, AgreesWithTheReference) {
  nullrun::SplitMix64 gen(21);
  nullrun::FillSequence(gen, words, MIN_BITS);
  for (const GcdRef& ref : GCD_REF) {
    if (ref.zeroAt >= 0) words[ref.zeroAt] = 0;
    GCD::Counts counts;
    GCD::Count(seqBits, seqLen / 32, 0, GCD::PAIRS, counts);
    EXPECT_EQ(counts.pairs, ref.pairs);
    GCD test;
    const auto pairs = Run(test, SLOT_GCD);
    ASSERT_EQ(pairs.size(), 2u);
    EXPECT_EQ(pairs[0].label, "GCD stp");
    EXPECT_EQ(pairs[1].label, "GCD dst");
    // The test's 6079271.000000001 differs from 10^7 6 / pi^2 by 3e-9.
    EXPECT_NEAR(pairs[0].p, ref.pSteps, 1e-9) << ref.zeroAt;
    EXPECT_NEAR(pairs[1].p, ref.pGcd, 1e-6) << ref.zeroAt;
  }
}

TEST(GcdCounting, InterleavedLanesCountAsThePlainEuclid) {
  // An odd number of pairs, so the last group of lanes is not full.
  nullrun::SplitMix64 gen(4);
  std::vector<uint32_t> words(400006);
  for (auto& w : words) w = static_cast<uint32_t>(gen.Next() >> (gen.Next() & 31)) | 1u;
  // Small and equal values too, where quotients and gcds are large.
  words[0] = words[1] = 7;
  words[2] = 3, words[3] = 5;
  words[4] = 0xFFFFFFFFu, words[5] = 1;
  GCD::Counts counts, plain;
  GCD::Count(words.data(), words.size(), 0, GCD::PAIRS, counts);
  for (size_t i = 0; i + 1 < words.size(); i += 2) {
    uint32_t g;
    int steps;
    PlainEuclid(words[i], words[i + 1], g, steps);
    ++plain.gcd[std::min<uint32_t>(g, 100)];
    ++plain.steps[std::clamp(steps, 3, 35)];
    ++plain.pairs;
  }
  EXPECT_EQ(counts.pairs, plain.pairs);
  EXPECT_EQ(counts.gcd, plain.gcd);
  EXPECT_EQ(counts.steps, plain.steps);
}

TEST(GcdCounting, PairsAndZeroWords) {
  struct Case {
    std::vector<uint32_t> words;
    uint64_t allowance;
    uint64_t pairs;
    uint32_t gcdCell, stepCell;  // where the first pair lands
  };
  const Case cases[] = {
      {{7, 7}, 0, 1, 7, 3},                 // equal words: one step, gcd u
      {{3, 5}, 0, 1, 1, 4},                 // u < v: the first step counts
      {{0, 5, 3}, 0, 0, 0, 0},              // a zero first word ends the counting
      {{0, 5, 3}, 1, 1, 1, 3},              // unless one zero is allowed
      {{5, 0, 0, 10}, 1, 0, 0, 0},          // two zeros skipped before the pair is used
      {{5, 0, 0, 10}, 2, 1, 5, 3},          //
      {{200, 400, 9}, 0, 1, 100, 3},        // the last word has no partner
      {{0, 0, 0}, 5, 0, 0, 0},              // the words run out
      {{0, 7, 0, 9, 0, 11, 13}, 0, 0, 0, 0},  // zero words past the stop count too
  };
  for (const Case& c : cases) {
    GCD::Counts counts;
    GCD::Count(c.words.data(), c.words.size(), c.allowance, GCD::PAIRS, counts);
    EXPECT_EQ(counts.pairs, c.pairs);
    EXPECT_EQ(counts.zeros, uint64_t(std::count(c.words.begin(), c.words.end(), 0u)));
    if (c.pairs > 0) {
      EXPECT_EQ(counts.gcd[c.gcdCell], 1u);
      EXPECT_EQ(counts.steps[c.stepCell], 1u);
    }
  }
}

TEST_F(GcdTest, NeedsTwentyMillionWordsAndCountsTenMillionPairs) {
  Zeros(MIN_BITS - 1);
  GCD shortTest;
  EXPECT_TRUE(Run(shortTest, SLOT_GCD).empty());
  // A constant non-zero sequence: every pair takes one step and has the
  // gcd u, so both chi-squares are enormous.
  Zeros(MIN_BITS + 1000);
  std::fill(words.begin(), words.end(), 0x12345678u);
  GCD constant;
  GCD::Counts c;
  GCD::Count(seqBits, seqLen / 32, 0, GCD::PAIRS, c);
  EXPECT_EQ(c.pairs, GCD::PAIRS);
  EXPECT_EQ(c.gcd[100], GCD::PAIRS);
  EXPECT_EQ(c.steps[3], GCD::PAIRS);
  const auto pairs = Run(constant, SLOT_GCD);
  ASSERT_EQ(pairs.size(), 2u);
  for (const Pair& p : pairs) EXPECT_TRUE(p.p == PVALUE_FAIL || (p.p >= 0 && p.p < 1e-10)) << p.label;
}

TEST_F(GcdTest, TooFewPairsAreShortUnlessZeroWordsAbound) {
  // At the minimum length a zero first word leaves no pair, and a zero word
  // after a million pairs too few for the chi-square law: both values are
  // PVALUE_SHORT, not a failure.
  nullrun::SplitMix64 gen(9);
  nullrun::FillSequence(gen, words, MIN_BITS);
  for (int64_t zeroAt : {0, 2000001}) {
    const uint32_t keep = words[zeroAt];
    words[zeroAt] = 0;
    GCD test;
    const auto pairs = Run(test, SLOT_GCD);
    ASSERT_EQ(pairs.size(), 2u);
    EXPECT_EQ(pairs[0].p, PVALUE_SHORT);
    EXPECT_EQ(pairs[1].p, PVALUE_SHORT);
    words[zeroAt] = keep;
  }
  // Zero words by the million are no chance event: a constant zero
  // sequence fails.
  std::fill(words.begin(), words.end(), 0u);
  GCD zeros;
  const auto pairs = Run(zeros, SLOT_GCD);
  ASSERT_EQ(pairs.size(), 2u);
  EXPECT_EQ(pairs[0].p, PVALUE_FAIL);
  EXPECT_EQ(pairs[1].p, PVALUE_FAIL);
}

TEST_F(GcdTest, ZeroWordsPastTheStopFailNearTheMinimumLength) {
  // Every 1,000th word zero: 20,000 zero words where 0.005 are expected. At
  // the minimum length the first zero word ends the counting, and one more
  // word allows one zero only, so the counting sees one or two of them; the
  // words it never read hold the rest, and the sequence fails.
  nullrun::SplitMix64 gen(10);
  for (uint32_t n : {MIN_BITS, MIN_BITS + 32}) {
    nullrun::FillSequence(gen, words, n);
    for (size_t i = 999; i < n / 32; i += 1000) words[i] = 0;
    GCD test;
    const auto pairs = Run(test, SLOT_GCD);
    ASSERT_EQ(pairs.size(), 2u) << n;
    EXPECT_EQ(pairs[0].label, "GCD stp");
    EXPECT_EQ(pairs[1].label, "GCD dst");
    EXPECT_EQ(pairs[0].p, PVALUE_FAIL) << n;
    EXPECT_EQ(pairs[1].p, PVALUE_FAIL) << n;
  }
}

TEST(GcdNullLaw, ScaledToThePairsCounted) {
  // Full-length sequences take a second each; the same statistics on 2 10^6
  // pairs (the fewest the test judges) of 30 sequences.
  nullrun::SplitMix64 gen(51);
  std::vector<uint32_t> words;
  std::vector<double> steps, gcds;
  for (int i = 0; i < 30; ++i) {
    nullrun::FillSequence(gen, words, 32 * 4100000u);
    GCD::Counts counts;
    GCD::Count(words.data(), 4100000, 100000, GCD::MIN_PAIRS, counts);
    ASSERT_EQ(counts.pairs, GCD::MIN_PAIRS);
    steps.push_back(GCD::StepPValue(counts));
    gcds.push_back(GCD::GcdPValue(counts));
  }
  seqBits = nullptr;
  seqLen = 0;
  for (auto* row : {&steps, &gcds}) {
    std::sort(row->begin(), row->end());
    EXPECT_GE(row->front(), 0.0);
    EXPECT_GT(KsUniformPValue(row->data(), static_cast<int>(row->size())), 1e-4);
  }
}

TEST(GcdNullLaw, EvenWordsFail) {
  // Words with their low bit clear: no gcd is 1.
  nullrun::SplitMix64 gen(52);
  std::vector<uint32_t> words;
  nullrun::FillSequence(gen, words, 32 * 4100000u);
  for (auto& w : words) w &= ~1u;
  GCD::Counts counts;
  GCD::Count(words.data(), 4100000, 100000, GCD::MIN_PAIRS, counts);
  seqBits = nullptr;
  seqLen = 0;
  EXPECT_EQ(counts.gcd[1], 0u);
  const double p = GCD::GcdPValue(counts);
  EXPECT_TRUE(p == PVALUE_FAIL || (p >= 0 && p < 1e-10));
}
