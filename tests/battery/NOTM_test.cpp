#include "battery/NOTM.h"

#include <cmath>
#include <cstdio>
#include <string>

#include "battery/Bits.h"
#include "battery/Distributions.h"

#include "NullLaw.h"
#include "SequenceFixture.h"
#include "NotmCountLawReference.h"
#include "TemplateReference.h"

class NotmTest : public SequenceFixture {
 protected:
  void Params(int smin, int smax, int sstp, int templ) {
    notmSmin = smin;
    notmSmax = smax;
    notmSstp = sstp;
    notmTempl = templ;
  }
  void Defaults() { Params(2, 31, -1, 4); }
  void LoadE(uint32_t n) {
    // The first n of the 10^6 binary digits of e (n a multiple of 8).
    FILE* file = std::fopen(QV_TEST_DATA "/battery/e_1e6.bin", "rb");
    ASSERT_NE(file, nullptr);
    Zeros(n);
    ASSERT_EQ(std::fread(words.data(), 1, (n + 7) / 8, file), (n + 7) / 8);
    std::fclose(file);
  }
  std::vector<Pair> RunNotm() {
    NOTM test;
    return Run(test, SLOT_NOTM);
  }
  static bool Fails(double p) { return (p >= 0 && p < 1e-9) || p == PVALUE_FAIL; }
};

TEST_F(NotmTest, AgreesWithMpmathOnEAndXorshiftSequences) {
  for (const NotmRef& ref : NOTM_REF) {
    if (std::string(ref.source) == "e") LoadE(ref.n);
    else Xorshift(ref.seed, ref.n);
    Params(ref.smin, ref.smax, ref.sstp, ref.templ);
    const auto pairs = RunNotm();
    ASSERT_EQ(pairs.size(), static_cast<size_t>(ref.count)) << ref.source << " " << ref.n;
    for (int i = 0; i < ref.count; ++i) {
      // Within the atom of chi2's lattice value, as is the plain chi-square
      // p-value.
      const NotmPair& want = ref.pairs[i];
      EXPECT_EQ(pairs[i].label, want.label);
      EXPECT_LE(want.beyond, want.p);
      EXPECT_LE(want.p, want.atLeast);
      EXPECT_GE(pairs[i].p, want.beyond * (1 - 1e-10) - 1e-14) << want.label;
      EXPECT_LE(pairs[i].p, want.atLeast * (1 + 1e-10) + 1e-14) << want.label;
    }
  }
}

TEST_F(NotmTest, PublishedExamples) {
  // 10100100101110010110 with B = 001, two blocks of ten bits: W = 2, 1,
  // chi2 = 2.133333, p = 0.344154.
  FromText("10100100101110010110");
  const uint32_t templ = 1;
  uint32_t counts[2];
  std::vector<uint32_t> lookup;
  CountTemplates(seqBits, 2, 10, 3, &templ, 1, counts, lookup);
  EXPECT_EQ(counts[0], 2u);
  EXPECT_EQ(counts[1], 1u);
  EXPECT_NEAR(NotmPValue(counts, 2, 1, 10, 3), 0.344154, 1e-6);
  // The randomised p-value spans chi2's atom, which holds the published
  // value: 2^6 var chi2 = (8 W - 8)^2 summed, on a lattice of step 64, so
  // chi2 moves by 64 / (64 var) = 1 / var = 2.1333 from one value to the next.
  const double var = 8 * (1 / 8.0 - 5 / 64.0) + 6 / 64.0;
  EXPECT_NEAR(NotmLatticeStep(10, 3), 1 / var, 1e-14);
  const double beyond = NotmRandomisedPValue(counts, 2, 1, 10, 3, 0.0);
  const double atLeast = NotmRandomisedPValue(counts, 2, 1, 10, 3, 1.0);
  EXPECT_NEAR(beyond, IncompleteGammaQ(1.0, (2.133333 + 0.5 / var) / 2), 1e-6);
  EXPECT_NEAR(atLeast, IncompleteGammaQ(1.0, (2.133333 - 0.5 / var) / 2), 1e-6);
  EXPECT_LT(beyond, 0.344154);
  EXPECT_GT(atLeast, 0.344154);
  const double middle = NotmRandomisedPValue(counts, 2, 1, 10, 3, 0.25);
  EXPECT_NEAR(middle, beyond + 0.25 * (atLeast - beyond), 1e-15);
}

