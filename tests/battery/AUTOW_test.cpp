#include "battery/AUTOW.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <new>
#include <string>
#include <vector>

#include "AutowReference.h"
#include "NullLaw.h"
#include "SequenceFixture.h"
#include "battery/Messages.h"
#include "platform/Event.h"

// Nothrow array allocations fail while this is set, so that the test can
// see what the constructor does when its histograms cannot be allocated.
static bool failNothrowArrays = false;

void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
  if (failNothrowArrays) return nullptr;
  try {
    return ::operator new[](size);
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

namespace {

std::vector<std::string> boxes;
int CaptureBox(const wxString& text, const wxString& caption, long) {
  boxes.push_back((caption + ": " + text).ToStdString());
  return wxOK;
}

void SetGrid(int smin, int smax, int sstp, int dmin, int dmax, int dstp, int maxPv) {
  autowSmin = smin, autowSmax = smax, autowSstp = sstp;
  autowDmin = dmin, autowDmax = dmax, autowDstp = dstp, autowMaxPv = maxPv;
  EnsureLnFactorial(smax);
}

// The window's defaults with the engine's corrections for n bits: S 1 ..
// 1024 doubling, d 1 .. n / 2 doubling, no limit per S.
void DefaultGrid(uint32_t n) { SetGrid(1, 1024, -1, 1, static_cast<int>(n / 2), -1, 0); }

class AutowTest : public SequenceFixture {
 protected:
  MessageBoxHandler previousBox = nullptr;
  void SetUp() override {
    previousBox = SetMessageBoxHandler(CaptureBox);
    boxes.clear();
  }
  void TearDown() override {
    SetMessageBoxHandler(previousBox);
    failNothrowArrays = false;
    platform::InjectEventFailure(platform::EventCall::Set, -1);
    SequenceFixture::TearDown();
  }

  // A random block of 2^13 bytes (xorshift32 from seed 99) repeated.
  void Periodic(uint32_t n) {
    Zeros(n);
    uint32_t x = 99;
    std::vector<uint32_t> block(1 << 11);
    for (auto& w : block) {
      x ^= x << 13;
      x ^= x >> 17;
      x ^= x << 5;
      w = x;
    }
    for (uint32_t i = 0; i < n / 32; ++i) words[i] = block[i % block.size()];
  }
};

// The statistic counted bit by bit, straight from its definition.
std::vector<uint64_t> NaiveHistogram(const std::vector<uint32_t>& w, uint32_t n, int S, int d) {
  std::vector<uint64_t> hist(S + 1, 0);
  const uint64_t blocks = n / static_cast<uint32_t>(S);
  auto bit = [&](uint64_t t) { return (w[t / 32] >> (t % 32)) & 1u; };
  for (uint64_t k = 0; k + d < blocks; ++k) {
    int h = 0;
    for (int j = 0; j < S; ++j) h += bit(k * S + j) != bit((k + d) * S + j);
    ++hist[h];
  }
  return hist;
}

TEST_F(AutowTest, AgreesWithTheReference) {
  // Covers the degree count halved as a real number (S = 1 has 2 classes:
  // halved as an integer, every p-value would be 1) and an upper tail below
  // the range of doubles kept in its place as a failure.
  for (const AutowRun& run : AUTOW_RUNS) {
    if (run.periodic) Periodic(run.n);
    else Xorshift(run.seed, run.n);
    SetGrid(run.smin, run.smax, run.sstp, run.dmin, run.dmax, run.dstp, run.maxPv);
    AUTOW test;
    ASSERT_EQ(test.status, TEST_OK);
    EXPECT_EQ(test.jobCount, run.count) << run.seed;
    const auto pairs = Run(test, SLOT_AUTOW);
    ASSERT_EQ(pairs.size(), static_cast<size_t>(run.count)) << run.seed;
    for (int i = 0; i < run.count; ++i) {
      const AutowPair& ref = AUTOW_PAIRS[run.first + i];
      EXPECT_EQ(pairs[i].label, ref.label);
      if (ref.p < 0) EXPECT_EQ(pairs[i].p, PVALUE_FAIL) << ref.label;
      else EXPECT_NEAR(pairs[i].p, ref.p, 1e-9 * ref.p + 1e-13) << ref.label;
    }
  }
}

TEST_F(AutowTest, HistogramsAgreeWithTheReference) {
  for (const AutowHistogram& ref : AUTOW_HISTOGRAMS) {
    Xorshift(ref.seed, ref.n);
    std::vector<uint64_t> hist(ref.S + 1, 0);
    AUTOW::CountDistances(seqBits, seqLen, ref.S, ref.d, hist.data());
    EXPECT_EQ(hist, std::vector<uint64_t>(ref.counts, ref.counts + ref.S + 1)) << ref.S << " " << ref.d;
  }
}

TEST_F(AutowTest, WordCountingEqualsTheBitByBitCount) {
  // Every block size up to 130 and some larger, at distances that put the
  // second block anywhere within a word; n not a multiple of 32, and the
  // spare bits (set to ones by the fixture) must not count.
  for (int S : [] {
         std::vector<int> sizes;
         for (int s = 1; s <= 130; ++s) sizes.push_back(s);
         for (int s : {191, 192, 256, 257, 320, 1000, 1024}) sizes.push_back(s);
         return sizes;
       }()) {
    const uint32_t n = 20 * static_cast<uint32_t>(S) + 37;
    Xorshift(1000 + S, n);
    for (int d : {1, 2, 3, 7, 19}) {
      std::vector<uint64_t> hist(S + 1, 0);
      AUTOW::CountDistances(seqBits, seqLen, S, d, hist.data());
      EXPECT_EQ(hist, NaiveHistogram(words, n, S, d)) << "S " << S << " d " << d;
    }
  }
}

TEST_F(AutowTest, HacExample531) {
  // HAC (Menezes, van Oorschot, Vanstone), Example 5.31: the 160-bit
  // string, d = 8, gives A(8) = 100 and X5 = 3.8933. With S = 1 the two
  // classes (equal bits, differing bits) give chi2 = X5^2. The p-value is
  // that of the count's exact law, binomial (152, 1/2), randomised within
  // its atom: between P(farther from 76 than 100 is) and P(as far), near
  // the two-sided normal tail of X5.
  std::string s;
  for (int i = 0; i < 4; ++i) s += "1110001100010001010011101111001001001001";
  FromText(s);
  uint64_t hist[2] = {0, 0};
  AUTOW::CountDistances(seqBits, seqLen, 1, 8, hist);
  EXPECT_EQ(hist[1], 100u);
  EXPECT_EQ(hist[0], 52u);
  SetGrid(1, 1, 1, 8, 8, 1, 0);
  int cells;
  double chi2;
  AUTOW::ChiSquare(1, 152, hist, cells, chi2);
  EXPECT_EQ(cells, 2);
  EXPECT_NEAR(std::sqrt(chi2), 3.8933, 0.00005);
  AUTOW test;
  const auto pairs = Run(test, SLOT_AUTOW);
  ASSERT_EQ(pairs.size(), 1u);
  EXPECT_EQ(pairs[0].label, "AutoW 1_8");
  double farther = 0;
  for (int k = 0; k <= 152; ++k)
    if (k < 52 || k > 100) farther += std::exp(std::lgamma(153.0) - std::lgamma(k + 1.0) - std::lgamma(153.0 - k)) * std::ldexp(1.0, -152);
  const double asFar = farther + 2 * std::exp(std::lgamma(153.0) - std::lgamma(101.0) - std::lgamma(53.0)) * std::ldexp(1.0, -152);
  EXPECT_GE(pairs[0].p, farther * (1 - 1e-10));
  EXPECT_LE(pairs[0].p, asFar * (1 + 1e-10));
  const double normal = std::erfc(3.8933 / std::sqrt(2.0));
  EXPECT_GT(pairs[0].p, 0.5 * normal);
  EXPECT_LT(pairs[0].p, 2 * normal);
}

TEST_F(AutowTest, OneBitBlocksHaveNoAtoms) {
  // S = 1: the differing pairs are binomial (pairs, 1/2); the chi-square
  // of that count takes few values (1 for every even split), so p-values
  // repeat across sequences. The randomised exact p-value is continuous.
  SetGrid(1, 1, 1, 1, 64, -1, 0);
  seqLen = 4096;
  AUTOW test;
  const auto law = ExpectUniformNullLaw(test, SLOT_AUTOW, 4096, 300, 0xa070);
  EXPECT_EQ(law.size(), 7u);
  for (const auto& entry : law) ExpectNoRepeatedPValues(law, entry.first);
}

TEST_F(AutowTest, NullLawIsUniform) {
  DefaultGrid(1 << 14);
  seqLen = 1 << 14;
  AUTOW test;
  ExpectUniformNullLaw(test, SLOT_AUTOW, 1 << 14, 400, 31);
  // Block sizes that are neither a divisor nor a multiple of 64.
  SetGrid(3, 103, 20, 1, 1 << 12, -2, 0);
  seqLen = 1 << 15;
  AUTOW odd;
  ExpectUniformNullLaw(odd, SLOT_AUTOW, 1 << 15, 300, 32);
}

TEST_F(AutowTest, PeriodicAndConstantInputsFail) {
  // A random block of 2^13 bytes repeated: the distance of one period
  // gives only pairs at distance 0.
  Periodic(1 << 20);
  DefaultGrid(1 << 20);
  AUTOW test;
  const auto pairs = Run(test, SLOT_AUTOW);
  ASSERT_EQ(pairs.size(), static_cast<size_t>(test.jobCount));
  int caught = 0;
  for (const Pair& pair : pairs) {
    const size_t sep = pair.label.find('_');
    const uint64_t S = std::stoul(pair.label.substr(6, sep - 6)), d = std::stoul(pair.label.substr(sep + 1));
    if (S * d % (1 << 16) != 0) continue;
    EXPECT_TRUE(pair.p == PVALUE_FAIL || (pair.p >= 0 && pair.p < 1e-10)) << pair.label << " " << pair.p;
    ++caught;
  }
  EXPECT_GE(caught, 10);
  // All zeros: every pair at distance 0. The labels are those of a good
  // sequence of the same length.
  SetGrid(1, 64, -1, 1, 100, 9, 0);
  Xorshift(5, 1 << 16);
  AUTOW constant;
  const auto labels = Labels(Run(constant, SLOT_AUTOW));
  EXPECT_EQ(labels.size(), static_cast<size_t>(constant.jobCount));
  Zeros(1 << 16);
  ExpectRejected(Run(constant, SLOT_AUTOW), labels);
}

TEST_F(AutowTest, JobListAtTheDefaults) {
  // n = 2^20: S = 2^k has blocks = 2^(20 - k) and takes d = 1 .. 2^(19 - k),
  // 20 - k jobs, 165 in all. A distance of blocks or more is never a job
  // (counted unsigned, blocks - d - 1 wrapped and made ten such jobs).
  seqLen = 1 << 20;
  DefaultGrid(1 << 20);
  AUTOW test;
  EXPECT_EQ(test.jobCount, 165);
  EXPECT_EQ(test.threadCount, std::min(test.cpuCount, 165));
  EXPECT_EQ(test.SubThreads(), test.threadCount);
  for (const AUTOW::Job& job : test.JobList()) {
    const int64_t blocks = (1 << 20) / job.S;
    EXPECT_LT(job.d, blocks - 1) << job.S;
  }
  EXPECT_EQ(test.JobList().front().S, 1);
  EXPECT_EQ(test.JobList().back().S, 1024);
  EXPECT_EQ(test.JobList().back().d, 512);
}

TEST_F(AutowTest, JobListEdges) {
  struct Case {
    const char* what;
    uint32_t n;
    int smin, smax, sstp, dmin, dmax, dstp, maxPv;
    std::vector<std::string> labels;
  };
  const Case cases[] = {
      {"max_pv 3: the first three distances per S", 4096, 1, 2, 1, 1, 2048, 1, 3,
       {"AutoW 1_1", "AutoW 1_2", "AutoW 1_3", "AutoW 2_1", "AutoW 2_2", "AutoW 2_3"}},
      // S = 8: blocks 16, (16 - d - 1) P(4) = 14 * 0.273 = 3.8 < 5 already
      // at d = 1, so S = 8 has no job.
      {"a first distance that fails", 128, 1, 8, 7, 1, 1, 1, 0, {"AutoW 1_1"}},
      {"too short for every S", 64, 16, 64, -1, 1, 32, -1, 0, {}},
      // S = 2, blocks 16, d = 1: 15 pairs expect 3.75, 7.5, 3.75: one class
      // closes in the lower half and the upper rest is dropped, so there is
      // no statistic (decided from the parameters); d = 1 with S = 1 has two.
      {"fewer than two classes", 32, 1, 2, 1, 1, 1, 1, 0, {"AutoW 1_1"}},
      // S = 1 up to d = blocks - 11, the last d with (blocks - d - 1) / 2 >= 5.
      {"the last distance", 40, 1, 1, 1, 27, 40, 1, 0, {"AutoW 1_27", "AutoW 1_28", "AutoW 1_29"}},
  };
  for (const Case& c : cases) {
    for (bool constant : {false, true}) {
      // The same labels whatever the data.
      if (constant) Zeros(c.n);
      else Xorshift(7, c.n);
      SetGrid(c.smin, c.smax, c.sstp, c.dmin, c.dmax, c.dstp, c.maxPv);
      AUTOW test;
      EXPECT_EQ(test.jobCount, static_cast<int>(c.labels.size())) << c.what;
      EXPECT_EQ(test.threadCount, std::min(test.cpuCount, test.jobCount)) << c.what;
      std::vector<std::string> labels;
      for (const Pair& pair : Run(test, SLOT_AUTOW)) labels.push_back(pair.label);
      EXPECT_EQ(labels, c.labels) << c.what;
    }
  }
  EXPECT_EQ(autowMaxPv, 99999999);  // 0 was rewritten for the run
}

TEST_F(AutowTest, EveryRecordKeepsItsPlaceAcrossSequences) {
  // A sequence whose distance of one period underflows and a random one
  // give the same labels in the same order.
  DefaultGrid(1 << 17);
  Periodic(1 << 17);
  AUTOW test;
  const auto periodic = Run(test, SLOT_AUTOW);
  Xorshift(5, 1 << 17);
  const auto random = Run(test, SLOT_AUTOW);
  ASSERT_EQ(periodic.size(), random.size());
  bool failed = false;
  for (size_t i = 0; i < periodic.size(); ++i) {
    EXPECT_EQ(periodic[i].label, random[i].label);
    failed = failed || periodic[i].p == PVALUE_FAIL;
    EXPECT_GE(random[i].p, 0) << random[i].label;
  }
  EXPECT_TRUE(failed);
}

TEST_F(AutowTest, FailuresDisableTheTest) {
  Xorshift(3, 1 << 14);
  DefaultGrid(1 << 14);
  failNothrowArrays = true;
  AUTOW noHistograms;
  failNothrowArrays = false;
  EXPECT_EQ(noHistograms.status, TEST_DISABLED);
  EXPECT_TRUE(Run(noHistograms, SLOT_AUTOW).empty());
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0],
            "Quorvane - AUTOW test ERROR: Failed to allocate the histograms of the sub-threads.\n"
            "The test will be disabled.");
  autowSmax = lnFactorialMax + 1;
  AUTOW noTable;
  EXPECT_EQ(noTable.status, TEST_DISABLED);
  EXPECT_EQ(boxes.size(), 2u);
}

TEST_F(AutowTest, AFailedSignalLosesOneSequenceOnly) {
  Xorshift(4, 1 << 14);
  DefaultGrid(1 << 14);
  AUTOW test;
  const auto first = Run(test, SLOT_AUTOW);
  ASSERT_FALSE(first.empty());
  // The sub-threads are idle: the next Set call is the first start signal.
  platform::InjectEventFailure(platform::EventCall::Set, 0);
  ExpectShortPairs(Run(test, SLOT_AUTOW), first);
  const auto again = Run(test, SLOT_AUTOW);
  ASSERT_EQ(again.size(), first.size());
  for (size_t i = 0; i < first.size(); ++i) {
    EXPECT_EQ(again[i].label, first[i].label);
    EXPECT_EQ(again[i].p, first[i].p);
  }
}

}  // namespace
