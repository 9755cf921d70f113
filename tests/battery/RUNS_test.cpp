#include "battery/RUNS.h"

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "NullLaw.h"
#include "PermRunsReference.h"
#include "SequenceFixture.h"
#include "battery/Bits.h"
#include "battery/Messages.h"

namespace {

void SetGrid(int smin, int smax, int sstp, int lmin, int lmax, int lstp) {
  runsSmin = smin, runsSmax = smax, runsSstp = sstp;
  runsLmin = lmin, runsLmax = lmax, runsLstp = lstp;
}

bool Rejected(double p) { return p == PVALUE_FAIL || (p >= 0 && p < 1e-9); }

std::vector<std::string> boxes;
int Answer(const wxString& text, const wxString& caption, long style) {
  boxes.push_back((caption + "|" + text).ToStdString());
  EXPECT_TRUE(style & wxICON_WARNING);
  return wxOK;
}

}  // namespace

class RunsTest : public SequenceFixture {
 protected:
  MessageBoxHandler oldHandler = nullptr;
  void SetUp() override {
    boxes.clear();
    oldHandler = SetMessageBoxHandler(Answer);
  }
  void TearDown() override {
    SetMessageBoxHandler(oldHandler);
    SequenceFixture::TearDown();
  }
};

TEST_F(RunsTest, AgreesWithTheIndependentReference) {
  for (const auto& sequence : PERM_RUNS_REF_SEQUENCES)
    for (int g = 0; g < 2; ++g) {
      const int* grid = RUNS_REF_GRIDS[g];
      SetGrid(grid[0], grid[1], grid[2], grid[3], grid[4], grid[5]);
      Xorshift(sequence[0], sequence[1]);
      RUNS test;
      ASSERT_EQ(test.status, TEST_OK);
      SCOPED_TRACE("n " + std::to_string(sequence[1]) + " grid " + std::to_string(g));
      ExpectReferencePairs(Run(test, SLOT_RUNS), RUNS_REF, [&](const PermRunsRefPair& ref) {
        return ref.grid == g && ref.seed == sequence[0] && ref.n == sequence[1];
      });
    }
  EXPECT_TRUE(boxes.empty());
}

TEST_F(RunsTest, AscendingProbabilities) {
  SetGrid(1, 32, 1, 2, 10, 2);
  Zeros(1 << 16);
  RUNS test;
  // 4 values: C(4, i) / 4^i; none of 5 ascending words.
  const double four[] = {1, 1, 6.0 / 16, 4.0 / 64, 1.0 / 256, 0};
  for (int i = 0; i <= 5; ++i) EXPECT_DOUBLE_EQ(test.ascendingProb[2][i], four[i]) << i;
  EXPECT_EQ(test.ascendingProb[1][3], 0);
  // 2^32 values: the continuous law 1 / i! times prod over j < i of
  // (1 - j / 2^32).
  double fact = 1;
  for (int i = 1; i <= 10; ++i) {
    fact *= i;
    EXPECT_NEAR(test.ascendingProb[32][i] * fact, 1.0 - i * (i - 1) / 2 / 4294967296.0, 4e-15) << i;
  }
}

TEST_F(RunsTest, NullLawIsUniform) {
  SetGrid(2, 32, 2, 2, 10, 2);
  seqLen = 1 << 16;
  RUNS test;
  const auto law = ExpectUniformNullLaw(test, SLOT_RUNS, 1 << 16, 300, 0x2a7e5);
  EXPECT_GE(law.size(), 40u);
}

TEST_F(RunsTest, TwoClassRowsHaveNoAtomsAtLargeWords) {
  // At t = 2 with large words the count of runs of one word is binomial
  // with probability near 1/2: its chi-square p-value takes few values and
  // is 1 whenever the count equals half the runs, so p-values repeat. The
  // randomised exact p-value is continuous: no two sequences share one.
  SetGrid(24, 32, 4, 2, 2, 1);
  seqLen = 20480;
  RUNS test;
  const auto law = ExpectUniformNullLaw(test, SLOT_RUNS, 20480, 300, 0x2a7e6);
  EXPECT_EQ(law.size(), 6u);
  for (const auto& entry : law) ExpectNoRepeatedPValues(law, entry.first);
}

TEST_F(RunsTest, UpThenDownForEveryUsableLengthAndSmallWordsStopEarly) {
  // s = 1 has two values (t = 2 only), s = 2 four (t up to 4), s = 3
  // leaves too few runs of six; the t loop ends at the first t that fails.
  SetGrid(1, 3, 1, 2, 6, 1);
  Xorshift(17, 1 << 18);
  RUNS test;
  const auto pairs = Run(test, SLOT_RUNS);
  std::vector<std::string> labels;
  for (const auto& pair : pairs) labels.push_back(pair.label);
  const std::vector<std::string> expected = {
      "Runs up 1_2", "Runs dn 1_2", "Runs up 2_2", "Runs dn 2_2", "Runs up 2_3", "Runs dn 2_3",
      "Runs up 2_4", "Runs dn 2_4", "Runs up 3_2", "Runs dn 3_2", "Runs up 3_3", "Runs dn 3_3",
      "Runs up 3_4", "Runs dn 3_4", "Runs up 3_5", "Runs dn 3_5"};  // 3_6: 87381 * 0.27 * 28 / 8^6 < 5
  EXPECT_EQ(labels, expected);
  for (const auto& pair : pairs) EXPECT_TRUE(pair.p >= 0 && pair.p <= 1) << pair.label;
}

