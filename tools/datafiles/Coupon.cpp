// "DAT_coupon.bin": for s = 2..16 (d = 2^s values), the law of the
// collection length T, the number of s-bit words read until every one of
// the d values has appeared. By dynamic programming over the words: q_t(k),
// the probability that after t words k < d distinct values have appeared,
//   q_t+1(k) = q_t(k) k / d + q_t(k - 1) (d - k + 1) / d,
// and P(T = t + 1) = q_t(d - 1) / d. All terms are positive, so tiny
// probabilities keep full relative precision. Entries below 1e-40 are
// dropped from the band (their total is far below anything the tables hold).
//
// Lumped tails: lo is the smallest length t >= d with P(T <= t) >= 1e-10,
// and its entry holds P(T <= lo); hi is the first length with
// P(T >= hi) < 1e-10, and its entry holds P(T >= hi). So every entry is a
// probability of its own and the entries add up to 1.
//
// Record: u8 s, i32 lo, f32 mean (d times the d-th harmonic number), i32 hi,
// then hi - lo + 1 doubles; a record whose first byte is 0 ends the file.
#include <vector>

#include "DataFiles.h"

namespace datafiles {

namespace {

constexpr double PRUNE = 1e-40;
constexpr double TAIL = 1e-10;

void WriteRecord(Payload& out, int s) {
  const int d = 1 << s;
  const double inv = 1.0 / d;
  std::vector<double> q(d + 1, 0.0);  // k = 0 .. d - 1 used
  q[1] = 1;                           // after one word
  int lo = 1, hi = 1;
  std::vector<double> law;  // P(T = t) for t = first .. , lower tail lumped in
  int first = 0;
  double cumulative = 0;
  for (int t = 1;; ++t) {
    // q holds q_t; P(T >= t + 1) = the mass left in q.
    if (t + 1 > d && cumulative > 0.5) {
      double rest = 0;
      for (int k = lo; k <= hi; ++k) rest += q[k];
      if (rest < TAIL && first != 0 && t + 1 > first) {
        law.push_back(rest);  // the entry of hi = t + 1: P(T >= hi)
        break;
      }
    }
    const double pNext = q[d - 1] * inv;  // P(T = t + 1)
    if (t + 1 >= d) {
      cumulative += pNext;
      if (first == 0) {
        if (cumulative >= TAIL) {
          first = t + 1;
          law.push_back(cumulative);  // P(T <= lo)
        }
      } else {
        law.push_back(pNext);
      }
    }
    // q_t -> q_t+1, without the completed state k = d.
    const int top = hi + 1 <= d - 1 ? hi + 1 : d - 1;
    for (int k = top; k >= lo; --k) q[k] = q[k] * (k * inv) + q[k - 1] * ((d - k + 1) * inv);
    hi = top;
    while (lo < hi && q[lo] < PRUNE) q[lo++] = 0;
    while (hi > lo && hi < d - 1 && q[hi] < PRUNE) q[hi--] = 0;
  }
  double harmonic = 0;
  for (int m = d; m >= 1; --m) harmonic += 1.0 / m;
  out.U8(static_cast<uint8_t>(s));
  out.I32(first);
  out.F32(static_cast<float>(d * harmonic));
  out.I32(first + static_cast<int>(law.size()) - 1);
  for (double p : law) out.F64(p);
}

}  // namespace

bool WriteCouponFile(const std::string& folder) {
  Payload out;
  for (int s = 2; s <= 16; ++s) WriteRecord(out, s);
  out.U8(0);
  return WriteDatFile(folder + "/DAT_coupon.bin", out);
}

}  // namespace datafiles
