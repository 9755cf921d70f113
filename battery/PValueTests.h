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
// limit law closely from small n on.
double KsSizeFactor(double n);

// The Kolmogorov-Smirnov p-value of n values, sorted ascending, against the
// uniform law on [0, 1]: Kolmogorov's limit law at
// lambda = (sqrt(n) + 0.12 + 0.11 / sqrt(n)) D; exactly 1 for lambda < 0.2.
double KsUniformPValue(const double* values, int n);

// The same against the standard normal law; sorts values in place first and
// leaves them sorted.
double KsNormalPValue(double* values, int n);

// The Anderson-Darling p-value of n values, sorted ascending, against the
// uniform law on [0, 1] (piecewise approximation of the limit law of A^2;
// exactly 1 for A^2 < 0.01). Each product is floored at 1e-20 before its
// logarithm, so values of exactly 0 or 1 give a large but finite A^2.
double AdUniformPValue(const double* values, int n);

// The binomial threshold p-value of N values in any order: the cumulative
// counts below 15 thresholds pooled into cells of expected count at least 5
// and judged by chi-square. PVALUE_FAIL for N < 2, PVALUE_SHORT when fewer
// than 2 cells close.
double ThresholdBinomialP(const double* values, int N);

// The same for N values sorted ascending, counting by binary search: the
// same p-value in O(log N) per threshold.
double ThresholdBinomialPSorted(const double* values, int N);
