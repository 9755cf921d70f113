#include "battery/PARTITION.h"

#include <algorithm>
#include <cstdio>
#include <new>

#include "battery/Bits.h"
#include "battery/DatFile.h"
#include "battery/Distributions.h"
#include "battery/GridWalk.h"
#include "battery/MergedChiSquare.h"
#include "battery/Messages.h"
#include "battery/RandomisedPValue.h"
#include "battery/RunState.h"

uint64_t PARTITION::valueBufferLimit = uint64_t{256} << 20;

namespace {

constexpr int NO_LIMIT = 99999999;

// Tells this test's draws from the sequence's bits from other tests'.
constexpr uint64_t PARTITION_SALT = 0x5041525400000000ull;

// The probability of r distinct values in a table; 0 outside rmin..rmax.
double Prob(const PartitionTable& t, int r) { return r >= t.rmin && r <= t.rmax ? t.p[r - t.rmin] : 0.0; }

// Classes from the lower tail up to the mode, then from the upper tail
// down; a class closes when its expected count, groups times its summed
// probabilities, reaches 5, and the open remainder is dropped. A count
// outside rmin..rmax has probability 0: it adds only to the observed.
void MergeClasses(const PartitionTable& t, int i, const uint32_t* count, MergedChiSquareSum& merge) {
  int end = i;
  for (int r = 1; r <= i; ++r) {
    const int closed = merge.Classes();
    merge.Add(count[r], Prob(t, r));
    if (merge.Classes() > closed && Prob(t, r) > Prob(t, r + 1)) {
      end = r;
      break;
    }
  }
  for (int r = i; r > end; --r) merge.Add(count[r], Prob(t, r));
}

}  // namespace

bool PARTITION::Usable(const PartitionTable& table, uint32_t u) {
  if (table.p.empty()) return false;
  // The classes of u groups over r = rmin..rmax in that order.
  const double groups = static_cast<double>(u);
  MergedChiSquareSum merge(MergeRule::AtLeast, 5.0, Remainder::Drop, groups);
  for (double p : table.p) merge.Add(0, p);
  const int c = merge.Classes();
  // Two or three classes need every running expected count of that walk
  // to reach 1000 (truncated): that is, every r closes a class of its own
  // with at least 1000 expected groups.
  bool large = c == static_cast<int>(table.p.size()) && u >= 1000;
  for (double p : table.p) large = large && groups * p >= 1000;
  return !(table.rmax - table.rmin > 2.5 * c || c <= 1 || (c <= 3 && !large) || u < 30);
}

// Reads every record of the file in its order and keeps the tables of the
// pairs usable with this seqLen. False when the file cannot be read, has
// changed since the engine checked it, or does not hold exactly the records
// in the layout.
bool PARTITION::LoadTables() {
  std::vector<unsigned char> payload;
  if (!ReadDatFile("DAT_partition.bin", payload)) return false;
  DatReader in(payload);
  for (int k = K_MIN; k <= K_MAX; ++k) {
    const int d = 1 << k;
    tables[k].assign(d + 1, PartitionTable());
    for (int i = 2; i <= d; ++i) {
      in.U8();
      in.U16();
      PartitionTable t;
      t.rmin = in.U16();
      t.rmax = in.U16();
      if (!in.Ok() || t.rmin < 1 || t.rmin > t.rmax || t.rmax > i) return false;
      t.p.resize(t.rmax - t.rmin + 1);
      if (!in.Doubles(t.p.data(), t.p.size())) return false;
      for (double p : t.p)
        if (!(p >= 0 && p <= 1)) return false;
      const uint32_t u = seqLen / static_cast<uint32_t>(k * i);
      if (Usable(t, u)) tables[k][i] = std::move(t);
    }
  }
  return in.AtEnd();
}

