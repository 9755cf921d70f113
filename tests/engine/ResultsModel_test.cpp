// The results model without a window: its incremental per-row and summary
// statistics equal a computation from scratch over sorted copies of the
// same values, after every sequence, also with " fail" and " short" values.
#include "engine/ResultsModel.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "battery/BinoLaw.h"
#include "battery/PValueTests.h"
#include "battery/RunState.h"

namespace {

struct Scratch {
  std::vector<double> valid;
  bool failed = false;
};

// Row r's values over the first `sequences` sequences, from scratch.
Scratch RowFromScratch(const std::vector<std::vector<double>>& seqs, int r, int sequences) {
  Scratch s;
  for (int k = 0; k < sequences; ++k) {
    const double p = seqs[k][r];
    if (p > -1)
      s.valid.push_back(p);
    else if (p == PVALUE_FAIL)
      s.failed = true;
  }
  std::sort(s.valid.begin(), s.valid.end());
  return s;
}

// The valid entries of per-row p-values, sorted: their count, KS and AD.
int SummaryFromScratch(std::vector<double> v, double* ks, double* ad) {
  std::vector<double> valid;
  for (double x : v)
    if (x >= 0) valid.push_back(x);
  std::sort(valid.begin(), valid.end());
  const int n = static_cast<int>(valid.size());
  if (n >= 2) {
    *ks = KsUniformPValue(valid.data(), n);
    *ad = AdUniformPValue(valid.data(), n);
  }
  return n;
}

std::string Text(const ResultsModel& m, double p) { return m.PValueText(p); }

class ResultsModelTest : public ::testing::Test {
 protected:
  // Rows: 0 good values, 1 a " fail" now and then, 2 " short" often, 3 only
  // " short", 4 extreme values (0 and 1 and near them), 5 a " fail" at the
  // first sequence and " short" at the second.
  static constexpr int ROWS = 6;

  std::vector<std::vector<double>> MakeSequences(int count, uint64_t seed) {
    std::mt19937_64 gen(seed);
    std::uniform_real_distribution<double> uniform(0.0, 1.0);
    std::vector<std::vector<double>> seqs(count, std::vector<double>(ROWS));
    for (int k = 0; k < count; ++k) {
      seqs[k][0] = uniform(gen);
      seqs[k][1] = k % 5 == 3 ? PVALUE_FAIL : uniform(gen);
      seqs[k][2] = k % 2 == 0 ? PVALUE_SHORT : uniform(gen) * 0.2;
      seqs[k][3] = PVALUE_SHORT;
      const double extremes[] = {0.0, 1.0, 1e-9, 1 - 1e-12, 0.5};
      seqs[k][4] = extremes[k % 5];
      seqs[k][5] = k == 0 ? PVALUE_FAIL : k == 1 ? PVALUE_SHORT : uniform(gen);
    }
    return seqs;
  }

