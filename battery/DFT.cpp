#include "battery/DFT.h"

#include <wx/defs.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>
#include <memory>
#include <mutex>
#include <new>
#include <utility>
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
// The buffers of the sub-threads beyond one per row count take at most
// this many bytes together.
constexpr int64_t MAX_BUFFER_BYTES = int64_t{512} << 20;

// Bit t of words goes to row t mod R, column t div R of the R x W matrix,
// for t = 0 .. R W - 1. Row by row: the writes run in order, the reads step
// R bits at a time through the sequence, which stays in the cache.
void BitsToColumns(const uint32_t* words, uint32_t R, uint32_t W, float* in) {
  for (uint32_t r = 0; r < R; ++r) {
    float* row = in + uint64_t{r} * W;
    uint64_t t = r;
    for (uint32_t c = 0; c < W; ++c, t += R) row[c] = static_cast<float>((words[t >> 5] >> (t & 31)) & 1);
  }
}

// Average values per bucket of the bucket sort.
constexpr uint32_t PER_BUCKET = 4;
// The buckets cover the values from -BUCKET_EDGE to BUCKET_EDGE.
constexpr double BUCKET_EDGE = 5.0;

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

// PhiApprox at the bucket edges b / scale - BUCKET_EDGE, b = 0 .. B, for
// bucket count B: the same for every transform of one size, so made once
// per process and size (a few sizes per run) and kept.
const double* EdgeCdf(uint32_t B) {
  static std::mutex mutex;
  static std::vector<std::pair<uint32_t, std::unique_ptr<std::vector<double>>>> made;
  std::lock_guard<std::mutex> lock(mutex);
  for (const auto& entry : made)
    if (entry.first == B) return entry.second->data();
  const double* grid = PhiGrid();
  const double scale = B / (2.0 * BUCKET_EDGE);
  auto edges = std::make_unique<std::vector<double>>(size_t{B} + 1);
  for (uint32_t b = 0; b <= B; ++b) (*edges)[b] = PhiApprox(grid, b / scale - BUCKET_EDGE);
  made.emplace_back(B, std::move(edges));
  return made.back().second->data();
}

}  // namespace

