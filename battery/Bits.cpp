#include "battery/Bits.h"

#include <cstring>

namespace {

QV_POPCNT_CLONES uint64_t CountWholeWords(const uint32_t* words, uint64_t first, uint64_t last) {
  // Words first .. last - 1, two at a time.
  uint64_t count = 0, i = first;
  for (; i + 2 <= last; i += 2) {
    uint64_t pair;
    std::memcpy(&pair, words + i, sizeof pair);
    count += Popcount64(pair);
  }
  if (i < last) count += Popcount32(words[i]);
  return count;
}

}  // namespace

uint64_t CountOnes(const uint32_t* words, uint64_t start, uint64_t len) {
  if (len == 0) return 0;
  const uint64_t end = start + len - 1;  // last bit, inclusive
  const uint64_t first = start >> 5, last = end >> 5;
  const uint32_t headMask = ~0u << (start & 31);
  const uint32_t tailMask = ~0u >> (31 - (end & 31));
  if (first == last) return Popcount32(words[first] & headMask & tailMask);
  return Popcount32(words[first] & headMask) + CountWholeWords(words, first + 1, last) +
         Popcount32(words[last] & tailMask);
}
