#include "battery/BinoLaw.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "battery/Distributions.h"
#include "battery/PValueTests.h"
#include "battery/RandomisedPValue.h"
#include "battery/RunState.h"

namespace {

// The smallest probability the dynamic programme keeps.
constexpr double PRUNE = 1e-24;

// The dynamic programme's two tables, kept per thread.
thread_local std::vector<double> scratchF, scratchG;

}  // namespace

long MultinomialPearsonLaw::RoundedTerm(int o, double e) {
  const double d = o - e;
  return static_cast<long>(std::floor(d * d * LATTICE / e + 0.5));
}

void MultinomialPearsonLaw::Build(const std::vector<double>& probabilities, int draws, double exactBelow) {
  const int K = static_cast<int>(probabilities.size());
  const int N = draws;
  draws_ = N;
  expected_.resize(K);
  small_.assign(K, 0);
  int smallCount = 0;
  for (int i = 0; i < K; ++i) {
    expected_[i] = N * probabilities[i];
    if (expected_[i] < exactBelow) {
      small_[i] = 1;
      ++smallCount;
    }
  }
  plain_ = K < 2 || smallCount == 0;
  lattice_ = false;
  if (plain_) return;
  if (K - smallCount < 2) {
    std::fill(small_.begin(), small_.end(), 1);
    smallCount = K;
    lattice_ = true;
  }

  // The table reaches a statistic whose chi-square tail is below 1e-14.
  const double tMax = 70.0 + 2.5 * (K - 1);
  const int J = static_cast<int>(std::ceil(tMax * LATTICE));
  top_ = J;
  const int width = J + 1;
  double smallExpected = 0, smallProbability = 0;
  for (int i = 0; i < K; ++i)
    if (small_[i]) {
      smallExpected += expected_[i];
      smallProbability += probabilities[i];
    }
  // A small-class total D away from its expectation has terms summing to at
  // least D^2 / smallExpected: beyond this count every path leaves the table.
  const int cMax =
      lattice_ ? N : std::min(N, static_cast<int>(smallExpected + std::sqrt((tMax + 1) * smallExpected) + 2 * K + 3));

  // f[c][y]: the probability that the small classes so far hold c values with
  // rounded terms summing to y; lo/hi bound each row's nonzero y. The
  // thread's two scratch tables are all zero between builds.
  const size_t size = static_cast<size_t>(cMax + 1) * width;
  if (scratchF.size() < size) {
    scratchF.resize(size, 0.0);
    scratchG.resize(size, 0.0);
  }
  double* f = scratchF.data();
  double* g = scratchG.data();
  std::vector<int> lo(cMax + 1, width), hi(cMax + 1, -1), nlo(cMax + 1), nhi(cMax + 1);
  f[0] = 1;
  lo[0] = hi[0] = 0;
  std::vector<double> pmf;
  double remaining = 1;  // the probability of the classes not yet visited
  int visited = 0;
  for (int i = 0; i < K; ++i) {
    if (!small_[i]) continue;
    ++visited;
    const double e = expected_[i];
    const double q = (lattice_ && visited == smallCount) ? 1.0 : std::min(1.0, probabilities[i] / remaining);
    remaining -= probabilities[i];
    const double reach = std::sqrt((tMax + 1) * e);
    std::fill(nlo.begin(), nlo.end(), width);
    std::fill(nhi.begin(), nhi.end(), -1);
    for (int c = 0; c <= cMax; ++c) {
      if (hi[c] < lo[c]) continue;
      const int n = N - c;
      const int oLo = std::max(0, static_cast<int>(std::ceil(e - reach)));
      const int oHi = std::min({n, cMax - c, static_cast<int>(std::floor(e + reach))});
      double* from = &f[static_cast<size_t>(c) * width];
      if (oHi < oLo) {
        std::fill(from + lo[c], from + hi[c] + 1, 0.0);
        continue;
      }
      pmf.assign(oHi - oLo + 1, 0.0);
      if (q >= 1.0) {
        if (oHi == n) pmf[n - oLo] = 1;
      } else {
        // From the mode both ways, so that no start underflows.
        const int mode = std::clamp(static_cast<int>(std::floor((n + 1) * q)), oLo, oHi);
        const double ratio = q / (1 - q);
        pmf[mode - oLo] = BinomialPmf(static_cast<uint64_t>(n), q, mode);
        for (int o = mode; o < oHi; ++o) pmf[o + 1 - oLo] = pmf[o - oLo] * (n - o) / (o + 1.0) * ratio;
        for (int o = mode; o > oLo; --o) pmf[o - 1 - oLo] = pmf[o - oLo] * o / ((n - o + 1.0) * ratio);
      }
      double rowMax = 0;
      for (int y = lo[c]; y <= hi[c]; ++y) rowMax = std::max(rowMax, from[y]);
      for (int o = oLo; o <= oHi; ++o) {
        const double w = pmf[o - oLo];
        if (w * rowMax < PRUNE) continue;
        const long r = RoundedTerm(o, e);
        if (r > J || lo[c] + r > J) continue;
        const int shift = static_cast<int>(r);
        const int yEnd = std::min(hi[c], J - shift);
        double* __restrict to = &g[static_cast<size_t>(c + o) * width + shift];
        const double* __restrict in = from;
        for (int y = lo[c]; y <= yEnd; ++y) to[y] += in[y] * w;
        nlo[c + o] = std::min(nlo[c + o], lo[c] + shift);
        nhi[c + o] = std::max(nhi[c + o], yEnd + shift);
      }
      std::fill(from + lo[c], from + hi[c] + 1, 0.0);
    }
    // Entries below PRUNE are dropped (their paths go to the tail beyond
    // the table): at most K (N + 1) (J + 1) of them, under 1e-16 in all.
    for (int c = 0; c <= cMax; ++c) {
      double* row = &g[static_cast<size_t>(c) * width];
      while (nlo[c] <= nhi[c] && row[nlo[c]] < PRUNE) row[nlo[c]++] = 0;
      while (nhi[c] >= nlo[c] && row[nhi[c]] < PRUNE) row[nhi[c]--] = 0;
    }
    std::swap(f, g);
    lo.swap(nlo);
    hi.swap(nhi);
  }

  const int k = K - 1;
  const double q0 = std::max(0.0, IncompleteGammaQ(k / 2.0, J / (2.0 * LATTICE)));
  if (lattice_) {
    atoms_.assign(width, 0.0);
    double total = 0;
    if (hi[N] >= lo[N])
      for (int y = lo[N]; y <= hi[N]; ++y) total += atoms_[y] = f[static_cast<size_t>(N) * width + y];
    for (int c = 0; c <= cMax; ++c)
      if (hi[c] >= lo[c]) std::fill(&f[static_cast<size_t>(c) * width] + lo[c], &f[static_cast<size_t>(c) * width] + hi[c] + 1, 0.0);
    tail_.assign(width + 1, 0.0);
    tail_[width] = std::max(0.0, 1 - total);
    for (int y = J; y >= 0; --y) tail_[y] = tail_[y + 1] + atoms_[y];
    endTail_ = tail_[width] > 0 ? tail_[width] : q0;
    return;
  }

  // The large classes: D^2 / (N P_L), split between two lattice points,
  // then chi-square with (large classes - 1) degrees of freedom.
  const double largeExpected = N * (1 - smallProbability);
  std::vector<double> h(width, 0.0);
  for (int c = 0; c <= cMax; ++c) {
    if (hi[c] < lo[c]) continue;
    const double d = c - smallExpected;
    const double s = d * d / largeExpected * LATTICE;
    const int sf = static_cast<int>(std::floor(s));
    const double fr = s - sf;
    double* row = &f[static_cast<size_t>(c) * width];
    for (int y = lo[c]; y <= hi[c]; ++y) {
      if (y + sf <= J) h[y + sf] += row[y] * (1 - fr);
      if (y + sf + 1 <= J) h[y + sf + 1] += row[y] * fr;
    }
    std::fill(row + lo[c], row + hi[c] + 1, 0.0);
  }
  const int kL = K - smallCount - 1;
  std::vector<double> Q(width);
  for (int j = 0; j < width; ++j) Q[j] = std::max(0.0, IncompleteGammaQ(kL / 2.0, j / (2.0 * LATTICE)));
  double total = 0;
  for (double v : h) total += v;
  const double lost = std::max(0.0, 1 - total);
  // G_j = P(T >= j / LATTICE) = lost + sum_y h[y] Q(j - y), Q = 1 from y >= j.
  std::vector<double> above(width + 1, 0.0);
  for (int y = J; y >= 0; --y) above[y] = above[y + 1] + h[y];
  logTail_.resize(width);
  for (int j = 0; j < width; ++j) {
    double s = lost + above[j];
    for (int y = 0; y < j; ++y) s += h[y] * Q[j - y];
    logTail_[j] = std::log(std::max(s, 1e-300));
  }
  endTail_ = std::exp(logTail_[J]);
}