PARTITION::PARTITION() {
  if (!LoadTables()) {
    for (auto& t : tables) t.clear();
    status = TEST_DISABLED;
    ShowMessageBox(
        "The file 'DAT_partition.bin' cannot be read or has changed since it was checked.\n"
        "The test will be disabled.",
        "Quorvane - PARTITION test ERROR", wxOK | wxICON_EXCLAMATION);
    return;
  }
  partitionSmax = std::min(partitionSmax, K_MAX);
  if (partitionKnum == 0) partitionKnum = NO_LIMIT;
  const int knum = partitionKnum > 0 ? partitionKnum : NO_LIMIT;
  // The k grid; a step of 0 is an empty grid, and k below 2 has no table.
  std::vector<int> grid;
  if (partitionSstp != 0)
    for (int k : Grid(partitionSmin, partitionSmax, partitionSstp))
      if (k >= K_MIN) grid.push_back(k);
  if (!grid.empty()) partitionSmax = grid.back();
  // Largest k first, and within k the largest usable group sizes.
  int maxK = 0, maxI = 0;
  for (auto k = grid.rbegin(); k != grid.rend(); ++k) {
    int taken = 0;
    for (int i = 1 << *k; i >= 2 && taken < knum; --i) {
      if (tables[*k][i].p.empty()) continue;
      jobList_.push_back({*k, i});
      ++taken;
      maxK = std::max(maxK, *k);
      maxI = std::max(maxI, i);
    }
  }
  jobCount = static_cast<int>(jobList_.size());
  threadCount = std::min(cpuCount, jobCount);
  records_.resize(jobCount);
  // The values of each k, extracted once per sequence, as long as the
  // buffers together stay within the limit (the smaller buffers of the
  // larger k first).
  uint64_t total = 0;
  for (auto it = grid.rbegin(); it != grid.rend(); ++it) {
    const int k = *it;
    uint64_t need = 0;
    for (const Pair& job : jobList_)
      if (job.k == k) need = std::max<uint64_t>(need, uint64_t{seqLen} / (uint64_t(k) * job.i) * job.i);
    const uint64_t bytes = need * (k <= 8 ? 1 : 2);
    if (need == 0 || total + bytes > valueBufferLimit) continue;
    total += bytes;
    try {
      if (k <= 8)
        values8_[k].resize(need);
      else
        values16_[k].resize(need);
      buffered_[k] = true;
    } catch (const std::bad_alloc&) {
      values8_[k].clear();
      values16_[k].clear();
    }
  }
  work_.resize(threadCount);
  for (Workspace& w : work_) {
    w.count.resize(maxI + 1);
    w.stamp.resize(maxK > 0 ? size_t{1} << maxK : 0);
  }
  pool_.Create(threadCount);
  pool_.Start(PartitionWorker, this);
}

PARTITION::~PARTITION() {
  // The sub-threads read the tables and buffers: end them first.
  pool_.End();
}

void PARTITION::PartitionWorker(void* context, PartitionJob& job, int thread) {
  auto* self = static_cast<PARTITION*>(context);
  self->Compute(job, self->work_[thread]);
}

namespace {

// Counts, over `groups` groups of i values read from `next`, how many hold
// r distinct values (count[r]). A value is new in a group when its stamp is
// not the group's: nothing is cleared between groups.
template <class Next>
void CountDistinct(uint64_t groups, int i, uint32_t* count, uint32_t* stamp, size_t values, Next&& next) {
  std::fill(count, count + i + 1, 0u);
  std::fill(stamp, stamp + values, 0u);
  for (uint64_t g = 1; g <= groups; ++g) {
    const uint32_t mark = static_cast<uint32_t>(g);
    int distinct = 0;
    for (int j = 0; j < i; ++j) {
      const uint32_t v = next();
      distinct += stamp[v] != mark;
      stamp[v] = mark;
    }
    ++count[distinct];
  }
}

// The same for values below 64: the values seen in a group are the bits of
// one register, counted once at the end of the group.
template <class Next>
QV_POPCNT_CLONES void CountDistinctSmall(uint64_t groups, int i, uint32_t* count, Next&& next) {
  std::fill(count, count + i + 1, 0u);
  for (uint64_t g = 0; g < groups; ++g) {
    uint64_t seen = 0;
    for (int j = 0; j < i; ++j) seen |= uint64_t{1} << next();
    ++count[Popcount64(seen)];
  }
}

}  // namespace

