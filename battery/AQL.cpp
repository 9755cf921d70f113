#include "battery/AQL.h"

#include <algorithm>
#include <cmath>

#include "battery/Bits.h"
#include "battery/GridWalk.h"
#include "battery/MergedChiSquare.h"
#include "battery/RunState.h"

void AQL::Plan(uint64_t t, int& a, int& r) {
  const double x = 0.03975 * static_cast<double>(t);
  a = static_cast<int>(std::floor(x - 0.9));
  r = static_cast<int>(std::ceil(x + 0.9145));
}

AQL::Point AQL::StoppingLaw(int s, int m) {
  const uint64_t K = uint64_t{1} << s;
  int a, r, aK, rK;
  Plan(K, aK, rK);
  std::vector<double> F(rK + 1, 0.0), P(rK + 2, 0.0), next(rK + 2, 0.0);
  P[0] = 1;
  double S = 0;
  int top = 0;  // the highest state reached
  for (uint64_t t = 0; t <= K; ++t) {
    Plan(t == 0 ? 1 : t, a, r);
    const int low = std::max(a, 0);
    if (t < K) {
      const double left = static_cast<double>(K - t);
      for (int d = std::max(a + 1, 0); d < r; ++d) {
        next[d + 1] += P[d] * (m - d) / left;
        next[d] += P[d] * (left - m + d) / left;
      }
    }
    S = 0;
    for (int d = low; d <= r; ++d) S += P[d];
    for (int d = low; d <= r; ++d) {
      if (d == a || d == r) F[d] += P[d];
      P[d] = next[d];
      next[d] = 0;
    }
    top = std::max(top, r);
    if (S < 1e-7) break;
  }
  if (m < rK) F[m] += S;
  Point point;
  point.s = s;
  point.m = m;
  point.law.assign(F.begin(), F.begin() + std::min(top, m) + 1);
  if (m > top) point.lawAtM = F[m];
  return point;
}

int AQL::ExpectedCells(const Point& point, uint64_t N) {
  int cells = 0;
  double sum = 0;
  for (int e = point.m; e >= 0; --e) {
    sum += point.Law(e) * static_cast<double>(N);
    if (sum >= 5) {
      ++cells;
      sum = 0;
    }
  }
  return cells;
}

AQL::AQL() {
  int largestS = 0, largestM = 0;
  for (int s : Grid(aqlSmin, aqlSmax, aqlSstp)) {
    if (s < 1 || s > MAX_S) continue;
    int a, rK;
    Plan(uint64_t{1} << s, a, rK);
    for (int m : Grid(aqlMmin, aqlMmax, aqlMstp)) {
      if (m < 1) continue;
      m = std::min(m, rK);
      Point point = StoppingLaw(s, m);
      const uint64_t N = seqLen / (uint64_t(m) * uint64_t(s));
      if (point.Law(0) < 0.6 && ExpectedCells(point, N) >= 2) {
        largestS = std::max(largestS, s);
        largestM = std::max(largestM, m);
        points.push_back(std::move(point));
      }
      // A larger m would be lowered to the same value.
      if (m == rK) break;
    }
  }
  if (!points.empty()) {
    seen_.assign(size_t{1} << largestS, 0);
    counts_.assign(largestM + 1, 0);
  }
}

void AQL::RunTest() {
  const uint64_t n = seqLen;
  for (const Point& point : points) {
    const int s = point.s, m = point.m;
    const uint64_t K = uint64_t{1} << s;
    std::fill(counts_.begin(), counts_.begin() + m + 1, 0u);
    uint32_t* seen = seen_.data();
    BitStream stream(seqBits, 0);
    uint64_t pos = 0, L = 0;
    for (;;) {
      // A fresh stamp marks this batch's values; stamps of earlier batches
      // count as unseen, so nothing is cleared between batches.
      if (++stamp_ == 0) {
        std::fill(seen_.begin(), seen_.end(), 0u);
        stamp_ = 1;
      }
      const uint32_t stamp = stamp_;
      int distinct = 0;
      // Only words that end before the sequence's last bit are read.
      while (distinct < m && pos + s < n) {
        const uint32_t v = stream.Next(s);
        pos += s;
        if (seen[v] != stamp) {
          seen[v] = stamp;
          ++distinct;
        }
      }
      if (distinct < m) break;
      int e = 0, a, r;
      for (uint64_t i = 0;; ++i) {
        e += seen[i] == stamp;
        Plan(i + 1, a, r);
        if (e <= a || e >= r || i + 1 == K) break;
      }
      ++counts_[e];
      ++L;
    }
    MergedChiSquareSum chi2;
    for (int e = m; e >= 0; --e) chi2.Add(counts_[e], point.Law(e) * static_cast<double>(L));
    // The gate promised batches for two cells or more: a sequence in which
    // m different values never appear (a constant one) has failed, while a
    // few batches too few for two cells are only short.
    AddResult(L == 0 ? PVALUE_FAIL : chi2.PValue(), "AQL %d_%d %d", s, m, chi2.Classes());
  }
}
