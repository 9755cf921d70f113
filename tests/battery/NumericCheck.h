#pragma once
// Comparison of a computed value with a reference value within a tolerance
// made of a relative and an absolute part, for the numeric library's
// table-driven tests.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>

inline ::testing::AssertionResult NearReference(double got, double expected, double relative, double absolute = 0.0) {
  double allowed = relative * std::fabs(expected) + absolute;
  if (std::fabs(got - expected) <= allowed) return ::testing::AssertionSuccess();
  char text[160];
  std::snprintf(text, sizeof text, "got %.17g, reference %.17g, difference %.3g > allowed %.3g", got, expected,
                std::fabs(got - expected), allowed);
  return ::testing::AssertionFailure() << text;
}

// The relative tolerance of Q(a, x): its prefactor x^a e^-x / Gamma(a) loses
// about 1e-13 per unit of a (a ln x and ln Gamma(a) grow with a while their
// difference does not).
inline double GammaTolerance(double a) { return 1e-13 * std::max(1.0, a); }

// A p-value against the bounds tools/reference/bino_law.py gives: the
// interval [lower, upper] of a randomised p-value within its atom (lower =
// upper for a continuous law), each end with the relative and absolute
// tolerance.
inline ::testing::AssertionResult WithinBounds(double got, double lower, double upper, double relative,
                                               double absolute) {
  if (got >= lower - relative * lower - absolute && got <= upper + relative * upper + absolute)
    return ::testing::AssertionSuccess();
  char text[160];
  std::snprintf(text, sizeof text, "got %.17g outside [%.17g, %.17g]", got, lower, upper);
  return ::testing::AssertionFailure() << text;
}