double KsNormalDistanceBucketed(const double* values, uint32_t n, double* scratch, uint32_t* buckets,
                                uint32_t bucketCount) {
  if (n == 0) return 0.0;
  // The value of 0-based rank r contributes max(|r/n - u|, |(r + 1)/n - u|)
  // with u = NormalCdf(value); D is the largest contribution.
  auto exact = [n](const double* sorted, uint32_t count, uint32_t rank, double d) {
    for (uint32_t j = 0; j < count; ++j, ++rank) {
      const double u = NormalCdf(sorted[j]);
      d = std::fmax(d, std::fmax(std::fabs(double(rank) / n - u), std::fabs(double(rank + 1) / n - u)));
    }
    return d;
  };
  auto everything = [&] {
    std::copy(values, values + n, scratch);
    std::sort(scratch, scratch + n);
    return exact(scratch, n, 0, 0.0);
  };
  // Buckets of equal width in the value over [-BUCKET_EDGE, BUCKET_EDGE],
  // the first and the last also holding everything beyond: a monotone map.
  const uint32_t B = std::max(1u, std::min(bucketCount, n));
  const double scale = B / (2.0 * BUCKET_EDGE);
  const double top = B - 1;
  auto bucketOf = [scale, top](double v) {
    double t = (v + BUCKET_EDGE) * scale;
    t = t > 0.0 ? t : 0.0;  // also for a NaN
    return static_cast<uint32_t>(t < top ? t : top);
  };
  // buckets[b]: the number of values below bucket b, so the ranks of
  // bucket b are buckets[b] .. buckets[b + 1] - 1.
  std::fill(buckets, buckets + B + 1, 0u);
  for (uint32_t k = 0; k < n; ++k) ++buckets[bucketOf(values[k]) + 1];
  for (uint32_t b = 0; b < B; ++b) buckets[b + 1] += buckets[b];
  // Without sorting, u over bucket b lies in [lo, hi]: the approximation at
  // its edges within PHI_ERROR, widened a little for the rounding of the
  // map (1e-9 in the value moves NormalCdf by less than 1e-9). So the
  // bucket's contributions are at most max(end/n - lo, hi - begin/n), and
  // its first and last value contribute at least max(lo - begin/n,
  // end/n - hi): the largest such floor is a distance D reaches. The
  // ceilings go into scratch[0 .. B - 1], -1 for an empty bucket.
  const double* edge = EdgeCdf(B);
  const double margin = PHI_ERROR + 1e-9;
  double floor = 0.0;
  for (uint32_t b = 0; b < B; ++b) {
    if (buckets[b + 1] == buckets[b]) {
      scratch[b] = -1.0;
      continue;
    }
    const double lo = b == 0 ? 0.0 : edge[b] - margin;
    const double hi = b == B - 1 ? 1.0 : edge[b + 1] + margin;
    const double begin = double(buckets[b]) / n, end = double(buckets[b + 1]) / n;
    scratch[b] = std::max(end - lo, hi - begin);
    floor = std::max(floor, std::max(lo - begin, end - hi));
  }
  // Sorts and judges exactly the buckets whose ceiling reaches the floor
  // (the one that holds D among them), gathered behind the ceilings; the
  // plain sort of everything when they do not fit there (a crowded bucket,
  // as in a degenerate spectrum).
  uint64_t room = B;
  for (uint32_t b = 0; b < B; ++b) room += scratch[b] >= floor ? buckets[b + 1] - buckets[b] : 0;
  if (room > n) return everything();
  // The ceiling of a bucket to judge becomes its write position.
  double next = B;
  for (uint32_t b = 0; b < B; ++b) {
    if (scratch[b] >= floor) {
      scratch[b] = next;
      next += buckets[b + 1] - buckets[b];
    } else {
      scratch[b] = -1.0;
    }
  }
  for (uint32_t k = 0; k < n; ++k) {
    const double v = values[k];
    double& position = scratch[bucketOf(v)];
    if (position >= 0.0) scratch[static_cast<size_t>(position++)] = v;
  }
  double d = 0.0;
  for (uint32_t b = 0; b < B; ++b) {
    if (scratch[b] < 0.0) continue;
    const uint32_t count = buckets[b + 1] - buckets[b];
    double* first = scratch + static_cast<size_t>(scratch[b]) - count;
    std::sort(first, first + count);
    d = exact(first, count, buckets[b], d);
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
  uint32_t largestR = rowCounts[0];
  for (uint32_t R : rowCounts) {
    const uint64_t W = N / R;
    inSize = std::max<size_t>(inSize, size_t{R} * W);
    if (size_t{R} * (W / 2 + 1) > outSize) {
      outSize = size_t{R} * (W / 2 + 1);
      largestR = R;
    }
  }
  const int rows = static_cast<int>(rowCounts.size());
  recordCount = 2 * rows;
  for (int k = 0; k < rows; ++k) {
    if (rowCounts[k] == 1) {
      jobs_.push_back({k, 1});  // one row is the same matrix in both modes: one result, under mode 1
      continue;
    }
    for (int m = firstMode_; m < 2; m += modeStep_) jobs_.push_back({k, m});
  }
  jobCount = static_cast<int>(jobs_.size());
  threadCount = std::min(std::max(cpuCount, 1), jobCount);
  // The sub-threads beyond one per row count take at most MAX_BUFFER_BYTES
  // of buffers together.
  const uint64_t perThread = sizeof(float) * inSize + (sizeof(fftwf_complex) + sizeof(double)) * outSize +
                             sizeof(uint32_t) * (outSize / PER_BUCKET + 2);
  threadCount = std::min<int64_t>(threadCount, std::max<int64_t>(rows, MAX_BUFFER_BYTES / perThread));

  // Sub-thread 0's buffers first: the plans are made on them.
  buffers_.resize(threadCount);
  const int made = AllocateBuffers(inSize, outSize);
  if (made == 0) {
    if (status == TEST_OK)
      Disable(largestR == 1
                  ? wxString("Failed to allocate the I/O vector for 1 row.\nThe test will be disabled.")
                  : wxString::Format("Failed to allocate the I/O vector for %d rows. Try Rmax < %d.\n"
                                     "The test will be disabled.",
                                     static_cast<int>(largestR), static_cast<int>(largestR)));
    return;
  }
  threadCount = made;

  ComposeWisdomPath();
  LoadFftWisdom();
  for (uint32_t R : rowCounts) {
    // FFTW takes int dimensions, and the Kolmogorov-Smirnov step an int
    // count: a size beyond int cannot be planned.
    const uint64_t W = N / R;
    fftwf_plan plan = nullptr;
    if (R <= INT_MAX && W <= INT_MAX && uint64_t{R} * (W / 2 + 1) <= INT_MAX)
      plan = fftwf_plan_dft_r2c_2d(static_cast<int>(R), static_cast<int>(W), buffers_[0].in, buffers_[0].out,
                                   FFT_PLAN_FLAGS);
    if (plan == nullptr) {
      Disable(R == 1 ? wxString("Failed to plan the transform for 1 row.\nThe test will be disabled.")
                     : wxString::Format("Failed to plan the transform for %u rows.\nThe test will be disabled.", R));
      break;
    }
    plans.push_back(plan);
  }
  SaveFftWisdom();
  if (status != TEST_OK) return;

  records_.resize(recordCount);
  pool_.Create(threadCount);
  for (int i = 0; i < threadCount; ++i) {
    pool_.jobs[i].N = N;
    pool_.jobs[i].buffers = &buffers_[i];
  }
  pool_.Start(Work, this);
}

int DFT::AllocateBuffers(size_t inSize, size_t outSize) {
  // Every sub-thread's buffers, in order; the sub-threads after the first
  // whose buffers cannot be allocated are not made. A failure of the first
  // sub-thread's output vectors disables the test with its box.
  for (size_t t = 0; t < buffers_.size(); ++t) {
    DftBuffers& b = buffers_[t];
    b.in = static_cast<float*>(fftwf_malloc(sizeof(float) * inSize));
    b.out = static_cast<fftwf_complex*>(fftwf_malloc(sizeof(fftwf_complex) * outSize));
    bool whole = b.in != nullptr && b.out != nullptr;
    if (whole) {
      try {
        b.values.resize(outSize);
        b.buckets.resize(outSize / PER_BUCKET + 2);
      } catch (const std::bad_alloc&) {
        whole = false;
        if (t == 0)
          Disable("Failed to allocate the output vector for the thread #0.\nThe test will be disabled.");
      }
    }
    if (!whole) {
      FreeBuffers(t);
      buffers_.resize(t);
      return static_cast<int>(t);
    }
  }
  return static_cast<int>(buffers_.size());
}

void DFT::FreeBuffers(size_t from) {
  for (size_t t = from; t < buffers_.size(); ++t) {
    fftwf_free(buffers_[t].in);
    fftwf_free(buffers_[t].out);
    buffers_[t] = DftBuffers{};
  }
}

DFT::~DFT() {
  // No sub-thread may still use a plan or a buffer when it is freed.
  pool_.End();
  for (auto p = plans.rbegin(); p != plans.rend(); ++p) fftwf_destroy_plan(*p);
  plans.clear();
  FreeBuffers(0);
}

void DFT::Work(void*, DftJob& job, int) {
  const uint32_t R = job.R;
  const uint32_t W = job.N / R;
  const uint64_t Wout = W / 2 + 1;
  const double norm = std::sqrt(static_cast<double>(R) * 0.125 * static_cast<double>(W));
  const uint64_t count = R * Wout;
  DftBuffers& b = *job.buffers;
  double* values = b.values.data();
  // The outputs are read out before the sort: their buffer is its scratch.
  double* scratch = reinterpret_cast<double*>(b.out);
  const uint32_t bucketCount = static_cast<uint32_t>(count / PER_BUCKET + 1);
  if (R == 1 || job.mode == 0)
    BitsToFloats(seqBits, uint64_t{R} * W, 0.0f, 1.0f, b.in);
  else
    BitsToColumns(seqBits, R, W, b.in);
  fftwf_execute_dft_r2c(job.plan, b.in, b.out);
  for (uint64_t k = 0; k < count; ++k) values[k] = static_cast<double>(b.out[k][1]) / norm;
  const double d = KsNormalDistanceBucketed(values, static_cast<uint32_t>(count), scratch, b.buckets.data(), bucketCount);
  job.p = DftKsPValue(d, count);
}

namespace {

void DftLabel(PValueRecord& record, uint32_t R, int mode) {
  if (R == 1)
    std::snprintf(record.label, sizeof record.label, "DFT 1");
  else
    std::snprintf(record.label, sizeof record.label, "DFT %u_%d", R, mode);
}

}  // namespace

void DFT::RunTest() {
  if (jobs_.empty() || plans.size() != rowCounts.size()) return;
  for (auto& record : records_) record.label[0] = '\0';
  const bool whole = pool_.Run(
      jobCount,
      [&](int j, DftJob& job) {
        const JobSpec& spec = jobs_[j];
        job.record = 2 * spec.row + spec.mode;
        job.mode = spec.mode;
        job.plan = plans[spec.row];
        job.R = rowCounts[spec.row];
      },
      [&](const DftJob& job, int) {
        PValueRecord& record = records_[job.record];
        DftLabel(record, job.R, job.mode);
        record.p = job.p;
      });
  subThreadCpuSeconds = pool_.CpuSeconds();
  // A failed event call (logged by the pool) costs this sequence only: its
  // rows are short.
  if (!whole) {
    for (const JobSpec& spec : jobs_) {
      PValueRecord& record = records_[2 * spec.row + spec.mode];
      DftLabel(record, rowCounts[spec.row], spec.mode);
      record.p = PVALUE_SHORT;
    }
  }
  for (const auto& record : records_)
    if (record.label[0] != '\0') AddResult(record.p, "%s", record.label);
}
