// "DAT_partition.bin": for k = 2..13 (d = 2^k values) and i = 2..d values
// per group, the probability that a group holds exactly r distinct values,
//   P(r) = d (d - 1) ... (d - r + 1) S(i, r) / d^i.
// Computed by the occupancy recurrence over the values drawn one by one,
//   P_j+1(r) = P_j(r) r / d + P_j(r - 1) (d - r + 1) / d,
// a sum of positive terms, so every probability keeps full relative
// precision (no alternating sums of Stirling numbers). Entries below 1e-300
// are dropped from the band as the recurrence goes (they cannot matter).
//
// Tail rule: a record keeps r = rmin..rmax, the narrowest range whose two
// cut tails P(R < rmin) and P(R > rmax) are each below 1e-12; the reader
// counts a probability outside the range as 0.
//
// Record: u8 k, u16 i (both unused by the reader), u16 rmin, u16 rmax, then
// rmax - rmin + 1 doubles.
#include <vector>

#include "DataFiles.h"

namespace datafiles {

namespace {

constexpr double PRUNE = 1e-300;
constexpr double TAIL = 1e-12;

void WriteRecord(Payload& out, int k, int i, const std::vector<double>& p, int lo, int hi) {
  int rmin = lo, rmax = hi;
  double cut = 0;
  while (rmin < hi && cut + p[rmin] < TAIL) cut += p[rmin++];
  cut = 0;
  while (rmax > rmin && cut + p[rmax] < TAIL) cut += p[rmax--];
  out.U8(static_cast<uint8_t>(k));
  out.U16(static_cast<uint16_t>(i));
  out.U16(static_cast<uint16_t>(rmin));
  out.U16(static_cast<uint16_t>(rmax));
  for (int r = rmin; r <= rmax; ++r) out.F64(p[r]);
}

}  // namespace

bool WritePartitionFile(const std::string& folder) {
  Payload out;
  for (int k = 2; k <= 13; ++k) {
    const int d = 1 << k;
    const double inv = 1.0 / d;
    std::vector<double> p(d + 2, 0.0);
    p[1] = 1;  // one value drawn: one distinct value
    int lo = 1, hi = 1;
    for (int j = 2; j <= d; ++j) {
      const int top = hi + 1 <= d ? hi + 1 : d;
      for (int r = top; r >= lo; --r) p[r] = p[r] * (r * inv) + p[r - 1] * ((d - r + 1) * inv);
      hi = top;
      while (lo < hi && p[lo] < PRUNE) p[lo++] = 0;
      while (hi > lo && p[hi] < PRUNE) p[hi--] = 0;
      WriteRecord(out, k, j, p, lo, hi);
    }
  }
  return WriteDatFile(folder + "/DAT_partition.bin", out);
}

}  // namespace datafiles
