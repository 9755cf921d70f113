#include "battery/NOTM.h"

#include <algorithm>
#include <cmath>

#include "battery/Bits.h"
#include "battery/Distributions.h"
#include "battery/GridWalk.h"
#include "battery/RandomisedPValue.h"
#include "battery/RunState.h"

namespace {

// Tells this test's draws from the sequence's bits from other tests'.
constexpr uint64_t NOTM_SALT = 0x4E4F544D00000000ull;

// At most this many counters at once: more templates than fit are counted
// in further passes over the sequence.
constexpr size_t MAX_COUNTERS = size_t(1) << 22;

// The least mean count per block at which a length is tested. The
// statistic takes every block's count as normal; with the block count held
// at 3 and a mean of 5 the p-values are plainly not uniform (their
// Kolmogorov-Smirnov p-value over 10^4 good sequences is about 1e-9, from the
// few values three small counts can take); from a mean of 30 on they are.
constexpr double MIN_MEAN = 30;

// Up to this many bits every window value is counted in a table (the
// histogram of the block); above it, up to this many templates are compared
// one by one, more are counted in the table up to LOOKUP_MAX_BITS, and by
// binary search above.
constexpr int HISTOGRAM_BITS = 12;
constexpr int HISTOGRAM_MIN_BITS = 8;
constexpr uint32_t LINEAR_TEMPLATES = 8;
constexpr int LOOKUP_MAX_BITS = 20;

}  // namespace

const uint32_t APERIODIC_COUNT[32] = {
    0,        0,        2,        4,        6,         12,        20,        40,
    74,       148,      284,      568,      1116,      2232,      4424,      8848,
    17622,    35244,    70340,    140680,   281076,    562152,    1123736,   2247472,
    4493828,  8987656,  17973080, 35946160, 71887896,  143775792, 287542736, 575085472};

bool IsAperiodic(uint32_t v, int m) {
  // Short borders first: they reject most words at once.
  for (int len = 1; len < m; ++len)
    if ((v >> (m - len)) == (v & ((1u << len) - 1))) return false;
  return true;
}

uint32_t NextAperiodicTemplate(NOTM& test, int m) {
  const uint32_t mask = LowMask(m);
  for (;;) {
    const uint32_t v = ++test.candidate & mask;
    if (!IsAperiodic(v, m)) continue;
    if (++test.strideCounter < test.templateStride) continue;
    test.strideCounter = 0;
    return v;
  }
}

uint32_t NotmBlockCount(uint32_t n, int m) {
  const double blocks = std::trunc(n / (100.0 * std::ldexp(1.0, m) + m - 1));
  if (blocks < 3) return 3;
  if (blocks > 1000) return 1000;
  return static_cast<uint32_t>(blocks);
}

void CountTemplates(const uint32_t* words, uint32_t blocks, uint64_t M, int m, const uint32_t* templates,
                    uint32_t count, uint32_t* counters, std::vector<uint32_t>& lookup) {
  const uint64_t starts = M - m + 1;
  if (count <= LINEAR_TEMPLATES && m > HISTOGRAM_BITS) {
    // Every window is compared with all lanes at once; lanes past the
    // templates hold a value no m-bit window takes.
    uint32_t lane[LINEAR_TEMPLATES];
    for (uint32_t t = 0; t < LINEAR_TEMPLATES; ++t) lane[t] = t < count ? templates[t] : ~0u;
    for (uint32_t w = 0; w < blocks; ++w) {
      uint32_t hits[LINEAR_TEMPLATES] = {};
      ForEachWindow(words, w * M, starts, m, [&](uint32_t v) {
        for (uint32_t t = 0; t < LINEAR_TEMPLATES; ++t) hits[t] += v == lane[t];
      });
      for (uint32_t t = 0; t < count; ++t) counters[size_t(w) * count + t] = hits[t];
    }
    return;
  }
  if (m <= LOOKUP_MAX_BITS) {
    // The histogram of the block's windows of `width` >= m bits, read in
    // buffer order (first bit lowest): the m-bit window at a start is the
    // low m bits of the wider one, so a template's count is the sum over
    // the high bits at its bit reversal. Wide enough that consecutive
    // windows seldom add to the same counter. The wider windows of the last
    // starts read past the block, at worst into the buffer's spare bits;
    // those bits only select the high bits summed over. The table is left
    // all zero again after each block.
    const int width = std::max(m, HISTOGRAM_MIN_BITS);
    const size_t values = size_t(1) << width;
    if (lookup.size() < values) lookup.resize(values, 0);
    uint32_t* histogram = lookup.data();
    for (uint32_t w = 0; w < blocks; ++w) {
      ForEachWindowInBufferOrder(words, w * M, starts, width, [histogram](uint32_t v) { ++histogram[v]; });
      for (uint32_t t = 0; t < count; ++t) {
        const uint32_t low = ReverseBits32(templates[t]) >> (32 - m);
        uint32_t total = 0;
        for (size_t high = 0; high < values; high += size_t(1) << m) total += histogram[high | low];
        counters[size_t(w) * count + t] = total;
      }
      std::fill(histogram, histogram + values, 0u);
    }
    return;
  }
  std::fill(counters, counters + size_t(blocks) * count, 0u);
  const uint32_t* end = templates + count;
  const uint32_t low = templates[0], high = end[-1];
  for (uint32_t w = 0; w < blocks; ++w) {
    uint32_t* c = counters + size_t(w) * count;
    ForEachWindow(words, w * M, starts, m, [&](uint32_t v) {
      if (v < low || v > high) return;
      const uint32_t* at = std::lower_bound(templates, end, v);
      if (*at == v) ++c[at - templates];
    });
  }
}

