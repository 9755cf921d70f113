#include "battery/DFT.h"

#include <wx/defs.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>
#include <new>
#include <vector>

#include "battery/Bits.h"
#include "battery/DftLaw.h"
#include "battery/Distributions.h"
#include "battery/FftLength.h"
#include "battery/GridWalk.h"
#include "battery/Messages.h"
#include "battery/RunState.h"

namespace {

const char* const CAPTION = "Quorvane - DFT test ERROR";

// Fewest columns a row count may leave.
constexpr uint32_t MIN_COLUMNS = 20000;
// Most complex outputs of one row count.
constexpr uint64_t MAX_OUTPUTS = 0x3FFFFFFF;

// Bit t of words goes to row t mod R, column t div R of the R x W matrix,
// for t = 0 .. R W - 1.
void BitsToColumns(const uint32_t* words, uint32_t R, uint32_t W, float* in) {
  uint32_t r = 0;
  uint64_t c = 0;
  const uint64_t count = uint64_t{R} * W;
  for (uint64_t t = 0; t < count; ++t) {
    in[uint64_t{r} * W + c] = static_cast<float>(ReadBit(words, t));
    if (++r == R) {
      r = 0;
      ++c;
    }
  }
}

// Average values per bucket of the bucket sort.
constexpr uint32_t PER_BUCKET = 4;

// A cheap stand-in for NormalCdf: its values 1/256 apart on [-9, 9],
// interpolated linearly, constant beyond. It is monotone and lies within
// PHI_ERROR of NormalCdf: h^2/8 times the largest |phi'| (phi(1) < 0.25)
// inside, below NormalCdf(-9) = 1.1e-19 outside, plus a margin for rounding.
constexpr double GRID_LO = -9.0;
constexpr double GRID_SCALE = 256.0;
constexpr int GRID_POINTS = 18 * 256 + 1;
constexpr double PHI_ERROR = 0.25 / (8 * GRID_SCALE * GRID_SCALE) + 1e-12;

const double* PhiGrid() {
  static const std::vector<double> grid = [] {
    std::vector<double> g(GRID_POINTS);
    for (int j = 0; j < GRID_POINTS; ++j) g[j] = NormalCdf(GRID_LO + j / GRID_SCALE);
    return g;
  }();
  return grid.data();
}

inline double PhiApprox(const double* grid, double v) {
  const double t = (v - GRID_LO) * GRID_SCALE;
  if (!(t > 0.0)) return grid[0];
  if (t >= GRID_POINTS - 1) return grid[GRID_POINTS - 1];
  const int j = static_cast<int>(t);
  return grid[j] + (t - j) * (grid[j + 1] - grid[j]);
}

}  // namespace

double KsNormalDistanceBucketed(const double* values, uint32_t n, double* scratch, uint32_t* buckets,
                                uint32_t bucketCount) {
  if (n == 0) return 0.0;
  const uint32_t B = std::max(1u, bucketCount);
  const double* grid = PhiGrid();
  std::fill(buckets, buckets + B + 1, 0u);
  auto bucketOf = [B](double u) { return std::min(B - 1, static_cast<uint32_t>(u * B)); };
  // Bucket by the cheap approximation; the values themselves are sorted,
  // so the exact NormalCdf is needed only where the distance can peak.
  for (uint32_t k = 0; k < n; ++k) ++buckets[bucketOf(PhiApprox(grid, values[k])) + 1];
  for (uint32_t b = 0; b < B; ++b) buckets[b + 1] += buckets[b];  // buckets[b]: start of bucket b
  for (uint32_t k = 0; k < n; ++k) scratch[buckets[bucketOf(PhiApprox(grid, values[k]))]++] = values[k];
  // Now buckets[b] is the end of bucket b. A few values each on good data;
  // a crowded bucket (a degenerate spectrum) is sorted in n log n.
  uint32_t begin = 0;
  for (uint32_t b = 0; b < B; ++b) {
    const uint32_t end = buckets[b];
    if (end - begin <= 32) {
      for (uint32_t i = begin + 1; i < end; ++i) {
        const double x = scratch[i];
        uint32_t j = i;
        for (; j > begin && scratch[j - 1] > x; --j) scratch[j] = scratch[j - 1];
        scratch[j] = x;
      }
    } else {
      std::sort(scratch + begin, scratch + end);
    }
    begin = end;
  }
  // The approximation is monotone up to rounding; should rounding have put
  // two values out of order across a bucket edge, sort them all.
  for (uint32_t i = 1; i < n; ++i)
    if (scratch[i] < scratch[i - 1]) {
      std::sort(scratch, scratch + n);
      break;
    }
  // The value of rank r (1-based) contributes max(r/n - u, u - (r - 1)/n)
  // with u = NormalCdf(value). Within a bucket of ranks first .. last,
  // u lies within PHI_ERROR of the approximations of its first and last
  // values, which bounds the bucket's contribution; a bucket whose bound
  // does not exceed the distance found so far cannot change it. The bucket
  // with the largest bound goes first.
  auto bound = [&](uint32_t first, uint32_t end) {
    const double lo = PhiApprox(grid, scratch[first]) - PHI_ERROR;
    const double hi = PhiApprox(grid, scratch[end - 1]) + PHI_ERROR;
    return std::max(double(end) / n - lo, hi - double(first) / n);
  };
  auto exact = [&](uint32_t first, uint32_t end, double d) {
    for (uint32_t i = first; i < end; ++i) {
      const double u = NormalCdf(scratch[i]);
      d = std::fmax(d, std::fmax(std::fabs(double(i) / n - u), std::fabs(double(i + 1) / n - u)));
    }
    return d;
  };
  uint32_t bestFirst = 0, bestEnd = 0;
  double bestBound = -1.0;
  begin = 0;
  for (uint32_t b = 0; b < B; ++b) {
    const uint32_t end = buckets[b];
    if (end > begin) {
      const double bb = bound(begin, end);
      if (bb > bestBound) bestBound = bb, bestFirst = begin, bestEnd = end;
    }
    begin = end;
  }
  double d = exact(bestFirst, bestEnd, 0.0);
  begin = 0;
  for (uint32_t b = 0; b < B; ++b) {
    const uint32_t end = buckets[b];
    if (end > begin && begin != bestFirst && bound(begin, end) > d) d = exact(begin, end, d);
    begin = end;
  }
  return d;
}

