#include "battery/AMLS.h"

#include <algorithm>
#include <cstdio>
#include <memory>
#include <new>

#include "battery/Bits.h"
#include "battery/Distributions.h"
#include "battery/GridWalk.h"
#include "battery/RunState.h"

namespace {

// Mean and variance of the extracted-bit count per block, for L = 2^e kbit,
// e = 0 .. 19, and its standardised fourth and sixth central moments. The
// latter are simulated (tools/reference/amls_moments.cpp and .py, 4.5 10^4
// to 3.3 10^7 blocks per L, standard errors 0.001 to 0.005 on m4 and 0.02
// to 0.07 on m6 up to L = 16); beyond L = 16, where the excess over the normal
// 3 and 15 is within a few standard errors, they follow the fit
// excess = alpha / sqrt(L) + beta / L to the simulated L = 1 .. 2048.
struct AmlsRow {
  double mean, variance, m4, m6;
};
const AmlsRow AMLS_TABLE[20] = {
    {884.719564, 60.4156, 3.1171, 17.355},
    {1820.68385, 98.7412, 3.0795, 16.550},
    {3725.93029, 160.152, 3.0530, 16.017},
    {7590.69212, 257.942, 3.0408, 15.742},
    {15408.1471, 414.444, 3.0289, 15.500},
    {31185.9015, 669.282, 3.0184, 15.334},
    {62972.5529, 1074.7, 3.0129, 15.233},
    {126920.675, 1728.55, 3.0091, 15.163},
    {255422.943, 2787.18, 3.0064, 15.114},
    {513409.181, 4553.51, 3.0045, 15.080},
    {1030968.14, 7387.99, 3.0032, 15.057},
    {2068656.44, 11824.6, 3.0022, 15.040},
    {4148193.0, 18596.1, 3.0016, 15.028},
    {8313990.84, 30850.6, 3.0011, 15.020},
    {16656481.1, 48738.8, 3.0008, 15.014},
    {33359066.0, 81787.8, 3.0006, 15.010},
    {66792761.8, 130832.0, 3.0004, 15.007},
    {133706252.0, 211032.0, 3.0003, 15.005},
    {267607860.0, 356404.0, 3.0002, 15.003},
    {535531827.0, 576283.0, 3.0001, 15.002},
};

}  // namespace

bool AmlsMoments(int L, double& mean, double& variance) {
  for (int e = 0; e < 20; ++e)
    if (L == (1 << e)) {
      mean = AMLS_TABLE[e].mean;
      variance = AMLS_TABLE[e].variance;
      return true;
    }
  return false;
}

bool AmlsShape(int L, double& m4, double& m6) {
  for (int e = 0; e < 20; ++e)
    if (L == (1 << e)) {
      m4 = AMLS_TABLE[e].m4;
      m6 = AMLS_TABLE[e].m6;
      return true;
    }
  return false;
}

// With k2 = m4 - 1 and k3 = m6 - 3 m4 + 2 per term, X has cumulants N,
// N k2 and N k3; a + b chi2(nu) has a + b nu, 2 b^2 nu and 8 b^3 nu. So
// b = k3 / (4 k2), nu = 8 N k2^3 / k3^2, a = N - b nu.
AmlsLaw::AmlsLaw(uint64_t blocks_, double m4, double m6) : blocks(blocks_) {
  const double n = static_cast<double>(blocks);
  const double k2 = m4 - 1, k3 = m6 - 3 * m4 + 2;
  b = k3 / (4 * k2);
  nu = 8 * n * k2 * k2 * k2 / (k3 * k3);
  a = n - b * nu;
}

double AmlsLaw::PValue(double X) const { return IncompleteGammaQ(nu / 2, (X - a) / (2 * b)); }

void AmlsTree::EnsureNodes(uint64_t bits) {
  const size_t words = static_cast<size_t>((bits + 63) / 64);
  if (nodeFull.size() < words) {
    nodeFull.resize(words);
    nodeBit.resize(words);
    // The block (B / 64 words) and the streams along one path of the tree
    // (at most 2 B bits, plus a word per level).
    scratch_.resize(words * 4 + 64);
  }
}

uint64_t AmlsTree::Bytes(uint64_t bits) { return ((bits + 63) / 64 * 6 + 64) * sizeof(uint64_t); }

void AmlsTree::FeedNode(uint32_t k, uint32_t b) {
  const uint32_t B = static_cast<uint32_t>(blockBits);
  while (k < B) {
    uint64_t& full = nodeFull[k >> 6];
    const uint64_t mask = uint64_t(1) << (k & 63);
    uint64_t& held = nodeBit[k >> 6];
    if (!(full & mask)) {
      full |= mask;
      held = b ? (held | mask) : (held & ~mask);
      return;
    }
    full &= ~mask;
    const uint32_t a = (held & mask) ? 1u : 0u;
    if (a != b) {
      // One bit extracted; their XOR, 1, goes on to the XOR child.
      ++extracted;
      b = 1;
    } else {
      // The equal child takes the bit first, then the XOR child a 0.
      FeedNode(2 * k + 1, a);
      b = 0;
    }
    k *= 2;
  }
}