double MultinomialPearsonLaw::Statistic(const int* counts) const {
  double t = 0;
  long y = 0;
  for (int i = 0; i < Classes(); ++i) {
    if (!plain_ && small_[i]) {
      y += RoundedTerm(counts[i], expected_[i]);
    } else {
      const double d = counts[i] - expected_[i];
      t += d * d / expected_[i];
    }
  }
  return t + static_cast<double>(y) / LATTICE;
}

double MultinomialPearsonLaw::Beyond(double t) const {
  const int k = Classes() - 1;
  const double q = IncompleteGammaQ(k / 2.0, t / 2);
  if (q < 0) return q;
  const double q0 = IncompleteGammaQ(k / 2.0, top_ / (2.0 * LATTICE));
  if (q0 <= 0) return q;
  return std::clamp(endTail_ * q / q0, 0.0, 1.0);
}

double MultinomialPearsonLaw::PValue(const int* counts, double u) const {
  const int K = Classes();
  if (K < 2) return PVALUE_SHORT;
  if (plain_) return IncompleteGammaQ((K - 1) / 2.0, Statistic(counts) / 2);
  if (lattice_) {
    long y = 0;
    for (int i = 0; i < K; ++i) y += RoundedTerm(counts[i], expected_[i]);
    if (y > top_) return Beyond(static_cast<double>(y) / LATTICE);
    return RandomisedPValue(tail_[y + 1], tail_[y], u);
  }
  const double pos = Statistic(counts) * LATTICE;
  if (pos >= top_) return Beyond(pos / LATTICE);
  const int j = static_cast<int>(pos);
  const double fr = pos - j;
  return std::min(1.0, std::exp(logTail_[j] + fr * (logTail_[j + 1] - logTail_[j])));
}