void BitsToFloats(const uint32_t* words, uint64_t count, float zero, float one, float* out) {
  const float value[2] = {zero, one};
  const uint64_t whole = count / 32;
  for (uint64_t i = 0; i < whole; ++i) {
    const uint32_t w = words[i];
    float* o = out + 32 * i;
    for (int b = 0; b < 32; ++b) o[b] = value[(w >> b) & 1];
  }
  for (uint64_t t = 32 * whole; t < count; ++t) out[t] = value[ReadBit(words, t)];
}

uint32_t DFT::UsableRowMax(uint32_t N, uint32_t rmin, uint32_t rmax, int rstp) {
  // The last usable row count of the walk, stopping at the first that is
  // not; the first row count stays even when it is not usable.
  uint32_t last = rmin;
  for (uint32_t R : Grid(rmin, rmax, rstp)) {
    const uint32_t W = R == 0 ? 0 : N / R;
    if (R == 0 || W < MIN_COLUMNS || uint64_t{R} * (W / 2 + 1) > MAX_OUTPUTS) return last;
    last = R;
  }
  return rmax;
}

void DFT::Disable(const wxString& text) {
  ShowMessageBox(text, CAPTION, wxOK | wxICON_EXCLAMATION);
  status = TEST_DISABLED;
}

DFT::DFT() {
  FitFftLength("DFT", dftNmax, dftNopt, fftLength);
  const uint32_t N = fftLength;
  // The engine gives mode 0 or 1 and a step of 1 or 2.
  firstMode_ = std::clamp(dftFirstMode, 0, 1);
  modeStep_ = std::clamp(dftModeStep, 1, 2);

  dftRmax = UsableRowMax(N, dftRmin, dftRmax, dftRstp);
  for (uint32_t R : Grid(dftRmin, dftRmax, dftRstp)) rowCounts.push_back(R);
  if (rowCounts.empty() || rowCounts[0] == 0 || N / rowCounts[0] == 0) {
    Disable(wxString::Format("Too few bits (%u) for %u rows.\nThe test will be disabled.", N,
                             rowCounts.empty() ? 0u : rowCounts[0]));
    return;
  }

  size_t inSize = 0, outSize = 0;
  for (uint32_t R : rowCounts) {
    const uint64_t W = N / R;
    inSize = std::max<size_t>(inSize, size_t{R} * W);
    outSize = std::max<size_t>(outSize, size_t{R} * (W / 2 + 1));
  }
  const int rows = static_cast<int>(rowCounts.size());
  recordCount = 2 * rows;
  threadCount = std::min(std::max(cpuCount, 1), rows);

  ComposeWisdomPath();
  LoadFftWisdom();
  for (uint32_t R : rowCounts) {
    DftPlan p;
    p.in = static_cast<float*>(fftwf_malloc(sizeof(float) * inSize));
    p.out = static_cast<fftwf_complex*>(fftwf_malloc(sizeof(fftwf_complex) * outSize));
    if (p.in == nullptr || p.out == nullptr) {
      fftwf_free(p.in);
      fftwf_free(p.out);
      Disable(R == 1 ? wxString("Failed to allocate the I/O vector for 1 row.\nThe test will be disabled.")
                     : wxString::Format("Failed to allocate the I/O vector for %d rows. Try Rmax < %d.\n"
                                        "The test will be disabled.",
                                        static_cast<int>(R), static_cast<int>(R)));
      break;
    }
    // FFTW takes int dimensions, and the Kolmogorov-Smirnov step an int
    // count: a size beyond int cannot be planned.
    const uint64_t W = N / R;
    if (R <= INT_MAX && W <= INT_MAX && uint64_t{R} * (W / 2 + 1) <= INT_MAX)
      p.plan = fftwf_plan_dft_r2c_2d(static_cast<int>(R), static_cast<int>(W), p.in, p.out, FFT_PLAN_FLAGS);
    if (p.plan == nullptr) {
      fftwf_free(p.in);
      fftwf_free(p.out);
      Disable(R == 1 ? wxString("Failed to plan the transform for 1 row.\nThe test will be disabled.")
                     : wxString::Format("Failed to plan the transform for %u rows.\nThe test will be disabled.", R));
      break;
    }
    plans.push_back(p);
  }
  SaveFftWisdom();
  if (status != TEST_OK) return;

  records_.resize(recordCount);
  pool_.Create(threadCount);
  for (int i = 0; i < threadCount; ++i) {
    pool_.jobs[i].N = N;
    try {
      pool_.jobs[i].values.resize(outSize);
      pool_.jobs[i].buckets.resize(outSize / PER_BUCKET + 2);
    } catch (const std::bad_alloc&) {
      Disable(wxString::Format("Failed to allocate the output vector for the thread #%d.\nThe test will be disabled.",
                               i));
      return;
    }
  }
  pool_.Start(Work, this);
}

