#include "battery/MergedChiSquare.h"

#include "battery/Distributions.h"
#include "battery/RunState.h"

double MergedChiSquarePValue(int classes, double chi2) {
  if (classes < 2) return PVALUE_SHORT;
  return IncompleteGammaQ((classes - 1) / 2.0, chi2 / 2);
}

void MergedChiSquare::Build(const std::vector<double>& expected, const std::vector<int>& order, MergeRule rule,
                            double threshold, Remainder remainder) {
  const int cells = static_cast<int>(expected.size());
  classOf_.assign(cells, -1);
  classExpected_.clear();
  double open = 0;
  // A visited cell takes the index of the open class; the cells of a class
  // that never closes keep the index Classes() has at the end, which is
  // the dropped index.
  auto visit = [&](int c) {
    classOf_[c] = Classes();
    open += expected[c];
    if (rule == MergeRule::AtLeast ? open >= threshold : open > threshold) {
      classExpected_.push_back(open);
      open = 0;
    }
  };
  if (order.empty())
    for (int c = 0; c < cells; ++c) visit(c);
  else
    for (int c : order) visit(c);
  if (remainder == Remainder::JoinLast && Classes() > 0) {
    const int last = Classes() - 1;
    for (int c = 0; c < cells; ++c)
      if (classOf_[c] == Classes()) {
        classOf_[c] = last;
        classExpected_[last] += expected[c];
      }
  }
  for (int& k : classOf_)
    if (k < 0) k = Classes();
}

double MergedChiSquare::PValue(double chi2) const { return MergedChiSquarePValue(Classes(), chi2); }

double MergedChiSquareSum::PValue() const { return MergedChiSquarePValue(classes_, Statistic()); }
