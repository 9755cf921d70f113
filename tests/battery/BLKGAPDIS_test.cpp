#include "battery/BLKGAPDIS.h"

#include <string>

#include "BlkGapReference.h"
#include "NullLaw.h"
#include "SequenceFixture.h"

class BlkGapDisTest : public SequenceFixture {
 protected:
  void Sizes(int smin, int smax, int step) {
    blkGapDstSmin = smin;
    blkGapDstSmax = smax;
    blkGapDstSstp = step;
  }
  // The sequence of 2-bit words (xorshift32 word mod 3) that the reference
  // script makes, first bit of each word most significant.
  void Ternary(uint32_t seed, uint32_t n) {
    Zeros(n);
    uint32_t x = seed;
    for (uint32_t i = 0; i < n / 2; ++i) {
      x ^= x << 13, x ^= x >> 17, x ^= x << 5;
      const uint32_t v = x % 3;
      if (v & 2) words[(2 * i) >> 5] |= 1u << ((2 * i) & 31);
      if (v & 1) words[(2 * i + 1) >> 5] |= 1u << ((2 * i + 1) & 31);
    }
  }
  void ExpectReference(const BlkGapDisRef& ref) {
    const GapClasses gc = BuildGapClasses(ref.n, ref.s);
    EXPECT_EQ(gc.expectedGaps, ref.f);
    EXPECT_EQ(gc.cellCount, ref.cells);
    EXPECT_EQ(gc.Classes(), ref.classes);
    Sizes(ref.s, ref.s, 1);
    BLKGAPDIS test;
    const auto pairs = Run(test, SLOT_BLKGAPDIS);
    ASSERT_EQ(pairs.size(), 1u);
    EXPECT_EQ(pairs[0].label, "BGdst " + std::to_string(ref.s));
    EXPECT_NEAR(pairs[0].p, ref.p, 1e-9 * ref.p) << "seed " << ref.seed << " n " << ref.n << " s " << ref.s;
  }
};

TEST_F(BlkGapDisTest, AgreesWithTheReferenceScript) {
  for (const auto& ref : BLKGAPDIS_REF) {
    Xorshift(ref.seed, ref.n);
    ExpectReference(ref);
  }
  // Three values with gaps: an odd number of degrees of freedom, halved as
  // a real number.
  for (const auto& ref : BLKGAPDIS_TERNARY_REF) {
    Ternary(ref.seed, ref.n);
    ExpectReference(ref);
  }
}

TEST(BlkGapDisClasses, ThousandBitsOfOneBitWords) {
  // f = 499 expected gaps per value; gaps of 8 words or more share the
  // last cell.
  const GapClasses gc = BuildGapClasses(1000, 1);
  EXPECT_EQ(gc.expectedGaps, 499u);
  EXPECT_EQ(gc.cellCount, 8);
  double total = 0;
  for (double p : gc.prob) total += p;
  EXPECT_NEAR(total, 1.0, 1e-12);
  // Too short for the word size: no classes.
  EXPECT_LT(BuildGapClasses(8, 4).Classes(), 2);
}

TEST_F(BlkGapDisTest, CountsGapsInWordsAndLeavesTheFinalWordOutWhenItEndsTheSequence) {
  const GapClasses gc = BuildGapClasses(1000, 1);
  std::vector<uint32_t> counts(2 * gc.Classes()), last(2);
  // s = 2, n = 8: words 10 10 01 read, the fourth (ending at the last bit)
  // is not: value 2 has one gap of 1 word, value 1 none, value 3 none.
  const GapClasses gc2 = BuildGapClasses(1 << 12, 2);
  counts.assign(4 * gc2.Classes(), 0);
  last.assign(4, 0);
  FromText("10100111");
  CountGaps(seqBits, seqLen, 2, gc2, counts.data(), last.data());
  for (int v = 0; v < 4; ++v)
    for (int c = 0; c < gc2.Classes(); ++c)
      EXPECT_EQ(counts[v * gc2.Classes() + c], (v == 2 && c == gc2.classOf[0]) ? 1u : 0u) << v << " " << c;
  // n = 9 with s = 2: the word at bit 6 ends before the last bit and is
  // read: value 3 once, still no gap.
  FromText("101001111");
  CountGaps(seqBits, seqLen, 2, gc2, counts.data(), last.data());
  uint64_t total = 0;
  for (uint32_t c : counts) total += c;
  EXPECT_EQ(total, 1u);
  // s = 1: 0 1 1 0 0 1 followed by a last bit never read: value 1 gaps 1
  // and 3, value 0 gaps 3 and 1.
  FromText("0110010");
  CountGaps(seqBits, seqLen, 1, gc, counts.data(), last.data());
  const int k = gc.Classes();
  std::vector<uint32_t> want(2 * k, 0);
  ++want[gc.classOf[0]], ++want[gc.classOf[2]], ++want[k + gc.classOf[0]], ++want[k + gc.classOf[2]];
  for (int i = 0; i < 2 * k; ++i) EXPECT_EQ(counts[i], want[i]) << i;
}

