#include "battery/PERM.h"

#include <algorithm>
#include <cmath>
#include <set>
#include <string>

#include "NullLaw.h"
#include "PermRunsReference.h"
#include "SequenceFixture.h"
#include "battery/Bits.h"
#include "platform/Event.h"
#include "platform/Thread.h"

namespace {

void SetGrid(int smin, int smax, int sstp, int gmin, int gmax, int gstp) {
  permutationSmin = smin, permutationSmax = smax, permutationSstp = sstp;
  permutationGmin = gmin, permutationGmax = gmax, permutationGstp = gstp;
}

void SetDefaultGrid() { SetGrid(2, 32, -1, 2, 12, 1); }

// A p-value far in the tail, or a statistic too large for one.
bool Rejected(double p) { return p == PVALUE_FAIL || (p >= 0 && p < 1e-9); }

}  // namespace

using PermTest = SequenceFixture;

TEST_F(PermTest, AgreesWithTheIndependentReference) {
  for (const auto& sequence : PERM_RUNS_REF_SEQUENCES)
    for (int g = 0; g < 2; ++g) {
      const int* grid = PERM_REF_GRIDS[g];
      SetGrid(grid[0], grid[1], grid[2], grid[3], grid[4], grid[5]);
      Xorshift(sequence[0], sequence[1]);
      PERM test;
      SCOPED_TRACE("n " + std::to_string(sequence[1]) + " grid " + std::to_string(g));
      ExpectReferencePairs(Run(test, SLOT_PERM), PERM_REF, [&](const PermRunsRefPair& ref) {
        return ref.grid == g && ref.seed == sequence[0] && ref.n == sequence[1];
      });
    }
}

TEST_F(PermTest, ThePairsSplitOverSubThreadsGiveWhatOneThreadGives) {
  SetDefaultGrid();
  Xorshift(92, 1u << 18);
  PERM pooled;
  EXPECT_EQ(pooled.SubThreads(), pooled.threadCount);
  const auto pairs = ExpectTheSamePairsWithoutSubThreads(pooled, SLOT_PERM);
  ASSERT_GT(pairs.size(), 10u);
  if (pooled.threadCount == 0) return;
  ExpectAFailedSignalLosesOnlyThatSequence(pooled, SLOT_PERM, 0, pairs);
}

TEST_F(PermTest, OrderIndexNumbersEveryOrderOnceAndRejectsRepeats) {
  struct Case {
    std::vector<uint32_t> u;
    int f;
  };
  const Case cases[] = {
      {{5, 9}, 1},  {{9, 5}, 0},  {{7, 7}, -1},       {{1, 2, 2}, -1},  {{2, 1, 2}, -1},
      {{3, 1, 2, 3}, -1},         {{0xFFFFFFFFu, 0}, 0}, {{1, 2, 3}, 5}, {{3, 2, 1}, 1}, {{2, 3, 1}, 2},
  };
  for (const auto& c : cases) {
    std::vector<uint32_t> u = c.u;
    EXPECT_EQ(PermOrderIndex(u.data(), static_cast<int>(u.size())), c.f) << u.size();
  }
  // The 24 orders of four words get the indices 0 .. 23, each once.
  std::set<int> seen;
  uint32_t p[4] = {10, 20, 30, 40};
  do {
    uint32_t u[4] = {p[0], p[1], p[2], p[3]};
    seen.insert(PermOrderIndex(u, 4));
  } while (std::next_permutation(p, p + 4));
  EXPECT_EQ(seen.size(), 24u);
  EXPECT_EQ(*seen.begin(), 0);
  EXPECT_EQ(*seen.rbegin(), 23);
}

TEST_F(PermTest, NullLawIsUniform) {
  SetDefaultGrid();
  seqLen = 1 << 16;
  PERM test;
  const auto law = ExpectUniformNullLaw(test, SLOT_PERM, 1 << 16, 300, 0x5eed1277);
  EXPECT_EQ(law.size(), 18u);  // s = 2: t 2..4; s = 4, 8, 16: t 2..5; s = 32: t 2..4
}

