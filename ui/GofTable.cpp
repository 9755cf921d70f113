#include "ui/GofTable.h"

#include "battery/GofStatistics.h"
#include "battery/RunState.h"
#include "ui/MainFrame.h"

namespace {

const char* const GOF_ROW_LABELS[GOF_STATISTICS] = {"KS", "AD", "SL", "CM", "SW", "CC", "AV"};

// The level 1e-5 is the finest the tables resolve.
constexpr double GOF_TOLERANCE = 1e-5;

}  // namespace

void ComputeGofTable(int n, int column, const double* values, const GofSplineTables& tables) {
  double statistics[GOF_STATISTICS];
  GofMedians medians;
  const bool mediansOk = ComputeGofMedians(n, medians);
  if (mediansOk) {
    ShapiroWilkCoefficients(n);
    ComputeGofStatistics(values, n, medians, statistics);
    swCoefficients.clear();
    swCoefficients.shrink_to_fit();
  }
  for (int k = 0; k < GOF_STATISTICS; ++k) {
    double probability = PVALUE_FAIL;
    if (mediansOk) {
      // The curves give the lower tail (the upper one for AV); the cells show
      // the other tail, so that a small value means a poor fit in every row.
      // A statistic without a value (SW, CC and AV of n equal values) comes
      // back as PVALUE_FAIL and shows "err".
      double tail = GofStatisticPValue(k, n, GOF_TOLERANCE, tables, statistics[k]);
      if (tail != PVALUE_FAIL) probability = 1.0 - tail;
    }
    SetGofCell(k, GOF_ROW_LABELS[k], probability, column);
  }
}
