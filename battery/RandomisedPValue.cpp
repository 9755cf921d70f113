#include "battery/RandomisedPValue.h"

#include <algorithm>
#include <cmath>

#include "battery/Distributions.h"
#include "battery/RunState.h"

namespace {

uint64_t Mix64(uint64_t z) {  // the splitmix64 finaliser
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  return z ^ (z >> 31);
}

double LnBeta(double a, double b) { return LogGamma(a) + LogGamma(b) - LogGamma(a + b); }

}  // namespace

// By the incomplete beta ratio: P(C >= k) = I_q(k, n - k + 1) for 1 <= k <= n.
double BinomialUpperTail(uint64_t trials, double q, int64_t k) {
  const int64_t n = static_cast<int64_t>(trials);
  if (k <= 0) return 1;
  if (k > n) return 0;
  const double a = static_cast<double>(k), b = static_cast<double>(n - k + 1);
  int fault = 0;
  const double p = IncompleteBetaRatio(q, a, b, LnBeta(a, b), fault);
  return std::clamp(p, 0.0, 1.0);
}

double BinomialLowerTail(uint64_t trials, double q, int64_t k) {
  const int64_t n = static_cast<int64_t>(trials);
  if (k < 0) return 0;
  if (k >= n) return 1;
  // P(C <= k) = P(n - C >= n - k), n - C binomial (n, 1 - q).
  return BinomialUpperTail(trials, 1 - q, n - k);
}

double BinomialPmf(uint64_t trials, double q, int64_t k) {
  const int64_t n = static_cast<int64_t>(trials);
  if (k < 0 || k > n) return 0;
  const double kd = static_cast<double>(k), nd = static_cast<double>(n);
  return std::exp(LogGamma(nd + 1) - LogGamma(kd + 1) - LogGamma(nd - kd + 1) + kd * std::log(q) +
                  (nd - kd) * std::log1p(-q));
}

uint64_t SequenceHash(const uint32_t* words, uint64_t bits) {
  SequenceHasher hasher(bits);
  const uint64_t pairs = bits / 64;
  uint64_t i = 0;
  // Four steps per turn of the loop, then the pairs left.
  for (; i + 4 <= pairs; i += 4) {
    hasher.Pair(SequenceHasher::PairAt(words, i));
    hasher.Pair(SequenceHasher::PairAt(words, i + 1));
    hasher.Pair(SequenceHasher::PairAt(words, i + 2));
    hasher.Pair(SequenceHasher::PairAt(words, i + 3));
  }
  for (; i < pairs; ++i) hasher.Pair(SequenceHasher::PairAt(words, i));
  return hasher.Finish(words, bits);
}

uint64_t SequenceHasher::Finish(const uint32_t* words, uint64_t bits) const {
  // The bits left, at most one whole word and a part of the next, in one
  // chunk with the first of them lowest.
  const uint64_t whole = bits / 32;
  uint64_t i = 2 * (bits / 64);
  uint64_t tail = 0;
  int shift = 0;
  if (i < whole) {
    tail = words[i++];
    shift = 32;
  }
  const int rest = static_cast<int>(bits % 32);
  if (rest != 0) tail |= static_cast<uint64_t>(words[i] & ((1u << rest) - 1)) << shift;
  return Mix64((h_ ^ tail) * 0x9E3779B97F4A7C15ull);
}

uint64_t SampledSequenceHash(const uint32_t* words, uint64_t bits) {
  const uint64_t pairs = bits / 64;
  if (pairs < 2 * SAMPLED_PAIRS) return SequenceHash(words, bits);
  uint64_t h = 0x243F6A8885A308D3ull ^ bits;
  // Pair j * pairs / SAMPLED_PAIRS for j = 0 .. SAMPLED_PAIRS - 1: the
  // last one ends within the whole pairs.
  for (uint64_t j = 0; j < SAMPLED_PAIRS; ++j) {
    const uint64_t w = SequenceHasher::PairAt(words, j * pairs / SAMPLED_PAIRS);
    h = (h ^ w) * 0x9E3779B97F4A7C15ull;
    h ^= h >> 29;
  }
  return Mix64(h);
}

