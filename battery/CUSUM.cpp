#include "battery/CUSUM.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "battery/Bits.h"
#include "battery/RunState.h"
#include "battery/Distributions.h"

namespace {

// Phi(b) - Phi(a) for a <= b, from the tail that keeps small differences exact.
double NormalMass(double a, double b) {
  if (a >= 0) return NormalCdf(-a) - NormalCdf(-b);
  return NormalCdf(b) - NormalCdf(a);
}

// The partial sums of one byte's bits taken in one order: their total and
// the highest and lowest sum reached after each bit.
struct ByteWalk {
  int8_t total, high, low;
};

struct ByteWalks {
  ByteWalk forward[256];   // bits from the least significant up
  ByteWalk backward[256];  // bits from the most significant down
  ByteWalks() {
    for (int v = 0; v < 256; ++v) {
      int sf = 0, hf = -9, lf = 9, sb = 0, hb = -9, lb = 9;
      for (int j = 0; j < 8; ++j) {
        sf += ((v >> j) & 1) ? 1 : -1;
        hf = std::max(hf, sf);
        lf = std::min(lf, sf);
        sb += ((v >> (7 - j)) & 1) ? 1 : -1;
        hb = std::max(hb, sb);
        lb = std::min(lb, sb);
      }
      forward[v] = {int8_t(sf), int8_t(hf), int8_t(lf)};
      backward[v] = {int8_t(sb), int8_t(hb), int8_t(lb)};
    }
  }
};

const ByteWalks walks;

struct Excursion {
  long long sum = 0;
  long long z = 1;
  void Bit(uint32_t b) {
    sum += b ? 1 : -1;
    z = std::max(z, std::llabs(sum));
  }
  void Byte(const ByteWalk& w) {
    z = std::max(z, std::max(std::llabs(sum + w.high), std::llabs(sum + w.low)));
    sum += w.total;
  }
};

}  // namespace

double CusumPValue(uint32_t n, uint32_t z) {
  const double u = z / std::sqrt(static_cast<double>(n));
  const double r = static_cast<double>(n) / z;
  const long kLow1 = std::lround(std::floor((-r + 1) / 4)), kHigh = std::lround(std::floor((r - 1) / 4));
  const long kLow2 = std::lround(std::floor((-r - 3) / 4));
  // 1 minus the k = 0 term of the first sum is 2 Phi(-u), taken as such so
  // that a tiny p-value is not lost to cancellation.
  double p = 2 * NormalCdf(-u);
  for (long k = kLow1; k <= kHigh; ++k)
    if (k != 0) p -= NormalMass((4 * k - 1) * u, (4 * k + 1) * u);
  for (long k = kLow2; k <= kHigh; ++k) p += NormalMass((4 * k + 1) * u, (4 * k + 3) * u);
  return std::min(1.0, std::max(0.0, p));
}

void CUSUM::RunTest() {
  const uint64_t n = seqLen;
  const uint64_t bytes = n / 8;

  Excursion forward;
  for (uint64_t k = 0; k < bytes; ++k) forward.Byte(walks.forward[ReadByte(seqBits, k)]);
  for (uint64_t t = bytes * 8; t < n; ++t) forward.Bit(ReadBit(seqBits, t));
  AddResult(CusumPValue(seqLen, static_cast<uint32_t>(forward.z)), "Cusum 1");

  Excursion backward;
  for (uint64_t t = n; t > bytes * 8; --t) backward.Bit(ReadBit(seqBits, t - 1));
  for (uint64_t k = bytes; k > 0; --k) backward.Byte(walks.backward[ReadByte(seqBits, k - 1)]);
  AddResult(CusumPValue(seqLen, static_cast<uint32_t>(backward.z)), "Cusum 2");
}
