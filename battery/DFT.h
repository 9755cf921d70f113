#pragma once
#include <fftw3.h>
#include <wx/string.h>

#include <cstddef>
#include <cstdint>
#include <vector>

#include "battery/SubThreadPool.h"
#include "battery/TESTthd.h"

// The buffers of one sub-thread, as large as the largest row count needs:
// the R x W input matrix (row-major floats), its R x (W/2 + 1) complex
// outputs, the values judged and the bucket bounds of their sort.
struct DftBuffers {
  float* in = nullptr;
  fftwf_complex* out = nullptr;
  std::vector<double> values;
  std::vector<uint32_t> buckets;
};

// The record a sub-thread shares with RunTest. R is the key: 0 while idle.
struct DftJob {
  int record = 0;       // the job's result record (2 k + mode for row count k)
  int mode = 0;         // fill mode: 0 row by row, 1 down the columns
  uint32_t N = 0;       // bits transformed
  uint32_t R = 0;       // row count of the job
  fftwf_plan plan = nullptr;      // of the row count, run on the sub-thread's buffers
  DftBuffers* buffers = nullptr;  // the sub-thread's own
  double p = 0;
};

// The DFT test: the first N bits as a matrix of R rows and W = N / R columns
// of 0/1 values, filled row by row (mode 0) or down the columns (mode 1),
// transformed in two dimensions (one when R = 1); the imaginary parts over
// sqrt(R W / 8) are judged against N(0, 1) by Kolmogorov-Smirnov. One job
// per row count and fill mode, run in parallel on a pool of sub-threads,
// each with buffers of its own (FFTW runs one plan on several threads'
// arrays at once through its new-array execute).
class DFT : public TESTthd {
 public:
  DFT();
  ~DFT() override;
  void RunTest() override;
  // The sub-threads that started; 0 runs the jobs on the worker itself.
  int SubThreads() const { return pool_.Started(); }

  // dftRmax lowered for N bits: the last row count R of the grid before
  // the first that leaves fewer than 20,000 columns or more than 2^30 - 1
  // outputs; rmin when rmin itself is such.
  static uint32_t UsableRowMax(uint32_t N, uint32_t rmin, uint32_t rmax, int rstp);

  std::vector<fftwf_plan> plans;  // one per row count, in grid order
  int recordCount = 0;            // 2 x row counts
  int jobCount = 0;               // one per row count and mode (R = 1: one)
  int threadCount = 0;            // min(cpuCount, jobCount), fewer for huge buffers
  uint32_t fftLength = 0;      // N
  std::vector<uint32_t> rowCounts;  // the grid dftRmin .. dftRmax after lowering

 private:
  static void Work(void* context, DftJob& job, int thread);
  void Disable(const wxString& text);

  // Allocates the buffers of buffers_, in order; returns how many
  // sub-threads have theirs.
  int AllocateBuffers(size_t inSize, size_t outSize);
  void FreeBuffers(size_t from);

  int firstMode_ = 0;  // dftFirstMode and dftModeStep, fixed for the run
  int modeStep_ = 1;
  struct JobSpec {
    int row, mode;
  };
  std::vector<JobSpec> jobs_;          // in record order
  std::vector<DftBuffers> buffers_;    // one per sub-thread
  std::vector<PValueRecord> records_;  // the results of one RunTest, made once
  SubThreadPool<DftJob, &DftJob::R> pool_;
};

// The Kolmogorov-Smirnov distance D of values[0 .. n - 1] to N(0, 1) in
// linear expected time, exactly as sorting the values and taking the
// largest of |i/n - u_i| and |(i - 1)/n - u_i| with u_i = NormalCdf of the
// i-th smallest. The values are counted into bucketCount equal intervals of
// the value (buckets[0 .. bucketCount] as counters), which gives every
// bucket's ranks; a cheap approximation of NormalCdf at the interval edges
// bounds each bucket's share of the distance, and only the buckets whose
// bound can reach the largest distance are gathered into scratch (n
// doubles), sorted and judged with NormalCdf itself. values is left as it
// is.
double KsNormalDistanceBucketed(const double* values, uint32_t n, double* scratch, uint32_t* buckets,
                                uint32_t bucketCount);

// Writes count bits of words from bit 0 on as floats, zero for 0 and one for
// 1, into out[0 .. count - 1].
void BitsToFloats(const uint32_t* words, uint64_t count, float zero, float one, float* out);
