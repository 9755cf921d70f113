#include "battery/OET.h"

#include <cmath>
#include <cstdio>
#include <string>

#include "NullLaw.h"
#include "SequenceFixture.h"
#include "SerialEntropyReference.h"
#include "battery/Distributions.h"

namespace {

class OetTest : public SequenceFixture {
 protected:
  static void Grid(int min, int max, int step) {
    oetSmin = min;
    oetSmax = max;
    oetSstp = step;
  }
  std::vector<Pair> RunOet() {
    OET test;
    return Run(test, SLOT_OET);
  }
};

TEST_F(OetTest, AgreesWithExactCountsAndMpmathForEveryBlockLength) {
  // Every m from 1 to the engine's bound 0.963 ln n - 1.63, as a ring that
  // closes mid-word for n not a multiple of 32 (the spare bits are ones).
  size_t row = 0;
  while (row < std::size(OET_REF)) {
    const uint32_t n = OET_REF[row].n;
    Xorshift(OET_REF[row].seed, n);
    Grid(1, static_cast<int>(0.963 * std::log(double(n)) - 1.63), 1);
    const auto pairs = RunOet();
    size_t at = 0;
    for (; row < std::size(OET_REF) && OET_REF[row].n == n; ++row, ++at) {
      const OetRef& ref = OET_REF[row];
      ASSERT_LT(at, pairs.size());
      EXPECT_EQ(pairs[at].label, "OET " + std::to_string(ref.m));
      EXPECT_NEAR(pairs[at].p, ref.p, 1e-9 * ref.p + 1e-14) << "n " << n << " m " << ref.m;
    }
    EXPECT_EQ(at, pairs.size()) << "n " << n;
  }
}

TEST_F(OetTest, PublishedExamples) {
  struct Case {
    std::string bits;
    int m;
    double p;
  };
  const Case cases[] = {
      {"0100110101", 3, 0.261961},  // shorter than the engine admits; the statistic alone
      {"11001001000011111101101010100010001000010110100011"
       "00001000110100110001001100011001100010100010111000",
       2, 0.235301},  // 100 bits of pi
  };
  for (const Case& c : cases) {
    FromText(c.bits);
    Grid(c.m, c.m, 1);
    const auto pairs = RunOet();
    ASSERT_EQ(pairs.size(), 1u);
    EXPECT_EQ(pairs[0].label, "OET " + std::to_string(c.m));
    EXPECT_NEAR(pairs[0].p, c.p, 1e-6) << c.bits;
  }

  // The first 10^6 binary digits of e, m = 10.
  FILE* file = std::fopen(QV_TEST_DATA "/battery/e_1e6.bin", "rb");
  ASSERT_NE(file, nullptr);
  Zeros(1000000);
  ASSERT_EQ(std::fread(words.data(), 1, 125000, file), 125000u);
  std::fclose(file);
  Grid(10, 10, 1);
  const auto pairs = RunOet();
  ASSERT_EQ(pairs.size(), 1u);
  EXPECT_NEAR(pairs[0].p, 0.700073, 1e-6);
}

TEST_F(OetTest, GridWalk) {
  Xorshift(9, 1 << 20);
  Grid(2, 11, -1);  // 11 is the engine's bound at 2^20 bits
  std::vector<std::string> labels;
  for (const Pair& pair : RunOet()) labels.push_back(pair.label);
  EXPECT_EQ(labels, (std::vector<std::string>{"OET 2", "OET 4", "OET 8"}));
  Grid(3, 11, 4);
  labels.clear();
  for (const Pair& pair : RunOet()) labels.push_back(pair.label);
  EXPECT_EQ(labels, (std::vector<std::string>{"OET 3", "OET 7", "OET 11"}));
}

TEST_F(OetTest, AllZerosHaveNoEntropyAndFail) {
  // One pattern of each length: ApEn = 0, chi^2 = 2 n ln 2.
  for (uint32_t n : {64u, 100u, 1000u}) {
    Zeros(n);
    Grid(1, 2, 1);
    const auto pairs = RunOet();
    ASSERT_EQ(pairs.size(), 2u);
    for (int m = 1; m <= 2; ++m)
      EXPECT_NEAR(pairs[m - 1].p, IncompleteGammaQ(std::ldexp(1.0, m - 1), n * std::log(2.0)), 1e-25) << n;
  }
  EXPECT_LT(IncompleteGammaQ(1, 1000 * std::log(2.0)), 1e-200);
}

TEST_F(OetTest, PlainlyBadSequencesFail) {
  const uint32_t n = 1 << 14;
  Grid(2, 7, 1);
  auto worst = [&] {
    double low = 1;
    for (const Pair& pair : RunOet()) low = std::min(low, pair.p);
    return low;
  };
  Xorshift(3, n);  // biased: three ones in four
  for (uint32_t i = 0; i < n / 32; ++i) words[i] |= words[i + 1] * 0x9E3779B9u;
  EXPECT_LT(worst(), 1e-100);
  Repeating(n, 0x5A, 7);  // period 7
  EXPECT_LT(worst(), 1e-100);
}

TEST_F(OetTest, NeverWritesTheBufferAndReadsOnlyTheSequence) {
  // The windows that run past the end continue at bit 0 without a copy in
  // the spare bits: the buffer is left exactly as it was (other tests read
  // it at the same time), and what the spare bits hold does not matter.
  for (uint32_t n : {64u, 100u, 1000u, 4099u}) {
    Xorshift(5, n);
    Grid(1, 5, 1);
    const std::vector<uint32_t> before = words;
    const auto withOnes = RunOet();
    EXPECT_EQ(words, before) << n;
    if (n % 32 != 0) words[n / 32] &= (1u << (n % 32)) - 1;
    words[n / 32 + 1] = 0;
    const std::vector<uint32_t> zeroed = words;
    const auto withZeros = RunOet();
    EXPECT_EQ(words, zeroed) << n;
    ExpectSamePairs(withZeros, withOnes);
  }
}

TEST(OetChiSquare, CountsBeyondTwoToThe31) {
  // m = 1 over n = 4 * 10^9 windows: prefix counts of 3 * 10^9 and 10^9.
  const uint64_t counts[4] = {2500000000u, 500000000u, 250000000u, 750000000u};
  const double want = 2 * (2.5e9 * std::log(5.0 / 3) + 0.5e9 * std::log(1.0 / 3) + 0.25e9 * std::log(0.5) +
                           0.75e9 * std::log(1.5));
  EXPECT_NEAR(OetChiSquare(counts, 1), want, 1e-12 * want);
  // The all-zero sequence of 2^32 - 1 bits: 2 n ln 2.
  const uint64_t zeros[4] = {4294967295u, 0, 0, 0};
  EXPECT_NEAR(OetChiSquare(zeros, 1), 2 * 4294967295.0 * std::log(2.0), 1e-3);
}

TEST_F(OetTest, NullLaw) {
  Grid(1, 6, 1);  // the engine's bound at 4096 bits
  OET test;
  const auto law = ExpectUniformNullLaw(test, SLOT_OET, 4096, 400, 0x0E7A11);
  EXPECT_EQ(law.size(), 6u);
}

}  // namespace
