#include "battery/DFT.h"

#include <algorithm>
#include <cmath>
#include <fstream>
#include <set>
#include <thread>

#include "NullLaw.h"
#include "FftFixture.h"
#include "DftLawReference.h"
#include "FftReference.h"
#include "battery/DftLaw.h"
#include "battery/Distributions.h"
#include "battery/PEAK.h"
#include "battery/PValueTests.h"
#include "platform/Event.h"

namespace {

class DftTest : public FftFixture {
 protected:
  void SetUp() override {
    FftFixture::SetUp();
    Params(1, 1024u << 20, -2, 0, 1);
    dftNmax = 0;
    dftNopt = 0xFFFFFFFFu;  // lengths used as they are
  }
  void TearDown() override {
    platform::InjectEventFailure(platform::EventCall::Set, -1);
    FftFixture::TearDown();
  }
  static void Params(uint32_t rmin, uint32_t rmax, int rstp, int firstMode, int modeStep) {
    dftRmin = rmin;
    dftRmax = rmax;
    dftRstp = rstp;
    dftFirstMode = firstMode;
    dftModeStep = modeStep;
  }
};

}  // namespace

TEST_F(DftTest, AgreesWithNumpy) {
  // numpy's transform is in double precision, FFTW's here in single: the
  // normalised values differ by about 1e-6, which moves these p-values by
  // up to 1.5e-4 of themselves.
  for (const auto& ref : DFT_REF) {
    Xorshift(ref.seed, ref.n);
    Params(ref.rmin, ref.rmax, ref.rstp, ref.firstMode, ref.modeStep);
    DFT test;
    ASSERT_EQ(test.status, TEST_OK);
    EXPECT_EQ(test.fftLength, ref.n);
    const auto pairs = Run(test, SLOT_DFT);
    ASSERT_EQ(pairs.size(), static_cast<size_t>(ref.pairs)) << ref.seed;
    for (int i = 0; i < ref.pairs; ++i) {
      EXPECT_EQ(pairs[i].label, ref.rows[i].label);
      EXPECT_NEAR(pairs[i].p, ref.rows[i].p, 5e-4 * ref.rows[i].p) << ref.rows[i].label;
    }
  }
  EXPECT_TRUE(Boxes().empty());
}

TEST_F(DftTest, RowCountsOfTheGrid) {
  struct Case {
    uint32_t N, rmin, rmax;
    int rstp;
    uint32_t lowered;
  } cases[] = {
      {1u << 25, 1, 1u << 30, -2, 1024},  // 4096 would leave fewer than 20,000 columns
      {1u << 20, 1, 1u << 30, -2, 16},
      {100000, 1, 100, 1, 5},
      {100000, 7, 100, 1, 7},           // 14,285 columns: the first row count still runs
      {1000, 1, 1024, -2, 1},
      {1u << 20, 2, 8, 2, 8},           // the walk ends at rmax: it stays
      {0xFFFFFFFFu, 1, 8, 1, 1},        // 2^31 outputs for R = 1: only the first runs
      {0xFFFFFFFFu, 2, 8, 1, 2},
  };
  for (const auto& c : cases) EXPECT_EQ(DFT::UsableRowMax(c.N, c.rmin, c.rmax, c.rstp), c.lowered) << c.N;
}

