#include "battery/SERIAL.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "NullLaw.h"
#include "SequenceFixture.h"
#include "SerialEntropyReference.h"
#include "battery/Distributions.h"

namespace {

class SerialTest : public SequenceFixture {
 protected:
  void SetUp() override { Grid(1, 99, 1); }
  static void Grid(int min, int max, int step) {
    serialSmin = min;
    serialSmax = max;
    serialSstp = step;
  }
  std::vector<Pair> RunSerial() {
    SERIAL test;
    return Run(test, SLOT_SERIAL);
  }
  static std::string Label(int m, int difference) {
    return "Serial " + std::to_string(m) + "_" + std::to_string(difference);
  }
};

TEST_F(SerialTest, AgreesWithExactCountsAndMpmathForEveryPatternLength) {
  // Every m from 1 to floor(log2 n) - 2, as a ring that closes mid-word
  // for n not a multiple of 32 (the spare bits are ones).
  size_t row = 0;
  while (row < std::size(SERIAL_REF)) {
    const SerialRef& first = SERIAL_REF[row];
    Xorshift(first.seed, first.n);
    const auto pairs = RunSerial();
    size_t at = 0;
    for (; row < std::size(SERIAL_REF) && SERIAL_REF[row].n == first.n; ++row) {
      const SerialRef& ref = SERIAL_REF[row];
      ASSERT_LT(at, pairs.size());
      EXPECT_EQ(pairs[at].label, Label(ref.m, 1));
      EXPECT_NEAR(pairs[at].p, ref.p1, 1e-9 * ref.p1 + 1e-14) << "n " << ref.n << " m " << ref.m;
      ++at;
      if (ref.m == 1) continue;
      ASSERT_LT(at, pairs.size());
      EXPECT_EQ(pairs[at].label, Label(ref.m, 2));
      EXPECT_NEAR(pairs[at].p, ref.p2, 1e-9 * ref.p2 + 1e-14) << "n " << ref.n << " m " << ref.m;
      ++at;
    }
    EXPECT_EQ(at, pairs.size()) << "n " << first.n;
  }
}

TEST_F(SerialTest, PublishedExamples) {
  // 0011011101: psi^2 of lengths 3, 2, 1 and 0 are 2.8, 1.2, 0.4 and 0.
  FromText("0011011101");
  EXPECT_NEAR(SerialPsi2(3), 2.8, 1e-12);
  EXPECT_NEAR(SerialPsi2(2), 1.2, 1e-12);
  EXPECT_NEAR(SerialPsi2(1), 0.4, 1e-12);
  EXPECT_EQ(SerialPsi2(0), 0.0);

  // The first 10^6 binary digits of e, m = 2.
  FILE* file = std::fopen(QV_TEST_DATA "/battery/e_1e6.bin", "rb");
  ASSERT_NE(file, nullptr);
  Zeros(1000000);
  ASSERT_EQ(std::fread(words.data(), 1, 125000, file), 125000u);
  std::fclose(file);
  Grid(2, 2, 1);
  const auto pairs = RunSerial();
  ASSERT_EQ(pairs.size(), 2u);
  EXPECT_EQ(pairs[0].label, "Serial 2_1");
  EXPECT_NEAR(pairs[0].p, 0.843764, 1e-6);
  EXPECT_EQ(pairs[1].label, "Serial 2_2");
  // The randomised p-value of the statistic's exact law; the published
  // 0.561915 is the chi-square's, within the count's atom of it.
  EXPECT_NEAR(pairs[1].p, SERIAL_E_P2, 1e-9);
  EXPECT_NEAR(pairs[1].p, 0.561915, 2e-3);
}

TEST_F(SerialTest, PatternLengthsStopAtLog2nMinus2) {
  struct Case {
    uint32_t n;
    int min, max, step;
    std::vector<std::string> labels;
  };
  const Case cases[] = {
      {7, 1, 99, 1, {}},  // limit 0
      {8, 1, 99, 1, {"Serial 1_1"}},
      {1023, 1, 99, 1, {"Serial 1_1", "Serial 2_1", "Serial 2_2", "Serial 3_1", "Serial 3_2", "Serial 4_1",
                        "Serial 4_2", "Serial 5_1", "Serial 5_2", "Serial 6_1", "Serial 6_2", "Serial 7_1",
                        "Serial 7_2"}},
      {1024, 7, 99, 1, {"Serial 7_1", "Serial 7_2", "Serial 8_1", "Serial 8_2"}},
      {4096, 2, 16, -1, {"Serial 2_1", "Serial 2_2", "Serial 4_1", "Serial 4_2", "Serial 8_1", "Serial 8_2"}},
      {4096, 3, 9, 3, {"Serial 3_1", "Serial 3_2", "Serial 6_1", "Serial 6_2", "Serial 9_1", "Serial 9_2"}},
      {4096, 11, 16, 1, {}},  // the smallest m above the limit
  };
  for (const Case& c : cases) {
    Xorshift(7, c.n);
    Grid(c.min, c.max, c.step);
    const auto pairs = RunSerial();
    std::vector<std::string> labels;
    for (const Pair& pair : pairs) {
      labels.push_back(pair.label);
      EXPECT_GE(pair.p, 0.0);
      EXPECT_LE(pair.p, 1.0);
    }
    EXPECT_EQ(labels, c.labels) << "n " << c.n;
  }
}

TEST_F(SerialTest, BalancedBitsHaveNoSingleBitExcess) {
  FromText("1100101010");  // five ones, five zeros
  EXPECT_EQ(SerialPsi2(1), 0.0);
}

TEST_F(SerialTest, AlternatingBitsFailAndThePairAcrossTheEndCounts) {
  // 0101...01: the 2-bit windows are 01 and 10, n / 2 each, the last one
  // (1 then the first 0) across the end; psi^2_2 = n, psi^2_1 = psi^2_0 = 0.
  std::string text;
  for (int i = 0; i < 50; ++i) text += "01";
  FromText(text);
  EXPECT_NEAR(SerialPsi2(2), 100.0, 1e-12);
  Grid(2, 2, 1);
  const auto pairs = RunSerial();
  ASSERT_EQ(pairs.size(), 2u);
  EXPECT_NEAR(pairs[0].p, IncompleteGammaQ(1, 50), 1e-30);
  // The second difference: the ring changes value 100 times of 100, as far
  // from 50 as only 0 changes is: P = (2 + 2) / 2^100, randomised within.
  EXPECT_GT(pairs[1].p, 0);
  EXPECT_LE(pairs[1].p, std::ldexp(4.0, -100) * (1 + 1e-12));
  EXPECT_LT(pairs[1].p, 1e-20);
}

TEST_F(SerialTest, PlainlyBadSequencesFail) {
  const uint32_t n = 1 << 14;
  Grid(2, 8, 1);
  auto worst = [&] {
    double low = 1;
    for (const Pair& pair : RunSerial()) low = std::min(low, pair.p);
    return low;
  };
  Zeros(n);  // constant
  EXPECT_LT(worst(), 1e-100);
  Xorshift(3, n);  // biased: three ones in four
  for (uint32_t i = 0; i < n / 32; ++i) words[i] |= words[i + 1] * 0x9E3779B9u;
  EXPECT_LT(worst(), 1e-100);
  Repeating(n, 0x5A, 7);  // period 7
  EXPECT_LT(worst(), 1e-100);
}

TEST_F(SerialTest, ReadsOnlyTheSequence) {
  // The same bits with spare words of zeros and of ones give the same
  // results, and the buffer is left as it was.
  for (uint32_t n : {100u, 1000u, 4099u}) {
    Xorshift(5, n);
    const std::vector<uint32_t> before = words;
    const auto withOnes = RunSerial();
    EXPECT_EQ(words, before);
    words[n / 32] &= (1u << (n % 32)) - 1;
    words[n / 32 + 1] = 0;
    const auto withZeros = RunSerial();
    ExpectSamePairs(withZeros, withOnes);
  }
}

TEST_F(SerialTest, NullLaw) {
  Grid(1, 99, 1);  // m = 1 .. 10 at n = 4096
  SERIAL test;
  const auto law = ExpectUniformNullLaw(test, SLOT_SERIAL, 4096, 400, 0x5E41A1);
  EXPECT_EQ(law.size(), 19u);
  // The second difference at m = 2 is (n - 2 J)^2 / n, J the ring's changes
  // of value: as a chi-square its p-value takes few values (1 whenever
  // J = n / 2) and repeats across sequences; the randomised exact p-value
  // does not.
  ExpectNoRepeatedPValues(law, "Serial 2_2");
}

}  // namespace
