#include "battery/BLKGAPDIS.h"

#include <algorithm>
#include <cmath>

#include "battery/Bits.h"
#include "battery/MergedChiSquare.h"
#include "battery/Distributions.h"
#include "battery/GridWalk.h"
#include "battery/RunState.h"

namespace {

constexpr uint32_t NOT_SEEN = 0xFFFFFFFFu;

// P(Y + E > x) for Y chi-square with k degrees of freedom and E twice an
// independent chi-square with 2: Q(k/2, x/2) + 2^(k/2) e^(-x/4) P(k/2, x/4).
double ChiSquarePlusDoubledTwoPValue(double k, double x) {
  double q = IncompleteGammaQ(k / 2, x / 2);
  if (q < 0) q = 0;  // underflowed
  const double lower = IncompleteGammaP(k / 2, x / 4);
  const double rest = lower > 0 ? std::exp(k / 2 * std::log(2.0) - x / 4 + std::log(lower)) : 0;
  const double p = q + rest;
  return p > 0 ? std::min(p, 1.0) : PVALUE_FAIL;
}

}  // namespace

GapClasses BuildGapClasses(uint64_t n, int s) {
  GapClasses gc;
  const uint64_t m = (n >> s) / static_cast<uint64_t>(s);
  if (m < 2) return gc;
  const uint64_t f = m - 1;
  gc.expectedGaps = f;
  const double q = std::ldexp(1.0, -s);
  const double fd = static_cast<double>(f);
  // The number of cells: walk gap lengths i + 1 with probability
  // q (1 - q)^i until the expected count still to come, the open class's
  // included, falls below 5.
  std::vector<double> p;
  double sum = 0, open = 0, power = 1;
  for (;;) {
    const double pi = q * power;
    p.push_back(pi);
    sum += pi;
    open += fd * pi;
    if ((1 - sum) * fd + open < 5) break;
    if (open > 5) open = 0;
    power *= 1 - q;
  }
  const int cells = static_cast<int>(p.size()) - 1;
  gc.cellCount = cells;
  if (cells < 1) return gc;
  // The expected counts of the cells, the last one taking every longer gap.
  std::vector<double> expected(p.begin(), p.begin() + cells);
  double below = 0;
  for (double& e : expected) below += e;
  expected.back() += 1 - below;
  for (double& e : expected) e *= fd;
  // A remainder that never reached the threshold joins the last class, so
  // that every gap is judged and the probabilities add up to 1.
  MergedChiSquare merge;
  merge.Build(expected, {}, MergeRule::MoreThan, 5.0, Remainder::JoinLast);
  const int classes = merge.Classes();
  if (classes < 1) return gc;
  gc.classOf = merge.ClassTable();
  gc.prob.assign(classes, 0.0);
  for (int c = 0; c < classes; ++c) gc.prob[c] = merge.ClassExpected()[c] / fd;
  return gc;
}

void CountGaps(const uint32_t* words, uint64_t n, int s, const GapClasses& gc, uint32_t* counts, uint32_t* last) {
  const uint64_t values = uint64_t{1} << s;
  const size_t classes = static_cast<size_t>(gc.Classes());
  std::fill(counts, counts + values * classes, 0u);
  std::fill(last, last + values, NOT_SEEN);
  // Words at bits 0, s, 2 s, ... below n - s: floor((n - 1) / s) of them,
  // so a word that ends at the last bit is left out.
  const uint64_t count = n > static_cast<uint64_t>(s) ? (n - 1) / s : 0;
  const uint32_t cells = static_cast<uint32_t>(gc.cellCount);
  const int* classOf = gc.classOf.data();
  BitStream stream(words, 0);
  for (uint64_t w = 0; w < count; ++w) {
    const uint32_t v = stream.Next(s);
    const uint32_t previous = last[v];
    const uint32_t index = static_cast<uint32_t>(w);  // below 2^32 - 2
    last[v] = index;
    if (previous == NOT_SEEN) continue;
    const uint32_t gap = index - previous;
    ++counts[v * classes + classOf[(gap < cells ? gap : cells) - 1]];
  }
}

double GapCountsPValue(const uint32_t* counts, int s, const GapClasses& gc) {
  const uint64_t values = uint64_t{1} << s;
  const int classes = gc.Classes();
  // Each value's gaps against the geometric law scaled to its own number of
  // gaps: a multinomial of classes - 1 degrees of freedom per value. (Scaled
  // to a common expected number instead, the spread of the values' own
  // numbers of gaps would enter the sum without being counted in its
  // degrees of freedom.)
  double chi2 = 0;
  uint64_t df = 0;
  int withGaps = 0;
  for (uint64_t v = 0; v < values; ++v) {
    const uint32_t* row = counts + v * classes;
    uint64_t gaps = 0;
    for (int c = 0; c < classes; ++c) gaps += row[c];
    if (gaps == 0) continue;
    const double g = static_cast<double>(gaps);
    for (int c = 0; c < classes; ++c) {
      const double e = g * gc.prob[c];
      const double d = row[c] - e;
      chi2 += d * d / e;
    }
    df += classes - 1;
    ++withGaps;
  }
  if (df == 0) return PVALUE_SHORT;
  if (s == 1 && withGaps == 2 && classes >= 4) {
    // With 1-bit words the gaps of one value are the runs of the other plus
    // one, so two directions enter both values' statistics: the number of
    // runs and the balance of ones and zeros (each value's split between
    // gaps of one word and longer ones, and the mean run length of the
    // other). The sum is then a chi-square with df - 4 degrees of freedom
    // plus twice one with 2.
    return ChiSquarePlusDoubledTwoPValue(static_cast<double>(df - 4), chi2);
  }
  return IncompleteGammaQ(static_cast<double>(df) / 2, chi2 / 2);
}

double BLKGAPDIS::WordSizePValue(int s) {
  const GapClasses& gc = classes_[s];
  if (gc.Classes() < 2) return PVALUE_SHORT;
  const size_t values = size_t{1} << s;
  // Grows once per run: the same sizes come back for every sequence.
  if (counts_.size() < values * gc.Classes()) counts_.resize(values * gc.Classes());
  if (last_.size() < values) last_.resize(values);
  CountGaps(seqBits, seqLen, s, gc, counts_.data(), last_.data());
  return GapCountsPValue(counts_.data(), s, gc);
}

void BLKGAPDIS::RunTest() {
  const uint64_t n = seqLen;
  const uint64_t key[4] = {n, uint64_t(uint32_t(blkGapDstSmin)), uint64_t(uint32_t(blkGapDstSmax)),
                           uint64_t(uint32_t(blkGapDstSstp))};
  if (classes_.empty() || !std::equal(key, key + 4, classesKey_)) {
    // The classes depend only on n and s: built at the first sequence of a run.
    classes_.assign(33, GapClasses());
    for (int s : Grid(blkGapDstSmin, blkGapDstSmax, blkGapDstSstp))
      if (s >= 1 && s <= 32) classes_[s] = BuildGapClasses(n, s);
    std::copy(key, key + 4, classesKey_);
  }
  for (int s : Grid(blkGapDstSmin, blkGapDstSmax, blkGapDstSstp)) {
    if (s < 1 || s > 32) break;
    AddResult(WordSizePValue(s), "BGdst %d", s);
  }
}
