#pragma once
// Judging a set of p-values, or a chi-square statistic, as a whole. Free
// functions without state, safe to call from many threads at once.

// The chi-square upper tail IncompleteGammaQ(df / 2.0, x / 2) (a real
// division: odd df give half-integer shapes); PVALUE_FAIL on its underflow.
double ChiSquarePValue(int df, double x);

// Sorts values[first .. last] (both included) ascending in place: a
// quicksort that recurses into the left part and loops on the right part.
void SortDoubles(double* values, int first, int last);

// Stephens' size factor sqrt(n) + 0.12 + 0.11 / sqrt(n): the
// Kolmogorov-Smirnov distance D of n values times it follows Kolmogorov's
// limit law closely from small n on (used to scale tabled quantiles).
double KsSizeFactor(double n);

// P(D_n >= d) for the two-sided Kolmogorov-Smirnov distance D_n of n
// independent uniform values, in [0, 1], accurate to 1e-8 relative wherever
// it exceeds 1e-10 (checked against exact values for n up to 9,999):
//   nd <= 1              Ruben and Gambino's closed form;
//   d >= 1/2 or nd^2 >= 3.5
//                        2 P(D_n^+ >= d) by Birnbaum and Tingey's exact sum
//                        (exact from d = 1/2; below it the chance of
//                        crossing both bands is under 1e-9 of the tail);
//   n <= 160             1 - P(D_n < d) by Durbin's exact matrix
//                        (Marsaglia, Tsang and Wang 2003);
//   n > 160              the Pelz-Good series (Simard and L'Ecuyer 2011)
//                        plus its measured 1/n^2 error, a table fitted to
//                        Durbin's matrix (tools/reference/ks_exact.py):
//                        within 7e-9 of it from n = 161 on, 6e-11 at 9,999.
double KsDistancePValue(int n, double d);

// The Kolmogorov-Smirnov p-value of n values, sorted ascending, against the
// uniform law on [0, 1]: KsDistancePValue at their largest distance D.
double KsUniformPValue(const double* values, int n);

// The same against the standard normal law; sorts values in place first and
// leaves them sorted.
double KsNormalPValue(double* values, int n);

// The Anderson-Darling p-value of n values, sorted ascending, against the
// uniform law on [0, 1]: P_n(A^2 > a2) of the finite-n law of battery/AdLaw
// (the exact limit law with a measured finite-n correction; exactly 1 for
// A^2 < 0.01, where the limit law's distribution function is below 1e-50).
// Each product is floored at 1e-20 before its logarithm, so values of
// exactly 0 or 1 give a large but finite A^2.
double AdUniformPValue(const double* values, int n);

// The thresholds of the binomial threshold p-value, ascending.
constexpr int BINOMIAL_THRESHOLD_COUNT = 15;
extern const double BINOMIAL_THRESHOLDS[BINOMIAL_THRESHOLD_COUNT];

// The binomial threshold p-value of N values in any order: each value
// counted in the cell between consecutive thresholds of the 15 (0.001, 0.01,
// 0.05, 0.1, ..., 0.9, 0.95, 0.99, 0.999; a value equal to a threshold
// counts above it) or above the last; the cells merged in order until the
// expected count reaches 5, a remainder joined to the last class; Pearson's
// statistic over the classes judged by its multinomial law
// (ThresholdBinomialFromCells, battery/BinoLaw.h).
// PVALUE_FAIL for N < 2, PVALUE_SHORT when fewer than 2 classes close.
double ThresholdBinomialP(const double* values, int N);

// The same for N values sorted ascending, counting by binary search: the
// same p-value in O(log N) per threshold.
double ThresholdBinomialPSorted(const double* values, int N);
