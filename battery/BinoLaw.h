#pragma once
// The law of Pearson's statistic over the classes of a multinomial whose
// expected counts may be small: the binomial threshold p-value ("Bino") and
// the Pearson column of the results.
//
// With classes expecting few values, the chi-square law's upper tail is too
// light (at 10 expected, about 1.2 times as many p-values below 0.001 as
// expected). Here the classes expecting fewer than `exactBelow` values (the
// small ones) are summed exactly: a dynamic programme over them, in order,
// carries the joint law of their total count and of the sum of their terms
// (O - e)^2 / e, each term rounded to the nearest multiple of 1/10 (the
// statistic judged is that rounded sum; the other classes' terms stay
// exact). The other classes (the large ones, at least two of them) are
// given the total count that the small ones leave: their Pearson statistic
// about the N p_i is D^2 / (N P_L) plus Pearson's statistic of that
// conditional multinomial, taken as chi-square with (large classes - 1)
// degrees of freedom (D: the small classes' count minus its expectation,
// P_L: the large classes' probability). When fewer than two classes are
// large, every class is summed exactly, the statistic lies on the lattice,
// and the p-value is the randomised P(T > t) + u P(T = t) of its exact law.
// When no class is small, the plain chi-square law.
//
// The law is tabulated once (Build) on the lattice up to a statistic whose
// chi-square tail is below 1e-14; p-values beyond it follow the chi-square
// tail scaled to the table's end. Accuracy against simulation:
// tools/binolaw/results.txt.
#include <vector>

class MultinomialPearsonLaw {
 public:
  // Classes expecting fewer values than this are summed exactly.
  static constexpr double EXACT_BELOW = 25.0;
  // The small classes' terms are rounded to multiples of 1 / LATTICE.
  static constexpr int LATTICE = 10;

  // probabilities: of the classes, in order, summing to 1; draws: N >= 1.
  // Reuses its storage.
  void Build(const std::vector<double>& probabilities, int draws, double exactBelow = EXACT_BELOW);

  int Classes() const { return static_cast<int>(expected_.size()); }
  int Draws() const { return draws_; }
  // Whether every class is summed exactly (a lattice statistic: PValue
  // randomises within its atoms).
  bool Lattice() const { return lattice_; }

  // The statistic of the class counts (Classes() of them, summing to N).
  double Statistic(const int* counts) const;
  // Its p-value; u in (0, 1) places it within an atom of a lattice
  // statistic. PVALUE_SHORT when fewer than two classes, PVALUE_FAIL where
  // the tail underflows.
  double PValue(const int* counts, double u) const;

 private:
  static long RoundedTerm(int o, double e);
  double Beyond(double t) const;

  std::vector<double> expected_;
  std::vector<char> small_;
  int draws_ = 0;
  bool plain_ = true, lattice_ = false;
  int top_ = 0;                 // the table's last lattice index
  std::vector<double> atoms_;   // lattice: P(T = j / LATTICE)
  std::vector<double> tail_;    // lattice: P(T >= j / LATTICE), top_ + 2 entries
  std::vector<double> logTail_; // otherwise: ln P(T >= j / LATTICE), top_ + 1 entries
  double endTail_ = 0;          // the tail at the table's end, for the chi-square beyond
};

// The binomial threshold p-value from the counts of the 16 cells between the
// thresholds (cells[0]: below 0.001, ..., cells[15]: from 0.999 on), which
// sum to N: the cells merged into classes as in ThresholdBinomialP, the
// classes judged by MultinomialPearsonLaw (its law built once per N and
// kept, per thread, for the last few N), u drawn from a hash of the cell
// counts. PVALUE_FAIL for N < 2, PVALUE_SHORT when fewer than 2 classes.
// exactBelow: MultinomialPearsonLaw's (0 gives the plain chi-square law).
double ThresholdBinomialFromCells(int N, const int* cells, double exactBelow = MultinomialPearsonLaw::EXACT_BELOW);

// The Pearson column's p-value of m equal bins holding n values (counts).
// Where the bins expect fewer than exactBelow values, the law above (kept
// per thread for the last few (m, n), as the rows of a run share them), u
// from a hash of the counts. Elsewhere EqualBinsTail, randomised over the
// statistic's atom (its step 2m/n) by the same hash; two bins take the
// exact binomial law. exactBelow = 0 gives the plain chi-square law.
double EqualBinsPearsonP(const int* counts, int m, int n, double exactBelow = MultinomialPearsonLaw::EXACT_BELOW);

// P(X >= x) for Pearson's statistic X of m >= 3 equal bins holding n values,
// to order 1/n: the chi-square law with k = m - 1 degrees of freedom plus
// its Edgeworth term, (k / 12n) [(m + 1) d_k - (2m - 1) d_{k+2} + (m - 2) d_{k+4}],
// d_j(x) = (x/2)^(j/2) e^(-x/2) / Gamma(j/2 + 1). The term makes the law's
// second, third and fourth cumulants those of X to order 1/n
// (2k (1 - 1/n), 8k + 4k (m - 8) / n, 48k + 96k (m - 5) / n): with 24 or
// 25 bins expecting 25 or 26 values the chi-square law alone puts about
// 1.05-1.06 times the expected share below 1e-3 and 1.1 times below 1e-4
// (tools/binolaw/results.txt). Within [0, 1]; PVALUE_FAIL where the
// chi-square tail underflows.
double EqualBinsTail(int m, int n, double x);
