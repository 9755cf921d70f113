#include "battery/CUSUM.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <random>
#include <utility>

#include "FirstTestsReference.h"
#include "NullLaw.h"
#include "SequenceFixture.h"

using CusumTest = SequenceFixture;

namespace {

// Whether p lies within the atom of excursion z of a walk of n steps, from
// P(Z > z) = P(n, z + 1) (0 for z = n) to P(Z >= z) = P(n, z).
::testing::AssertionResult WithinAtom(double p, uint32_t n, uint32_t z) {
  const double atLeast = CusumPValue(n, z), beyond = z < n ? CusumPValue(n, z + 1) : 0.0;
  if (p >= beyond && p <= atLeast) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << p << " outside [" << beyond << ", " << atLeast << "] (n " << n << ", z "
                                       << z << ")";
}

}  // namespace

TEST_F(CusumTest, AgreesWithMpmathOnSequencesAndTheirExcursions) {
  // Each pass's p-value lies within its excursion's atom of the law, both
  // ends from mpmath.
  const size_t cases = sizeof FIRST_TESTS_REF / sizeof FIRST_TESTS_REF[0];
  ASSERT_EQ(sizeof CUSUM_BEYOND_REF / sizeof CUSUM_BEYOND_REF[0], cases);
  for (size_t i = 0; i < cases; ++i) {
    const auto& ref = FIRST_TESTS_REF[i];
    const auto& beyond = CUSUM_BEYOND_REF[i];
    Xorshift(ref.seed, ref.n);
    CUSUM test;
    const auto pairs = Run(test, SLOT_CUSUM);
    ASSERT_EQ(pairs.size(), 2u);
    EXPECT_EQ(pairs[0].label, "Cusum 1");
    EXPECT_EQ(pairs[1].label, "Cusum 2");
    EXPECT_LE(pairs[0].p, ref.forwardP * (1 + 1e-12)) << "n " << ref.n;
    EXPECT_GE(pairs[0].p, beyond.forwardP * (1 - 1e-12)) << "n " << ref.n;
    EXPECT_LE(pairs[1].p, ref.backwardP * (1 + 1e-12)) << "n " << ref.n;
    EXPECT_GE(pairs[1].p, beyond.backwardP * (1 - 1e-12)) << "n " << ref.n;
    EXPECT_TRUE(WithinAtom(pairs[0].p, ref.n, ref.forwardZ));
    EXPECT_TRUE(WithinAtom(pairs[1].p, ref.n, ref.backwardZ));
    // The same bits give the same p-values; the two passes draw apart.
    const auto again = Run(test, SLOT_CUSUM);
    ASSERT_EQ(again.size(), 2u);
    EXPECT_EQ(again[0].p, pairs[0].p);
    EXPECT_EQ(again[1].p, pairs[1].p);
  }
}

TEST_F(CusumTest, PublishedExamplesLieWithinTheirAtoms) {
  // The ten-bit example 1011010111 (z = 4 both ways, published p = 0.4116)
  // and the hundred bits of the published cumulative sums example (forward
  // z = 16, p = 0.219194; backward z = 19, p = 0.114866): each p-value lies
  // between P(Z > z) and the published P(Z >= z), both from mpmath.
  struct Example {
    const char* bits;
    uint32_t forward, backward;
    double forwardPublished, backwardPublished;
  };
  const Example examples[] = {
      {"1011010111", 4, 4, 0.4116, 0.4116},
      {"1100100100001111110110101010001000100001011010001100001000110100110001001100011001100010100010111000", 16,
       19, 0.219194, 0.114866},
  };
  auto atom = [](uint32_t n, uint32_t z) {
    for (const auto& ref : CUSUM_PUBLISHED_REF)
      if (ref.n == n && ref.z == z) return ref;
    ADD_FAILURE() << "no reference for n " << n << " z " << z;
    return CusumAtomRef{n, z, 0, 0};
  };
  for (const Example& e : examples) {
    FromText(e.bits);
    CUSUM test;
    const auto pairs = Run(test, SLOT_CUSUM);
    ASSERT_EQ(pairs.size(), 2u);
    const uint32_t n = seqLen;
    const CusumAtomRef forward = atom(n, e.forward), backward = atom(n, e.backward);
    EXPECT_NEAR(forward.atLeastP, e.forwardPublished, 1e-4 * (n == 10) + 1e-6);
    EXPECT_NEAR(backward.atLeastP, e.backwardPublished, 1e-4 * (n == 10) + 1e-6);
    EXPECT_GE(pairs[0].p, forward.beyondP);
    EXPECT_LE(pairs[0].p, forward.atLeastP);
    EXPECT_GE(pairs[1].p, backward.beyondP);
    EXPECT_LE(pairs[1].p, backward.atLeastP);
  }
}

TEST(CusumPValue, AgreesWithMpmathDownToTheFarTail) {
  // Relative accuracy also where the p-value is tiny: the series must not
  // lose it to cancellation against 1.
  for (const auto& ref : CUSUM_REF)
    EXPECT_NEAR(CusumPValue(ref.n, ref.z), ref.p, 1e-11 * ref.p + 1e-300) << "n " << ref.n << " z " << ref.z;
}

