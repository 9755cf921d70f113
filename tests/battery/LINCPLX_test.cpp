#include "battery/LINCPLX.h"

#include <cstdio>
#include <mutex>
#include <string>
#include <vector>

#include "AmlsLincplxReference.h"
#include "GuardedSequence.h"
#include "LincplxClassLawReference.h"
#include "NullLaw.h"
#include "SequenceFixture.h"
#include "battery/Distributions.h"
#include "battery/Messages.h"
#include "platform/Event.h"
#include "platform/Thread.h"

namespace {

std::string logText;
std::mutex logMutex;
// Lines may come from any thread.
void CatchLog(const wxString& text) {
  std::lock_guard<std::mutex> lock(logMutex);
  logText += text.ToStdString();
}

struct LinCplxFixture : SequenceFixture {
  void Params(int len, int optlen = 0, int k = 0) {
    liCoLen = len;
    liCoOptlen = optlen;
    liCoK = k;
  }
  void SetUp() override {
    logText.clear();
    previousLog = SetLogHandler(CatchLog);
  }
  void TearDown() override {
    SetLogHandler(previousLog);
    SequenceFixture::TearDown();
  }
  LogHandler previousLog = nullptr;
};

}  // namespace

TEST_F(LinCplxFixture, AgreesWithTheIndependentScript) {
  for (const LincplxRef& ref : LINCPLX_REF) {
    Xorshift(ref.seed, ref.n);
    Params(ref.len, ref.optlen, ref.k);
    LINCPLX test;
    EXPECT_EQ(test.blockLen, ref.M) << ref.seed;
    EXPECT_EQ(test.blockCount, ref.N) << ref.seed;
    EXPECT_EQ(test.classCount, ref.K) << ref.seed;
    const auto pairs = Run(test, SLOT_LINCPLX);
    ASSERT_EQ(pairs.size(), ref.K > 0 ? 2u : 1u) << ref.seed;
    EXPECT_EQ(pairs[0].label, "LCjmp_" + std::to_string(ref.M) + "_" + std::to_string(ref.N));
    EXPECT_NEAR(pairs[0].p, ref.pJump, 1e-9) << ref.seed;
    if (ref.K > 0) {
      EXPECT_EQ(pairs[1].label, "LClen_" + std::to_string(ref.M) + "_" + std::to_string(ref.K));
      // The class chi-square's p-value is randomised between P(X > x) and
      // P(X >= x) of its law (tools/reference/lincplx_class_law.py), which
      // hold the chi-square law's p-value of x where that law is used.
      const LincplxSequenceRef* law = nullptr;
      for (const auto& s : LINCPLX_SEQUENCE_REF)
        if (s.seed == ref.seed) law = &s;
      ASSERT_NE(law, nullptr) << ref.seed;
      EXPECT_GE(pairs[1].p, law->law.greater - 1e-12) << ref.seed;
      EXPECT_LE(pairs[1].p, law->law.atLeast + 1e-12) << ref.seed;
      if (!law->law.exact) {
        EXPECT_GE(ref.pLen, law->law.greater) << ref.seed;
        EXPECT_LE(ref.pLen, law->law.atLeast) << ref.seed;
      }
    }
  }
}

TEST(LinCplxClassLaw, RandomisedOverTheExactLawsAtoms) {
  // Counts under the exact multinomial law (enumerated by the reference
  // script): u from 0 to 1 runs from P(X > x) to P(X >= x).
  for (const auto& ref : LINCPLX_CLASS_LAW_REF) {
    const std::vector<double> p = LinearComplexityClassProbabilities(ref.K, ref.M);
    const LinearComplexityClassLaw law(ref.N, ref.K, p.data());
    EXPECT_EQ(law.Exact(), ref.exact) << ref.N << " " << ref.O[0];
    const double lo = law.RandomisedPValue(ref.O, 0x1p-54), hi = law.RandomisedPValue(ref.O, 1 - 0x1p-54);
    EXPECT_NEAR(lo, ref.greater, 1e-12 + 1e-9 * ref.greater) << ref.N << " " << ref.O[0] << " " << ref.O[1];
    EXPECT_NEAR(hi, ref.atLeast, 1e-12 + 1e-9 * ref.atLeast) << ref.N << " " << ref.O[0] << " " << ref.O[1];
    const double mid = law.RandomisedPValue(ref.O, 0.5);
    EXPECT_NEAR(mid, (ref.greater + ref.atLeast) / 2, 1e-12 + 1e-9 * ref.atLeast);
  }
}

TEST_F(LinCplxFixture, TheBlocksSplitOverSubThreadsGiveWhatOneThreadGives) {
  Xorshift(91, 1u << 18);
  Params(500);
  LINCPLX pooled;
  EXPECT_EQ(pooled.SubThreads(), pooled.threadCount);
  EXPECT_EQ(pooled.jobCount, std::min(pooled.blockCount, 4 * pooled.cpuCount));
  const auto pairs = ExpectTheSamePairsWithoutSubThreads(pooled, SLOT_LINCPLX);
  ASSERT_EQ(pairs.size(), 2u);
  if (pooled.threadCount == 0) return;
  ExpectAFailedSignalLosesOnlyThatSequence(pooled, SLOT_LINCPLX, 0, pairs);
}

