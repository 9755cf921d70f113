#pragma once
// Special functions under every p-value of the battery: the regularized
// incomplete gamma functions, two logarithms of the gamma function, the
// incomplete beta ratio with the median of a uniform order statistic built
// on it, the standard normal distribution function and its inverse.
// Free functions of doubles without state, safe to call from many threads;
// LogGamma leaves the sign of Gamma(x) in the thread's gammaSign.

// Q(a, x) = Gamma(a, x) / Gamma(a), the upper regularized incomplete gamma
// function (Cephes igamc). A chi-square X with df degrees of freedom has the
// p-value IncompleteGammaQ(df / 2.0, X / 2). Returns 1 for x <= 0 or a <= 0
// and PVALUE_FAIL when x^a e^-x / Gamma(a) underflows (also for x = +inf and
// for a NaN argument, which would otherwise never converge).
double IncompleteGammaQ(double a, double x);

// P(a, x) = 1 - Q(a, x) (Cephes igam). Returns 0 for x <= 0 or a <= 0 and
// when the power series' prefactor underflows; 1 where Q underflows.
double IncompleteGammaP(double a, double x);

// ln |Gamma(x)| (Cephes lgam without infinities): poles and overflow give
// +-MAXNUM. Sets gammaSign to the sign of Gamma(x).
double LogGamma(double x);

// ln Gamma(x) by Algorithm AS 245, for x >= 1 (no argument checks); about
// 5e-9 absolute below 12, near double precision above.
double LogGammaAS245(double x);

// I_x(p, q), the incomplete beta ratio (Algorithm AS 63, accuracy 1e-15),
// with lnBeta = ln B(p, q) supplied by the caller. fault: 0 on success,
// 1 when p or q is not positive, 2 when x lies outside [0, 1] (or is NaN);
// on a fault the result is x.
double IncompleteBetaRatio(double x, double p, double q, double lnBeta, int& fault);

// The median of the i-th smallest of n independent uniform (0, 1) values,
// that is of Beta(i, n - i + 1), to 1e-9 by bisection. fault holds the code
// of the last IncompleteBetaRatio call (0 for 1 <= i <= n).
double OrderStatisticMedian(int n, int i, int& fault);

// Phi(x), the lower tail of the standard normal distribution, from the
// Chebyshev expansion of exp(x^2) erfc(x) (Math. Comp. 32, 1978).
double NormalCdf(double x);

// The x with Phi(x) = p (Algorithm AS 241, PPND7, about 1e-7 relative).
// Returns 0 for p <= 0 or p >= 1.
double NormalQuantile(double p);
