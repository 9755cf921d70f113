#include "battery/AMLS.h"

#include <algorithm>
#include <cmath>
#include <string>

#include "AmlsLincplxReference.h"
#include "NullLaw.h"
#include "SequenceFixture.h"
#include "battery/Bits.h"
#include "battery/Distributions.h"
#include "platform/Event.h"
#include "platform/Thread.h"

namespace {

struct AmlsFixture : SequenceFixture {
  void Grid(int min, int max, int step = -1, int blkmax = 0x7FFFFFFF) {
    amlsLmin = min;
    amlsLmax = max;
    amlsLstp = step;
    amlsBlkmax = blkmax;
  }
  bool Held(const AMLS& t, uint32_t k) const { return (t.nodeFull[k >> 6] >> (k & 63)) & 1; }
  int Bit(const AMLS& t, uint32_t k) const { return (t.nodeBit[k >> 6] >> (k & 63)) & 1; }
};

}  // namespace

TEST_F(AmlsFixture, AgreesWithTheIndependentScript) {
  // Odd block counts (5, 39, 19, 9, 7, 3) ask for half-integer degrees of
  // freedom / 2.
  for (size_t i = 0; i < std::size(AMLS_REF);) {
    const AmlsRef& first = AMLS_REF[i];
    Xorshift(first.seed, first.n);
    Grid(first.lmin, first.lmax, first.lstp, first.blkmax);
    AMLS test;
    const auto pairs = Run(test, SLOT_AMLS);
    for (const Pair& p : pairs) {
      ASSERT_LT(i, std::size(AMLS_REF));
      const AmlsRef& ref = AMLS_REF[i++];
      ASSERT_EQ(ref.seed, first.seed) << p.label;
      EXPECT_EQ(p.label, "AMLS " + std::to_string(ref.L));
      EXPECT_NEAR(p.p, ref.p, 1e-9 * ref.p + 1e-13) << ref.seed << " L " << ref.L;
    }
    ASSERT_FALSE(pairs.empty());
  }
}

TEST_F(AmlsFixture, BlockCountsStopAtTheEndOfTheSequence) {
  // Zero blocks whose continuation runs into the next block, into the cap
  // one block past the block, into the end of the sequence and into an odd
  // last bit; the spare words hold ones or a mixed pattern, never read.
  for (const AmlsCountRef& ref : AMLS_COUNT_REF) {
    for (uint32_t spare : {0xFFFFFFFFu, 0x5A5A5A5Au, 0u}) {
      Zeros(ref.n);
      std::copy(ref.words, ref.words + ref.n / 32 + 1, words.begin());
      if (ref.n % 32 != 0) words[ref.n / 32] |= spare & ~((1u << (ref.n % 32)) - 1);
      words[ref.n / 32 + 1] = spare;
      Grid(ref.L, ref.L);
      AMLS test;
      test.blockBits = ref.L * 1024;
      for (int i = 0; i < ref.blocks; ++i) EXPECT_EQ(test.CountBlock(i), ref.counts[i]) << ref.name << " block " << i;
    }
  }
}

TEST_F(AmlsFixture, WholeStreamsMatchBitByBitFeeding) {
  // CountBlock hands each node its whole input at once; feeding node 1 bit
  // by bit must leave the same count and the same tree.
  for (int L : {1, 4, 32, 256}) {
    const uint32_t B = L * 1024;
    Xorshift(80 + L, 3 * B);
    Grid(L, L);
    AMLS test;
    test.blockBits = static_cast<int>(B);
    for (uint64_t i = 0; i < 2; ++i) {
      const int64_t count = test.CountBlock(i);
      const std::vector<uint64_t> full = test.nodeFull, held = test.nodeBit;
      std::fill(test.nodeFull.begin(), test.nodeFull.end(), 0);
      test.extracted = 0;
      for (uint64_t t = i * B; t < (i + 1) * B; ++t) test.FeedNode(1, ReadBit(seqBits, t));
      EXPECT_EQ(test.extracted, count) << L << " block " << i;
      for (size_t w = 0; w < B / 64; ++w) {
        ASSERT_EQ(test.nodeFull[w], full[w]) << L << " word " << w;
        ASSERT_EQ(test.nodeBit[w] & full[w], held[w] & full[w]) << L << " word " << w;
      }
    }
  }
}