inline void AmlsTree::FeedPair(uint32_t a, uint32_t b) {
  if (a != b) {
    ++extracted;
    FeedNode(2, 1);
  } else {
    FeedNode(3, a);
    FeedNode(2, 0);
  }
}

namespace {

// The bits of x at even positions (0, 2, 4, ...), packed into the low 32.
inline uint64_t EvenBits(uint64_t x) {
  x &= 0x5555555555555555ull;
  x = (x | (x >> 1)) & 0x3333333333333333ull;
  x = (x | (x >> 2)) & 0x0F0F0F0F0F0F0F0Full;
  x = (x | (x >> 4)) & 0x00FF00FF00FF00FFull;
  x = (x | (x >> 8)) & 0x0000FFFF0000FFFFull;
  return (x | (x >> 16)) & 0x00000000FFFFFFFFull;
}

// SELECT[mask][value]: the bits of value where mask is set, packed low.
struct SelectTable {
  uint8_t bits[256][256];
  SelectTable() {
    for (int m = 0; m < 256; ++m)
      for (int v = 0; v < 256; ++v) {
        int out = 0, k = 0;
        for (int b = 0; b < 8; ++b)
          if (m >> b & 1) out |= (v >> b & 1) << k++;
        bits[m][v] = static_cast<uint8_t>(out);
      }
  }
};
const SelectTable SELECT;

// Appends bit strings to a packed stream, first bit lowest.
struct StreamWriter {
  uint64_t* out;
  uint64_t length = 0;
  void Append(uint64_t v, int count) {  // count <= 32, v < 2^count
    const int used = static_cast<int>(length & 63);
    if (used == 0) out[length >> 6] = v;
    else {
      out[length >> 6] |= v << used;
      if (used + count > 64) out[(length >> 6) + 1] = v >> (64 - used);
    }
    length += count;
  }
};

}  // namespace

// Node k, empty, receives the m bits of stream s (first bit lowest) in
// order. Each node depends only on the order of its own input, so a node
// can take its whole input at once and pass on whole streams: the XOR bits
// of its pairs to node 2k, the values of its equal pairs to node 2k + 1;
// an odd last bit stays in the node. Short streams go bit by bit. free is
// scratch for the child streams (2 m bits suffice for the whole subtree).
void AmlsTree::FeedStream(uint32_t k, const uint64_t* s, uint64_t m, uint64_t* free) {
  if (k >= static_cast<uint32_t>(blockBits) || m == 0) return;
  if (m < 64) {
    for (uint64_t i = 0; i < m; ++i) FeedNode(k, (s[i >> 6] >> (i & 63)) & 1);
    return;
  }
  const uint64_t pairs = m / 2;
  StreamWriter xors{free}, equals{free + (pairs + 63) / 64};
  for (uint64_t q = 0; q < pairs; q += 32) {
    const uint64_t word = s[q >> 5];  // pairs q .. q + 31
    const int count = static_cast<int>(std::min<uint64_t>(32, pairs - q));
    const uint64_t mask = count == 32 ? 0xFFFFFFFFull : (uint64_t(1) << count) - 1;
    const uint64_t first = EvenBits(word), second = EvenBits(word >> 1);
    const uint64_t x = (first ^ second) & mask;
    extracted += Popcount64(x);
    xors.Append(x, count);
    const uint64_t same = ~x & mask;
    for (int byte = 0; byte < count; byte += 8) {
      const int sm = static_cast<int>((same >> byte) & 0xFF);
      equals.Append(SELECT.bits[sm][(first >> byte) & 0xFF], Popcount32(static_cast<uint32_t>(sm)));
    }
  }
  if (m & 1) {
    const uint64_t last = (s[(m - 1) >> 6] >> ((m - 1) & 63)) & 1;
    nodeFull[k >> 6] |= uint64_t(1) << (k & 63);
    if (last) nodeBit[k >> 6] |= uint64_t(1) << (k & 63);
    else nodeBit[k >> 6] &= ~(uint64_t(1) << (k & 63));
  }
  uint64_t* next = free + (pairs + 63) / 64 + (equals.length + 63) / 64 + 1;
  FeedStream(2 * k + 1, equals.out, equals.length, next);
  FeedStream(2 * k, xors.out, xors.length, next);
}

int64_t AmlsTree::CountBlock(uint64_t i) {
  const uint64_t B = static_cast<uint64_t>(blockBits);
  std::fill(nodeFull.begin(), nodeFull.begin() + static_cast<size_t>((B + 63) / 64), 0);
  const uint64_t start = i * B;
  extracted = 0;
  // All pairs but the last: node 1's input is the block's first B - 2 bits
  // (B is a multiple of 1024, so the block is whole 64-bit words).
  const uint32_t* w = seqBits + (start >> 5);
  for (uint64_t q = 0; q < B / 64; ++q) scratch_[q] = w[2 * q] | (static_cast<uint64_t>(w[2 * q + 1]) << 32);
  FeedStream(1, scratch_.data(), B - 2, scratch_.data() + B / 64);
  // The block's last pair, then the continuation while a pair extracts
  // nothing: whole pairs below the end of the sequence, at most B bits past
  // the block.
  const uint64_t limit = std::min<uint64_t>(seqLen, start + 2 * B);
  for (uint64_t t = start + B - 2; t + 2 <= limit; t += 2) {
    const int before = extracted;
    FeedPair(ReadBit(seqBits, t), ReadBit(seqBits, t + 1));
    if (extracted != before) break;
  }
  return extracted;
}

