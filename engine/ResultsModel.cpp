#include "engine/ResultsModel.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "battery/BinoLaw.h"
#include "battery/PValueTests.h"
#include "battery/RunState.h"
#include "engine/Helpers.h"

ResultsModel runResults;

CellColour PValueColour(double p) {
  if (p < 0.001) return CellColour::Red;
  if (p < 0.01) return CellColour::Orange;
  return CellColour::Blue;
}

namespace {

// The KS and AD p-values of the valid (non-negative) entries of per-row
// p-values: the count of those entries, and both p-values when there are
// two or more.
int SummaryOf(std::vector<double> values, double* ks, double* ad) {
  if (!values.empty()) SortDoubles(values.data(), 0, static_cast<int>(values.size()) - 1);
  const auto firstValid = std::find_if(values.begin(), values.end(), [](double v) { return v >= 0; });
  const int v = static_cast<int>(values.end() - firstValid);
  if (v >= 2) {
    *ks = KsUniformPValue(&*firstValid, v);
    *ad = AdUniformPValue(&*firstValid, v);
  }
  return v;
}

std::vector<double> Valid(const std::vector<double>& v) {
  std::vector<double> out;
  for (double x : v)
    if (x > -1) out.push_back(x);
  return out;
}

}  // namespace

void ResultsModel::Reset(int digits, double fixedMin) {
  *this = ResultsModel();
  digits_ = digits;
  fixedMin_ = fixedMin;
}

void ResultsModel::AddRow(const std::string& label) {
  labels_.push_back(label);
  sorted_.emplace_back();
  pending_.emplace_back();
  rowFailed_.push_back(false);
  stats_.emplace_back();
}

void ResultsModel::AddSequence(const double* values) {
  const int rows = Rows();
  // The run's array grows by whole blocks, as a run of many sequences would
  // otherwise copy it over and over.
  if (values_.capacity() < values_.size() + rows)
    values_.reserve(std::max(values_.size() * 2, values_.size() + rows + 128));
  values_.insert(values_.end(), values, values + rows);
  for (int r = 0; r < rows; ++r) {
    const double p = values[r];
    if (p > -1) {
      pending_[r].push_back(p);
    } else if (p == PVALUE_FAIL) {
      rowFailed_[r] = true;
    }
  }
  ++sequences_;
}

void ResultsModel::MergePending(int row) const {
  std::vector<double>& fresh = pending_[row];
  if (fresh.empty()) return;
  std::vector<double>& sorted = sorted_[row];
  std::sort(fresh.begin(), fresh.end());
  const size_t old = sorted.size();
  sorted.insert(sorted.end(), fresh.begin(), fresh.end());
  std::inplace_merge(sorted.begin(), sorted.begin() + static_cast<std::ptrdiff_t>(old), sorted.end());
  fresh.clear();
}

void ResultsModel::UpdateStatistics() {
  if (values_.size() <= 1) return;
  const int rows = Rows();
  const double tail = 0.01 / static_cast<double>(values_.size());
  std::vector<double> ks(rows, -1), ad(rows, -1);
  for (int r = 0; r < rows; ++r) {
    RowStats& s = stats_[r];
    const std::vector<double>& v = Sorted(r);
    const int n = static_cast<int>(v.size());
    if (rowFailed_[r]) warning_ = true;
    if (n >= 2) {
      s.extremes = true;
      s.min = v.front();
      s.max = v.back();
      s.minRed = s.min < tail || s.min > 1 - tail;
      s.maxRed = s.max < tail || s.max > 1 - tail;
      ks[r] = KsUniformPValue(v.data(), n);
      ad[r] = AdUniformPValue(v.data(), n);
    }
    s.count = n;
    s.shown = true;
    s.failed = s.failed || rowFailed_[r];
    if (sequences_ >= 2) {
      s.judged = true;
      s.ks = ks[r];
      s.ad = ad[r];
      s.bino = ThresholdBinomialPSorted(v.data(), n);
    }
  }
  if (rows > 1) {
    for (int c = 0; c < 2; ++c) {
      double pk = 0, pa = 0;
      summaryCount_[c] = SummaryOf(c == 0 ? ks : ad, &pk, &pa);
      if (summaryCount_[c] >= 2) {
        summary_[0][c] = {true, false, pk};
        summary_[1][c] = {true, false, pa};
      }
    }
  }
}