TEST_F(AmlsFixture, OneBlockIsOneTermOfTheLaw) {
  Xorshift(71, 8192);
  Grid(1, 2, -1, 1);
  AMLS test;
  test.blockBits = 1024;
  const double X1 = std::pow(test.CountBlock(0) - 884.719564, 2) / 60.4156;
  test.blockBits = 2048;
  const double X2 = std::pow(test.CountBlock(0) - 1820.68385, 2) / 98.7412;
  const auto pairs = Run(test, SLOT_AMLS);
  ASSERT_EQ(pairs.size(), 2u);
  double m4, m6;
  ASSERT_TRUE(AmlsShape(1, m4, m6));
  EXPECT_DOUBLE_EQ(pairs[0].p, AmlsLaw(1, m4, m6).PValue(X1));
  ASSERT_TRUE(AmlsShape(2, m4, m6));
  EXPECT_DOUBLE_EQ(pairs[1].p, AmlsLaw(1, m4, m6).PValue(X2));
}

TEST(AmlsLawTest, FitsTheThreeCumulantsAndIsChiSquareForNormalCounts) {
  // A normal count (m4 = 3, m6 = 15) makes X chi-square with N degrees of
  // freedom; the count's own moments make a law with X's mean N, variance
  // N (m4 - 1) and third cumulant N (m6 - 3 m4 + 2).
  for (uint64_t N : {1u, 5u, 8u, 128u, 1024u, 1u << 20}) {
    const AmlsLaw normal(N, 3, 15);
    for (double z : {-1.0, 0.0, 1.5, 4.0, 10.0}) {
      const double x = N + z * std::sqrt(2.0 * N);
      EXPECT_NEAR(normal.PValue(x), IncompleteGammaQ(N / 2.0, x / 2), 1e-13) << N << " " << z;
    }
    for (int e = 0; e < 20; ++e) {
      double m4, m6;
      ASSERT_TRUE(AmlsShape(1 << e, m4, m6));
      EXPECT_GT(m4, 3) << e;  // heavier than normal, tending to it as L grows
      const AmlsLaw law(N, m4, m6);
      const double n = static_cast<double>(N);
      EXPECT_NEAR(law.a + law.b * law.nu, n, 1e-9 * n);
      EXPECT_NEAR(2 * law.b * law.b * law.nu, n * (m4 - 1), 1e-9 * n);
      EXPECT_NEAR(8 * law.b * law.b * law.b * law.nu, n * (m6 - 3 * m4 + 2), 1e-9 * n);
    }
  }
  // Below the law's lowest value (a > 0 for these moments) the p-value is 1.
  double m4, m6;
  ASSERT_TRUE(AmlsShape(1, m4, m6));
  const AmlsLaw law(1024, m4, m6);
  EXPECT_GT(law.a, 0);
  EXPECT_EQ(law.PValue(law.a / 2), 1.0);
}

TEST_F(AmlsFixture, EqualBitsPassToBothChildren) {
  Zeros(64);
  Grid(1, 1);
  AMLS test;
  test.blockBits = 1024;
  // 0, 0 at node 1: nothing extracted; node 3 and node 2 each hold a 0.
  test.extracted = 0;
  test.FeedNode(1, 0);
  test.FeedNode(1, 0);
  EXPECT_EQ(test.extracted, 0);
  EXPECT_FALSE(Held(test, 1));
  EXPECT_TRUE(Held(test, 2) && Held(test, 3));
  EXPECT_EQ(Bit(test, 2) + Bit(test, 3), 0);
  // 1, 1: node 3 meets its 0 (one bit, a 1 to node 6), node 2 meets a 0
  // with its 0 (a 0 to node 5, then a 0 to node 4).
  test.FeedNode(1, 1);
  test.FeedNode(1, 1);
  EXPECT_EQ(test.extracted, 1);
  for (uint32_t k : {1u, 2u, 3u}) EXPECT_FALSE(Held(test, k)) << k;
  for (uint32_t k : {4u, 5u, 6u}) EXPECT_TRUE(Held(test, k)) << k;
  EXPECT_EQ(Bit(test, 6), 1);
  EXPECT_EQ(Bit(test, 4) + Bit(test, 5), 0);
  // A bit sent past the last node is dropped.
  test.FeedNode(1024, 1);
  EXPECT_EQ(test.extracted, 1);
}