TEST_F(PermTest, TwoWordRowsHaveNoAtoms) {
  // t = 2: the count of one order is binomial (tuples, 1/2); its
  // chi-square p-value takes few values (1 for every even split), so
  // p-values repeat. The randomised exact p-value is continuous.
  SetGrid(8, 32, -1, 2, 2, 1);
  seqLen = 8192;
  PERM test;
  const auto law = ExpectUniformNullLaw(test, SLOT_PERM, 8192, 300, 0x5eed1278);
  EXPECT_EQ(law.size(), 3u);
  for (const auto& entry : law) ExpectNoRepeatedPValues(law, entry.first);
}

TEST_F(PermTest, EveryRunGetsTheSamePairsAndShortWhereItsOwnCountIsLow) {
  // s = 4, t = 5: half the tuples hold a repeat, so the count per order
  // varies around its expectation 1248 * 0.4999 / 120 = 5.2 and falls to 5 or
  // below in some sequences. Those keep their row, with PVALUE_SHORT.
  SetGrid(4, 4, 1, 5, 5, 1);
  const uint32_t n = 4 * 6241;
  seqLen = n;
  PERM test;
  const auto law = nullrun::RunNullLaw(test, SLOT_PERM, n, 200, 99);
  ASSERT_EQ(law.size(), 1u);
  const auto& row = law.at("Permutation 4_5");
  EXPECT_EQ(row.pvalues.size() + row.shorts, 200u);
  EXPECT_GT(row.shorts, 0);
  EXPECT_GT(row.pvalues.size(), 100u);
  EXPECT_EQ(row.fails, 0);

  // One tuple fewer than needed for an expectation above 5 (1190 tuples,
  // 4.96 per order): no pair in any sequence, although some would count
  // more than 5 per order.
  EXPECT_LE(PermExpectedPerOrder(5951, 4, 5), 5);
  EXPECT_GT(PermExpectedPerOrder(6241, 4, 5), 5);
  PERM shorter;
  EXPECT_TRUE(nullrun::RunNullLaw(shorter, SLOT_PERM, 4 * 5951, 100, 99).empty());
}

TEST_F(PermTest, ConstantAndPeriodicWordsFailUnderEveryLabel) {
  // 2^20 bits promise thousands of tuples per order in every default row.
  // A constant sequence has a repeat in every tuple; a period of 24 bits
  // leaves three distinct bytes, half-words and words, and few 2- and
  // 4-bit ones: the usable tuples are far too few, or all alike.
  SetDefaultGrid();
  Xorshift(5, 1 << 20);
  PERM test;
  const auto labels = Labels(Run(test, SLOT_PERM));
  EXPECT_EQ(labels.size(), 23u);
  Zeros(1 << 20);
  ExpectRejected(Run(test, SLOT_PERM), labels, 1e-9);
  std::fill(words.begin(), words.end(), 0xFFFFFFFFu);
  ExpectRejected(Run(test, SLOT_PERM), labels, 1e-9);
  Repeating(1 << 20, 0xA5C3F1, 24);
  ExpectRejected(Run(test, SLOT_PERM), labels, 1e-9);
}

TEST_F(PermTest, ACounterFailsEveryOrder) {
  // Stored bytes 0, 1, 2, ..., 255, 0, 1, ...: nearly every tuple of bytes,
  // half-words and words ascends.
  SetGrid(8, 32, -1, 2, 3, 1);
  Zeros(1 << 16);
  for (uint32_t i = 0; i < (1u << 11); ++i)
    words[i] = ((4 * i) & 255) | ((4 * i + 1) & 255) << 8 | ((4 * i + 2) & 255) << 16 | ((4 * i + 3) & 255) << 24;
  PERM test;
  const auto pairs = Run(test, SLOT_PERM);
  ASSERT_EQ(pairs.size(), 6u);  // s = 8, 16, 32 with t = 2, 3
  for (const auto& pair : pairs) EXPECT_TRUE(Rejected(pair.p)) << pair.label << " " << pair.p;
}