double HashUniform(uint64_t hash, uint64_t salt) {
  const uint64_t z = Mix64(hash ^ Mix64(salt + 0x9E3779B97F4A7C15ull));
  return (static_cast<double>(z >> 11) + 0.5) * 0x1.0p-53;
}

double RandomisedPValue(double pGreater, double pAtLeast, double u) {
  return std::clamp(pGreater + u * (pAtLeast - pGreater), 0.0, 1.0);
}

double BinomialTwoSidedRandomisedP(uint64_t trials, double q, uint64_t c, double u) {
  const int64_t n = static_cast<int64_t>(trials);
  const double mean = static_cast<double>(n) * q;
  const double d = std::fabs(static_cast<double>(c) - mean);
  // Outcomes as far as c within rounding (its mirror 2 n q - c when whole)
  // belong to its atom.
  const double tol = 1e-12 * std::max(1.0, mean);
  // k <= lo or k >= hi: strictly farther (k < mean - d - tol or
  // k > mean + d + tol). Between them only lo + 1 and hi - 1 can be as far
  // as c; their probabilities make the atom.
  const int64_t lo = static_cast<int64_t>(std::ceil(mean - d - tol)) - 1;
  const int64_t hi = static_cast<int64_t>(std::floor(mean + d + tol)) + 1;
  // With q = 1/2 and lo, hi mirrors (n - lo = hi) the lower tail is the
  // same call as the upper one (P(C <= lo) = P(n - C >= n - lo)): once.
  const double upper = BinomialUpperTail(trials, q, hi);
  const double greater = (1 - q == q && n - lo == hi ? upper : BinomialLowerTail(trials, q, lo)) + upper;
  auto asFar = [&](int64_t k) { return std::fabs(static_cast<double>(k) - mean) >= d - tol; };
  double atom = asFar(lo + 1) ? BinomialPmf(trials, q, lo + 1) : 0.0;
  if (hi - 1 != lo + 1 && asFar(hi - 1)) atom += BinomialPmf(trials, q, hi - 1);
  const double atLeast = greater + atom;
  // Tails below the range of doubles: the count is the data's failure, as
  // an underflowing chi-square tail is.
  if (!(atLeast > 0)) return PVALUE_FAIL;
  return RandomisedPValue(std::min(greater, 1.0), std::min(atLeast, 1.0), u);
}

namespace {

// The hash's uniforms salt, salt + 1, ... in order, and standard normals
// made of them by Box and Muller (two uniforms a pair, the cosine first).
class HashDraws {
 public:
  HashDraws(uint64_t hash, uint64_t salt) : hash_(hash), salt_(salt) {}
  double Uniform() { return HashUniform(hash_, salt_ + next_++); }
  double Normal() {
    if (spare_) {
      spare_ = false;
      return sine_;
    }
    const double r = std::sqrt(-2 * std::log(Uniform()));
    const double angle = 6.283185307179586 * Uniform();
    sine_ = r * std::sin(angle);
    spare_ = true;
    return r * std::cos(angle);
  }
  // A chi-square variate with df degrees of freedom, 2 Gamma(df / 2): for a
  // shape a >= 1 by Marsaglia and Tsang's exact rejection from a cubed
  // normal ("A simple method for generating gamma variables", ACM TOMS 26,
  // 2000, with its squeeze), below 1 as Gamma(a + 1) U^(1 / a). Three to
  // four uniforms on average.
  double ChiSquare(int df) {
    if (df <= 0) return 0;
    const double a = df / 2.0;
    if (a >= 1) return 2 * Gamma(a);
    const double g = Gamma(a + 1);
    return 2 * g * std::pow(Uniform(), 1 / a);
  }

 private:
  double Gamma(double a) {
    const double d = a - 1.0 / 3, c = 1 / std::sqrt(9 * d);
    for (;;) {
      double x, v;
      do {
        x = Normal();
        v = 1 + c * x;
      } while (v <= 0);
      v = v * v * v;
      const double u = Uniform(), x2 = x * x;
      if (u < 1 - 0.0331 * x2 * x2) return d * v;
      if (std::log(u) < 0.5 * x2 + d * (1 - v + std::log(v))) return d * v;
    }
  }

