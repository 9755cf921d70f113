#include "battery/BLKGAP.h"

#include <cmath>
#include <string>

#include "BlkGapReference.h"
#include "NullLaw.h"
#include "SequenceFixture.h"

using BlkGapTest = SequenceFixture;

TEST_F(BlkGapTest, AgreesWithTheReferenceScript) {
  for (const auto& ref : BLKGAP_REF) {
    Xorshift(ref.seed, ref.n);
    EXPECT_EQ(RunLengthClasses(ref.n), ref.K);
    uint64_t blocks[BLKGAP_MAX_CLASSES + 1], gaps[BLKGAP_MAX_CLASSES + 1];
    CountRunLengths(seqBits, ref.n, ref.K, blocks, gaps);
    uint64_t b = 0, g = 0;
    for (int j = 1; j <= ref.K; ++j) b += blocks[j], g += gaps[j];
    EXPECT_EQ(b, ref.blocks) << ref.n;
    EXPECT_EQ(g, ref.gaps) << ref.n;
    BLKGAP test;
    const auto pairs = Run(test, SLOT_BLKGAP);
    ASSERT_EQ(pairs.size(), 2u);
    EXPECT_EQ(pairs[0].label, "BlkGap BLK");
    EXPECT_EQ(pairs[1].label, "BlkGap GAP");
    EXPECT_NEAR(pairs[0].p, ref.blkP, 1e-10 * ref.blkP) << ref.n;
    EXPECT_NEAR(pairs[1].p, ref.gapP, 1e-10 * ref.gapP) << ref.n;
  }
}

TEST(BlkGapClasses, SmallestKWhoseExpectedCountFallsBelowFive) {
  const struct {
    uint64_t n;
    int K;
  } cases[] = {{1, 2}, {78, 2}, {79, 3}, {100, 3}, {65536, 12},
               // (2^32 + 2 - k) / 2^(k + 2) first drops below 5 at k = 28; in
               // 32-bit arithmetic n + 1 would wrap to 0 and give 2.
               {4294967295u, 28}};
  for (const auto& c : cases) EXPECT_EQ(RunLengthClasses(c.n), c.K) << c.n;
}

// The histograms of a sequence given as text: {blocks[1..K]}, {gaps[1..K]}.
struct HistogramCase {
  std::string bits;
  int K;
  std::vector<uint64_t> blocks, gaps;
};

TEST_F(BlkGapTest, CountsOnlyRunsTheOtherValueEndsInsideTheSequence) {
  const std::string alternating = [] {
    std::string s;
    for (int i = 0; i < 20; ++i) s += "01";
    return s;
  }();
  const HistogramCase cases[] = {
      // The first run counts though it may have begun before bit 0; the
      // final run of ones reaches the last bit and is dropped.
      {"1101000111", 3, {0, 1, 1, 0}, {0, 1, 0, 1}},
      // A final run of zeros is dropped likewise.
      {"0111011000", 3, {0, 0, 1, 1}, {0, 2, 0, 0}},
      // 0101...01: n/2 - 1 blocks and n/2 gaps, all of length 1.
      {alternating, 2, {0, 19, 0}, {0, 20, 0}},
      // Runs longer than K pool in class K.
      {"1111111100000000011", 4, {0, 0, 0, 0, 1}, {0, 0, 0, 0, 1}},
      // All zeros: the single run reaches the last bit.
      {"0000000000", 3, {0, 0, 0, 0}, {0, 0, 0, 0}},
      {"1", 2, {0, 0, 0}, {0, 0, 0}},
  };
  for (const auto& c : cases) {
    FromText(c.bits);
    uint64_t blocks[BLKGAP_MAX_CLASSES + 1], gaps[BLKGAP_MAX_CLASSES + 1];
    CountRunLengths(seqBits, seqLen, c.K, blocks, gaps);
    for (int j = 1; j <= c.K; ++j) {
      EXPECT_EQ(blocks[j], c.blocks[j]) << c.bits << " class " << j;
      EXPECT_EQ(gaps[j], c.gaps[j]) << c.bits << " class " << j;
    }
  }
}

TEST_F(BlkGapTest, RunsAcrossWordBoundariesCountAndSpareBitsDoNot) {
  // Zeros with ones at bits 28 .. 99 and 126 .. 129 of 131 bits, and every
  // spare bit set: blocks of 72 and 4 bits, gaps of 28 and 26 bits.
  Zeros(131);
  for (uint32_t t = 28; t < 100; ++t) words[t >> 5] |= 1u << (t & 31);
  for (uint32_t t = 126; t < 130; ++t) words[t >> 5] |= 1u << (t & 31);
  words[131 / 32] |= ~((1u << (131 % 32)) - 1);
  words[131 / 32 + 1] = 0xFFFFFFFFu;
  const int K = 40;
  uint64_t blocks[BLKGAP_MAX_CLASSES + 1], gaps[BLKGAP_MAX_CLASSES + 1];
  CountRunLengths(seqBits, seqLen, K, blocks, gaps);
  for (int j = 1; j <= K; ++j) {
    EXPECT_EQ(blocks[j], (j == 4 || j == K) ? 1u : 0u) << j;
    EXPECT_EQ(gaps[j], (j == 28 || j == 26) ? 1u : 0u) << j;
  }
}

TEST(BlkGapPValue, JudgesTheShapeOfTheHistogramGivenItsRuns) {
  // K = 3: 8 runs expected as 4, 2, 2; exactly that shape gives chi2 = 0.
  const uint64_t exact[] = {0, 4, 2, 2};
  EXPECT_DOUBLE_EQ(RunLengthPValue(exact, 3, 100), 1.0);
  // 8 runs as 8, 0, 0: chi2 = 16/4 + 2 + 2 = 8 with 2 degrees of freedom.
  const uint64_t ones[] = {0, 8, 0, 0};
  EXPECT_NEAR(RunLengthPValue(ones, 3, 100), std::exp(-4.0), 1e-14);
  // No counted run: (n + 1) 2^-n, and a fail once that underflows.
  const uint64_t none[] = {0, 0, 0, 0};
  EXPECT_DOUBLE_EQ(RunLengthPValue(none, 3, 10), 11.0 / 1024);
  EXPECT_DOUBLE_EQ(RunLengthPValue(none, 2, 1), 1.0);
  const uint64_t noneOf28[29] = {};
  EXPECT_EQ(RunLengthPValue(noneOf28, 28, 4294967295u), PVALUE_FAIL);
}

TEST_F(BlkGapTest, PlainlyBadSequencesFail) {
  const uint32_t n = 1 << 14;
  std::string alternating, pairs;
  for (uint32_t i = 0; i < n / 2; ++i) alternating += "01";
  for (uint32_t i = 0; i < n / 4; ++i) pairs += "0011";
  for (const std::string& text : {std::string(n, '0'), std::string(n, '1'), alternating, pairs}) {
    FromText(text);
    BLKGAP test;
    SCOPED_TRACE(text.substr(0, 8));
    ExpectRejected(Run(test, SLOT_BLKGAP), {"BlkGap BLK", "BlkGap GAP"});
  }
  // Ones with probability 3/4: blocks too long, gaps too short.
  Biased(12345, n, [](uint32_t x) { return (x & 3) != 0; });
  BLKGAP test;
  ExpectRejected(Run(test, SLOT_BLKGAP), {"BlkGap BLK", "BlkGap GAP"});
}

TEST(BlkGapNullLaw, UniformOnGoodBits) {
  BLKGAP test;
  for (uint32_t n : {1000u, 1u << 14}) ExpectUniformNullLaw(test, SLOT_BLKGAP, n, 400, 20261210 + n);
}
