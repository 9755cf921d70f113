#include "battery/PEAK.h"

#include <fstream>

#include "NullLaw.h"
#include "FftFixture.h"
#include "FftReference.h"

namespace {

class PeakTest : public FftFixture {
 protected:
  void SetUp() override {
    FftFixture::SetUp();
    peakDist = 1;
    peakNmax = 0;
    peakNopt = 0xFFFFFFFFu;  // lengths used as they are
  }
};

}  // namespace

TEST_F(PeakTest, AgreesWithNumpy) {
  // The reference checked that no magnitude lies near a threshold, so the
  // single-precision transform gives the same counts and the same p-values.
  for (const auto& ref : PEAK_REF) {
    Xorshift(ref.seed, ref.n);
    peakDist = ref.dist;
    PEAK test;
    ASSERT_EQ(test.status, TEST_OK);
    EXPECT_EQ(test.fftLength, ref.n);
    const auto pairs = Run(test, SLOT_PEAK);
    ASSERT_EQ(pairs.size(), static_cast<size_t>(ref.pairs)) << ref.seed;
    for (int i = 0; i < ref.pairs; ++i) {
      EXPECT_EQ(pairs[i].label, ref.rows[i].label);
      EXPECT_NEAR(pairs[i].p, ref.rows[i].p, 1e-12) << ref.rows[i].label;
    }
  }
  EXPECT_TRUE(Boxes().empty());
}

TEST(PeakOrder, BitsReadAtADistance) {
  // N = 10, D = 4: bits 0, 4, 8, 1, 5, 9, 2, 6, 3, 7.
  const int order[10] = {0, 4, 8, 1, 5, 9, 2, 6, 3, 7};
  for (int t = 0; t < 10; ++t) {
    const uint32_t words[2] = {1u << t, 0};
    float in[10];
    PEAK::FillDistance(words, 10, 4, in);
    for (int j = 0; j < 10; ++j) EXPECT_EQ(in[j], order[j] == t ? 1.0f : -1.0f) << t << " " << j;
  }
  // Distance 1 and distances that do not divide N: every bit once, in
  // runs of one residue class.
  std::vector<uint32_t> words(40);
  for (uint32_t i = 0; i < words.size(); ++i) words[i] = 0x9E3779B9u * (i + 1);
  for (uint32_t D : {1u, 2u, 3u, 7u, 640u, 1000u}) {
    const uint32_t N = 1000;
    std::vector<float> in(N);
    PEAK::FillDistance(words.data(), N, D, in.data());
    uint32_t j = 0;
    for (uint32_t w = 0; w < std::min(D, N); ++w)
      for (uint32_t t = w; t < N; t += D, ++j)
        ASSERT_EQ(in[j], (words[t / 32] >> (t % 32) & 1) ? 1.0f : -1.0f) << D << " " << t;
    EXPECT_EQ(j, N);
  }
}

TEST_F(PeakTest, DistancesAndLabels) {
  Xorshift(2, 1u << 15);
  struct Case {
    uint32_t dist, lowered;
    size_t pairs;
  } cases[] = {{1, 1, 12}, {3, 3, 24}, {1u << 14, 1u << 14, 24}, {100000, 1u << 14, 24}};
  const char* q[12] = {"0.01", "0.1", "0.2", "0.3", "0.4", "0.5", "0.6", "0.65", "0.7", "0.8", "0.9", "0.99"};
  for (const auto& c : cases) {
    peakDist = c.dist;
    PEAK test;
    EXPECT_EQ(peakDist, c.lowered);
    const auto pairs = Run(test, SLOT_PEAK);
    ASSERT_EQ(pairs.size(), c.pairs);
    for (size_t i = 0; i < pairs.size(); ++i) {
      const uint32_t D = i < 12 ? 1 : c.lowered;
      EXPECT_EQ(pairs[i].label, std::string("Peak ") + q[i % 12] + "_" + std::to_string(D));
      EXPECT_GE(pairs[i].p, 0.0);
      EXPECT_LE(pairs[i].p, 1.0);
    }
  }
}

TEST_F(PeakTest, NullLawIsUniform) {
  seqLen = 1 << 16;
  peakDist = 3;
  PEAK test;
  const auto law = ExpectUniformNullLaw(test, SLOT_PEAK, 1 << 16, 400, 41);
  EXPECT_EQ(law.size(), 24u);
}

TEST_F(PeakTest, ConstantAndPeriodicSequencesFail) {
  // Constant: every magnitude but one is 0, so far too many lie below every
  // threshold and the one-sided p-value goes to 1.
  Zeros(1 << 18);
  PEAK zeros;
  auto pairs = Run(zeros, SLOT_PEAK);
  ASSERT_EQ(pairs.size(), 12u);
  for (const auto& p : pairs) EXPECT_GT(p.p, 1 - 1e-10) << p.label;

  // Period 2^16 in 2^18 bits: only every fourth magnitude is nonzero, and
  // twice as large. Too few lie below the highest thresholds (p near 0),
  // too many below the lower ones (p near 1).
  Periodic(1 << 18);
  PEAK periodic;
  pairs = Run(periodic, SLOT_PEAK);
  ASSERT_EQ(pairs.size(), 12u);
  for (const auto& p : pairs) EXPECT_LT(std::min(p.p, 1 - p.p), 1e-10) << p.label;
}

TEST_F(PeakTest, FitsItsLengthAndWritesItsWisdom) {
  Xorshift(4, 1000003);
  peakNopt = 0;
  peakDist = 1u << 30;
  PEAK test;
  EXPECT_EQ(test.fftLength, 1000000u);
  EXPECT_EQ(peakDist, 500000u);
  EXPECT_EQ(LogLines(), std::vector<std::string>{"PEAK test: sequence length optimized to 1000000 bits (-3 bits)\n\n"});
  EXPECT_EQ(Run(test, SLOT_PEAK).size(), 24u);
  EXPECT_TRUE(std::ifstream(folderName + "/FFTWwisdom_f").good());
  EXPECT_TRUE(Boxes().empty());
}

TEST_F(PeakTest, AnUnwritableWisdomFileIsAWarningOnly) {
  Xorshift(4, 1u << 15);
  std::string missing = folderName + "/no/such/folder";
  dataDir = missing.data();
  PEAK test;
  EXPECT_EQ(test.status, TEST_OK);
  ASSERT_EQ(Boxes().size(), 1u);
  EXPECT_EQ(Boxes()[0].text, "WARNING: wisdom not saved.");
  EXPECT_EQ(Run(test, SLOT_PEAK).size(), 12u);
}
