#include "battery/RWDST.h"

#include <cmath>
#include <string>

#include "NullLaw.h"
#include "RandomWalkReference.h"
#include "SequenceFixture.h"

using RandomWalkDistanceTest = SequenceFixture;

TEST_F(RandomWalkDistanceTest, AgreesWithTheReference) {
  for (const auto& ref : RWDST_REF) {
    Xorshift(ref.seed, ref.n);
    RWDST test;
    EXPECT_EQ(test.walkLength, ref.walkLength) << ref.n;
    const auto pairs = Run(test, SLOT_RWDST);
    if (ref.label == nullptr) {
      EXPECT_TRUE(pairs.empty()) << ref.n;
      continue;
    }
    ASSERT_EQ(pairs.size(), 1u) << ref.n;
    EXPECT_EQ(pairs[0].label, ref.label);
    EXPECT_NEAR(pairs[0].p, ref.p, 1e-10 * ref.p + 1e-14) << ref.n;
  }
}

TEST(RandomWalkDistanceLength, DecidedExactlyInIntegers) {
  struct Case {
    uint32_t n;
    int L;
  };
  const Case cases[] = {
      {1u << 20, 14},  // 2^20 / 16 = 2^16 is not more than 2^16
      {(1u << 20) + 16, 16},
      {0xFFFFFFFFu, 26},
      {0, 0},
      {9, 0},
      {10, 2},  // 10 / 2 = 5 > 4
      {64, 2},  // 64 / 4 = 16 is not more than 2^4
      {65, 2},
      {68, 4},
      {100, 4},
  };
  for (const Case& c : cases) EXPECT_EQ(RWDST::WalkLength(c.n), c.L) << c.n;
}

TEST_F(RandomWalkDistanceTest, TheConstructorTakesTheLengthFromSeqLen) {
  for (uint32_t n : {1u << 20, 0xFFFFFFFFu}) {
    seqLen = n;
    RWDST test;
    EXPECT_EQ(test.walkLength, RWDST::WalkLength(n));
  }
  seqLen = 0;
}

TEST_F(RandomWalkDistanceTest, TooLittleDataAppendsNothing) {
  // Below 10 bits there is no walk; up to some tens of bits the walks form
  // fewer than two classes, so there is no statistic and no p-value.
  for (uint32_t n = 0; n < 10; ++n) {
    Xorshift(1, n);
    RWDST test;
    EXPECT_EQ(test.walkLength, 0);
    EXPECT_TRUE(Run(test, SLOT_RWDST).empty()) << n;
  }
  // Walks of 2 steps, expected end points 2, 0, -2 in the ratio 1 : 2 : 1.
  // Five walks: 1.25 + 2.5 + 1.25 close one class. Ten: 2.5 + 5 close one,
  // 2.5 is dropped. Fifteen: 3.75 + 7.5 close one, 3.75 is dropped.
  for (uint32_t n : {10u, 20u, 30u}) {
    Xorshift(1, n);
    RWDST test;
    EXPECT_EQ(test.walkLength, 2);
    EXPECT_TRUE(Run(test, SLOT_RWDST).empty()) << n;
  }
  // Twenty: 5, 10, 5 close three classes.
  Xorshift(1, 40);
  RWDST twenty;
  EXPECT_EQ(Run(twenty, SLOT_RWDST).size(), 1u);
  Xorshift(1, 100);
  RWDST hundred;
  const auto pairs = Run(hundred, SLOT_RWDST);
  ASSERT_EQ(pairs.size(), 1u);
  EXPECT_EQ(pairs[0].label, "RW_dst 4");
}

TEST_F(RandomWalkDistanceTest, NullLawIsUniform) {
  seqLen = 1 << 14;
  RWDST test;
  ExpectUniformNullLaw(test, SLOT_RWDST, 1 << 14, 1000, 21);
  seqLen = 1 << 20;
  RWDST longer;
  ExpectUniformNullLaw(longer, SLOT_RWDST, 1 << 20, 100, 22);
}

TEST_F(RandomWalkDistanceTest, PlainlyBadSequencesFail) {
  // Constant, periodic and biased: each fails (a chi-square too large for
  // the incomplete gamma function is reported as a failure).
  Zeros(1 << 16);
  RWDST constant;
  auto pairs = Run(constant, SLOT_RWDST);
  ASSERT_EQ(pairs.size(), 1u);
  EXPECT_TRUE(pairs[0].p == PVALUE_FAIL || (pairs[0].p >= 0 && pairs[0].p < 1e-10));

  std::string periodic;
  for (int i = 0; i < 1 << 14; ++i) periodic += "0110";
  FromText(periodic);
  RWDST alternating;
  pairs = Run(alternating, SLOT_RWDST);
  ASSERT_EQ(pairs.size(), 1u);
  EXPECT_TRUE(pairs[0].p == PVALUE_FAIL || (pairs[0].p >= 0 && pairs[0].p < 1e-10));

  Biased(777, 1 << 16, [](uint32_t x) { return (x & 15) < 9; });  // ones with probability 9/16
  RWDST biased;
  pairs = Run(biased, SLOT_RWDST);
  ASSERT_EQ(pairs.size(), 1u);
  EXPECT_GE(pairs[0].p, 0.0);
  EXPECT_LT(pairs[0].p, 1e-10);
}

TEST_F(RandomWalkDistanceTest, OnlyTheWholeWalksCount) {
  // 3276 walks of 10 bits in 32768 bits: bits 32760 .. 32767 are no walk.
  Xorshift(2463534242u, 32768);
  RWDST test;
  ASSERT_EQ(test.walkLength, 10);
  const auto before = Run(test, SLOT_RWDST);
  words[1023] ^= 0xFF000000u;
  const auto after = Run(test, SLOT_RWDST);
  ASSERT_EQ(before.size(), 1u);
  ASSERT_EQ(after.size(), 1u);
  EXPECT_EQ(before[0].p, after[0].p);
  words[1023] ^= 0x00800000u;  // bit 32759, a step of the last walk
  const auto changed = Run(test, SLOT_RWDST);
  EXPECT_NE(changed[0].p, before[0].p);
}
