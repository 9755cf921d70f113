// "DAT_collision_limits.txt": for runs of up to K sequences, the fewest and
// the most s-bit words the collision test uses at each word size s.
//
// The rule. The collision count of n words in c = 2^s cells has a discrete
// law; a run of K sequences judges its K p-values for uniformity (KS, AD),
// and the p-value P(X <= b) of a discrete law jumps by the single
// probabilities of the law. Those jumps must be well below the resolution
// 1/sqrt(K) of K p-values: we ask that the largest single probability be at
// most 0.1 / sqrt(K). The law is close to normal with variance V(n), whose
// largest single probability is 1 / sqrt(2 pi V(n)); so a word count n is
// fit for K sequences when
//     V(n) >= K / (2 pi 0.1^2) = 50 K / pi.
// V(n) (n words, c cells; g = (1 - 1/c)^n, h = (1 - 2/c)^n)
//     = c^2 g^2 expm1(n log1p(-1/(c-1)^2)) - c g expm1(n log1p(-1/(c-1)))
// grows from 0, peaks near n = 1.26 c (at about 0.102 c) and falls again
// as the cells fill up, so the fit counts form one interval: its ends are
// the section's least and most words of s. A word size whose largest
// variance stays below the bound is not listed (the small ones), and the
// most words are capped by the words of a 2^32-bit sequence. The exact law
// that the test builds once per run costs about n times 16 sqrt(V) steps;
// it is used for s <= 17 (n at most about 7 c there) and, for s >= 18, only
// up to the normal approximation's threshold of 2^19 to 2^21.5 words.
//
// Sections: K = 10, 30, 100, 300, 1000, 3000, 10000. A line: s in two
// characters, a tab, the least words, a tab, the most words.
#include <cmath>
#include <cstdint>
#include <cstdio>

#include "DataFiles.h"

namespace datafiles {

namespace {

// The variance of the collision count of n words in c cells, without the
// cancellation of the direct form.
double CollisionVariance(double c, double n) {
  const double g = std::exp(n * std::log1p(-1 / c));
  const double a = std::expm1(n * std::log1p(-1 / ((c - 1) * (c - 1))));
  const double b = std::expm1(n * std::log1p(-1 / (c - 1)));
  return c * c * g * g * a - c * g * b;
}

}  // namespace

bool WriteCollisionLimitsFile(const std::string& folder) {
  const std::string path = folder + "/DAT_collision_limits.txt";
  FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) return false;
  const int counts[] = {10, 30, 100, 300, 1000, 3000, 10000};
  bool first = true;
  for (int k : counts) {
    std::fprintf(file, "%d\n", k);
    const double need = 50.0 * k / M_PI;
    for (int s = 2; s <= 31; ++s) {
      const double c = std::ldexp(1.0, s);
      const uint64_t cap = 0xFFFFFFFFull / s;
      auto fit = [&](uint64_t n) { return CollisionVariance(c, static_cast<double>(n)) >= need; };
      // The peak of the unimodal variance, by ternary search over n.
      uint64_t left = 1, right = cap;
      while (right - left > 2) {
        const uint64_t m1 = left + (right - left) / 3, m2 = right - (right - left) / 3;
        if (CollisionVariance(c, double(m1)) < CollisionVariance(c, double(m2))) left = m1 + 1;
        else right = m2;
      }
      uint64_t peak = left;
      for (uint64_t n = left + 1; n <= right; ++n)
        if (CollisionVariance(c, double(n)) > CollisionVariance(c, double(peak))) peak = n;
      if (!fit(peak)) continue;
      uint64_t lo = 1, hi = peak;  // least fit n in [1, peak]
      while (lo < hi) {
        const uint64_t mid = lo + (hi - lo) / 2;
        if (fit(mid)) hi = mid;
        else lo = mid + 1;
      }
      const uint64_t least = lo;
      lo = peak, hi = cap;  // most fit n in [peak, cap]
      while (lo < hi) {
        const uint64_t mid = hi - (hi - lo) / 2;
        if (fit(mid)) lo = mid;
        else hi = mid - 1;
      }
      std::fprintf(file, "%2d\t%llu\t%llu\n", s, static_cast<unsigned long long>(least),
                   static_cast<unsigned long long>(lo));
    }
    if (first)
      std::fprintf(file, "# s, least words, most words: collision count variance >= 50 K / pi\n");
    else
      std::fprintf(file, "#\n");
    first = false;
  }
  return std::fclose(file) == 0;
}

}  // namespace datafiles
