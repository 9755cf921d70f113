#include "battery/SHORTBLK.h"

#include <algorithm>
#include <cmath>

#include "NullLaw.h"
#include "SequenceFixture.h"
#include "ShortBlocksWeightReference.h"
#include "battery/Distributions.h"

class ShortBlocksTest : public SequenceFixture {
 protected:
  void Grid(int smin, int smax, int sstp, int dmin, int dmax, int dstp) {
    shortBlkSmin = smin;
    shortBlkSmax = smax;
    shortBlkSstp = sstp;
    shortBlkDmin = dmin;
    shortBlkDmax = dmax;
    shortBlkDstp = dstp;
  }
  std::vector<Pair> RunOne(int S, int d) {
    Grid(S, S, 1, d, d, 1);
    SHORTBLK test;
    return Run(test, SLOT_SHORTBLK);
  }
  // Expects p within [greater, atLeast], the randomised p-value's bounds,
  // up to a relative tolerance.
  static void ExpectWithin(double p, double greater, double atLeast, double tolerance, const std::string& what) {
    EXPECT_GE(p, greater * (1 - tolerance)) << what;
    EXPECT_LE(p, atLeast * (1 + tolerance)) << what;
  }
  // The top lattice point of S-bit words, X = 0: p between the chi-square
  // law's Q at half the step (2^S / words) and 1.
  static void ExpectTopPoint(double p, int S, uint64_t words, const std::string& what) {
    const double cells = std::ldexp(1.0, S);
    EXPECT_GE(p, IncompleteGammaQ((cells - 1) / 2, cells / static_cast<double>(words) / 2)) << what;
    EXPECT_LE(p, 1.0) << what;
  }
  // Sets bit t of the sequence.
  void Set(uint64_t t) { words[t >> 5] |= 1u << (t & 31); }
  // Writes the S-bit value v as word j of the group at bit b, distance d.
  void PutWord(uint64_t b, int S, uint64_t d, uint64_t j, uint32_t v) {
    for (int r = 0; r < S; ++r)
      if ((v >> (S - 1 - r)) & 1) Set(b + j + r * d);
  }
};

TEST_F(ShortBlocksTest, AgreesWithTheReferenceScript) {
  for (const auto& ref : SHORTBLK_REF) {
    Xorshift(ref.seed, ref.n);
    const auto pairs = RunOne(ref.S, ref.d);
    ASSERT_EQ(pairs.size(), 1u) << "n " << ref.n << " S " << ref.S << " d " << ref.d;
    EXPECT_EQ(pairs[0].label, "Short blk " + std::to_string(ref.S) + "_" + std::to_string(ref.d));
    // At 2^17 - 1 degrees of freedom the incomplete gamma function itself
    // holds about nine digits.
    const double tolerance = ref.S > 16 ? 1e-8 : 1e-10;
    ExpectWithin(pairs[0].p, ref.greater, ref.atLeast, tolerance,
                 "n " + std::to_string(ref.n) + " S " + std::to_string(ref.S) + " d " + std::to_string(ref.d));
  }
}

TEST_F(ShortBlocksTest, PublishedFrequencyExamplesAsOneBitWords) {
  // The frequency (monobit) test is S = 1: 1011010101 gives p = 0.527089,
  // the first 100 bits of pi's binary expansion p = 0.109599 (the normal
  // law of the count). The randomised p-value of the count's exact binomial
  // law lies between its P(X > x) and P(X >= x), which hold the published
  // value.
  const double published[] = {0.527089, 0.109599};
  const char* texts[] = {
      "1011010101",
      "1100100100001111110110101010001000100001011010001100001000110100110001001100011001100010100010111000"};
  for (int i = 0; i < 2; ++i) {
    const PublishedBounds& b = SHORTBLK_PUBLISHED[i];
    FromText(texts[i]);
    ASSERT_EQ(seqLen, static_cast<uint32_t>(b.n));
    const auto pairs = RunOne(1, 1);
    ASSERT_EQ(pairs.size(), 1u);
    EXPECT_EQ(pairs[0].label, "Short blk 1_1");
    EXPECT_GT(published[i], b.greater);
    EXPECT_LT(published[i], b.atLeast);
    ExpectWithin(pairs[0].p, b.greater, b.atLeast, 1e-12, texts[i]);
  }
}

