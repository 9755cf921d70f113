#include "battery/MergedChiSquare.h"

#include <algorithm>
#include <array>
#include <cmath>

#include "battery/Distributions.h"
#include "battery/RunState.h"

double CressieReadTerm(double o, double e) {
  return (8.0 / 3.0) * (o * (std::sqrt(o / e) - 1) - 0.5 * (o - e));
}

double MergedChiSquarePValue(int classes, double chi2) {
  if (classes < 2) return PVALUE_SHORT;
  return IncompleteGammaQ((classes - 1) / 2.0, chi2 / 2);
}

double DivergencePValue(Divergence d, int classes, double statistic, const ClassSums& sums) {
  if (d == Divergence::Pearson || classes < 2) return MergedChiSquarePValue(classes, statistic);
  // With t = sum 1 / p_i = n sum 1 / E, n = total, and l = lambda = 1/2:
  //   E T = k - 1 + [(l-1)(2 - 3k + t)/3 + (l-1)(l-2)(1 - 2k + t)/4] / n,
  //   Var T = 2(k - 1) + [(2 - 2k - k^2 + t) + (l-1)(8 - 12k - 2k^2 + 6t)
  //           + (l-1)^2 (4 - 6k - 3k^2 + 5t)/3 + (l-1)(l-2)(2 - 4k + 2t)] / n,
  // both checked against exact enumeration, and the next term of each
  // class's mean, 3 / (128 E^2), against its exact Poisson mean
  // (tools/reference/power_divergence_moments.txt).
  const double lambda = 0.5;
  const double k = classes, df = k - 1, l1 = lambda - 1, l2 = lambda - 2;
  const double s = sums.inverse, inv = 1 / sums.total;
  const double mean = df + l1 * (s + (2 - 3 * k) * inv) / 3 + l1 * l2 * (s + (1 - 2 * k) * inv) / 4 +
                      (3.0 / 128.0) * sums.inverseSquare;
  const double variance = 2 * df + (s + (2 - 2 * k - k * k) * inv) + l1 * (6 * s + (8 - 12 * k - 2 * k * k) * inv) +
                          l1 * l1 * (5 * s + (4 - 6 * k - 3 * k * k) * inv) / 3 + l1 * l2 * (2 * s + (2 - 4 * k) * inv);
  if (!(variance > 0)) return MergedChiSquarePValue(classes, statistic);
  // a + b chi2(k - 1) with T's mean and variance.
  const double x = df + (statistic - mean) * std::sqrt(2 * df / variance);
  return IncompleteGammaQ(df / 2, std::max(0.0, x) / 2);
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

double MergedChiSquare::PValue(double chi2, Divergence d) const {
  // The sums are taken here, beside the statistic's own pass over the
  // classes, rather than kept: the class stays as small as it was.
  ClassSums sums;
  if (d != Divergence::Pearson)
    for (double e : classExpected_) sums.Add(e);
  return DivergencePValue(d, Classes(), chi2, sums);
}

void MergedChiSquareSum::Close(double e) {
  if (record_ != nullptr) record_->push_back(e);
  if (remainder_ == Remainder::Drop) {
    chi2_ += Term(o_, e);
    sums_.Add(e);
  } else {
    // The last closed class may still take the remainder: its term waits.
    if (classes_ > 0) {
      chi2_ += Term(lastO_, lastE_);
      sums_.Add(lastE_);
    }
    lastO_ = o_;
    lastE_ = e;
  }
  ++classes_;
  o_ = e_ = 0;
}

double MergedChiSquareSum::PValue() const {
  ClassSums sums = sums_;
  if (remainder_ == Remainder::JoinLast && classes_ > 0) sums.Add(lastE_ + draws_ * e_);
  return DivergencePValue(divergence_, classes_, Statistic(), sums);
}

namespace {

// Quadruple precision: the expectations below are sums of terms as large as
// the cube of the largest expected count that cancel down to a few units.
using Real = __float128;

// A polynomial in a class's count O, lowest power first.
template <size_t N>
using Poly = std::array<Real, N>;

template <size_t A, size_t B>
Poly<A + B - 1> Times(const Poly<A>& a, const Poly<B>& b) {
  Poly<A + B - 1> out{};
  for (size_t i = 0; i < A; ++i)
    for (size_t j = 0; j < B; ++j) out[i + j] += a[i] * b[j];
  return out;
}

// Stirling numbers of the second kind S(m, a), m, a <= 6: O^m = sum_a S(m, a) O^(a).
constexpr int STIRLING2[7][7] = {{1},
                                 {0, 1},
                                 {0, 1, 1},
                                 {0, 1, 3, 1},
                                 {0, 1, 7, 6, 1},
                                 {0, 1, 15, 25, 10, 1},
                                 {0, 1, 31, 90, 65, 15, 1}};

// The polynomial in falling factorials O^(a), each coefficient times e^a:
// with E prod O_j^(a_j) = total^(sum a) prod p_j^(a_j), a product over
// distinct classes has expectation sum prod v_j[a_j] r[sum a_j], r[m] =
// total^(m) / total^m.
template <size_t N>
Poly<N> Falling(const Poly<N>& poly, Real e) {
  Poly<N> out{};
  for (size_t m = 0; m < N; ++m)
    for (size_t a = 0; a <= m; ++a) out[a] += poly[m] * STIRLING2[m][a];
  Real power = 1;
  for (size_t a = 0; a < N; ++a, power *= e) out[a] *= power;
  return out;
}

}  // namespace

void PearsonTailLaw::Build(const std::vector<double>& classExpected, double total) {
  classes_ = static_cast<int>(classExpected.size());
  Real r[7];
  r[0] = 1;
  for (int m = 1; m < 7; ++m) r[m] = r[m - 1] * (1 - static_cast<Real>(m - 1) / total);
  // Per class, X's term f(O) = e - 2 O + O^2 / e, its square and its cube,
  // in falling factorials; the sums over classes of their coefficients and
  // of products of them, which give the sums over distinct classes.
  Real e1 = 0, e2 = 0, e3 = 0;
  Poly<3> s1{};
  Poly<5> s2{};
  Real p11[3][3] = {}, p21[5][3] = {}, p111[3][3][3] = {};
  for (double expected : classExpected) {
    const Real e = expected;
    const Poly<3> f{e, -2, 1 / e};
    const Poly<5> sq = Times(f, f);
    const Poly<3> v1 = Falling(f, e);
    const Poly<5> v2 = Falling(sq, e);
    const Poly<7> v3 = Falling(Times(sq, f), e);
    for (int a = 0; a < 7; ++a) {
      if (a < 3) e1 += v1[a] * r[a];
      if (a < 5) e2 += v2[a] * r[a];
      e3 += v3[a] * r[a];
    }
    for (int a = 0; a < 5; ++a) {
      if (a < 3) s1[a] += v1[a];
      s2[a] += v2[a];
      for (int b = 0; b < 3; ++b) {
        p21[a][b] += v2[a] * v1[b];
        if (a >= 3) continue;
        p11[a][b] += v1[a] * v1[b];
        for (int c = 0; c < 3; ++c) p111[a][b][c] += v1[a] * v1[b] * v1[c];
      }
    }
  }
  // Ordered pairs and triples of distinct classes, by inclusion-exclusion.
  for (int a = 0; a < 5; ++a)
    for (int b = 0; b < 3; ++b) {
      e3 += 3 * (s2[a] * s1[b] - p21[a][b]) * r[a + b];
      if (a >= 3) continue;
      e2 += (s1[a] * s1[b] - p11[a][b]) * r[a + b];
      for (int c = 0; c < 3; ++c)
        e3 += (s1[a] * s1[b] * s1[c] - p11[a][b] * s1[c] - p11[a][c] * s1[b] - p11[b][c] * s1[a] +
               2 * p111[a][b][c]) *
              r[a + b + c];
    }
  mean_ = static_cast<double>(e1);
  variance_ = static_cast<double>(e2 - e1 * e1);
  thirdCumulant_ = static_cast<double>(e3 - 3 * e1 * e2 + 2 * e1 * e1 * e1);
  shifted_ = variance_ > 0 && thirdCumulant_ > 0;
  if (shifted_) {
    // a + b Y, Y ~ chi2(nu): mean a + b nu, variance 2 b^2 nu, third cumulant 8 b^3 nu.
    b_ = thirdCumulant_ / (4 * variance_);
    nu_ = variance_ / (2 * b_ * b_);
    a_ = mean_ - b_ * nu_;
  }
}

double PearsonTailLaw::PValue(double chi2) const {
  const double pc = MergedChiSquarePValue(classes_, chi2);
  if (pc < 0 || !shifted_) return pc;
  const double pt = IncompleteGammaQ(nu_ / 2, std::max(0.0, chi2 - a_) / (2 * b_));
  return std::clamp(pc * pc + (1 - pc) * pt, 0.0, 1.0);
}
