#pragma once
#include <cstdint>
#include <vector>

#include "battery/MergedChiSquare.h"
#include "battery/SubThreadPool.h"
#include "battery/TESTthd.h"

// The probabilities of a group of i values of k bits holding exactly r
// distinct values, r = rmin .. rmax (p[r - rmin]); empty when the (k, i)
// pair is not usable for this run.
struct PartitionTable {
  uint16_t rmin = 0, rmax = 0;
  std::vector<double> p;
};

// One (k, i) job of the sub-thread pool; k = 0 means idle (or "end").
struct PartitionJob {
  int record;
  int k;
  int i;
  double p;  // the p-value (i = 2: the randomised one of the groups of two equal values)
};

// Partition (poker) test: the sequence read as consecutive groups of i
// values of k bits; the histogram of the number of distinct values per
// group is compared with the exact law read from "DAT_partition.bin" by
// the Cressie-Read power divergence (lambda = 1/2) over merged classes,
// referred to its moment law (MergedChiSquare.h). Each usable (k, i) pair is one job of a pool of
// sub-threads; the largest k comes first, then the largest group sizes.
class PARTITION : public TESTthd {
 public:
  PARTITION();
  ~PARTITION() override;
  void RunTest() override;
  // The sub-threads that started; 0 runs the jobs on the worker itself.
  int SubThreads() const { return pool_.Started(); }

  static constexpr int K_MIN = 2, K_MAX = 13;
  // Records of the file: one per (k, i), k = 2..13, i = 2..2^k.
  static constexpr int RECORDS = 16368;

  // Whether a (k, i) pair whose table is `table` is usable with u groups.
  static bool Usable(const PartitionTable& table, uint32_t u);

  // The value buffers kept for the run take at most this many bytes in all;
  // the jobs of a k without a buffer read their values from the sequence
  // themselves. Settable for tests.
  static uint64_t valueBufferLimit;

  int jobCount = 0;
  int threadCount = 0;

  // The jobs in hand-out order: {k, i}.
  struct Pair {
    int k, i;
  };
  const std::vector<Pair>& Jobs() const { return jobList_; }

 private:
  using Pool = SubThreadPool<PartitionJob, &PartitionJob::k>;
  // Per sub-thread: the count per distinct-value number and the group stamp
  // of every value (a value is new in group g when its stamp is not g).
  struct Workspace {
    std::vector<uint32_t> count;
    std::vector<uint32_t> stamp;
  };

  bool LoadTables();
  static void PartitionWorker(void* context, PartitionJob& job, int thread);
  void Compute(PartitionJob& job, Workspace& work) const;

  // tables[k][i], k = 2..13, i = 0..2^k, loaded by the constructor.
  std::vector<PartitionTable> tables[K_MAX + 1];
  std::vector<Pair> jobList_;
  // The k-bit values of the sequence, extracted once per sequence for each
  // k that has a buffer (8-bit for k <= 8, 16-bit above).
  std::vector<uint8_t> values8_[K_MAX + 1];
  std::vector<uint16_t> values16_[K_MAX + 1];
  bool buffered_[K_MAX + 1] = {};
  uint64_t hash_ = 0;  // the sequence's hash, for the i = 2 p-values
  std::vector<Workspace> work_;
  std::vector<PValueRecord> records_;  // one per job, in record order
  Pool pool_;
};
