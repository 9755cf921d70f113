#include "battery/BDAY.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "battery/RunState.h"

namespace {

// Sorts n values ascending: four stable passes over the bytes, lowest
// first, between a and b; the result ends in a (an even number of passes).
void RadixSort(uint32_t* a, uint32_t* b, int n) {
  uint32_t counts[4][256] = {};
  for (int i = 0; i < n; ++i) {
    const uint32_t v = a[i];
    ++counts[0][v & 0xFF];
    ++counts[1][(v >> 8) & 0xFF];
    ++counts[2][(v >> 16) & 0xFF];
    ++counts[3][v >> 24];
  }
  for (int pass = 0; pass < 4; ++pass) {
    uint32_t sum = 0;
    for (uint32_t& c : counts[pass]) {
      const uint32_t k = c;
      c = sum;
      sum += k;
    }
    const int shift = 8 * pass;
    for (int i = 0; i < n; ++i) b[counts[pass][(a[i] >> shift) & 0xFF]++] = a[i];
    std::swap(a, b);
  }
}

}  // namespace

BDAY::BDAY() : values_(SAMPLE), scratch_(SAMPLE) {}

const std::array<double, 11>& BDAY::Expected() {
  // 500 e^-4 4^j / j! by successive products; the last cell is 500 times
  // the Poisson tail of 10 and more.
  static const std::array<double, 11> expected = [] {
    std::array<double, 11> e{};
    e[0] = SAMPLES * std::exp(-4.0);
    for (int j = 1; j <= 9; ++j) e[j] = e[j - 1] * 4.0 / j;
    e[10] = 4.066121;
    return e;
  }();
  return expected;
}

double BDAY::PValue(const uint32_t* histogram) {
  const auto& e = Expected();
  double X = 0;
  for (int j = 0; j <= 10; ++j) {
    const double d = histogram[j] - e[j];
    X += d * d / e[j];
  }
  // P(chi2 <= X) for 10 degrees of freedom.
  const double x = X / 2;
  return 1 - std::exp(-x) * ((((x + 4) * x + 12) * x + 24) * x + 24) / 24;
}

int BDAY::RepeatedSpacings(const uint32_t* sample) {
  uint32_t* v = values_.data();
  std::memcpy(v, sample, SAMPLE * sizeof(uint32_t));
  RadixSort(v, scratch_.data(), SAMPLE);
  // Back to front, so every difference is taken of two sorted values, not
  // of a spacing already formed.
  for (int i = SAMPLE - 1; i >= 1; --i) v[i] -= v[i - 1];
  RadixSort(v + 1, scratch_.data(), SAMPLE - 1);
  int J = 0;
  for (int i = 2; i < SAMPLE; ++i) J += v[i] == v[i - 1];
  return J;
}

void BDAY::RunTest() {
  if (seqLen < MIN_BITS) return;
  uint32_t histogram[11] = {};
  for (int k = 0; k < SAMPLES; ++k)
    ++histogram[std::min(RepeatedSpacings(seqBits + static_cast<size_t>(k) * SAMPLE), 10)];
  AddResult(PValue(histogram), "Bday");
}