TEST_F(DftTest, LabelsOfTheModesInGridOrder) {
  // 13 row counts, more than the sub-threads (at most one per processor):
  // the pairs still come out in grid order, mode 0 before mode 1.
  Xorshift(5, 1u << 18);
  struct Case {
    int firstMode, modeStep;
  } cases[] = {{0, 1}, {0, 2}, {1, 2}};
  for (const auto& c : cases) {
    Params(1, 13, 1, c.firstMode, c.modeStep);
    DFT test;
    EXPECT_EQ(dftRmax, 13u);
    EXPECT_EQ(test.recordCount, 26);
    std::vector<std::string> expected = {"DFT 1"};
    for (int R = 2; R <= 13; ++R)
      for (int m = c.firstMode; m < 2; m += c.modeStep) expected.push_back("DFT " + std::to_string(R) + "_" + std::to_string(m));
    for (int round = 0; round < 2; ++round) {
      const auto pairs = Run(test, SLOT_DFT);
      EXPECT_EQ(Labels(pairs), expected);
      for (const auto& p : pairs) {
        EXPECT_GE(p.p, 0.0);
        EXPECT_LE(p.p, 1.0);
      }
    }
  }
  // Below 20,000 columns from the first row count on: only that one runs.
  Xorshift(5, 30000);
  Params(2, 64, 1, 0, 1);
  DFT small;
  EXPECT_EQ(dftRmax, 2u);
  EXPECT_EQ(Labels(Run(small, SLOT_DFT)), (std::vector<std::string>{"DFT 2_0", "DFT 2_1"}));
  EXPECT_TRUE(Boxes().empty());
}

TEST_F(DftTest, NullLawIsUniform) {
  seqLen = 1 << 16;
  Params(1, 3, 1, 0, 1);
  DFT test;
  const auto law = ExpectUniformNullLaw(test, SLOT_DFT, 1 << 16, 250, 31);
  EXPECT_EQ(law.size(), 5u);
}

TEST_F(DftTest, ConstantAndPeriodicSequencesFail) {
  Zeros(1 << 18);
  Params(1, 16, -2, 0, 1);
  DFT zeros;
  // 1, 4 (two modes); 16 leaves 16,384 columns
  const std::vector<std::string> labels = {"DFT 1", "DFT 4_0", "DFT 4_1"};
  ExpectRejected(Run(zeros, SLOT_DFT), labels);

  Periodic(1 << 18);
  DFT periodic;
  ExpectRejected(Run(periodic, SLOT_DFT), labels);
}

TEST_F(DftTest, NoColumnDisablesTheTestWithItsBox) {
  // More rows than bits: W = 0 would give 0/0 for every value.
  Xorshift(1, 1000);
  Params(2000, 4000, 1, 0, 1);
  DFT test;
  EXPECT_EQ(test.status, TEST_DISABLED);
  ASSERT_EQ(Boxes().size(), 1u);
  EXPECT_EQ(Boxes()[0].text, "Too few bits (1000) for 2000 rows.\nThe test will be disabled.");
  EXPECT_EQ(Boxes()[0].caption, "Quorvane - DFT test ERROR");
  EXPECT_EQ(Boxes()[0].style, wxOK | wxICON_EXCLAMATION);
  EXPECT_TRUE(test.plans.empty());
}

TEST_F(DftTest, AFailedSignalGivesNoPairsAndTheNextSequenceIsWhole) {
  Xorshift(3, 1u << 17);
  Params(1, 4, -2, 0, 1);
  DFT test;
  const auto whole = Run(test, SLOT_DFT);
  ASSERT_EQ(whole.size(), 3u);
  // The second start signal fails while the first job may still run: the
  // sequence gives its rows short, and no later sequence takes its results. Only
  // this thread's calls count, so a sub-thread's end signal sent before the
  // second start cannot take the failure.
  ExpectAFailedSignalLosesOnlyThatSequence(test, SLOT_DFT, 1, whole);
  // Destroyed right after an early return: the pool ends before the plans.
  platform::InjectEventFailure(platform::EventCall::Set, 0);
  ExpectShortPairs(Run(test, SLOT_DFT), whole);
}

TEST_F(DftTest, WritesItsWisdomAndBuildsAgainFromIt) {
  Xorshift(3, 100000);
  Params(1, 4, -2, 0, 1);
  std::vector<Pair> first;
  {
    DFT test;
    first = Run(test, SLOT_DFT);
  }
  EXPECT_TRUE(std::ifstream(folderName + "/FFTWwisdom_f").good());
  DFT test;
  ExpectSamePairs(Run(test, SLOT_DFT), first);
  EXPECT_TRUE(Boxes().empty());
}