TEST_F(ShortBlocksTest, PublishedPokerTestExampleWithThreeBitWords) {
  // The poker test with m = 3 on 160 bits: k = 53 words counted 5, 10, 6,
  // 4, 12, 3, 6, 7 over the values 0 .. 7, X3 = 9.6415 with 7 degrees of
  // freedom, whose upper tail is 0.209815 (within the rounding of X3).
  std::string text;
  for (int i = 0; i < 4; ++i) text += "1110001100010001010011101111001001001001";
  FromText(text);
  uint32_t counts[8] = {};
  EXPECT_EQ(CountShortBlocks(seqBits, seqLen, 3, 1, counts), 53u);
  const uint32_t published[8] = {5, 10, 6, 4, 12, 3, 6, 7};
  for (int v = 0; v < 8; ++v) EXPECT_EQ(counts[v], published[v]) << v;
  // The randomised p-value spreads X's lattice point (step 16 / 53) over
  // the chi-square law's mass around it, which holds the published value.
  const auto pairs = RunOne(3, 1);
  ASSERT_EQ(pairs.size(), 1u);
  EXPECT_EQ(pairs[0].label, "Short blk 3_1");
  const PublishedBounds& b = SHORTBLK_PUBLISHED[2];
  EXPECT_GT(0.209815, b.greater);
  EXPECT_LT(0.209815, b.atLeast);
  ExpectWithin(pairs[0].p, b.greater, b.atLeast, 1e-12, "poker");
}

TEST_F(ShortBlocksTest, EveryWordEquallyOftenGivesObservedEqualToExpected) {
  // Each S-bit value five times (the least the test admits), as consecutive
  // words (d = 1) and as the strided words of larger d, in whole groups:
  // X = 0.
  for (int S : {2, 3, 5, 8, 12}) {
    for (uint64_t d : {1u, 5u, 20u, 80u}) {
      const uint64_t values = uint64_t(1) << S;
      const uint64_t total = 5 * values;  // words
      if (total % d != 0) continue;
      Zeros(static_cast<uint32_t>(total * S));
      for (uint64_t w = 0; w < total; ++w) PutWord(w / d * d * S, S, d, w % d, static_cast<uint32_t>(w % values));
      const auto pairs = RunOne(S, static_cast<int>(d));
      ASSERT_EQ(pairs.size(), 1u) << S << " " << d;
      ExpectTopPoint(pairs[0].p, S, total, "S " + std::to_string(S) + " d " + std::to_string(d));
    }
  }
}

TEST_F(ShortBlocksTest, EachWordIsCountedAsItsValueWithItsFirstBitOnTop) {
  // Words written by their definition (row r of a group holds bit S-1-r of
  // every word) must come back with the same values, for every way of
  // counting: consecutive words, small and wide strided words, partial
  // chunks of columns and groups that straddle buffer words.
  const int cases[][2] = {{2, 1}, {3, 1}, {4, 1}, {8, 1}, {13, 1}, {2, 3},  {3, 130}, {4, 64},
                          {5, 70}, {8, 200}, {9, 65}, {12, 7}, {16, 129}, {17, 3}, {25, 66}};
  for (const auto& c : cases) {
    const int S = c[0];
    const uint64_t d = static_cast<uint64_t>(c[1]);
    const uint64_t groups = 3000 / d + 1;
    const uint64_t total = groups * d;
    // Up to 11 bits past the last group, fewer than a whole group.
    Zeros(static_cast<uint32_t>(total * S + std::min<uint64_t>(11, S * d - 1)));
    std::vector<uint32_t> want(uint64_t(1) << S, 0);
    for (uint64_t w = 0; w < total; ++w) {
      const uint32_t v = static_cast<uint32_t>((w * 2654435761u + 12345u) % 4294967291u) >> (32 - S);
      PutWord(w / d * d * S, S, d, w % d, v);
      ++want[v];
    }
    std::vector<uint32_t> counts(want.size(), 0);
    EXPECT_EQ(CountShortBlocks(seqBits, seqLen, S, d, counts.data()), total) << S << " " << d;
    EXPECT_EQ(counts, want) << "S " << S << " d " << d;
  }
}

TEST_F(ShortBlocksTest, StridedWordsAreNotTheConsecutiveOnes) {
  // Every value of 4 bits twenty times as consecutive words: uniform at
  // d = 1, but read at distance 2 the words of each 8-bit group pair bits
  // of two consecutive values, which are far from uniform here.
  Zeros(16 * 20 * 4);
  for (uint64_t w = 0; w < 16 * 20; ++w) PutWord(w * 4, 4, 1, 0, static_cast<uint32_t>(w / 20));
  auto pairs = RunOne(4, 1);
  ExpectTopPoint(pairs[0].p, 4, 16 * 20, "d 1");
  pairs = RunOne(4, 2);
  ASSERT_EQ(pairs.size(), 1u);
  EXPECT_LT(pairs[0].p, 1e-20);
}

