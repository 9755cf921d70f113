#include "engine/GofResults.h"

#include <wx/string.h>

#include "battery/GofStatistics.h"
#include "battery/PValueTests.h"
#include "battery/RunState.h"

const char* const GOF_ROW_LABELS[GOF_STATISTICS] = {"KS", "AD", "SL", "CM", "SW", "CC", "AV"};

namespace {

// The level 1e-5 is the finest the tables resolve.
constexpr double GOF_TOLERANCE = 1e-5;

}  // namespace

PlotSeries SortedPlotSeries(int n, const double* ks, const double* ad) {
  PlotSeries series;
  for (int i = 0; i < n; ++i) {
    if (ks[i] > -1 && ad[i] > -1) {
      series.ks.push_back(ks[i]);
      series.ad.push_back(ad[i]);
    }
  }
  const int count = series.Count();
  if (count > 1) {
    SortDoubles(series.ks.data(), 0, count - 1);
    SortDoubles(series.ad.data(), 0, count - 1);
  }
  return series;
}

void ComputeGofColumn(int n, const double* values, const GofSplineTables& tables, double probability[GOF_STATISTICS]) {
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
    probability[k] = PVALUE_FAIL;
    if (mediansOk) {
      // The curves give the lower tail (the upper one for AV); the table
      // shows the other tail, so that a small value means a poor fit in
      // every row. A statistic without a value (SW, CC and AV of n equal
      // values) comes back as PVALUE_FAIL.
      const double tail = GofStatisticPValue(k, n, GOF_TOLERANCE, tables, statistics[k]);
      if (tail != PVALUE_FAIL) probability[k] = 1.0 - tail;
    }
  }
}

GofResults ComputeGofResults(const PlotSeries& series) {
  GofResults table;
  GofSplineTables tables;
  BuildGofSplineTables(tables);
  double column[GOF_STATISTICS];
  const std::vector<double>* values[2] = {&series.ks, &series.ad};
  for (int c = 0; c < 2; ++c) {
    ComputeGofColumn(series.Count(), values[c]->data(), tables, column);
    for (int k = 0; k < GOF_STATISTICS; ++k) table.probability[k][c] = column[k];
  }
  FreeGofSplineTables(tables);
  return table;
}

std::string GofCellText(double probability) {
  if (probability == 1) return "> 0.99999";
  if (probability == 0) return "< 0.00001";
  if (probability == -1) return "err";
  // Five decimals with a point whatever the locale.
  return std::string(wxString::FromCDouble(probability, 5).utf8_str().data());
}