TEST_F(AmlsFixture, SubThreadsGiveTheRowsInGridOrder) {
  // More block lengths than sub-threads when the processors are few: the
  // pairs come out in grid order, the same every round and the same as the
  // test's own tree counting each row alone.
  Xorshift(73, 1u << 18);
  Grid(1, 128);
  AMLS test;
  EXPECT_EQ(test.lengths, (std::vector<int>{1, 2, 4, 8, 16, 32, 64, 128}));
  EXPECT_EQ(test.threadCount, std::min(test.cpuCount, 8));
  const auto first = Run(test, SLOT_AMLS);
  ASSERT_EQ(first.size(), 8u);
  for (int round = 0; round < 3; ++round) ExpectSamePairs(Run(test, SLOT_AMLS), first);
  for (size_t j = 0; j < first.size(); ++j) {
    const int L = test.lengths[j];
    EXPECT_EQ(first[j].label, "AMLS " + std::to_string(L));
    double mean, variance, m4, m6, X = 0;
    ASSERT_TRUE(AmlsMoments(L, mean, variance));
    ASSERT_TRUE(AmlsShape(L, m4, m6));
    test.blockBits = L * 1024;
    const uint64_t blocks = seqLen / test.blockBits;
    for (uint64_t i = 0; i < blocks; ++i) X += std::pow(test.CountBlock(i) - mean, 2) / variance;
    EXPECT_EQ(first[j].p, AmlsLaw(blocks, m4, m6).PValue(X)) << L;
  }
}

TEST_F(AmlsFixture, AFailedSignalGivesNoPairsAndTheNextSequenceIsWhole) {
  Xorshift(74, 1u << 17);
  Grid(1, 16);
  AMLS test;
  const auto whole = Run(test, SLOT_AMLS);
  ASSERT_EQ(whole.size(), 5u);
  // The second start signal fails while the first job may still run: the
  // sequence gives its rows short, and no later sequence takes its results.
  ExpectAFailedSignalLosesOnlyThatSequence(test, SLOT_AMLS, 1, whole);
}

TEST_F(AmlsFixture, ItsSubThreadsGiveWhatItsWorkerGivesAlone) {
  Xorshift(75, 1u << 17);
  Grid(1, 16);
  AMLS pooled;
  EXPECT_GT(pooled.SubThreads(), 0);
  ASSERT_EQ(ExpectTheSamePairsWithoutSubThreads(pooled, SLOT_AMLS).size(), 5u);
}

TEST_F(AmlsFixture, GridSkipsLengthsWithoutMoments) {
  Xorshift(72, 5 * 4096);
  Grid(1, 4, 1);  // 1, 2, 3, 4: the moments are known only for powers of two
  AMLS test;
  const auto pairs = Run(test, SLOT_AMLS);
  ASSERT_EQ(pairs.size(), 3u);
  EXPECT_EQ(pairs[0].label, "AMLS 1");
  EXPECT_EQ(pairs[1].label, "AMLS 2");
  EXPECT_EQ(pairs[2].label, "AMLS 4");
}

TEST_F(AmlsFixture, BadInputsFail) {
  // Constant zeros and ones extract nothing; "01" repeated extracts a fixed
  // count far from the mean.
  for (int kind = 0; kind < 3; ++kind) {
    Zeros(1 << 16);
    if (kind > 0) std::fill(words.begin(), words.end(), kind == 1 ? 0xFFFFFFFFu : 0xAAAAAAAAu);
    Grid(1, 8);
    AMLS test;
    const auto pairs = Run(test, SLOT_AMLS);
    ASSERT_EQ(pairs.size(), 4u);
    for (const Pair& p : pairs) EXPECT_TRUE(p.p == PVALUE_FAIL || (p.p >= 0 && p.p < 1e-10)) << kind << p.label << " " << p.p;
  }
}

TEST(AmlsNullLaw, UniformOnGoodBits) {
  amlsLmin = 1;
  amlsLmax = 16;
  amlsLstp = -1;
  amlsBlkmax = 0x7FFFFFFF;
  AMLS test;
  EXPECT_EQ(ExpectUniformNullLaw(test, SLOT_AMLS, 1 << 17, 300, 20261212).size(), 5u);
}
