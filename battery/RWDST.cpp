#include "battery/RWDST.h"

#include <algorithm>
#include <cmath>

#include "battery/Bits.h"
#include "battery/RunState.h"

int RWDST::WalkLength(uint32_t n) {
  // floor(n / L) > 2^L decided in integers: 2^-L n / L computed in doubles
  // lands just above 1 at n = 2^20, L = 16, where the two are equal. L
  // stays below 32 for 32-bit n (n / L < 2^L from L = 28 on).
  int L = 2;
  while (L < 62 && n / static_cast<uint32_t>(L) > (uint64_t{1} << L)) L += 2;
  return L - 2;
}

RWDST::RWDST() {
  walkLength = WalkLength(seqLen);
  const int L = walkLength;
  if (L == 0) return;
  const double n = static_cast<double>(seqLen / static_cast<uint32_t>(L));
  // binom(L, j) / 2^L exactly: Pascal's rule in doubles is exact while the
  // coefficients stay below 2^53, as they do for L <= 30.
  std::vector<double> binom(L + 1, 0.0);
  binom[0] = 1;
  for (int m = 1; m <= L; ++m)
    for (int j = m; j >= 1; --j) binom[j] += binom[j - 1];
  std::vector<double> expected(L + 1);
  for (int j = 0; j <= L; ++j) expected[j] = n * std::ldexp(binom[j], -L);
  // End points from L down to 0 (ones L .. L/2), then from -L up to -2
  // (ones 0 .. L/2 - 1), one running class throughout.
  std::vector<int> order;
  for (int j = L; j >= L / 2; --j) order.push_back(j);
  for (int j = 0; j < L / 2; ++j) order.push_back(j);
  classes_.Build(expected, order);
  counts_.assign(classes_.Classes() + 1, 0);
}

namespace {

// Counts the walks of L bits (L <= 30) by class of their number of ones.
QV_POPCNT_CLONES void CountWalks(const uint32_t* words, uint64_t walks, int L, const int* classOf, uint32_t* counts) {
  BitStream stream(words, 0);
  for (uint64_t w = 0; w < walks; ++w) ++counts[classOf[Popcount32(stream.Next(L))]];
}

}  // namespace

void RWDST::RunTest() {
  // Too little data: no walk, or fewer than two classes, so no statistic.
  if (walkLength == 0 || classes_.Classes() < 2) return;
  const int L = walkLength;
  std::fill(counts_.begin(), counts_.end(), 0u);
  CountWalks(seqBits, seqLen / static_cast<uint32_t>(L), L, classes_.ClassTable().data(), counts_.data());
  AddResult(classes_.PValueOf(counts_.data()), "RW_dst %d", L);
}
