// The table of seven goodness-of-fit statistics on the Graph page.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "battery/GofTables.h"
#include "support/CountingFrame.h"
#include "ui/GofTable.h"

namespace {

const char* const LABELS[GOF_STATISTICS] = {"KS", "AD", "SL", "CM", "SW", "CC", "AV"};

class GofTableTest : public ::testing::Test {
 protected:
  void SetUp() override {
    frame = new CountingFrame;
    mainFrame = frame;
    frame->statGrid->AppendRows(GOF_STATISTICS);
    BuildGofSplineTables(tables);
  }
  void TearDown() override {
    FreeGofSplineTables(tables);
    mainFrame = nullptr;
    delete frame;
  }

  void Compute(std::vector<double> x, int column) {
    std::sort(x.begin(), x.end());
    ComputeGofTable(int(x.size()), column, x.data(), tables);
  }
  std::string Text(int row, int column) const { return frame->statGrid->GetCellValue(row, column).ToStdString(); }
  wxColour Colour(int row, int column) const { return frame->statGrid->GetCellTextColour(row, column); }
  // The probability a cell shows; the two limit texts count as 0 and 1.
  double Shown(int row, int column) const {
    std::string t = Text(row, column);
    if (t == "< 0.00001") return 0;
    if (t == "> 0.99999") return 1;
    double v = -1;
    EXPECT_TRUE(wxString(t).ToCDouble(&v)) << LABELS[row] << ": " << t;
    return v;
  }

  CountingFrame* frame = nullptr;
  GofSplineTables tables;
};

std::vector<double> Uniform(int n, unsigned seed) {
  std::mt19937_64 rng(seed);
  std::uniform_real_distribution<double> uniform(0.0, 1.0);
  std::vector<double> x(n);
  for (double& v : x) v = uniform(rng);
  return x;
}

TEST_F(GofTableTest, UniformSamplesAreNotExtremeInEitherColumn) {
  Compute(Uniform(300, 1), 0);
  Compute(Uniform(400, 2), 1);
  for (int column = 0; column < 2; ++column)
    for (int row = 0; row < GOF_STATISTICS; ++row) {
      EXPECT_EQ(frame->statGrid->GetRowLabelValue(row), LABELS[row]);
      // Not extreme: between 0.001 and 0.999, and so not red; in the default
      // colour from 0.01 on.
      double p = Shown(row, column);
      EXPECT_GT(p, 0.001) << LABELS[row] << " column " << column;
      EXPECT_LT(p, 0.999) << LABELS[row] << " column " << column;
      EXPECT_NE(Colour(row, column), *wxRED) << LABELS[row];
      if (p >= 0.01) {
        EXPECT_EQ(Colour(row, column), frame->statGrid->GetDefaultCellTextColour()) << LABELS[row];
      }
      EXPECT_EQ(Text(row, column).size(), 7u) << Text(row, column);  // "%.5f" of a value below 1
    }
}

// Values bunched towards 0 fit badly by every statistic: every cell shows a
// small probability, in red. The other column is left alone.
TEST_F(GofTableTest, BunchedSampleIsExtremeForEveryStatistic) {
  std::vector<double> x = Uniform(300, 3);
  for (double& v : x) v = v * v * v;
  Compute(x, 1);
  for (int row = 0; row < GOF_STATISTICS; ++row) {
    EXPECT_LT(Shown(row, 1), 0.001) << LABELS[row];
    EXPECT_EQ(Colour(row, 1), *wxRED) << LABELS[row];
    EXPECT_EQ(Text(row, 0), "") << LABELS[row];
  }
}

// Equal values leave SW, CC and AV without a value: their cells fail ("err",
// red) instead of showing a number; the other four are judged as usual (a
// distance of 0.95 is far beyond every curve).
TEST_F(GofTableTest, EqualValuesShowFailuresForTheShapeStatistics) {
  Compute(std::vector<double>(20, 0.05), 0);
  for (int row : {GOF_SW, GOF_CC, GOF_AV}) {
    EXPECT_EQ(Text(row, 0), "err") << LABELS[row];
    EXPECT_EQ(Colour(row, 0), *wxRED) << LABELS[row];
  }
  EXPECT_EQ(Text(GOF_KS, 0), "< 0.00001");
  for (int row : {GOF_AD, GOF_SL, GOF_CM}) EXPECT_NE(Text(row, 0), "err") << LABELS[row];
}

TEST_F(GofTableTest, ValueOfOneShowsAdAsSmallest) {
  std::vector<double> x = Uniform(100, 4);
  x[0] = 1.0;
  Compute(x, 0);
  EXPECT_EQ(Text(GOF_AD, 0), "< 0.00001");
  EXPECT_EQ(Colour(GOF_AD, 0), *wxRED);
  EXPECT_NE(Text(GOF_KS, 0), "err");
}

TEST_F(GofTableTest, NoCoefficientsSurviveTheCall) {
  Compute(Uniform(50, 5), 0);
  EXPECT_TRUE(swCoefficients.empty());
}

}  // namespace
