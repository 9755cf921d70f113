// Simulation of the AMLS block count's moments on splitmix64 bits.
//
// Build (after the normal build, from the repository root):
//   g++ -O2 -std=c++17 -I. tools/reference/amls_moments.cpp -o build/amls_moments \
//     build/battery/libqv_battery.a build/platform/libqv_platform.a -ldl -lfftw3f_threads -lfftw3f -lz \
//     -pthread -lwx_baseu-3.2
// Run: build/amls_moments L SEED SECONDS
//
// Counts blocks of L kbit with the test's own tree (battery/AMLS.h, whose
// counts tools/reference/amls_lincplx.py checks independently), each block
// followed in the stream by the next one, so that every block's
// continuation reads on into real data as in a sequence. With
// z = (count - mean) / sqrt(variance) for the table's mean and variance it
// prints, per batch of at least 2^30 bits, the block count and the sums of
// z^k (k = 1 .. 6), of z_i z_(i+1) and of z_i^2 z_(i+1)^2 over neighbouring
// blocks of the batch. tools/reference/amls_moments.py combines the batches.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "battery/AMLS.h"
#include "battery/RunState.h"

namespace {

uint64_t state;
uint64_t Next() {
  uint64_t z = (state += 0x9E3779B97F4A7C15ull);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  return z ^ (z >> 31);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: amls_moments L SEED SECONDS\n");
    return 2;
  }
  const int L = std::atoi(argv[1]);
  state = std::strtoull(argv[2], nullptr, 10);
  const double seconds = std::atof(argv[3]);
  double mean, variance;
  if (!AmlsMoments(L, mean, variance)) return 2;
  const double sd = std::sqrt(variance);
  const uint64_t B = uint64_t(L) * 1024;
  // Blocks per buffer: at least 8 and about 2^22 bits; one more block after
  // them takes the last counted block's continuation.
  const uint64_t blocks = std::max<uint64_t>(8, (uint64_t(1) << 22) / B);
  const uint64_t bits = (blocks + 1) * B;
  std::vector<uint32_t> words(bits / 32 + 2);
  seqBits = words.data();
  seqLen = static_cast<uint32_t>(bits);
  AmlsTree tree;
  tree.EnsureNodes(B);
  tree.blockBits = static_cast<int>(B);
  std::printf("# amls_moments %d %s %s: mean %.10g variance %.10g\n", L, argv[2], argv[3], mean, variance);
  std::printf("# L blocks sum_z sum_z2 sum_z3 sum_z4 sum_z5 sum_z6 pairs sum_zz1 sum_z2z2_1\n");
  const auto begin = std::chrono::steady_clock::now();
  std::vector<double> z(blocks);
  for (;;) {
    long double s[7] = {}, lag1 = 0, lag2 = 0;
    uint64_t count = 0, pairs = 0;
    for (uint64_t done = 0; done < (uint64_t(1) << 30); done += blocks * B) {
      // The buffer's last block is new data too: the next buffer starts
      // with fresh bits, so the last counted block reads on into fresh bits.
      for (size_t i = 0; i < words.size(); i += 2) {
        const uint64_t v = Next();
        words[i] = static_cast<uint32_t>(v);
        words[i + 1] = static_cast<uint32_t>(v >> 32);
      }
      for (uint64_t i = 0; i < blocks; ++i) {
        z[i] = (static_cast<double>(tree.CountBlock(i)) - mean) / sd;
        long double p = 1;
        for (int k = 1; k <= 6; ++k) s[k] += (p *= z[i]);
      }
      for (uint64_t i = 0; i + 1 < blocks; ++i) {
        lag1 += static_cast<long double>(z[i]) * z[i + 1];
        lag2 += static_cast<long double>(z[i]) * z[i] * z[i + 1] * z[i + 1];
      }
      count += blocks;
      pairs += blocks - 1;
    }
    std::printf("%d %llu", L, static_cast<unsigned long long>(count));
    for (int k = 1; k <= 6; ++k) std::printf(" %.17Lg", s[k]);
    std::printf(" %llu %.17Lg %.17Lg\n", static_cast<unsigned long long>(pairs), lag1, lag2);
    std::fflush(stdout);
    if (std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count() > seconds) break;
  }
  return 0;
}
