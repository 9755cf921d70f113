#include "battery/TWOBIT.h"

#include <cmath>

#include "FirstTestsReference.h"
#include "NullLaw.h"
#include "SequenceFixture.h"
#include "battery/Distributions.h"

using TwoBitTest = SequenceFixture;

TEST_F(TwoBitTest, AgreesWithMpmath) {
  for (const auto& ref : FIRST_TESTS_REF) {
    Xorshift(ref.seed, ref.n);
    TWOBIT test;
    const auto pairs = Run(test, SLOT_TWOBIT);
    ASSERT_EQ(pairs.size(), 1u);
    EXPECT_EQ(pairs[0].label, "Two-bit");
    EXPECT_NEAR(pairs[0].p, ref.twoBitP, 1e-10 * ref.twoBitP) << "n " << ref.n;
  }
}

TEST_F(TwoBitTest, SmallCases) {
  TWOBIT test;
  FromText("01");  // n0 = n1 = 1, n01 = 1: X = 3
  auto pairs = Run(test, SLOT_TWOBIT);
  ASSERT_EQ(pairs.size(), 1u);
  EXPECT_NEAR(pairs[0].p, std::exp(-1.5), 1e-14);

  Zeros(20);  // all zeros: X = 2n - 3
  pairs = Run(test, SLOT_TWOBIT);
  EXPECT_NEAR(pairs[0].p, std::exp(-(2 * 20 - 3) / 2.0), 1e-14);

  FromText("1");  // no pair at all
  pairs = Run(test, SLOT_TWOBIT);
  ASSERT_EQ(pairs.size(), 1u);
  EXPECT_EQ(pairs[0].p, PVALUE_SHORT);
}

TEST_F(TwoBitTest, PairsAcrossWordBoundariesAndPartialWordsCount) {
  // 33 and 65 bits with every bit set: only 11 pairs, X = 4(n-1) - 2n + 1.
  for (uint32_t n : {32u, 33u, 64u, 65u, 95u}) {
    Zeros(n);
    for (uint32_t t = 0; t < n; ++t) words[t >> 5] |= 1u << (t & 31);
    words[n / 32 + 1] = 0xFFFFFFFFu;  // spare bits must not count
    TWOBIT test;
    const auto pairs = Run(test, SLOT_TWOBIT);
    ASSERT_EQ(pairs.size(), 1u) << n;
    EXPECT_NEAR(pairs[0].p, std::exp(-(2.0 * n - 3) / 2), 1e-12) << n;
  }
}

TEST_F(TwoBitTest, CountsAgreeWithBitByBitCountingAtEveryLength) {
  // The statistic from counts made bit by bit; spare bits are ones and must
  // not count.
  for (uint32_t n = 2; n <= 700; ++n) {
    Xorshift(n, n);
    uint64_t c[2][2] = {{0, 0}, {0, 0}}, ones = 0;
    for (uint32_t t = 0; t < n; ++t) {
      const uint32_t b = (words[t >> 5] >> (t & 31)) & 1u;
      ones += b;
      if (t > 0) ++c[(words[(t - 1) >> 5] >> ((t - 1) & 31)) & 1u][b];
    }
    const double n1 = double(ones), n0 = double(n - ones);
    const double x = 4.0 / double(n - 1) *
                         (double(c[0][0]) * c[0][0] + double(c[0][1]) * c[0][1] + double(c[1][0]) * c[1][0] +
                          double(c[1][1]) * c[1][1]) -
                     2.0 / double(n) * (n0 * n0 + n1 * n1) + 1;
    TWOBIT test;
    const auto pairs = Run(test, SLOT_TWOBIT);
    ASSERT_EQ(pairs.size(), 1u);
    EXPECT_NEAR(pairs[0].p, IncompleteGammaQ(1, x / 2), 1e-14) << n;
  }
}

TEST(TwoBitNullLaw, UniformOnGoodBits) {
  TWOBIT test;
  ExpectUniformNullLaw(test, SLOT_TWOBIT, 1 << 16, 300, 0x2B);
}