  uint64_t hash_, salt_, next_ = 0;
  double sine_ = 0;
  bool spare_ = false;
};

// |y + sqrt(mu) P g|^2 for g a standard normal vector of k coordinates, P
// the projection off a unit vector w, and y with y.w = along and |y|^2 =
// squared: along^2 + (|y - along w| + sqrt(mu) Z)^2 + mu W, Z the part of
// g along y - along w and W the chi-square (k - 2) of the k - 2 directions
// orthogonal to both, the same law. Two normals' worth of draws instead of
// k.
double ShiftedSquaredNorm(double squared, double along, int k, double mu, HashDraws& draws) {
  const double across = std::sqrt(std::max(0.0, squared - along * along));
  const double z = draws.Normal();
  const double w = draws.ChiSquare(k - 2);
  const double a = across + std::sqrt(mu) * z;
  return along * along + a * a + mu * w;
}

}  // namespace

double SmoothedUniformChiSquare(const uint32_t* counts, int k, uint64_t hash, uint64_t salt) {
  // q_i = 1 / k: lambda = k / 2 and xi = sqrt(1/2) (g - mean g), g standard
  // normal: sum (d + xi)^2 = |d + sqrt(1/2) P g|^2, P the projection off
  // (1, ..., 1) / sqrt(k), and the deviations d sum to 0.
  double trials = 0;
  for (int i = 0; i < k; ++i) trials += counts[i];
  const double e = trials / k, s2 = 0.5;
  double squared = 0;
  for (int i = 0; i < k; ++i) {
    const double d = counts[i] - e;
    squared += d * d;
  }
  HashDraws draws(hash, salt);
  return ShiftedSquaredNorm(squared, 0, k, s2, draws) / (e + s2);
}

double SmoothedChiSquare(const double* observed, const double* expected, int k, double trials, uint64_t hash,
                         uint64_t salt) {
  double least = 1, kept = 0;
  for (int i = 0; i < k; ++i) {
    const double q = expected[i] / trials;
    least = std::min(least, q);
    kept += q;
  }
  const double rest = 1 - kept;
  const double lambda = 0.5 / least;
  if (!(rest > 1e-12)) {
    // Every class in the sum: with y_i = d_i / sqrt(q_i) and w_i = sqrt(q_i)
    // (a unit vector), xi_i / sqrt(q_i) = sqrt(lambda) (P g)_i, P the
    // projection off w, and the sum is |y + sqrt(lambda) P g|^2, y.w the
    // sum of the deviations.
    double squared = 0, along = 0;
    for (int i = 0; i < k; ++i) {
      const double d = observed[i] - expected[i];
      squared += d * d / (expected[i] / trials);
      along += d;
    }
    HashDraws draws(hash, salt);
    return ShiftedSquaredNorm(squared, along, k, lambda, draws) / (trials + lambda);
  }
  // A remainder left out of the sum: one normal per class (the remainder's
  // last), xi_i = sqrt(lambda) (sqrt(q_i) g_i - q_i sum_j sqrt(q_j) g_j).
  // The normals are drawn twice in the same order: for the projection, then
  // again for each class's shift.
  HashDraws first(hash, salt), again(hash, salt);
  double projection = 0;
  for (int i = 0; i < k; ++i) projection += std::sqrt(expected[i] / trials) * first.Normal();
  projection += std::sqrt(rest) * first.Normal();
  const double root = std::sqrt(lambda);
  double sum = 0;
  for (int i = 0; i < k; ++i) {
    const double q = expected[i] / trials;
    const double xi = root * (std::sqrt(q) * again.Normal() - q * projection);
    const double d = observed[i] - expected[i] + xi;
    sum += d * d / q;
  }
  return sum / (trials + lambda);
}

double LatticeChiSquarePValue(double df, double x, double h, double u) {
  return IncompleteGammaQ(df / 2, LatticePoint(x, h, u) / 2);
}