TEST(DftKolmogorovSmirnov, BucketSortGivesTheSortedDistance) {
  // Normal-like values, values far out in the tails, and a crowded bucket
  // (most values equal, as in a degenerate spectrum).
  uint64_t x = 88172645463325252ull;
  auto next = [&] {
    x ^= x << 13, x ^= x >> 7, x ^= x << 17;
    return static_cast<double>(x >> 11) * 0x1p-53;
  };
  for (int shape = 0; shape < 3; ++shape) {
    for (uint32_t n : {1u, 2u, 7u, 1000u, 65537u, (1u << 19) + 1}) {
      std::vector<double> values(n);
      for (auto& v : values) {
        double s = 0;
        for (int i = 0; i < 12; ++i) s += next();
        v = shape == 0 ? s - 6 : shape == 1 ? 8 * (s - 6) : (next() < 0.9 ? 0.0 : s - 6);
      }
      std::vector<double> sorted = values, scratch(n);
      std::sort(sorted.begin(), sorted.end());
      double expected = 0;
      for (uint32_t i = 0; i < n; ++i) {
        const double u = NormalCdf(sorted[i]);
        expected = std::max({expected, u - double(i) / n, double(i + 1) / n - u});
      }
      // The test's bucket count, and one bucket or one per value.
      for (uint32_t bucketCount : {n / 4 + 1, 1u, n}) {
        std::vector<uint32_t> buckets(bucketCount + 1);
        EXPECT_EQ(KsNormalDistanceBucketed(values.data(), n, scratch.data(), buckets.data(), bucketCount), expected)
            << shape << " " << n << " " << bucketCount;
      }
    }
  }
}

// The compiled table's P(lambda >= x) at n values.
static double CompiledLaw(double x, double n) {
  return DftLawPValue(x, n, dftLawSizes, dftLawPoints, dftLawUpper, DFT_LAW_NODES, DFT_LAW_POINTS);
}

TEST(DftLaw, TableIsATailFromOneDownAtEveryNode) {
  ASSERT_GE(DFT_LAW_NODES, 1);
  for (int k = 0; k < DFT_LAW_NODES; ++k) {
    if (k > 0) {
      EXPECT_GT(dftLawSizes[k], dftLawSizes[k - 1]);
    }
    const int points = dftLawPoints[k];
    ASSERT_GE(points, 50);
    ASSERT_LE(points, DFT_LAW_POINTS);
    const double last = DFT_LAW_X0 + (points - 1) * DFT_LAW_STEP;
    const double* upper = dftLawUpper + k * DFT_LAW_POINTS;
    EXPECT_EQ(upper[0], 1.0);
    for (int j = 0; j < points; ++j) {
      EXPECT_GT(upper[j], 0.0) << j;
      if (j > 0) {
        EXPECT_LE(upper[j], upper[j - 1]) << j;
      }
      const double x = DFT_LAW_X0 + j * DFT_LAW_STEP;
      EXPECT_NEAR(DftLawUpperTail(x, upper, points), upper[j], 1e-12 * upper[j]) << j;
      // At a node's own size the law is that node's.
      EXPECT_NEAR(CompiledLaw(x, dftLawSizes[k]),
                  upper[j], 1e-12 * upper[j])
          << k << " " << j;
    }
    // Beyond the table: Kolmogorov's shape from the last point on, falling.
    double previous = 1;
    for (double x = last; x < 8; x += 0.25) {
      const double p = DftLawUpperTail(x, upper, points);
      EXPECT_LE(p, previous) << x;
      EXPECT_NEAR(p, upper[points - 1] * KolmogorovLimitQ(x) / KolmogorovLimitQ(last), 1e-12 * p) << x;
      previous = p;
    }
    EXPECT_EQ(DftLawUpperTail(0.1, upper, points), 1.0);
    EXPECT_EQ(DftLawUpperTail(std::nan(""), upper, points), 1.0);
  }
  // Between nodes: linear in 1 / sqrt(n); outside them, the nearest node.
  const double* lastNode = dftLawUpper + (DFT_LAW_NODES - 1) * DFT_LAW_POINTS;
  EXPECT_EQ(CompiledLaw(1.2, 4 * dftLawSizes[DFT_LAW_NODES - 1]),
            DftLawUpperTail(1.2, lastNode, dftLawPoints[DFT_LAW_NODES - 1]));
  EXPECT_EQ(CompiledLaw(1.2, 2),
            DftLawUpperTail(1.2, dftLawUpper, dftLawPoints[0]));
  if (DFT_LAW_NODES > 1) {
    const double a = dftLawSizes[0], b = dftLawSizes[1];
    const double mid = 4.0 / ((1 / std::sqrt(a) + 1 / std::sqrt(b)) * (1 / std::sqrt(a) + 1 / std::sqrt(b)));
    EXPECT_NEAR(CompiledLaw(1.2, mid),
                0.5 * (DftLawUpperTail(1.2, dftLawUpper, dftLawPoints[0]) +
                       DftLawUpperTail(1.2, dftLawUpper + DFT_LAW_POINTS, dftLawPoints[1])),
                1e-12);
  }
  // lambda = KsSizeFactor(n) D.
  EXPECT_DOUBLE_EQ(DftKsPValue(0.01, 65537),
                   CompiledLaw(KsSizeFactor(65537) * 0.01, 65537));
}