TEST(CusumPValue, PublishedExamples) {
  // The cumulative sums example with ten bits 1011010111: z = 4, p = 0.4116
  // (the published value, from a series truncated at n / z < 5 this would be
  // near a quarter of it).
  EXPECT_NEAR(CusumPValue(10, 4), 0.4116, 1e-4);
  // The hundred-bit example: forward z = 16, backward z = 19.
  EXPECT_NEAR(CusumPValue(100, 16), 0.219194, 1e-6);
  EXPECT_NEAR(CusumPValue(100, 19), 0.114866, 1e-6);
  EXPECT_NEAR(CusumPValue(100, 10), 0.6292, 1e-4);
}

TEST_F(CusumTest, AlternatingBitsNeverLeaveZeroAndPassWithCertainty) {
  std::string text;
  for (int i = 0; i < 50; ++i) text += "10";
  FromText(text);
  CUSUM test;
  const auto pairs = Run(test, SLOT_CUSUM);
  ASSERT_EQ(pairs.size(), 2u);
  // Within z = 1's atom, [P(Z >= 2), 1]: a walk of 100 steps stays within
  // one step of zero only by alternating.
  for (const auto& pair : pairs) {
    EXPECT_TRUE(WithinAtom(pair.p, 100, 1));
    EXPECT_GT(pair.p, 1 - 1e-13);
  }
}

TEST_F(CusumTest, TheTenBitExampleForwardAndBackward) {
  FromText("1011010111");
  CUSUM test;
  const auto pairs = Run(test, SLOT_CUSUM);
  ASSERT_EQ(pairs.size(), 2u);
  EXPECT_TRUE(WithinAtom(pairs[0].p, 10, 4));
  EXPECT_TRUE(WithinAtom(pairs[1].p, 10, 4));  // 1110101101 backward also peaks at 4
}

TEST_F(CusumTest, AllOnesFailsAndLengthsNotAMultipleOfEightCount) {
  for (uint32_t n : {1u, 7u, 9u, 100u, 1001u}) {
    Zeros(n);
    for (uint32_t t = 0; t < n; ++t) words[t >> 5] |= 1u << (t & 31);
    CUSUM test;
    const auto pairs = Run(test, SLOT_CUSUM);
    ASSERT_EQ(pairs.size(), 2u);
    EXPECT_TRUE(WithinAtom(pairs[0].p, n, n)) << n;
    EXPECT_TRUE(WithinAtom(pairs[1].p, n, n)) << n;
    if (n == 1001) {
      EXPECT_LT(pairs[0].p, 1e-200);
    }
  }
  EXPECT_LT(CusumPValue(1001, 1001), 1e-200);
}

TEST_F(CusumTest, ASingleOneAtTheEndIsSeenByBothPasses) {
  // 0...01: forward the walk sinks to -(n-1) and comes back one step;
  // backward it starts with +1 then sinks to -(n-2).
  Zeros(77);
  words[76 >> 5] |= 1u << (76 & 31);
  CUSUM test;
  const auto pairs = Run(test, SLOT_CUSUM);
  ASSERT_EQ(pairs.size(), 2u);
  EXPECT_TRUE(WithinAtom(pairs[0].p, 77, 76));
  EXPECT_TRUE(WithinAtom(pairs[1].p, 77, 75));
}

namespace {

// The two walks as defined, bit by bit: forward from bit 0, backward from
// bit n - 1, each the largest |partial sum| (at least 1).
std::pair<uint32_t, uint32_t> TwoWalks(const uint32_t* words, uint32_t n) {
  long long s = 0, forward = 1, backward = 1;
  for (uint32_t t = 0; t < n; ++t) {
    s += ((words[t >> 5] >> (t & 31)) & 1u) ? 1 : -1;
    forward = std::max(forward, std::llabs(s));
  }
  s = 0;
  for (uint32_t t = n; t-- > 0;) {
    s += ((words[t >> 5] >> (t & 31)) & 1u) ? 1 : -1;
    backward = std::max(backward, std::llabs(s));
  }
  return {static_cast<uint32_t>(forward), static_cast<uint32_t>(backward)};
}

}  // namespace

TEST_F(CusumTest, OneWalkGivesTheExcursionsOfBothDirections) {
  // Every sequence of up to 12 bits, then random ones (biased as well, so
  // that the extremes move often) of lengths around word boundaries.
  std::mt19937 gen(31);
  auto check = [&](const char* what) {
    const auto [forward, backward] = TwoWalks(words.data(), seqLen);
    CUSUM test;
    const auto pairs = Run(test, SLOT_CUSUM);
    ASSERT_EQ(pairs.size(), 2u);
    ASSERT_TRUE(WithinAtom(pairs[0].p, seqLen, forward)) << what;
    ASSERT_TRUE(WithinAtom(pairs[1].p, seqLen, backward)) << what;
  };
  for (uint32_t n = 1; n <= 12; ++n)
    for (uint32_t v = 0; v < (1u << n); ++v) {
      Zeros(n);
      words[0] = v;
      check("exhaustive");
    }
  for (int round = 0; round < 400; ++round) {
    const uint32_t n = 1 + gen() % 3000;
    const double ones = 0.3 + 0.4 * (gen() % 5) / 4.0;  // share of ones 0.3 .. 0.7
    std::bernoulli_distribution bit(ones);
    Zeros(n);
    for (uint32_t t = 0; t < n; ++t)
      if (bit(gen)) words[t >> 5] |= 1u << (t & 31);
    check("random");
  }
}

TEST(CusumNullLaw, UniformOnGoodBits) {
  CUSUM test;
  ExpectUniformNullLaw(test, SLOT_CUSUM, 1 << 16, 300, 0xC5);
}