TEST_F(PermTest, TheLastWordNeverTakesPartAndTwoWordsHaveOneDegreeOfFreedom) {
  // 24 words, t = 2: floor(23 / 2) = 11 tuples from words 0 .. 21, each
  // ascending; the whole tuple 22, 23 is left out. Two orders: the count
  // is binomial (11, 1/2) and none as far from 5.5 as 0 or 11 is farther,
  // so the randomised p-value is U P(0 or 11) = U 2^-10, U in (0, 1) from
  // the sequence's bits (the chi-square's erfc(sqrt(5.5)) = 9.3e-4 is
  // larger).
  SetGrid(32, 32, 1, 2, 2, 1);
  Zeros(24 * 32);
  for (uint32_t i = 0; i < 22; ++i) words[i] = (i % 2 == 0) ? 100 + i : 1000 + i;
  words[22] = 7;
  words[23] = 3;
  PERM test;
  auto pairs = Run(test, SLOT_PERM);
  ASSERT_EQ(pairs.size(), 1u);
  EXPECT_EQ(pairs[0].label, "Permutation 32_2");
  EXPECT_GT(pairs[0].p, 0);
  EXPECT_LE(pairs[0].p, std::ldexp(1.0, -10));
  // With 22 words the expectation is 10 / 2 = 5: no pair.
  Zeros(22 * 32);
  EXPECT_TRUE(Run(test, SLOT_PERM).empty());
}

TEST_F(PermTest, BytesAndHalfWordsAreReadAsStored) {
  // Bytes 0x01, 0x80 repeated: as stored the second is the larger (every
  // tuple of two ascends); read most significant bit first (s = 7 and 9
  // see other words) they would not be all alike. Likewise for half-words.
  SetGrid(8, 8, 1, 2, 2, 1);
  Zeros(64 * 8);
  for (int i = 0; i < 16; ++i) words[i] = 0x80018001u;  // bytes 01 80 01 80
  PERM test;
  auto pairs = Run(test, SLOT_PERM);
  ASSERT_EQ(pairs.size(), 1u);
  // 31 tuples, all ascending: U P(0 or 31 of binomial (31, 1/2)) = U 2^-30.
  EXPECT_GT(pairs[0].p, 0);
  EXPECT_LE(pairs[0].p, std::ldexp(1.0, -30));

  SetGrid(16, 16, 1, 2, 2, 1);
  Zeros(64 * 16);
  for (int i = 0; i < 32; ++i) words[i] = 0x00020001u;  // half-words 1, 2
  pairs = Run(test, SLOT_PERM);
  ASSERT_EQ(pairs.size(), 1u);
  EXPECT_GT(pairs[0].p, 0);
  EXPECT_LE(pairs[0].p, std::ldexp(1.0, -30));

  // s = 7: the same bits read most significant bit first: 01 80 01 80 is
  // bit string 10000000 00000001 ..., whose 7-bit words are 64, 0, 2, 0, 32 ...
  SetGrid(7, 7, 1, 2, 2, 1);
  Zeros(64 * 8);
  for (int i = 0; i < 16; ++i) words[i] = 0x80018001u;
  EXPECT_EQ(ReadBits(words.data(), 0, 7), 64u);
  EXPECT_EQ(ReadBits(words.data(), 7, 7), 0u);
  pairs = Run(test, SLOT_PERM);
  for (const auto& pair : pairs) EXPECT_GT(pair.p, std::ldexp(1.0, -30));
}

TEST_F(PermTest, ShortSequencesAndSmallWordsGiveNoPair) {
  SetDefaultGrid();
  for (uint32_t n : {0u, 1u, 31u, 39u}) {  // s = 2 needs 20 words for t = 2
    Xorshift(9, n);
    PERM test;
    EXPECT_TRUE(Run(test, SLOT_PERM).empty()) << n;
  }
  // s = 2 has four values: no t >= 5 ever gives a pair.
  SetGrid(2, 2, 1, 5, 8, 1);
  Xorshift(9, 1 << 22);
  PERM test;
  EXPECT_TRUE(Run(test, SLOT_PERM).empty());
}