void PARTITION::Compute(PartitionJob& job, Workspace& work) const {
  const int k = job.k, i = job.i;
  const uint64_t groups = uint64_t{seqLen} / (uint64_t(i) * k);
  uint32_t* count = work.count.data();
  const size_t values = size_t{1} << k;
  if (k <= 6) {
    if (buffered_[k]) {
      const uint8_t* v = values8_[k].data();
      CountDistinctSmall(groups, i, count, [&] { return *v++; });
    } else {
      BitStream stream(seqBits, 0);
      CountDistinctSmall(groups, i, count, [&] { return stream.Next(k); });
    }
  } else if (buffered_[k] && k <= 8) {
    const uint8_t* v = values8_[k].data();
    CountDistinct(groups, i, count, work.stamp.data(), values, [&] { return *v++; });
  } else if (buffered_[k]) {
    const uint16_t* v = values16_[k].data();
    CountDistinct(groups, i, count, work.stamp.data(), values, [&] { return *v++; });
  } else {
    BitStream stream(seqBits, 0);
    CountDistinct(groups, i, count, work.stamp.data(), values, [&] { return stream.Next(k); });
  }
  const PartitionTable& t = tables[k][i];
  MergedChiSquareSum merge(MergeRule::AtLeast, 5.0, Remainder::Drop, static_cast<double>(groups),
                           Divergence::CressieRead);
  MergeClasses(t, i, count, merge);
  // No statistic without two classes (PVALUE_SHORT).
  job.p = merge.PValue();
  // Groups of two values: the groups of two equal values are binomial
  // (groups, 2^-k) exactly, and the two-class chi-square of that count has
  // a lattice, with an atom at 1 where the expected counts are whole, that
  // thousands of sequences see. Its exact law instead, randomised within
  // the count's atom by the sequence's own bits.
  if (i == 2)
    job.p = BinomialTwoSidedRandomisedP(groups, Prob(t, 1), count[1],
                                        HashUniform(hash_, PARTITION_SALT + static_cast<uint64_t>(k)));
}

void PARTITION::RunTest() {
  if (jobCount == 0) return;
  for (int k = K_MIN; k <= K_MAX; ++k) {
    if (!buffered_[k]) continue;
    if (k <= 8) {
      uint8_t* out = values8_[k].data();
      ForEachValue(seqBits, 0, values8_[k].size(), k, [&](uint32_t v) { *out++ = static_cast<uint8_t>(v); });
    } else {
      uint16_t* out = values16_[k].data();
      ForEachValue(seqBits, 0, values16_[k].size(), k, [&](uint32_t v) { *out++ = static_cast<uint16_t>(v); });
    }
  }
  const bool pairs = std::any_of(jobList_.begin(), jobList_.end(), [](const Pair& job) { return job.i == 2; });
  hash_ = pairs ? SequenceHash(seqBits, seqLen) : 0;
  const bool whole = pool_.Run(
      jobCount,
      [&](int j, PartitionJob& job) {
        job.record = jobCount - 1 - j;
        job.k = jobList_[j].k;
        job.i = jobList_[j].i;
      },
      [&](const PartitionJob& job, int) {
        PValueRecord& r = records_[job.record];
        snprintf(r.label, sizeof r.label, "Partition_%d_%d", job.k, job.i);
        r.p = job.p;
      });
  subThreadCpuSeconds = pool_.CpuSeconds();
  // A failed event call (logged by the pool) costs this sequence only: its
  // rows are short.
  if (!whole) {
    for (int j = 0; j < jobCount; ++j) {
      PValueRecord& r = records_[jobCount - 1 - j];
      snprintf(r.label, sizeof r.label, "Partition_%d_%d", jobList_[j].k, jobList_[j].i);
      r.p = PVALUE_SHORT;
    }
  }
  for (const PValueRecord& r : records_) AddResult(r.p, "%s", r.label);
}