namespace {

uint64_t Gcd(uint64_t a, uint64_t b) {
  while (b != 0) {
    const uint64_t r = a % b;
    a = b;
    b = r;
  }
  return a;
}

// The variance of a block's count of matches: L = M - m + 1 windows, each
// a match with probability p = 2^-m; two windows less than m apart never
// both match (the template has no border), others are independent:
// L p - (2m - 1) L p^2 + m (m - 1) p^2. (With M for L and no last term it
// is off by (m - 1) p (1 - (3m - 1) p), enough to bend the p-values of a
// thousand blocks.)
double NotmVariance(uint64_t M, int m) {
  const double p = std::ldexp(1.0, -m);
  const double windows = static_cast<double>(M) - m + 1;
  return windows * (p - (2 * m - 1) * p * p) + m * (m - 1.0) * p * p;
}

// The blocks' chi-square: their counts' squared distances from the mean
// over the variance.
double NotmChiSquare(const uint32_t* counts, uint32_t blocks, size_t stride, uint64_t M, int m) {
  const double mean = (static_cast<double>(M) - m + 1) * std::ldexp(1.0, -m);
  double chi2 = 0;
  for (uint32_t w = 0; w < blocks; ++w) {
    const double d = counts[w * stride] - mean;
    chi2 += d * d;
  }
  return chi2 / NotmVariance(M, m);
}

}  // namespace

double NotmLatticeStep(uint64_t M, int m) {
  // Each block adds (2^m c - L)^2 to 2^(2m) chi2 variance, L = M - m + 1
  // windows; these values differ from c = 0's by 2^(m+1) c (2^(m-1) c - L),
  // so the sum lies on a lattice of step 2^(m+1) times the gcd of
  // c (2^(m-1) c - L) over the counts (stable from c = 1 .. 4 on).
  const int64_t L = static_cast<int64_t>(M) - m + 1, a = int64_t(1) << (m - 1);
  uint64_t g = 0;
  for (int64_t c = 1; c <= 4; ++c) g = Gcd(g, static_cast<uint64_t>(std::llabs(c * (a * c - L))));
  const double p = std::ldexp(1.0, -m);
  return std::ldexp(static_cast<double>(g), m + 1) * p * p / NotmVariance(M, m);
}

double NotmPValue(const uint32_t* counts, uint32_t blocks, size_t stride, uint64_t M, int m) {
  const double chi2 = NotmChiSquare(counts, blocks, stride, M, m);
  // N degrees of freedom: half of an odd N is not an integer.
  return IncompleteGammaQ(blocks / 2.0, chi2 / 2);
}

double NotmRandomisedPValue(const uint32_t* counts, uint32_t blocks, size_t stride, uint64_t M, int m, double u) {
  const double chi2 = NotmChiSquare(counts, blocks, stride, M, m);
  const double half = NotmLatticeStep(M, m) / 2;
  const double beyond = IncompleteGammaQ(blocks / 2.0, (chi2 + half) / 2);
  const double atLeast = IncompleteGammaQ(blocks / 2.0, std::max(0.0, chi2 - half) / 2);
  // An upper tail too small for the incomplete gamma function.
  if (atLeast == PVALUE_FAIL) return PVALUE_FAIL;
  return RandomisedPValue(beyond == PVALUE_FAIL ? 0.0 : beyond, atLeast, u);
}

void NOTM::RunTest() {
  // The sequence's hash, shared by all rows.
  const uint64_t hash = SequenceHash(seqBits, seqLen);
  for (int m : Grid(notmSmin, notmSmax, notmSstp)) {
    const uint32_t blocks = NotmBlockCount(seqLen, m);
    const uint64_t M = seqLen / blocks;
    // The walk ends at the first length whose blocks expect too few
    // occurrences of a template.
    const double mean = (static_cast<double>(M) - m + 1) * std::ldexp(1.0, -m);
    if (mean < MIN_MEAN) break;

    const uint32_t aperiodic = APERIODIC_COUNT[m];
    templateCount = aperiodic;
    templateStride = 1;
    if (notmTempl != 0 && static_cast<uint32_t>(notmTempl) < aperiodic) {
      templateCount = static_cast<uint32_t>(notmTempl);
      templateStride = aperiodic / templateCount;
    }
    strideCounter = templateStride;
    candidate = 0;

    const uint32_t perPass = static_cast<uint32_t>(std::max<size_t>(1, MAX_COUNTERS / blocks));
    for (uint32_t first = 0; first < templateCount; first += perPass) {
      const uint32_t count = std::min(perPass, templateCount - first);
      batch.resize(count);
      for (uint32_t t = 0; t < count; ++t) {
        // The two words of two bits, 01 and 10, are set directly.
        batch[t] = m == 2 ? (first + t == 0 ? 1u : 2u) : NextAperiodicTemplate(*this, m);
      }
      counters.resize(size_t(count) * blocks);
      CountTemplates(seqBits, blocks, M, m, batch.data(), count, counters.data(), lookup);
      for (uint32_t t = 0; t < count; ++t) {
        const double u = HashUniform(hash, NOTM_SALT + (static_cast<uint64_t>(m) << 32) + batch[t]);
        AddResult(NotmRandomisedPValue(counters.data() + t, blocks, count, M, m, u), "NOTM %d_%0X", m, batch[t]);
      }
    }
  }
}
