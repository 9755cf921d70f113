#include "battery/MergedChiSquare.h"

#include <algorithm>
#include <array>
#include <cmath>

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

namespace {

using Real = long double;

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
  const int k = classes_;
  Real r[7];
  r[0] = 1;
  for (int m = 1; m < 7; ++m) r[m] = r[m - 1] * (1 - static_cast<Real>(m - 1) / total);
  // Per class, X's term f(O) = e - 2 O + O^2 / e, its square and its cube.
  std::vector<Poly<3>> f1(k);
  std::vector<Poly<5>> f2(k);
  std::vector<Poly<7>> f3(k);
  for (int i = 0; i < k; ++i) {
    const Real e = classExpected[i];
    const Poly<3> f{e, -2, 1 / e};
    const Poly<5> sq = Times(f, f);
    f1[i] = Falling(f, e);
    f2[i] = Falling(sq, e);
    f3[i] = Falling(Times(sq, f), e);
  }
  Real e1 = 0, e2 = 0, e3 = 0;
  for (int i = 0; i < k; ++i) {
    for (int a = 0; a < 3; ++a) e1 += f1[i][a] * r[a];
    for (int a = 0; a < 5; ++a) e2 += f2[i][a] * r[a];
    for (int a = 0; a < 7; ++a) e3 += f3[i][a] * r[a];
    for (int j = 0; j < k; ++j) {
      if (j == i) continue;
      for (int a = 0; a < 3; ++a)
        for (int b = 0; b < 3; ++b) e2 += f1[i][a] * f1[j][b] * r[a + b];
      for (int a = 0; a < 5; ++a)
        for (int b = 0; b < 3; ++b) e3 += 3 * f2[i][a] * f1[j][b] * r[a + b];
      // Three distinct classes: each unordered triple once, times 3!.
      for (int l = j + 1; l < k && j > i; ++l) {
        if (l == i) continue;
        Real t = 0;
        for (int a = 0; a < 3; ++a)
          for (int b = 0; b < 3; ++b)
            for (int c = 0; c < 3; ++c) t += f1[i][a] * f1[j][b] * f1[l][c] * r[a + b + c];
        e3 += 6 * t;
      }
    }
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