TEST_F(RunsTest, TheTwoWordClassNeedsEnoughRunsAndTheConstructorSaysSo) {
  // s = 32, t = 2: floor(n / 32) * 0.27 * P(2) >= 80 from 593 words on.
  SetGrid(32, 32, 1, 2, 2, 1);
  Xorshift(3, 593 * 32);
  RUNS enough;
  EXPECT_EQ(enough.status, TEST_OK);
  EXPECT_EQ(Run(enough, SLOT_RUNS).size(), 2u);
  EXPECT_TRUE(boxes.empty());

  Xorshift(3, 593 * 32 - 1);
  RUNS tooShort;
  EXPECT_EQ(tooShort.status, TEST_DISABLED);
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0],
            "Quorvane - RUNS test ERROR|Sequence too short for the selected parameters.\nThe test will be disabled.");
  EXPECT_TRUE(Run(tooShort, SLOT_RUNS).empty());
}

TEST_F(RunsTest, EqualWordsEndEveryRunAndFail) {
  // All zeros: every run has one word, in both directions.
  // The labels are those of a good sequence of the same length.
  SetGrid(2, 8, 2, 2, 4, 2);
  Xorshift(3, 1 << 14);
  RUNS test;
  const auto labels = Labels(Run(test, SLOT_RUNS));
  Zeros(1 << 14);
  ExpectRejected(Run(test, SLOT_RUNS), labels, 1e-9);
}

TEST_F(RunsTest, OneRunOverTheWholeSequenceIsAFailure) {
  // 32-bit words 1, 2, 3, ... read most significant bit first: a single
  // ascending run that never ends (no run length at all: PVALUE_FAIL), and
  // descending runs that all end at their second word.
  SetGrid(32, 32, 1, 2, 2, 1);
  Zeros(1000 * 32);
  for (uint32_t i = 0; i < 1000; ++i) words[i] = ReverseBits32(i + 1);
  RUNS test;
  const auto pairs = Run(test, SLOT_RUNS);
  ASSERT_EQ(pairs.size(), 2u);
  EXPECT_EQ(pairs[0].p, PVALUE_FAIL);
  EXPECT_TRUE(Rejected(pairs[1].p)) << pairs[1].p;
}

TEST_F(RunsTest, TwoClassesHaveOneDegreeOfFreedomAndTheLastWordNeverContinuesARun) {
  // 1-bit words in blocks 0 0 | 0 1 1: up, "0" ended by 0 (length 1, the 0
  // dropped), "0 1" ended by 1 (length 2, dropped). 300 blocks, n = 1500:
  // the last run "0 1" would need word 1499, the last one, which never
  // continues a run; so 300 runs of length 1 and 299 of two or more.
  SetGrid(1, 1, 1, 2, 2, 1);
  std::string text;
  for (int i = 0; i < 300; ++i) text += "00011";
  FromText(text);
  RUNS test;
  const auto pairs = Run(test, SLOT_RUNS);
  ASSERT_EQ(pairs.size(), 2u);
  EXPECT_EQ(pairs[0].label, "Runs up 1_2");
  // P(one word) = 1, P(two ascending) = 1/4: the runs of one word are
  // binomial (599, 3/4), mean 449.25. As far from it as 300 are the counts
  // up to 300 (598.5 is no count); farther, those below 300. The randomised
  // p-value lies between the two sums (pmf by lgamma here).
  auto pmf = [](int n, double q, int k) {
    return std::exp(std::lgamma(n + 1.0) - std::lgamma(k + 1.0) - std::lgamma(n - k + 1.0) + k * std::log(q) +
                    (n - k) * std::log(1 - q));
  };
  double farther = 0;
  for (int k = 0; k < 300; ++k) farther += pmf(599, 0.75, k);
  const double asFar = farther + pmf(599, 0.75, 300);
  EXPECT_GE(pairs[0].p, farther * (1 - 1e-10));
  EXPECT_LE(pairs[0].p, asFar * (1 + 1e-10));
  EXPECT_LT(asFar, 1e-30);
}

TEST_F(RunsTest, LongRunsCrossBlocksAndPoolAtTheCap) {
  // 8-bit words 0, 1, ..., 99, 0, 1, ... (read most significant bit first),
  // 1000 words. Up: runs of 100 and 99 words, each ended by a 0 that is
  // dropped; they end at words 100, 200, ..., 900, and the run from word 901
  // is still open at word 998 (word 999 never continues a run). Down: every
  // second word ends a run of one: runs end at words 1, 3, ..., 997.
  SetGrid(8, 8, 1, 2, 2, 1);
  Zeros(8 * 1000);
  for (uint32_t k = 0; k < 1000; ++k) {
    const uint32_t v = k % 100;
    for (int b = 0; b < 8; ++b)
      if ((v >> (7 - b)) & 1) words[(8 * k + b) >> 5] |= 1u << ((8 * k + b) & 31);
  }
  RUNS test;
  ASSERT_EQ(test.lengthCap, 3);
  const auto pairs = Run(test, SLOT_RUNS);
  ASSERT_EQ(pairs.size(), 2u);
  const std::vector<uint64_t> expected = {0, 0, 0, 9, 0, 499, 0, 0};  // up cells 0 .. 3, then down
  EXPECT_EQ(test.lengthCounts, expected);
  // Up: 9 runs, none of one word; P(two ascending) = 256 * 255 / 2 / 256^2,
  // so the runs of one word are binomial (9, 257 / 512): none is farther
  // from the mean than 0 (the mirror 2 * 9 * 257 / 512 = 9.04 exceeds 9),
  // and the randomised p-value is U P(0) = U (255 / 512)^9.
  EXPECT_GT(pairs[0].p, 0);
  EXPECT_LE(pairs[0].p, std::pow(255.0 / 512, 9) * (1 + 1e-12));
  EXPECT_TRUE(Rejected(pairs[1].p));
}