DFT::~DFT() {
  // No sub-thread may still hold a plan when it is destroyed.
  pool_.End();
  for (auto p = plans.rbegin(); p != plans.rend(); ++p) {
    fftwf_destroy_plan(p->plan);
    fftwf_free(p->in);
    fftwf_free(p->out);
  }
  plans.clear();
}

void DFT::Work(void* context, DftJob& job, int) {
  const DFT& test = *static_cast<const DFT*>(context);
  const uint32_t R = job.R;
  const uint32_t W = job.N / R;
  const uint64_t Wout = W / 2 + 1;
  const double norm = std::sqrt(static_cast<double>(R) * 0.125 * static_cast<double>(W));
  const uint64_t count = R * Wout;
  double* values = job.values.data();
  // The outputs are read out before the sort: their buffer is its scratch.
  double* scratch = reinterpret_cast<double*>(job.out);
  const uint32_t bucketCount = static_cast<uint32_t>(count / PER_BUCKET + 1);
  for (int m = test.firstMode_; m < 2; m += test.modeStep_) {
    if (R == 1 || m == 0) {
      BitsToFloats(seqBits, uint64_t{R} * W, 0.0f, 1.0f, job.in);
      // One row is the same matrix in both modes: one result, under mode 1.
      if (R == 1) m = 1;
    } else {
      BitsToColumns(seqBits, R, W, job.in);
    }
    fftwf_execute(job.plan);
    for (uint64_t k = 0; k < count; ++k) values[k] = static_cast<double>(job.out[k][1]) / norm;
    const double d =
        KsNormalDistanceBucketed(values, static_cast<uint32_t>(count), scratch, job.buckets.data(), bucketCount);
    job.p[m] = DftKsPValue(d, count);
  }
}

void DFT::RunTest() {
  if (rowCounts.empty() || plans.size() != rowCounts.size()) return;
  for (auto& record : records_) record.label[0] = '\0';
  const bool whole = pool_.Run(
      static_cast<int>(rowCounts.size()),
      [&](int k, DftJob& job) {
        job.record = 2 * k;
        job.R = rowCounts[k];
        job.in = plans[k].in;
        job.out = plans[k].out;
        job.plan = plans[k].plan;
      },
      [&](const DftJob& job, int) {
        if (job.R == 1) {
          PValueRecord& record = records_[job.record + 1];
          std::snprintf(record.label, sizeof record.label, "DFT 1");
          record.p = job.p[1];
          return;
        }
        for (int m = firstMode_; m < 2; m += modeStep_) {
          PValueRecord& record = records_[job.record + m];
          std::snprintf(record.label, sizeof record.label, "DFT %u_%d", job.R, m);
          record.p = job.p[m];
        }
      });
  subThreadCpuSeconds = pool_.CpuSeconds();
  if (!whole) return;
  for (const auto& record : records_)
    if (record.label[0] != '\0') AddResult(record.p, "%s", record.label);
}