TEST(BlkGapDisPValue, ValuesWithoutGapsAddNothing) {
  const GapClasses gc = BuildGapClasses(1000, 1);
  const int k = gc.Classes();
  std::vector<uint32_t> counts(2 * k, 0);
  EXPECT_EQ(GapCountsPValue(counts.data(), 1, gc), PVALUE_SHORT);
  // Only value 1 has gaps, in proportion to the class probabilities
  // (times 10^6, rounded): a statistic near 0 with k - 1 degrees of freedom.
  for (int c = 0; c < k; ++c) counts[k + c] = static_cast<uint32_t>(gc.prob[c] * 1e6 + 0.5);
  EXPECT_GT(GapCountsPValue(counts.data(), 1, gc), 0.999999);
}

TEST_F(BlkGapDisTest, WalksTheGridAndLabelsEveryWordSize) {
  Xorshift(11, 1 << 12);
  Sizes(1, 12, -1);  // 1, 2, 4, 8
  BLKGAPDIS test;
  const auto pairs = Run(test, SLOT_BLKGAPDIS);
  ASSERT_EQ(pairs.size(), 4u);
  const char* labels[] = {"BGdst 1", "BGdst 2", "BGdst 4", "BGdst 8"};
  for (int i = 0; i < 4; ++i) EXPECT_EQ(pairs[i].label, labels[i]);
  for (int i = 0; i < 3; ++i) EXPECT_GT(pairs[i].p, 0);
  // 2^12 bits are too few for 8-bit words: too little data.
  EXPECT_EQ(pairs[3].p, PVALUE_SHORT);
}

TEST_F(BlkGapDisTest, PlainlyBadSequencesFail) {
  const uint32_t n = 1 << 16;
  Sizes(1, 4, 1);
  const std::vector<std::string> labels = {"BGdst 1", "BGdst 2", "BGdst 3", "BGdst 4"};
  std::string counter;  // 4-bit words 0, 1, ..., 15, 0, 1, ...: every gap 16 words
  for (uint32_t i = 0; i < n / 4; ++i)
    for (int b = 3; b >= 0; --b) counter += ((i % 16) >> b) & 1 ? '1' : '0';
  std::string periodic;  // 0000000011 repeated
  while (periodic.size() < n) periodic += "0000000011";
  periodic.resize(n);
  for (const std::string& text : {std::string(n, '0'), counter, periodic}) {
    FromText(text);
    BLKGAPDIS test;
    // Every word size sees the constant and the 10-bit period; the counter
    // is perfect for 1 and 2 bits per word too, its gaps far too regular.
    SCOPED_TRACE(text.substr(0, 12));
    ExpectRejected(Run(test, SLOT_BLKGAPDIS), labels);
  }
  // Ones with probability 3/4.
  Biased(777, n, [](uint32_t x) { return (x & 3) != 0; });
  BLKGAPDIS test;
  ExpectRejected(Run(test, SLOT_BLKGAPDIS), labels);
}

TEST_F(BlkGapDisTest, UniformOnGoodBitsAtTheSizesTheEngineAdmits) {
  // 2^16 bits admit word sizes up to 5; 2^21 bits admit 8.
  Sizes(1, 5, 1);
  BLKGAPDIS small;
  ExpectUniformNullLaw(small, SLOT_BLKGAPDIS, 1 << 16, 400, 1201);
  Sizes(8, 8, 1);
  BLKGAPDIS large;
  ExpectUniformNullLaw(large, SLOT_BLKGAPDIS, 1 << 21, 300, 1202);
}

TEST_F(BlkGapDisTest, UniformForLargeWordsWithFewGapsPerValue) {
  // 10 to 12 bits per word at 2^20 bits: 101, 45 and 20 expected gaps per
  // value. Judged against one common expected count, the spread of each
  // value's own number of gaps pushed the mean p-value to 0.34, 0.07 and
  // 0.001 here.
  Sizes(10, 12, 1);
  BLKGAPDIS test;
  const auto law = ExpectUniformNullLaw(test, SLOT_BLKGAPDIS, 1 << 20, 300, 1203);
  for (const auto& [label, row] : law) {
    double mean = 0;
    for (double p : row.pvalues) mean += p;
    mean /= row.pvalues.size();
    EXPECT_NEAR(mean, 0.5, 0.06) << label;
  }
}
