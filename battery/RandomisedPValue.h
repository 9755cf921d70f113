#pragma once
// Randomised p-values for statistics with a discrete law. Where a statistic
// takes few values, its p-value has atoms and a lattice that a second-level
// test over thousands of sequences sees as a departure from uniform. The
// randomised p-value P(X > x) + U P(X = x), U uniform on (0, 1), is exactly
// uniform under the null law. U is drawn from the sequence's own bits (a hash
// of them, mixed with a per-row salt), so the same sequence always gives the
// same p-value and a run is reproducible.
#include <cstdint>
#include <cstring>

// A 64-bit hash of the first `bits` bits of the buffer (bits from `bits` on
// are ignored).
uint64_t SequenceHash(const uint32_t* words, uint64_t bits);

// SequenceHash step by step, for a test that reads every word anyway and
// hashes them in its own pass: Pair(PairAt(words, i)) for i = 0 .. bits / 64
// - 1 in order, then Finish gives SequenceHash(words, bits).
class SequenceHasher {
 public:
  explicit SequenceHasher(uint64_t bits) : h_(0x6A09E667F3BCC909ull ^ bits) {}
  // words[2 i] | words[2 i + 1] << 32.
  static uint64_t PairAt(const uint32_t* words, uint64_t i) {
    uint64_t w;
    if constexpr (__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__)
      std::memcpy(&w, words + 2 * i, sizeof w);
    else
      w = words[2 * i] | (static_cast<uint64_t>(words[2 * i + 1]) << 32);
    return w;
  }
  void Pair(uint64_t w) {
    h_ = (h_ ^ w) * 0x9E3779B97F4A7C15ull;
    h_ ^= h_ >> 29;
  }
  // The bits past the whole pairs, and the final mix.
  uint64_t Finish(const uint32_t* words, uint64_t bits) const;

 private:
  uint64_t h_;
};

// A 64-bit hash of the first `bits` bits read at up to SAMPLED_PAIRS
// places: below 2 SAMPLED_PAIRS words every bit (SequenceHash), above
// them SAMPLED_PAIRS 64-bit pairs of words evenly spaced over the sequence
// and its length. U drawn from it is as uniform and as reproducible as from
// every bit, for a fraction of the reading: for the tests whose own pass is
// about as fast as a hash of every bit.
constexpr uint64_t SAMPLED_PAIRS = 256;
uint64_t SampledSequenceHash(const uint32_t* words, uint64_t bits);

// A uniform value in (0, 1) from a sequence hash and a salt that tells the
// rows of one sequence apart.
double HashUniform(uint64_t hash, uint64_t salt);

// P(X > x) + u (P(X >= x) - P(X > x)), within [0, 1].
double RandomisedPValue(double pGreater, double pAtLeast, double u);

// P(C >= k) and P(C <= k) for C binomial (n, q), 0 < q < 1.
double BinomialUpperTail(uint64_t n, double q, int64_t k);
double BinomialLowerTail(uint64_t n, double q, int64_t k);
// P(C = k).
double BinomialPmf(uint64_t n, double q, int64_t k);

// The randomised two-sided p-value of a binomial count: c successes among n
// trials of probability q, outcomes ranked by their distance from n q (the
// ranking of the chi-square over the two classes). PVALUE_FAIL when even
// P(as far) is below the range of doubles.
double BinomialTwoSidedRandomisedP(uint64_t n, double q, uint64_t c, double u);

// Pearson's chi-square of multinomial counts without its lattice. The
// counts of k classes live on a lattice, and the quadratic form over it
// takes some values far more often than their neighbours (how many ways a
// number is a sum of squares), atoms that a second-level test over
// thousands of sequences sees. The counts are shifted first by a normal
// vector xi drawn from the sequence's hash: covariance
// lambda (diag q - q q^T), the shape of the multinomial's own, with
// lambda = 1 / (2 min q_i), so that even the least likely class moves by
// about 0.7 of a count and the lattice is smoothed away. The statistic is
// then sum (O_i - E_i + xi_i)^2 / ((N + lambda) q_i): under the normal limit
// of the counts it is chi-square with k - 1 degrees of freedom exactly as
// the plain statistic is, its expectation is kept, and it has no atom.
// Given the counts, the shifted sum's law needs only two draws, not a
// normal per class: with y_i = (O_i - E_i) / sqrt(q_i) and w_i = sqrt(q_i)
// it is (y.w)^2 + (|y - (y.w) w| + sqrt(lambda) Z)^2 + lambda W, Z standard
// normal and W chi-square with k - 2 degrees of freedom (the normal vector's
// parts along y and across it), drawn so.
//
// The uniform case: k equally likely classes of `trials` draws,
// E = trials / k. Writes nothing; draws the uniforms HashUniform(hash,
// salt + j), j = 0, 1, ...: three to four on average, more than 16 with a
// probability below 1e-7, so rows of one sequence need salts that far
// apart.
double SmoothedUniformChiSquare(const uint32_t* counts, int k, uint64_t hash, uint64_t salt);
// Classes of expected counts E_i = N q_i (i < k), all of them or all but
// one left-out remainder (q_r = 1 - sum q_i, its class not in the sum):
// N is `trials`. All of them: the same draws as above. With a remainder the
// sum leaves one coordinate out and is drawn as it is formed, from a normal
// per class (the remainder's last) by Box and Muller from the uniforms
// salt + j, 2 ceil((k + 1) / 2) of them.
double SmoothedChiSquare(const double* observed, const double* expected, int k, double trials, uint64_t hash,
                         uint64_t salt);

// A statistic on a lattice of step h judged by a continuous law: the
// law's mass within h / 2 of the lattice point x (above 0) is taken as the
// point's atom, and x is moved to a point spread uniformly over that cell
// by u (u = 0: its top, u = 1: its bottom). The p-value at the moved point
// lies between the lattice law's P(X > x) (the upper tail at x + h / 2)
// and P(X >= x) (at x - h / 2, or 1 below 0), and has no atom. Under the
// lattice law its law is uniform at the cells' edges, and between them off
// by less than a cell's mass times the relative change of the density
// across the cell. One evaluation of the tail: the moved point's.
inline double LatticePoint(double x, double h, double u) {
  const double lo = x - h / 2 > 0 ? x - h / 2 : 0.0, hi = x + h / 2;
  return hi - u * (hi - lo);
}
// The chi-square law with df degrees of freedom at the moved point.
double LatticeChiSquarePValue(double df, double x, double h, double u);