namespace {

struct CachedLaw {
  int tag = -1, draws = -1;
  double exactBelow = -1;
  MultinomialPearsonLaw law;
  std::vector<int> classOf;  // Bino: cell -> class
};

// The last few laws built on this thread: the rows of a run share N (and the
// Pearson column's m), so each is built once.
constexpr int CACHE_SIZE = 32;
thread_local CachedLaw cache[CACHE_SIZE];
thread_local int cacheNext = 0;

template <typename Make>
const CachedLaw& Cached(int tag, int draws, double exactBelow, Make make) {
  for (const CachedLaw& c : cache)
    if (c.tag == tag && c.draws == draws && c.exactBelow == exactBelow) return c;
  CachedLaw& c = cache[cacheNext];
  cacheNext = (cacheNext + 1) % CACHE_SIZE;
  c.tag = -1;
  make(c);
  c.tag = tag;
  c.draws = draws;
  c.exactBelow = exactBelow;
  return c;
}

uint64_t CountsHash(const int* counts, int k) {
  return SequenceHash(reinterpret_cast<const uint32_t*>(counts), 32ull * static_cast<uint64_t>(k));
}

constexpr uint64_t BINO_SALT = 0xB1A0, PEARSON_SALT = 0x9EA2;

}  // namespace

double ThresholdBinomialFromCells(int N, const int* cells, double exactBelow) {
  if (N < 2) return PVALUE_FAIL;
  const CachedLaw& c = Cached(0, N, exactBelow, [&](CachedLaw& entry) {
    // The cells merge in order until the expected count reaches 5 (the
    // margin lets a class whose expectation is 5 in exact arithmetic close
    // despite the rounding of N (width)); a remainder joins the last class.
    std::vector<double> expected;
    entry.classOf.assign(BINOMIAL_THRESHOLD_COUNT + 1, 0);
    double open = 0, lower = 0;
    for (int cell = 0; cell <= BINOMIAL_THRESHOLD_COUNT; ++cell) {
      const double t = cell < BINOMIAL_THRESHOLD_COUNT ? BINOMIAL_THRESHOLDS[cell] : 1.0;
      open += N * (t - lower);
      lower = t;
      entry.classOf[cell] = static_cast<int>(expected.size());
      if (open >= 5.0 - 1e-9) {
        expected.push_back(open);
        open = 0;
      }
    }
    if (!expected.empty()) {
      expected.back() += open;
      for (int& k : entry.classOf) k = std::min(k, static_cast<int>(expected.size()) - 1);
    }
    std::vector<double> probabilities;
    for (double e : expected) probabilities.push_back(e / N);
    entry.law.Build(probabilities, N, exactBelow);
  });
  const int K = c.law.Classes();
  if (K < 2) return PVALUE_SHORT;
  int counts[BINOMIAL_THRESHOLD_COUNT + 1] = {};
  for (int cell = 0; cell <= BINOMIAL_THRESHOLD_COUNT; ++cell) counts[c.classOf[cell]] += cells[cell];
  const double u = c.law.Lattice() ? HashUniform(CountsHash(counts, K), BINO_SALT) : 0.5;
  return c.law.PValue(counts, u);
}