int ResultsModel::FinishRun(int sequences) {
  const int rows = Rows();
  finalKs_.assign(rows, -1);
  finalAd_.assign(rows, -1);
  for (int r = 0; r < rows; ++r) {
    const std::vector<double>& v = Sorted(r);
    if (v.size() < 2) continue;
    finalKs_[r] = KsUniformPValue(v.data(), static_cast<int>(v.size()));
    finalAd_[r] = AdUniformPValue(v.data(), static_cast<int>(v.size()));
  }

  if (sequences > 1) {
    for (int r = 0; r < rows; ++r) {
      RowStats& s = stats_[r];
      const double p = ThresholdBinomialPSorted(Sorted(r).data(), static_cast<int>(Sorted(r).size()));
      // "/" keeps the colour the cell had; a written p-value takes its own.
      if (p == PVALUE_SHORT && s.judged) {
        s.binoSlash = true;
      } else {
        s.judged = true;
        s.bino = p;
        s.binoSlash = p == PVALUE_SHORT;
      }
    }
  }
  if (rows > 2) {
    const std::vector<double> ks = Valid(finalKs_), ad = Valid(finalAd_);
    const double pk = ThresholdBinomialP(ks.data(), static_cast<int>(ks.size()));
    if (pk != PVALUE_SHORT) summary_[2][0] = {true, false, pk};
    summaryCount_[2] = static_cast<int>(ad.size());
    const double pa = ThresholdBinomialP(ad.data(), static_cast<int>(ad.size()));
    if (pa != PVALUE_SHORT) summary_[2][1] = {true, false, pa};
  } else if (rows <= 1) {
    for (int row : {0, 1})
      for (int c : {0, 1}) summary_[row][c] = {true, true, 0};
  }

  pearsonBins_ = static_cast<int>(std::sqrt(static_cast<double>(sequences)) + 0.5);
  pearson_.clear();
  if (pearsonBins_ < 2) return pearsonBins_;
  pearson_.resize(rows);
  std::vector<int> counts;
  for (int r = 0; r < rows; ++r) {
    PearsonRow& p = pearson_[r];
    const std::vector<double>& v = Sorted(r);
    p.n = static_cast<int>(v.size());
    p.m = static_cast<int>(std::sqrt(static_cast<double>(p.n)) + 0.5);
    if (p.m == 0) continue;
    p.expected = static_cast<double>(p.n) / p.m;
    p.bins.assign(p.m, 0);
    for (double x : v) ++p.bins[std::min(static_cast<int>(p.m * x), p.m - 1)];
    p.slash = p.n < 3 * p.m;
    if (p.slash) continue;
    // Pearson's statistic by its multinomial law where the bins expect few
    // values, by the chi-square law with its 1/n term elsewhere.
    counts.assign(p.bins.begin(), p.bins.end());
    p.pvalue = EqualBinsPearsonP(counts.data(), p.m, p.n);
  }
  return pearsonBins_;
}

std::string ResultsModel::PValueText(double p) const {
  char text[32];
  FormatPValueText(text, sizeof text, p, digits_, fixedMin_);
  return text;
}

std::string ResultsModel::CellText(int row, int column) const {
  char text[32];
  if (row < 3) {
    if (row < 0 || column < 0) return "";
    if (column == 0) return row == 0 && warning_ ? "WARNING!\nBig failure" : "";
    if (column == 1) {
      if (summaryCount_[row] < 0) return "";
      snprintf(text, sizeof text, "%d", summaryCount_[row]);
      return text;
    }
    if (column > 3) return "";
    const SummaryCell& cell = summary_[row][column - 2];
    if (!cell.set) return "";
    if (cell.slash) {
      snprintf(text, sizeof text, "%*c", digits_ + 2, '/');
      return text;
    }
    return PValueText(cell.p);
  }
  const int r = row - 3;
  if (r >= Rows() || column < 0) return "";
  const RowStats& s = stats_[r];
  switch (column) {
    case 0:
      return labels_[r];
    case 1:
      if (!s.shown) return "";
      snprintf(text, sizeof text, "%d", s.count);
      return text;
    case 2:
      return s.judged ? PValueText(s.ks) : "";
    case 3:
      return s.judged ? PValueText(s.ad) : "";
    case 4:
      if (!s.judged) return "";
      if (s.binoSlash) {
        snprintf(text, sizeof text, "%*c", digits_ + 2, '/');
        return text;
      }
      return PValueText(s.bino);
    case 5:
      return s.extremes ? PValueText(s.min) : "";
    case 6:
      return s.extremes ? PValueText(s.max) : "";
    default:
      return column - 7 < sequences_ ? PValueText(Value(r, column - 7)) : "";
  }
}

CellColour ResultsModel::CellTextColour(int row, int column) const {
  if (row < 3) {
    if (row < 0) return CellColour::Unset;
    if (column == 0) return row == 0 && warning_ ? CellColour::Red : CellColour::Unset;
    if (column < 2 || column > 3) return CellColour::Unset;
    const SummaryCell& cell = summary_[row][column - 2];
    if (!cell.set) return CellColour::Unset;
    return cell.slash ? CellColour::Blue : PValueColour(cell.p);
  }
  const int r = row - 3;
  if (r >= Rows()) return CellColour::Unset;
  const RowStats& s = stats_[r];
  switch (column) {
    case 1:
      return s.failed ? CellColour::Red : CellColour::Unset;
    case 2:
      return s.judged ? PValueColour(s.ks) : CellColour::Unset;
    case 3:
      return s.judged ? PValueColour(s.ad) : CellColour::Unset;
    case 4:
      return s.judged ? PValueColour(s.bino) : CellColour::Unset;
    case 5:
      return s.extremes ? (s.minRed ? CellColour::Red : CellColour::Plain) : CellColour::Unset;
    case 6:
      return s.extremes ? (s.maxRed ? CellColour::Red : CellColour::Plain) : CellColour::Unset;
    default:
      return CellColour::Unset;
  }
}

std::string ResultsModel::PearsonPValueText(int row) const {
  const PearsonRow& p = pearson_[row];
  if (p.m == 0) return PValueText(PVALUE_FAIL);
  if (p.slash) return "/";
  return PValueText(p.pvalue);
}

std::string ResultsModel::PearsonExpectedText(int row) const {
  const PearsonRow& p = pearson_[row];
  if (p.m == 0) return "/";
  char text[32];
  snprintf(text, sizeof text, "%.1f", p.expected);
  return text;
}