TEST_F(NotmTest, OddBlockCountsKeepHalfDegrees) {
  // Three blocks: the law is chi-square with 3 degrees of freedom, Q(1.5, .).
  const uint32_t w[3] = {3, 7, 4};  // M = 4096, m = 10: mean 3.9912, variance 3.9172
  const double mean = (4096 - 10 + 1) / 1024.0, var = 4087 * (1 / 1024.0 - 19 / 1048576.0) + 90 / 1048576.0;
  double chi2 = 0;
  for (uint32_t x : w) chi2 += (x - mean) * (x - mean) / var;
  const double p = NotmPValue(w, 3, 1, 4096, 10);
  EXPECT_NEAR(p, IncompleteGammaQ(1.5, chi2 / 2), 1e-14);
  // Halved in integers the law would be that of 2 degrees of freedom.
  EXPECT_GT(std::fabs(p - IncompleteGammaQ(1.0, chi2 / 2)), 0.1);
}

TEST(NotmLaw, ScalesByTheCountsExactVariance) {
  // The exact mean and variance of an aperiodic template's count in a
  // block, by dynamic programming over its matching automaton
  // (tools/reference/notm_count_law.py). With M in place of the M - m + 1
  // windows and no correction term the variance is off by up to 9 % here
  // (0.1 % at the default 2^20 bits, which bends a thousand blocks' p-values
  // by 0.0085).
  for (const auto& ref : NOTM_COUNT_LAW_REF) {
    const uint32_t w[4] = {0, static_cast<uint32_t>(ref.mean), static_cast<uint32_t>(ref.mean) + 1,
                           static_cast<uint32_t>(ref.mean + 2 * std::sqrt(ref.variance)) + 1};
    double chi2 = 0;
    for (uint32_t x : w) chi2 += (x - ref.mean) * (x - ref.mean) / ref.variance;
    const double want = IncompleteGammaQ(2.0, chi2 / 2);
    EXPECT_NEAR(NotmPValue(w, 4, 1, ref.M, ref.m), want, 1e-12 * want) << "m " << ref.m << " M " << ref.M;
  }
}

TEST_F(NotmTest, CountingAgreesWithAPlainScanForFewAndManyTemplatesShortAndLong) {
  // Blocks of random bits in which the first templates are planted here and
  // there; every path of the counting (compared lanes, table, binary search)
  // against a scan of every start.
  struct Case {
    int m;
    uint32_t count;
  };
  const Case cases[] = {{3, 1}, {7, 8}, {7, 40}, {12, 100}, {20, 9}, {21, 9}, {21, 200}, {31, 12}};
  std::vector<uint32_t> lookup;
  for (const Case& c : cases) {
    const uint32_t blocks = 3;
    const uint64_t M = 9000;
    Xorshift(static_cast<uint32_t>(c.m * 1000 + c.count), blocks * M + 50);
    NOTM generator;
    generator.templateStride = 1;
    generator.strideCounter = 1;
    std::vector<uint32_t> templates;
    for (uint32_t t = 0; t < c.count; ++t) templates.push_back(NextAperiodicTemplate(generator, c.m));
    nullrun::SplitMix64 gen(c.m);
    for (int k = 0; k < 60; ++k) {
      const uint32_t v = templates[gen.Next() % c.count];
      const uint64_t at = gen.Next() % (blocks * M - c.m);
      for (int j = 0; j < c.m; ++j) {
        const uint64_t t = at + j;
        words[t >> 5] = (words[t >> 5] & ~(1u << (t & 31))) | (((v >> (c.m - 1 - j)) & 1u) << (t & 31));
      }
    }
    std::vector<uint32_t> counts(blocks * c.count);
    CountTemplates(seqBits, blocks, M, c.m, templates.data(), c.count, counts.data(), lookup);
    uint32_t total = 0;
    for (uint32_t w = 0; w < blocks; ++w)
      for (uint32_t t = 0; t < c.count; ++t) {
        uint32_t expect = 0;
        for (uint64_t k = 0; k + c.m <= M; ++k) expect += ReadBits(seqBits, w * M + k, c.m) == templates[t];
        EXPECT_EQ(counts[w * c.count + t], expect) << c.m << " " << c.count << " " << w << " " << t;
        total += expect;
      }
    EXPECT_GT(total, 40u) << c.m;
    for (uint32_t x : lookup) ASSERT_EQ(x, 0u);
  }
}