double EqualBinsTail(int m, int n, double x) {
  const int k = m - 1;
  const double q = IncompleteGammaQ(k / 2.0, x / 2);
  if (q < 0 || x <= 0) return q;
  // d = (x/2)^(k/2) e^(-x/2) / Gamma(k/2 + 1) = Q_{k+2}(x) - Q_k(x).
  const double a = k / 2.0, v = x / 2;
  const double d = std::exp(a * std::log(v) - v - LogGamma(a + 1));
  const double poly = (m + 1) - (2.0 * m - 1) * v / (a + 1) + (m - 2.0) * v * v / ((a + 1) * (a + 2));
  return std::clamp(q + k * d * poly / (12.0 * n), 0.0, 1.0);
}

double EqualBinsPearsonP(const int* counts, int m, int n, double exactBelow) {
  if (m < 2) return PVALUE_SHORT;
  const double expected = static_cast<double>(n) / m;
  if (!(expected < exactBelow)) {
    double chi2 = 0;
    for (int b = 0; b < m; ++b) chi2 += (counts[b] - expected) * (counts[b] - expected) / expected;
    if (!(exactBelow > 0)) return ChiSquarePValue(m - 1, chi2);
    const double u = HashUniform(CountsHash(counts, m), PEARSON_SALT);
    // Two bins: the exact binomial law (the expansion below turns negative
    // in its far tail).
    if (m == 2) return BinomialTwoSidedRandomisedP(static_cast<uint64_t>(n), 0.5, static_cast<uint64_t>(counts[0]), u);
    // Where the bins expect enough values: the law to order 1/n. The
    // statistic (m/n) sum O^2 - n steps by 2m/n (sum O^2 has the parity of
    // n): the p-value is randomised over the atom, its ends taken half a
    // step either side.
    const double half = static_cast<double>(m) / n;
    const double atLeast = EqualBinsTail(m, n, chi2 - half);
    if (atLeast < 0) return PVALUE_FAIL;
    const double greater = std::max(0.0, EqualBinsTail(m, n, chi2 + half));
    return RandomisedPValue(greater, atLeast, u);
  }
  const CachedLaw& c = Cached(m, n, exactBelow, [&](CachedLaw& entry) {
    entry.law.Build(std::vector<double>(m, 1.0 / m), n, exactBelow);
  });
  const double u = c.law.Lattice() ? HashUniform(CountsHash(counts, m), PEARSON_SALT) : 0.5;
  return c.law.PValue(counts, u);
}