TEST_F(ShortBlocksTest, OneBitWordsOfABiasedSequenceFail) {
  // One degree of freedom: halved as a real number it is a half. (Taken as
  // an integer it would be 0 and every sequence would pass with p = 1.)
  // All zeros: no count is farther from 500, and as far only all ones,
  // so the p-value lies in (0, 2 2^-1000].
  Zeros(1000);
  auto pairs = RunOne(1, 1);
  ASSERT_EQ(pairs.size(), 1u);
  EXPECT_GT(pairs[0].p, 0.0);
  EXPECT_LE(pairs[0].p, std::ldexp(1.0, -999));

  Zeros(10000);  // 55% ones: the normal law's p-value is erfc(sqrt(50)), 1.5e-23
  for (uint32_t t = 0; t < 10000; ++t)
    if (t % 20 < 11) Set(t);
  pairs = RunOne(1, 1);
  ASSERT_EQ(pairs.size(), 1u);
  EXPECT_GT(pairs[0].p, 0.0);
  EXPECT_LT(pairs[0].p, 1e-20);
}

TEST_F(ShortBlocksTest, PeriodicSequencesFailAtEveryBlockSize) {
  // A period of 7 bits: the consecutive and the strided words repeat.
  Zeros(1 << 16);
  for (uint32_t t = 0; t < (1u << 16); ++t)
    if ((0x5Bu >> (t % 7)) & 1) Set(t);
  Grid(2, 8, 2, 1, 64, -2);
  SHORTBLK test;
  std::vector<std::string> labels;
  for (int S : {2, 4, 6, 8})
    for (int d : {1, 4, 16, 64}) labels.push_back("Short blk " + std::to_string(S) + "_" + std::to_string(d));
  ExpectRejected(Run(test, SLOT_SHORTBLK), labels);
}

TEST_F(ShortBlocksTest, TheGridsAndTheirEnds) {
  Xorshift(3, 4000);
  SHORTBLK test;
  // S = 1 is tested at the first distance only; S = 2 at every distance up
  // to n / S = 2000; S = 4 (1000 words) at d = 1000 only; S = 8 has 500
  // words, fewer than 5 x 256, and ends the walk.
  Grid(1, 31, -1, 1000, 3000, 500);
  auto pairs = Run(test, SLOT_SHORTBLK);
  std::vector<std::string> labels;
  for (const auto& p : pairs) labels.push_back(p.label);
  EXPECT_EQ(labels, (std::vector<std::string>{"Short blk 1_1000", "Short blk 2_1000", "Short blk 2_1500",
                                              "Short blk 2_2000", "Short blk 4_1000"}));

  // Too few words already at the smallest S: nothing at all.
  Grid(7, 31, 1, 1, 4, 1);  // 571 words < 640
  EXPECT_TRUE(Run(test, SLOT_SHORTBLK).empty());

  // The largest block sizes: 5 x 2^S no longer fits 32 bits, and the walk
  // must still end without counting.
  Grid(29, 31, 1, 1, 2, 1);
  EXPECT_TRUE(Run(test, SLOT_SHORTBLK).empty());

  // A first distance beyond n / S: nothing for that S.
  Grid(2, 2, 1, 2001, 3000, 1);
  EXPECT_TRUE(Run(test, SLOT_SHORTBLK).empty());
}

TEST_F(ShortBlocksTest, StridedWordsCountWholeGroupsOnly) {
  // d = 3, S = 8: 3 x floor(floor(n / 8) / 3) words, each from every third
  // bit of a 24-bit group; the bits after the last group are not read.
  Zeros(8 * 100 + 5);
  uint32_t counts[256] = {};
  EXPECT_EQ(CountShortBlocks(seqBits, seqLen, 8, 3, counts), 99u);
  EXPECT_EQ(counts[0], 99u);
  // Word 1 of group 2 (bits 49, 52, ..., 70): all ones.
  for (int r = 0; r < 8; ++r) Set(48 + 1 + 3 * r);
  // Ones after the last group (bits 792 .. 804) change nothing.
  for (uint32_t t = 792; t < 805; ++t) Set(t);
  std::fill(counts, counts + 256, 0u);
  EXPECT_EQ(CountShortBlocks(seqBits, seqLen, 8, 3, counts), 99u);
  EXPECT_EQ(counts[255], 1u);
  EXPECT_EQ(counts[0], 98u);
}

TEST_F(ShortBlocksTest, NullLawIsUniform) {
  Grid(1, 8, -1, 1, 64, -1);
  SHORTBLK test;
  const auto law = ExpectUniformNullLaw(test, SLOT_SHORTBLK, 1 << 14, 300, 0x5B0C);
  EXPECT_EQ(law.size(), 1u + 3u * 7u);  // S = 1 once; S = 2, 4, 8 at d = 1 .. 64
  // The count of ones takes a few dozen values over 300 sequences, X of
  // 256 counts of 2,048 words a lattice of step 1 / 4: randomised, no two
  // p-values are the same.
  ExpectNoRepeatedPValues(law, "Short blk 1_1");
  ExpectNoRepeatedPValues(law, "Short blk 8_1");
  ExpectNoRepeatedPValues(law, "Short blk 8_64");
}