namespace {

// The sub-threads beyond the first take at most this many bytes of trees
// together (blocks of many Mbit make large trees).
constexpr uint64_t EXTRA_TREE_BYTES = uint64_t{256} << 20;

// The p-value of block length L on the current sequence, counted with tree;
// false when L has no moments or no block fits.
// The number of blocks of L kbit the sequence gives.
uint64_t RowBlocks(int L) {
  return std::min<uint64_t>(seqLen / (static_cast<uint64_t>(L) * 1024), static_cast<uint64_t>(std::max(amlsBlkmax, 0)));
}

// The p-value of block length L on the current sequence, counted with tree
// and judged by law (made for this L and its number of blocks); false when
// L has no moments or no block fits.
bool RowPValue(AmlsTree& tree, int L, const AmlsLaw& law, double& p) {
  double mean, variance;
  if (!AmlsMoments(L, mean, variance)) return false;
  tree.blockBits = L * 1024;
  const uint64_t blocks = law.blocks;
  if (blocks == 0) return false;  // too little data for this L (the engine's checks prevent it)
  double X = 0;
  for (uint64_t i = 0; i < blocks; ++i) {
    const double d = static_cast<double>(tree.CountBlock(i)) - mean;
    X += d * d / variance;
  }
  p = law.PValue(X);
  return true;
}

}  // namespace

AMLS::AMLS() {
  if (amlsLmax >= 1 && amlsLmax <= (1 << 19)) EnsureNodes(uint64_t(amlsLmax) * 1024);
  int largest = 0;
  for (int L : Grid(amlsLmin, amlsLmax, amlsLstp)) {
    double mean, variance;
    if (!AmlsMoments(L, mean, variance)) continue;
    lengths.push_back(L);
    largest = std::max(largest, L);
  }
  const uint64_t bits = uint64_t(largest) * 1024;
  EnsureNodes(bits);
  rows_.resize(lengths.size());
  threadCount = std::min(std::max(cpuCount, 1), static_cast<int>(lengths.size()));
  threadCount = static_cast<int>(std::min<uint64_t>(threadCount, 1 + EXTRA_TREE_BYTES / AmlsTree::Bytes(bits)));
  // A tree that cannot be allocated leaves the sub-threads that have one.
  for (int t = 1; t < threadCount; ++t) {
    try {
      auto tree = std::make_unique<AmlsTree>();
      tree->EnsureNodes(bits);
      trees_.push_back(std::move(tree));
    } catch (const std::bad_alloc&) {
      threadCount = t;
      break;
    }
  }
  pool_.Create(threadCount);
  for (int t = 0; t < threadCount; ++t) pool_.jobs[t].tree = t == 0 ? this : trees_[t - 1].get();
  pool_.Start(Work, this);
}

AMLS::~AMLS() {
  // The sub-threads end before the trees they use are freed.
  pool_.End();
}

void AMLS::Work(void*, AmlsJob& job, int) { job.given = RowPValue(*job.tree, job.L, *job.law, job.p); }

void AMLS::RunTest() {
  const int count = static_cast<int>(lengths.size());
  // Every sequence of a run has the same number of blocks per row: the
  // rows' laws are made on the first.
  laws_.resize(lengths.size());
  for (int j = 0; j < count; ++j) {
    const uint64_t blocks = RowBlocks(lengths[j]);
    double m4, m6;
    if (laws_[j].blocks != blocks && AmlsShape(lengths[j], m4, m6)) laws_[j] = AmlsLaw(blocks, m4, m6);
  }
  if (pool_.Started() == 0) {
    // No sub-thread could start: the rows one after the other, here.
    for (int j = 0; j < count; ++j) rows_[j].given = RowPValue(*this, lengths[j], laws_[j], rows_[j].p);
  } else {
    const bool whole = pool_.Run(
        count,
        [this](int j, AmlsJob& job) {
          job.row = j;
          job.given = false;
          job.law = &laws_[j];
          job.L = lengths[j];
        },
        [this](const AmlsJob& job, int) { rows_[job.row] = {job.given, job.p}; });
    subThreadCpuSeconds = pool_.CpuSeconds();
    // A failed event call (logged by the pool) costs this sequence only:
    // its rows are short.
    if (!whole)
      for (int j = 0; j < count; ++j) rows_[j] = {RowBlocks(lengths[j]) > 0, PVALUE_SHORT};
  }
  for (int j = 0; j < count; ++j)
    if (rows_[j].given) AddResult(rows_[j].p, "AMLS %d", lengths[j]);
}