TEST_F(LinCplxFixture, PublishedExampleWithExactClassProbabilities) {
  // The first 10^6 binary digits of e, M = 1000: 1000 blocks, K = 6 (the
  // published counts 11, 31, 116, 501, 258, 57, 26; p with pi_0 = 1/96).
  FILE* file = std::fopen(QV_TEST_DATA "/battery/e_1e6.bin", "rb");
  ASSERT_NE(file, nullptr);
  Zeros(1000000);
  ASSERT_EQ(std::fread(words.data(), 1, 125000, file), 125000u);
  std::fclose(file);
  Params(1000);
  LINCPLX test;
  const double published[7] = {1.0 / 96, 1.0 / 32, 1.0 / 8, 1.0 / 2, 1.0 / 4, 1.0 / 16, 1.0 / 48};
  ASSERT_EQ(test.classCount, 6);
  for (int i = 0; i <= 6; ++i) EXPECT_DOUBLE_EQ(test.classProb[i], published[i]) << i;
  const auto pairs = Run(test, SLOT_LINCPLX);
  ASSERT_EQ(pairs.size(), 2u);
  EXPECT_EQ(pairs[1].label, "LClen_1000_6");
  // 1000 blocks over seven classes: the chi-square law at a point of x's
  // lattice cell (step 2 / 1000), between its P(X > x) and P(X >= x),
  // which hold the chi-square p-value of x (0.845406 with the published
  // code's rounded pi_0).
  EXPECT_GT(LINCPLX_NIST_E_P, LINCPLX_NIST_GREATER);
  EXPECT_LT(LINCPLX_NIST_E_P, LINCPLX_NIST_AT_LEAST);
  EXPECT_GE(pairs[1].p, LINCPLX_NIST_GREATER - 1e-12);
  EXPECT_LE(pairs[1].p, LINCPLX_NIST_AT_LEAST + 1e-12);
}

TEST(LinCplxClasses, FiniteBlockTailsAreTheExactLaw) {
  // All M-bit blocks counted by hand: M = 2 has L = 0, 1, 1, 2 (T = -1, 0,
  // 0, 1); M = 3 has T = 2, 1, 1, 0 x 4, -1 (L = 0 .. 3 with 1, 2, 4, 1
  // blocks).
  struct Case {
    int K, M;
    std::vector<double> p;
  };
  const Case cases[] = {
      {2, 2, {0.25, 0.5, 0.25}},
      {2, 3, {0.125, 0.5, 0.375}},
      {6, 1000, {1.0 / 96, 1.0 / 32, 1.0 / 8, 1.0 / 2, 1.0 / 4, 1.0 / 16, 1.0 / 48}},
  };
  for (const Case& c : cases) EXPECT_EQ(LinearComplexityClassProbabilities(c.K, c.M), c.p) << c.M;
  for (int M = 2; M <= 60; ++M)
    for (int K = 2; K <= 2 * (M / 2) && K <= 28; K += 2) {
      double sum = 0;
      for (double p : LinearComplexityClassProbabilities(K, M)) {
        EXPECT_GT(p, 0) << M << " " << K;
        sum += p;
      }
      EXPECT_NEAR(sum, 1.0, 1e-15) << M << " " << K;
    }
}

TEST_F(LinCplxFixture, ConstructorSettlesLengthCountAndClasses) {
  struct Case {
    uint32_t n;
    int len, optlen, k;
    int M, N, K;
    bool truncated;
  };
  const Case cases[] = {
      {1u << 20, 1000, 1, 0, 1024, 1024, 6, false},  // remainder 0 at 1024
      {24072, 20, 1, 0, 22, 1094, 6, false},         // tries 20 .. 23 only (24 divides n)
      {29 * 1000, 1000, 0, 0, 1000, 29, 0, false},   // fewer than 30 blocks: no class test
      {30 * 1000, 1000, 0, 0, 1000, 30, 2, false},
      {1u << 20, 64, 0, 4, 64, 120, 4, true},        // k = 2: 15 * 2^3 blocks
      {120 * 64, 64, 0, 4, 64, 120, 4, false},       // exactly that many bits: no line
      {4294967295u, 20, 0, 0, 20, 214748364, 20, false},  // capped: K = 24 leaves classes T never reaches
      {4294967295u, 21, 0, 28, 21, 204522252, 20, false},
      {40000, 4, 0, 0, 4, 10000, 4, false},
      {40001, 5, 0, 0, 5, 8000, 4, false},
      {1000, 1, 0, 0, 1, 1000, 0, false},
  };
  for (const Case& c : cases) {
    Zeros(64);  // the constructor reads only seqLen
    seqLen = c.n;
    Params(c.len, c.optlen, c.k);
    logText.clear();
    LINCPLX test;
    EXPECT_EQ(test.blockLen, c.M) << c.n << " " << c.len;
    EXPECT_EQ(test.blockCount, c.N) << c.n << " " << c.len;
    EXPECT_EQ(test.classCount, c.K) << c.n << " " << c.len;
    const std::string line = "Linear complexity test: sequence length truncated to " +
                             std::to_string(uint64_t(c.N) * uint64_t(c.M)) + " bits\n\n";
    EXPECT_EQ(logText, c.truncated ? line : "") << c.n << " " << c.len;
  }
}

