#pragma once
// The law of the Anderson-Darling statistic A^2 of n independent uniform
// values: free functions without state, O(1) per call apart from the sum of
// the statistic itself.

// A^2 = -n - (1/n) sum (2i + 1) ln(u_i (1 - u_{n-1-i})) of n values sorted
// ascending; each product is floored at 1e-20 before its logarithm, so that
// values of exactly 0 or 1 give a large but finite A^2.
double AdStatistic(const double* values, int n);

// P(A^2 > z) of the limit law (n -> infinity), within 1e-12 relative of
// Anderson and Darling's series from p = 1 down to p = 1e-15 and beyond
// (Chebyshev pieces of a smooth remainder, battery/AdLawTable.h, made by
// tools/reference/ad_law.py). Exactly 1 below z = 0.01, where the law's
// distribution function is below 1e-50. Continuous and decreasing in z.
double AdLimitUpperTail(double z);

// P(A^2 > z) for n values: the limit law with a finite-n correction,
// Marsaglia and Marsaglia's (2004) in the body (made continuous) and one
// fitted to a simulation in the upper tail from p = 0.2 on
// (tools/reference/ad_finite_n.cpp, ad_finite_n_fit.py). In [0, 1],
// continuous and non-increasing in z for every n >= 1; n <= 0 gives the
// limit law.
double AdUpperTail(int n, double z);