  void Fill(ResultsModel& m) {
    m.Reset(4, 0.001);
    for (int r = 0; r < ROWS; ++r) m.AddRow("row " + std::to_string(r));
  }
};

TEST_F(ResultsModelTest, RowAndSummaryStatisticsEqualAComputationFromScratchAfterEverySequence) {
  const int count = 12;
  const auto seqs = MakeSequences(count, 7);
  ResultsModel m;
  Fill(m);
  for (int k = 1; k <= count; ++k) {
    m.AddSequence(seqs[k - 1].data());
    m.UpdateStatistics();
    ASSERT_EQ(m.Sequences(), k);
    const double tail = 0.01 / (static_cast<double>(k) * ROWS);
    std::vector<double> ks(ROWS, -1), ad(ROWS, -1);
    for (int r = 0; r < ROWS; ++r) {
      const Scratch s = RowFromScratch(seqs, r, k);
      const int n = static_cast<int>(s.valid.size());
      EXPECT_EQ(m.Sorted(r), s.valid) << "row " << r << " after " << k;
      const ResultsModel::RowStats& st = m.Stats(r);
      EXPECT_EQ(st.count, n);
      EXPECT_EQ(st.failed, s.failed);
      EXPECT_EQ(m.CellText(r + 3, 1), std::to_string(n));
      if (n >= 2) {
        ks[r] = KsUniformPValue(s.valid.data(), n);
        ad[r] = AdUniformPValue(s.valid.data(), n);
        EXPECT_EQ(m.CellText(r + 3, 5), Text(m, s.valid.front()));
        EXPECT_EQ(m.CellText(r + 3, 6), Text(m, s.valid.back()));
        const bool lowRed = s.valid.front() < tail || s.valid.front() > 1 - tail;
        EXPECT_EQ(m.CellTextColour(r + 3, 5), lowRed ? CellColour::Red : CellColour::Plain) << r << " " << k;
      } else {
        EXPECT_EQ(m.CellText(r + 3, 5), "");
      }
      if (k >= 2) {
        EXPECT_EQ(st.ks, ks[r]) << "row " << r << " after " << k;
        EXPECT_EQ(st.ad, ad[r]) << "row " << r << " after " << k;
        const double bino = ThresholdBinomialP(s.valid.data(), n);
        EXPECT_EQ(st.bino, bino);
        EXPECT_EQ(m.CellText(r + 3, 2), Text(m, ks[r]));
        EXPECT_EQ(m.CellText(r + 3, 3), Text(m, ad[r]));
        EXPECT_EQ(m.CellText(r + 3, 4), Text(m, bino));
        EXPECT_EQ(m.CellTextColour(r + 3, 4), PValueColour(bino));
      } else {
        EXPECT_EQ(m.CellText(r + 3, 2), "");
      }
      EXPECT_EQ(m.CellTextColour(r + 3, 1), s.failed ? CellColour::Red : CellColour::Unset);
      for (int q = 0; q < k; ++q) EXPECT_EQ(m.CellText(r + 3, 7 + q), Text(m, seqs[q][r]));
      EXPECT_EQ(m.CellText(r + 3, 7 + k), "") << "no sequence beyond the last";
    }
    EXPECT_EQ(m.Failed(), true) << "row 5 failed at sequence 1";
    EXPECT_EQ(m.CellText(0, 0), "WARNING!\nBig failure");
    // Summary rows: KS and AD of the rows' KS (column 2) and AD (column 3).
    double kk = 0, ka = 0, ak = 0, aa = 0;
    const int vk = SummaryFromScratch(ks, &kk, &ka), va = SummaryFromScratch(ad, &ak, &aa);
    EXPECT_EQ(m.CellText(0, 1), std::to_string(vk));
    EXPECT_EQ(m.CellText(1, 1), std::to_string(va));
    if (vk >= 2) {
      EXPECT_EQ(m.CellText(0, 2), Text(m, kk));
      EXPECT_EQ(m.CellText(1, 2), Text(m, ka));
      EXPECT_EQ(m.CellText(0, 3), Text(m, ak));
      EXPECT_EQ(m.CellText(1, 3), Text(m, aa));
      EXPECT_EQ(m.CellTextColour(0, 2), PValueColour(kk));
    } else {
      EXPECT_EQ(m.CellText(0, 2), "");
    }
  }

  // The end of the run: final row values, the binomial column and row, and
  // Pearson's bins, from scratch as well.
  const int k = m.FinishRun(count);
  EXPECT_EQ(k, 3);  // round(sqrt(12))
  std::vector<double> finalKs(ROWS, -1), finalAd(ROWS, -1);
  for (int r = 0; r < ROWS; ++r) {
    const Scratch s = RowFromScratch(seqs, r, count);
    const int n = static_cast<int>(s.valid.size());
    if (n >= 2) {
      finalKs[r] = KsUniformPValue(s.valid.data(), n);
      finalAd[r] = AdUniformPValue(s.valid.data(), n);
    }
    const double bino = ThresholdBinomialP(s.valid.data(), n);
    EXPECT_EQ(m.CellText(r + 3, 4), bino == PVALUE_SHORT ? "     /" : Text(m, bino)) << r;
    const ResultsModel::PearsonRow& p = m.Pearson()[r];
    const int bins = static_cast<int>(std::sqrt(static_cast<double>(n)) + 0.5);
    ASSERT_EQ(p.m, bins);
    std::vector<unsigned> counts(bins, 0);
    for (double x : s.valid) ++counts[std::min(static_cast<int>(bins * x), bins - 1)];
    EXPECT_EQ(p.bins, counts) << r;
    if (bins > 0 && !p.slash) {
      const std::vector<int> binCounts(counts.begin(), counts.end());
      EXPECT_EQ(p.pvalue, EqualBinsPearsonP(binCounts.data(), bins, n)) << r;
    }
    if (bins == 0) {
      EXPECT_EQ(m.PearsonPValueText(r), " fail");
    }
  }
  EXPECT_EQ(m.FinalKs(), finalKs);
  EXPECT_EQ(m.FinalAd(), finalAd);
  std::vector<double> validAd;
  for (double x : finalAd)
    if (x > -1) validAd.push_back(x);
  EXPECT_EQ(m.CellText(2, 1), std::to_string(validAd.size()));
}

TEST_F(ResultsModelTest, ASingleRowShowsSlashesInBlueAndNoSummary) {
  ResultsModel m;
  m.Reset(4, 0.001);
  m.AddRow("only");
  const double values[] = {0.25, 0.5, PVALUE_SHORT, 0.75};
  for (double v : values) {
    m.AddSequence(&v);
    m.UpdateStatistics();
    EXPECT_EQ(m.CellText(0, 1), "") << "no summary with one row";
  }
  m.FinishRun(4);
  for (int row : {0, 1})
    for (int col : {2, 3}) {
      EXPECT_EQ(m.CellText(row, col), "     /");
      EXPECT_EQ(m.CellTextColour(row, col), CellColour::Blue);
    }
  EXPECT_EQ(m.CellText(3, 1), "3");
  EXPECT_EQ(m.CellText(3, 9), " short");
  EXPECT_EQ(m.CellText(0, 0), "") << "no failure";
}

TEST_F(ResultsModelTest, OneSequenceGivesCountsButNoJudgementAndNoPearson) {
  const auto seqs = MakeSequences(1, 3);
  ResultsModel m;
  Fill(m);
  m.AddSequence(seqs[0].data());
  m.UpdateStatistics();
  EXPECT_EQ(m.FinishRun(1), 1);
  EXPECT_TRUE(m.Pearson().empty());
  for (int r = 0; r < ROWS; ++r) {
    EXPECT_EQ(m.CellText(r + 3, 2), "");
    EXPECT_EQ(m.CellText(r + 3, 4), "") << "no binomial column after one sequence";
  }
  EXPECT_EQ(m.CellText(0, 1), "0");
}

}  // namespace
