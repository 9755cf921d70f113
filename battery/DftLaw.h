#pragma once
// The null law of the DFT test's statistic: the Kolmogorov-Smirnov
// distance D of the n normalised imaginary parts of one transform to
// N(0, 1). Those values are not independent draws: on random bits their
// empirical distribution sits closer to N(0, 1) than n independent normal
// values would (most of all in the upper tail of D), so Kolmogorov's law
// gives p-values that lean towards 1. The law used instead is simulated
// once from the statistic itself (tools/dftlaw) and held as a table of the
// upper tail of lambda = (sqrt(n) + 0.12 + 0.11 / sqrt(n)) D, which does
// not depend on n or on the layout of the bits within the simulation's
// accuracy (tools/dftlaw/README.md).
#include <cstdint>

// Kolmogorov's limit law Q(x) = 2 sum_{j >= 1} (-1)^(j - 1) exp(-2 j^2 x^2),
// the upper tail of the supremum of the Brownian bridge; 1 for x <= 0.2.
double KolmogorovLimitQ(double x);

// The table: at each node k (k = 0 .. DFT_LAW_NODES - 1), a simulation at
// sizes[k] values (ascending), upper[k DFT_LAW_POINTS + j] =
// P(lambda >= DFT_LAW_X0 + j DFT_LAW_STEP) for j = 0 .. points[k] - 1, every
// such entry positive (the rest of the row is 0).
constexpr double DFT_LAW_X0 = 0.2;
constexpr double DFT_LAW_STEP = 0.02;
extern const int DFT_LAW_NODES;
extern const int DFT_LAW_POINTS;
extern const double dftLawSizes[];
extern const int dftLawPoints[];
extern const double dftLawUpper[];

// P(lambda >= x) from one node's row upper[0 .. points - 1]: 1 below the
// first point; between points, ln P interpolated linearly in x; beyond the
// last point, the last entry times Q(x) / Q(last point), a tail heavier than
// the simulated one (so never a smaller p-value than the law's where the
// table has too few replicates to say).
double DftLawUpperTail(double x, const double* upper, int points);

// P(lambda >= x) at n values: the nodes' tails interpolated linearly in
// 1 / sqrt(n) between the two nodes around n; the first node below it, the
// last above it.
double DftLawPValue(double x, double n, const double* sizes, const int* points, const double* upper, int nodes,
                    int stride);

// The p-value of the distance d of n values under the test's null law
// (the compiled table).
double DftKsPValue(double d, uint64_t n);