TEST_F(LinCplxFixture, ComplexityAndJumpsOfSimpleBlocks) {
  // Blocks at an unaligned start (bit 37) of lengths around word edges: all
  // zeros has L = 0 and no jump; only the last bit set has L = M and one
  // jump; only the first bit set has L = 1 and one jump.
  for (int M : {1, 2, 63, 64, 65, 127, 128, 1000}) {
    Params(M);
    Zeros(37 + M + 64);
    LINCPLX test;
    int J = -1;
    EXPECT_EQ(test.BlockComplexity(37, J), 0) << M;
    EXPECT_EQ(J, 0);
    words[(37 + M - 1) >> 5] |= 1u << ((37 + M - 1) & 31);
    EXPECT_EQ(test.BlockComplexity(37, J), M) << M;
    EXPECT_EQ(J, 1);
    Zeros(37 + M + 64);
    words[1] |= 1u << 5;
    if (M > 1) {
      EXPECT_EQ(test.BlockComplexity(37, J), 1) << M;
      EXPECT_EQ(J, 1);
    }
  }
}

TEST_F(LinCplxFixture, BadInputsFail) {
  // Constant zeros, and a period of 7 bits: every block has L <= 7.
  const std::string period = "1101001";
  std::string text;
  while (text.size() < 100000) text += period;
  for (int kind = 0; kind < 2; ++kind) {
    if (kind == 0) Zeros(100000);
    else FromText(text.substr(0, 100000));
    Params(500);
    LINCPLX test;
    const auto pairs = Run(test, SLOT_LINCPLX);
    ASSERT_EQ(pairs.size(), 2u);
    for (const Pair& p : pairs) EXPECT_TRUE(p.p == PVALUE_FAIL || (p.p >= 0 && p.p < 1e-10)) << kind << p.label << " " << p.p;
  }
}

TEST_F(LinCplxFixture, BlocksEndingNearTheBufferEndReadNoWordPastIt) {
  // Blocks of 20 bits, the last one ending a few bits into the buffer's
  // last word but one, in a buffer that ends where an inaccessible page
  // begins: at 220 bits, and at 1,048,600 bits with "Optimize length"
  // (20 divides n).
  struct Case {
    uint32_t n;
    int len, optlen;
    std::vector<std::string> labels;
  };
  const Case cases[] = {
      {220, 20, 0, {"LCjmp_20_11"}},
      {1048600, 20, 1, {"LCjmp_20_52430", "LClen_20_12"}},
  };
  for (const Case& c : cases) {
    GuardedSequence seq(c.n, c.n);
    seqBits = seq.words();
    seqLen = c.n;
    Params(c.len, c.optlen);
    LINCPLX test;
    const auto pairs = Run(test, SLOT_LINCPLX);
    ASSERT_EQ(pairs.size(), c.labels.size()) << c.n;
    for (size_t j = 0; j < pairs.size(); ++j) {
      EXPECT_EQ(pairs[j].label, c.labels[j]);
      EXPECT_TRUE(pairs[j].p >= 0 && pairs[j].p <= 1) << pairs[j].label << " " << pairs[j].p;
    }
  }
}

TEST(LinCplxNullLaw, UniformOnGoodBits) {
  // M = 128 (1024 blocks, K = 6), and M = 6, where the class count is
  // capped at 6 and the tails are those of a 6-bit block (without the cap
  // four classes would be empty, without the finite tails class 0 would
  // expect 2/3 of its count).
  liCoOptlen = 0;
  liCoK = 0;
  seqLen = 1 << 17;
  liCoLen = 128;
  LINCPLX wide;
  EXPECT_EQ(wide.classCount, 6);
  EXPECT_EQ(ExpectUniformNullLaw(wide, SLOT_LINCPLX, 1 << 17, 300, 20261210).size(), 2u);
  // M = 1024 at 2^17 bits: 128 blocks over five classes, whose chi-square
  // takes some 1,600 values over 10^4 sequences (atoms of 0.6 %): judged
  // by its exact law, randomised, no two p-values are the same.
  liCoLen = 1024;
  seqLen = 1 << 17;
  LINCPLX defaults;
  EXPECT_EQ(defaults.classCount, 4);
  const auto fiveClasses = ExpectUniformNullLaw(defaults, SLOT_LINCPLX, 1 << 17, 300, 20261212);
  ExpectNoRepeatedPValues(fiveClasses, "LClen_1024_4");
  liCoLen = 6;
  seqLen = 1 << 16;
  LINCPLX narrow;
  EXPECT_EQ(narrow.classCount, 6);
  const auto law = nullrun::RunNullLaw(narrow, SLOT_LINCPLX, 1 << 16, 300, 20261211);
  ASSERT_EQ(law.count("LClen_6_6"), 1u);
  EXPECT_GT(law.at("LClen_6_6").ks, 1e-4);
}
