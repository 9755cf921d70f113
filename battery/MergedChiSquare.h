#pragma once
// The chi-square over merged classes that most tests share. Cells are
// visited in the order the caller gives; their expected counts add up into
// the open class, which closes when its running expected count reaches the
// threshold (5, "at least" or, for the rules that ask for it, "more than");
// what is still open after the last cell is dropped. The p-value is
// IncompleteGammaQ((classes - 1) / 2.0, chi2 / 2).
//
// Build once per run (or whenever the expected counts change) and count
// per sequence through ClassTable(): it maps every cell to its class, and
// the dropped cells to the extra index Classes(), so the counting loop is a
// single increment into an array of Classes() + 1 counters.
#include <cstddef>
#include <cstdint>
#include <vector>

enum class MergeRule { AtLeast, MoreThan };

// The statistic summed over the classes: Pearson's X = sum (O - E)^2 / E,
// referred to chi-square with classes - 1 degrees of freedom, or the
// Cressie-Read power divergence of lambda = 1/2,
// T = 8/3 sum [O (sqrt(O / E) - 1) - 1/2 (O - E)], referred to
// a + b chi2(classes - 1) of T's mean and variance to O(1/n) under the
// multinomial (Cressie and Read, JRSS B 46, 1984; Read and Cressie 1988),
// n taken as the classes' total expected count (a dropped remainder expects
// fewer than 5), the mean with the next term of each class's own,
// 3 / (128 E^2): from the sums over the classes of 1 / E and 1 / E^2, so the
// law costs O(classes). Where classes expect few observations (about 5) X's upper
// tail is much heavier than chi-square's; T's is close to its law, with a
// few classes or hundreds, where T's variance alone falls a few per cent
// short of chi-square's and the moments give it back
// (tools/reference/small_class_laws.txt). The term -1/2 (O - E) sums to 0
// when the classes hold every observation; with a dropped remainder it keeps
// each class's term at least 0, as (O - E)^2 / E is.
enum class Divergence { Pearson, CressieRead };

double CressieReadTerm(double o, double e);

inline double DivergenceTerm(Divergence d, double o, double e) {
  return d == Divergence::Pearson ? (o - e) * (o - e) / e : CressieReadTerm(o, e);
}

// The sums over the classes that the power divergence's moment law reads.
struct ClassSums {
  double total = 0, inverse = 0, inverseSquare = 0;  // of E, 1 / E and 1 / E^2
  void Add(double e) {
    total += e;
    inverse += 1 / e;
    inverseSquare += 1 / (e * e);
  }
};

// The p-value of a statistic over `classes` classes of these sums: the
// chi-square law for Pearson's, the power divergence's moment law
// otherwise. PVALUE_SHORT when fewer than two classes closed.
double DivergencePValue(Divergence d, int classes, double statistic, const ClassSums& sums);

// What becomes of the cells still open after the last one: dropped (the
// usual rule), or joined to the last closed class so that the classes hold
// every observation and the statistic keeps classes - 1 degrees of freedom.
enum class Remainder { Drop, JoinLast };

class MergedChiSquare {
 public:
  // expected[c]: the expected count of cell c. order: the cells in visiting
  // order (each at most once; cells absent from it are dropped); empty means
  // 0, 1, ..., cells - 1. Reuses its storage: no allocation once it has seen
  // as many cells.
  void Build(const std::vector<double>& expected, const std::vector<int>& order = {},
             MergeRule rule = MergeRule::AtLeast, double threshold = 5.0, Remainder remainder = Remainder::Drop);

  int Classes() const { return static_cast<int>(classExpected_.size()); }
  // Cell -> class, dropped cells -> Classes() (none with JoinLast once a
  // class has closed).
  const std::vector<int>& ClassTable() const { return classOf_; }
  const std::vector<double>& ClassExpected() const { return classExpected_; }

  // The statistic of observed counts per class (Classes() entries read; the
  // dropped counter, if passed, is ignored): Pearson's unless asked.
  template <class Count>
  double Statistic(const Count* observed, Divergence d = Divergence::Pearson) const {
    double chi2 = 0;
    for (size_t k = 0; k < classExpected_.size(); ++k)
      chi2 += DivergenceTerm(d, static_cast<double>(observed[k]), classExpected_[k]);
    return chi2;
  }