TEST(DftLaw, TableAgreesWithAnIndependentSimulation) {
  // numpy's transform of numpy's random bits, N = 20,000 (n = 10,001): the
  // table within four standard errors at every point, Kolmogorov's law
  // outside them at the upper points (the check the old law fails).
  int kolmogorovOff = 0;
  for (const auto& ref : DFT_LAW_REF) {
    EXPECT_NEAR(CompiledLaw(ref.x, 10001), ref.upper,
                4 * ref.standardError + 1e-4)
        << ref.x;
    kolmogorovOff += std::fabs(KolmogorovLimitQ(ref.x) - ref.upper) > 4 * ref.standardError + 1e-4;
  }
  EXPECT_GE(kolmogorovOff, 3);
}

TEST(DftLaw, KolmogorovLimitLaw) {
  // scipy.special.kolmogorov.
  EXPECT_NEAR(KolmogorovLimitQ(0.5), 0.96394524366488, 1e-12);
  EXPECT_NEAR(KolmogorovLimitQ(1.0), 0.26999967167735, 1e-12);
  EXPECT_NEAR(KolmogorovLimitQ(1.36), 0.049485876755378, 1e-13);
  EXPECT_NEAR(KolmogorovLimitQ(2.0), 0.00067092525577970, 1e-15);
  EXPECT_EQ(KolmogorovLimitQ(0.2), 1.0);
}

TEST_F(DftTest, RunsWhileThePeakTestRunsOnAnotherThread) {
  // Built one after the other on this thread, as the engine builds them;
  // then the DFT sub-threads and the Peak worker execute their own plans at
  // the same time, each plan by one thread only.
  Xorshift(8, 1u << 17);
  Params(1, 4, -2, 0, 1);
  peakDist = 5;
  peakNmax = 0;
  peakNopt = 0;
  DFT dft;
  PEAK peak;
  dft.slot = SLOT_DFT;
  peak.slot = SLOT_PEAK;
  const auto alone = Run(dft, SLOT_DFT);
  const auto peakAlone = Run(peak, SLOT_PEAK);
  for (int round = 0; round < 3; ++round) {
    std::thread worker([&] { peak.RunTest(); });
    dft.RunTest();
    worker.join();
    ASSERT_EQ(resultPValues[SLOT_DFT].size(), alone.size());
    ASSERT_EQ(resultPValues[SLOT_PEAK].size(), peakAlone.size());
    for (size_t i = 0; i < alone.size(); ++i) EXPECT_EQ(resultPValues[SLOT_DFT][i], alone[i].p);
    for (size_t i = 0; i < peakAlone.size(); ++i) EXPECT_EQ(resultPValues[SLOT_PEAK][i], peakAlone[i].p);
    for (int slot : {SLOT_DFT, SLOT_PEAK}) {
      for (char* label : resultLabels[slot]) delete[] label;
      resultLabels[slot].clear();
      resultPValues[slot].clear();
    }
  }
}
