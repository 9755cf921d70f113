#pragma once
// The end-of-run judgement of the rows' final KS and AD p-values: the two
// sorted series of the p-value plot and the table of seven goodness-of-fit
// probabilities, as numbers and as the texts the window and the report show.
#include <string>
#include <vector>

#include "battery/GofTables.h"

// The rows whose KS and AD p-values are both p-values (above -1), each
// series sorted ascending.
struct PlotSeries {
  std::vector<double> ks, ad;
  int Count() const { return static_cast<int>(ks.size()); }
};
PlotSeries SortedPlotSeries(int n, const double* ks, const double* ad);

// The seven statistics' probabilities of the KS series (column 0) and of the
// AD series (column 1), in the order GOF_ROW_LABELS names them.
struct GofResults {
  double probability[GOF_STATISTICS][2];
};
extern const char* const GOF_ROW_LABELS[GOF_STATISTICS];

// The probabilities of the seven statistics of the n sorted values (n >= 3)
// against the uniform law, small for a poor fit; PVALUE_FAIL for a
// statistic without a value.
void ComputeGofColumn(int n, const double* values, const GofSplineTables& tables, double probability[GOF_STATISTICS]);
// Both columns of the series (three points or more), with tables built and
// freed around them.
GofResults ComputeGofResults(const PlotSeries& series);

// The text of one probability: "> 0.99999" for 1, "< 0.00001" for 0, "err"
// for PVALUE_FAIL, else five decimals.
std::string GofCellText(double probability);