  // The p-value of a statistic of divergence d over the classes
  // (DivergencePValue); PVALUE_SHORT when fewer than two classes closed.
  double PValue(double chi2, Divergence d = Divergence::Pearson) const;

  template <class Count>
  double PValueOf(const Count* observed, Divergence d = Divergence::Pearson) const {
    return PValue(Statistic(observed, d), d);
  }

 private:
  std::vector<int> classOf_;
  std::vector<double> classExpected_;
};

// The p-value of Pearson's chi-square over merged classes: classes - 1
// degrees of freedom, PVALUE_SHORT when fewer than two classes closed.
double MergedChiSquarePValue(int classes, double chi2);

// The same merging done on the fly, for tests whose expected counts change
// with every sequence: add the cells in visiting order, then ask for the
// p-value.
//
// With `draws` other than 1 the cells give probabilities instead: the open
// class sums them and its expected count is draws times that sum (the
// product of the sum, as a test that counts draws against cumulative
// probabilities forms it).
class MergedChiSquareSum {
 public:
  explicit MergedChiSquareSum(MergeRule rule = MergeRule::AtLeast, double threshold = 5.0,
                              Remainder remainder = Remainder::Drop, double draws = 1.0,
                              Divergence divergence = Divergence::Pearson)
      : rule_(rule), threshold_(threshold), remainder_(remainder), draws_(draws), divergence_(divergence) {}
  // Each closed class's expected count is appended to *record as it closes
  // (a run's set-up asks for it; a sequence's count does not). With
  // Remainder::JoinLast the remainder's share of the last class is not in it.
  void Record(std::vector<double>* record) { record_ = record; }
  // Whether an open class with this expected count closes.
  bool Closes(double expected) const { return rule_ == MergeRule::AtLeast ? expected >= threshold_ : expected > threshold_; }
  void Add(double observed, double expected) {
    o_ += observed;
    e_ += expected;
    const double e = draws_ * e_;
    if (Closes(e)) Close(e);
  }
  int Classes() const { return classes_; }
  double Statistic() const {
    if (remainder_ == Remainder::Drop || classes_ == 0) return chi2_;
    return chi2_ + Term(lastO_ + o_, lastE_ + draws_ * e_);
  }
  // PVALUE_SHORT when fewer than two classes closed.
  double PValue() const;

 private:
  double Term(double o, double e) const { return DivergenceTerm(divergence_, o, e); }
  // Closes the open class, of expected count e (out of line: the per-cell
  // Add stays small for the counting loops that call it).
  void Close(double e);
  MergeRule rule_;
  double threshold_;
  Remainder remainder_;
  double draws_;
  Divergence divergence_;
  double o_ = 0, e_ = 0, chi2_ = 0, lastO_ = 0, lastE_ = 0;  // e_: in the cells' unit
  ClassSums sums_;  // over the closed classes (with JoinLast, all but the last)
  int classes_ = 0;
  std::vector<double>* record_ = nullptr;
};

// The law of Pearson's statistic X = sum (O_i - e_i)^2 / e_i over classes
// whose expected counts e_i are small: its upper tail is heavier than that
// of chi-square with classes - 1 degrees of freedom (at expected counts near
// 5, about 1.2 times as many p-values below 0.001). Build computes X's exact
// mean, variance and third cumulant under the multinomial of `total` draws
// (draws outside the classes are left out of X), from the multinomial's
// factorial moments. PValue weights the chi-square p-value p_c towards p_t,
// that of the shifted scaled chi-square a + b chi2(nu) with X's three
// cumulants, in X's upper tail: p_c p_c + (1 - p_c) p_t. Where X is small
// (p_c near 1) the chi-square law holds, and the shifted law, which has no
// mass below a, is not used. Accuracy against simulation:
// tools/reference/pearson_small_classes.txt.
class PearsonTailLaw {
 public:
  void Build(const std::vector<double>& classExpected, double total);
  // PVALUE_SHORT when fewer than two classes.
  double PValue(double chi2) const;
  double Mean() const { return mean_; }
  double Variance() const { return variance_; }
  double ThirdCumulant() const { return thirdCumulant_; }

 private:
  int classes_ = 0;
  double mean_ = 0, variance_ = 0, thirdCumulant_ = 0;
  bool shifted_ = false;  // a + b chi2(nu) defined (positive variance and third cumulant)
  double a_ = 0, b_ = 1, nu_ = 1;
};
