#pragma once
// Randomised p-values for statistics with a discrete law. Where a statistic
// takes few values, its p-value has atoms and a lattice that a second-level
// test over thousands of sequences sees as a departure from uniform. The
// randomised p-value P(X > x) + U P(X = x), U uniform on (0, 1), is exactly
// uniform under the null law. U is drawn from the sequence's own bits (a hash
// of them, mixed with a per-row salt), so the same sequence always gives the
// same p-value and a run is reproducible.
#include <cstdint>

// A 64-bit hash of the first `bits` bits of the buffer (bits from `bits` on
// are ignored).
uint64_t SequenceHash(const uint32_t* words, uint64_t bits);

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
