// "DAT_ZarWlk.bin": for every level c = 0..6, the end-point law of a walk on
// the square lattice whose length l is uniform on 0 .. 4^c - 1 (c base-4
// digits), each step one of the four unit moves with probability 1/4:
//   P(x, y) = 4^-c sum over l of P_l(x, y).
// In the rotated coordinates u = x + y, v = x - y every unit move changes
// u by +-1 and v by +-1, the four sign pairs equally likely, so u and v are
// two independent simple walks:
//   P_l(x, y) = b_l(x + y) b_l(x - y),  b_l(u) = C(l, (l + u) / 2) / 2^l,
// with b_l from the positive recurrence b_l+1(u) = (b_l(u - 1) + b_l(u + 1)) / 2.
// Terms with |u| or |v| above 10 sqrt(l) + 2 (relative size below e^-50)
// are left out.
//
// Table of a level: the points with |x| = r, |y| = k. Row r holds k = 0 ..
// m_r - 1, m_r - 1 being the largest k with P >= 1e-15 (at least one entry
// per row); h is the largest r with such a point. Points outside the table
// hold less than 1e-15 each.
//
// Record: u8 level, i32 h, then for r = 0..h: i32 m_r and m_r doubles.
#include <cmath>
#include <vector>

#include "DataFiles.h"

namespace datafiles {

namespace {

constexpr double EPS = 1e-15;

void WriteLevel(Payload& out, int level) {
  const int lengths = 1 << (2 * level);
  const int bound = std::min(lengths - 1, static_cast<int>(std::ceil(10 * std::sqrt(lengths))) + 2);
  const int width = bound + 1;
  std::vector<double> table(static_cast<size_t>(width) * width, 0.0);  // [x][y], x, y >= 0
  // b over u = -(lengths + 1) .. lengths + 1, offset by `lengths + 1`.
  const int off = lengths + 1;
  std::vector<double> b(2 * lengths + 4, 0.0), next(2 * lengths + 4, 0.0);
  b[off] = 1;  // l = 0
  for (int l = 0; l < lengths; ++l) {
    const int w = std::min(l, static_cast<int>(10 * std::sqrt(static_cast<double>(l))) + 2);
    for (int x = 0; x <= std::min(w, bound); ++x) {
      double* row = &table[static_cast<size_t>(x) * width];
      // y >= 0 with x + y <= w and x + y of the parity of l.
      for (int y = (l + x) & 1; y <= bound && x + y <= w; y += 2) row[y] += b[off + x + y] * b[off + x - y];
    }
    // b_l -> b_l+1 over u = -(l + 1) .. l + 1.
    for (int u = -(l + 1); u <= l + 1; ++u) next[off + u] = 0.5 * (b[off + u - 1] + b[off + u + 1]);
    b.swap(next);
  }
  const double scale = 1.0 / lengths;
  std::vector<int> rowLength(width, 0);
  int h = 0;
  for (int r = 0; r < width; ++r) {
    for (int k = 0; k < width; ++k)
      if (table[static_cast<size_t>(r) * width + k] * scale >= EPS) rowLength[r] = k + 1;
    if (rowLength[r] > 0) h = r;
  }
  out.U8(static_cast<uint8_t>(level));
  out.I32(h);
  for (int r = 0; r <= h; ++r) {
    const int m = rowLength[r] > 0 ? rowLength[r] : 1;
    out.I32(m);
    for (int k = 0; k < m; ++k) out.F64(table[static_cast<size_t>(r) * width + k] * scale);
  }
}

}  // namespace

bool WriteZarWlkFile(const std::string& folder) {
  Payload out;
  for (int level = 0; level <= 6; ++level) WriteLevel(out, level);
  return WriteDatFile(folder + "/DAT_ZarWlk.bin", out);
}

}  // namespace datafiles