TEST_F(NotmTest, BlocksEndingAtTheLastBitCountNoSpareBit) {
  // The last block ends at the sequence's last bit and the spare bits are
  // ones (Xorshift sets them): every count as a scan of the starts within
  // the blocks finds it, for short and long templates.
  std::vector<uint32_t> lookup;
  for (int m : {2, 3, 5, 9}) {
    const uint32_t blocks = 3;
    const uint64_t M = 1000 + 37 * m;
    Xorshift(static_cast<uint32_t>(m), static_cast<uint32_t>(blocks * M));
    const std::vector<uint32_t> templates = m == 2 ? std::vector<uint32_t>{1, 2} : std::vector<uint32_t>{1, 3};
    const uint32_t count = static_cast<uint32_t>(templates.size());
    std::vector<uint32_t> counts(blocks * count);
    CountTemplates(seqBits, blocks, M, m, templates.data(), count, counts.data(), lookup);
    for (uint32_t w = 0; w < blocks; ++w)
      for (uint32_t t = 0; t < count; ++t) {
        uint32_t expect = 0;
        for (uint64_t k = 0; k + m <= M; ++k) expect += ReadBits(seqBits, w * M + k, m) == templates[t];
        EXPECT_EQ(counts[w * count + t], expect) << m << " " << w << " " << t;
      }
  }
}

TEST(NotmTemplates, AperiodicCountsAgreeWithBruteForceAndTheRecurrence) {
  for (int m = 2; m <= 20; ++m) EXPECT_EQ(APERIODIC_COUNT[m], APERIODIC_BRUTE[m - 2]) << m;
  for (int m = 3; m <= 31; ++m) {
    const uint32_t expect = 2 * APERIODIC_COUNT[m - 1] - (m % 2 == 0 ? APERIODIC_COUNT[m / 2] : 0);
    EXPECT_EQ(APERIODIC_COUNT[m], expect) << m;
  }
  for (int m = 2; m <= 16; ++m) {
    uint32_t count = 0;
    for (uint32_t v = 0; v < (1u << m); ++v) count += IsAperiodic(v, m);
    EXPECT_EQ(count, APERIODIC_COUNT[m]) << m;
  }
  EXPECT_TRUE(IsAperiodic(0b001, 3));
  EXPECT_FALSE(IsAperiodic(0b101, 3));
  EXPECT_FALSE(IsAperiodic(0b1011, 4));   // border "1"
  EXPECT_FALSE(IsAperiodic(0b100100, 6)); // border "100"
}

TEST(NotmTemplates, GeneratorTakesEveryStrideThRank) {
  NOTM test;
  test.templateStride = 148 / 4;
  test.strideCounter = test.templateStride;
  test.candidate = 0;
  EXPECT_EQ(test.templateStride, 37u);
  const uint32_t expect[4] = {0x1, 0x55, 0x100, 0x1AC};
  for (uint32_t v : expect) EXPECT_EQ(NextAperiodicTemplate(test, 9), v);
}

TEST_F(NotmTest, TemplateCountsAndLabels) {
  struct Case {
    int m, templ;
    std::vector<std::string> labels;
  };
  const Case cases[] = {
      {2, 1, {"NOTM 2_1"}},
      {2, 4, {"NOTM 2_1", "NOTM 2_2"}},
      {2, 0, {"NOTM 2_1", "NOTM 2_2"}},
      {9, 4, {"NOTM 9_1", "NOTM 9_55", "NOTM 9_100", "NOTM 9_1AC"}},
      {4, 6, {"NOTM 4_1", "NOTM 4_3", "NOTM 4_7", "NOTM 4_8", "NOTM 4_C", "NOTM 4_E"}},
      {4, 999, {"NOTM 4_1", "NOTM 4_3", "NOTM 4_7", "NOTM 4_8", "NOTM 4_C", "NOTM 4_E"}},
      {4, 0, {"NOTM 4_1", "NOTM 4_3", "NOTM 4_7", "NOTM 4_8", "NOTM 4_C", "NOTM 4_E"}},
  };
  Xorshift(11, 100000);
  for (const Case& c : cases) {
    Params(c.m, c.m, 1, c.templ);
    const auto pairs = RunNotm();
    ASSERT_EQ(pairs.size(), c.labels.size()) << c.m << " " << c.templ;
    for (size_t i = 0; i < pairs.size(); ++i) {
      EXPECT_EQ(pairs[i].label, c.labels[i]);
      EXPECT_GE(pairs[i].p, 0.0);
      EXPECT_LE(pairs[i].p, 1.0);
    }
  }
}

