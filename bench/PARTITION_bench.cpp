#include "BenchDataDir.h"
#include "BenchSequence.h"
#include "battery/PARTITION.h"

namespace {

// The window's default preset: k = 2, 4, 6, 8, the 20 largest usable group
// sizes of each. valueBufferLimit 0 reads every job's values from the
// sequence itself instead of the values extracted once per k.
void RunPartition(benchmark::State& state, uint64_t valueBufferLimit) {
  BenchDataDir data;
  partitionSmin = 2;
  partitionSmax = 8;
  partitionSstp = 2;
  partitionKnum = 20;
  BenchSequence sequence;
  const uint64_t saved = PARTITION::valueBufferLimit;
  PARTITION::valueBufferLimit = valueBufferLimit;
  PARTITION test;
  PARTITION::valueBufferLimit = saved;
  if (test.status != TEST_OK || test.jobCount == 0) {
    state.SkipWithError("DAT_partition.bin missing beside the program");
    return;
  }
  // The work is done on the sub-threads: their CPU time per sequence is
  // reported beside the wall time (steadier on a busy machine).
  test.slot = SLOT_PARTITION;
  test.RunTest();
  ClearSlot(SLOT_PARTITION);
  const double before = test.subThreadCpuSeconds;
  TimeRunTest(state, test, SLOT_PARTITION);
  state.counters["subthread_cpu_ms"] = 1e3 * (test.subThreadCpuSeconds - before) / double(state.iterations());
}

void PARTITION_(benchmark::State& state) { RunPartition(state, uint64_t{256} << 20); }
void PARTITION_streamed(benchmark::State& state) { RunPartition(state, 0); }

}  // namespace

BENCHMARK(PARTITION_)->Name("PARTITION")->UseRealTime();
BENCHMARK(PARTITION_streamed)->Name("PARTITION/values_read_per_job")->UseRealTime();