TEST(NotmBlocks, BlockCountStaysWithinThreeToAThousand) {
  EXPECT_EQ(NotmBlockCount(100, 2), 3u);
  EXPECT_EQ(NotmBlockCount(1u << 20, 16), 3u);
  EXPECT_EQ(NotmBlockCount(1000000, 9), 19u);
  EXPECT_EQ(NotmBlockCount(401 * 57, 2), 57u);
  EXPECT_EQ(NotmBlockCount(401 * 1000, 2), 1000u);
  EXPECT_EQ(NotmBlockCount(0xFFFFFFFFu, 2), 1000u);
  EXPECT_EQ(NotmBlockCount(0xFFFFFFFFu, 31), 3u);
}

TEST_F(NotmTest, TheWalkEndsWhereBlocksExpectFewerThanThirtyOccurrences) {
  // 1000 bits, m = 8: three blocks of 333 bits expect 1.27 occurrences.
  Xorshift(5, 1000);
  Params(8, 16, 1, 4);
  EXPECT_TRUE(RunNotm().empty());
  // 100000 bits in three blocks: m = 10 expects 32.5, m = 11 16.3; nothing
  // past 10.
  Xorshift(5, 100000);
  Params(9, 20, 1, 1);
  auto pairs = RunNotm();
  ASSERT_EQ(pairs.size(), 2u);
  EXPECT_EQ(pairs[0].label, "NOTM 9_1");
  EXPECT_EQ(pairs[1].label, "NOTM 10_1");
  // 2^20 bits: the default grid ends before m = 16 (mean 5.3); 2^23 bits
  // reach it (mean 42.7).
  Defaults();
  Xorshift(5, 1u << 20);
  pairs = RunNotm();
  ASSERT_EQ(pairs.size(), 10u);
  EXPECT_EQ(pairs.back().label, "NOTM 8_D2");
  Xorshift(5, 1u << 23);
  pairs = RunNotm();
  ASSERT_EQ(pairs.size(), 14u);
  EXPECT_EQ(pairs.back().label, "NOTM 16_D77C");
  // Too short for every m: nothing, also for a one-bit sequence.
  Xorshift(5, 1);
  Params(2, 31, 1, 0);
  EXPECT_TRUE(RunNotm().empty());
}

TEST_F(NotmTest, ConstantAndBiasedSequencesFail) {
  Defaults();
  Zeros(1u << 20);
  auto pairs = RunNotm();
  ASSERT_EQ(pairs.size(), 10u);
  for (const Pair& pair : pairs) EXPECT_TRUE(Fails(pair.p)) << pair.label << " " << pair.p;

  // Bits that are 1 with probability 3/8.
  Zeros(1u << 20);
  nullrun::SplitMix64 gen(3);
  for (uint32_t t = 0; t < seqLen; t += 16) {
    const uint64_t r = gen.Next();
    for (int j = 0; j < 16; ++j)
      if (((r >> (4 * j)) & 15) < 6) words[(t + j) >> 5] |= 1u << ((t + j) & 31);
  }
  pairs = RunNotm();
  ASSERT_EQ(pairs.size(), 10u);
  EXPECT_TRUE(Fails(pairs[0].p)) << pairs[0].p;  // 01 on 2 bits
  EXPECT_TRUE(Fails(pairs[2].p)) << pairs[2].p;  // 0001 on 4 bits
}

TEST_F(NotmTest, NullLawOfTheDefaultGrid) {
  Defaults();
  NOTM test;
  const auto law = ExpectUniformNullLaw(test, SLOT_NOTM, 1u << 20, 300, 0x5EED);
  EXPECT_EQ(law.size(), 10u);
}

TEST_F(NotmTest, NullLawWithManyTemplatesAndOddBlockCounts) {
  // m = 3, 5, 7 with all templates: 4 + 12 + 40 labels, 3 to 40 blocks.
  Params(3, 7, 2, 0);
  NOTM test;
  const auto law = ExpectUniformNullLaw(test, SLOT_NOTM, 40000, 300, 0xAB);
  EXPECT_EQ(law.size(), 56u);
}
