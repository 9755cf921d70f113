#pragma once
// Reading the sequence buffer: bit t is bit (t mod 32), from the least
// significant bit, of word t / 32. An s-bit value is read most significant
// bit first: the bit at t becomes the top bit of the value.
#include <cstdint>

inline uint32_t ReadBit(const uint32_t* words, uint64_t t) {
  return (words[t >> 5] >> (t & 31)) & 1u;
}

inline uint32_t ReverseBits32(uint32_t v) {
  v = ((v >> 1) & 0x55555555u) | ((v & 0x55555555u) << 1);
  v = ((v >> 2) & 0x33333333u) | ((v & 0x33333333u) << 2);
  v = ((v >> 4) & 0x0F0F0F0Fu) | ((v & 0x0F0F0F0Fu) << 4);
  v = ((v >> 8) & 0x00FF00FFu) | ((v & 0x00FF00FFu) << 8);
  return (v >> 16) | (v << 16);
}

// The s-bit value (1 <= s <= 32) that starts at bit t. Reads the word of t
// and the next one, so bits up to t + s - 1 must lie within the buffer's
// words (the buffer's spare words cover a value ending at the last bit).
inline uint32_t ReadBits(const uint32_t* words, uint64_t t, int s) {
  const uint64_t i = t >> 5;
  const uint64_t pair = words[i] | (static_cast<uint64_t>(words[i + 1]) << 32);
  // The s bits from t, bit t lowest; reversed, bit t becomes the highest.
  const uint32_t chunk = static_cast<uint32_t>(pair >> (t & 31));
  return ReverseBits32(chunk) >> (32 - s);
}

// The number of ones among the len bits from bit start.
inline uint64_t CountOnes(const uint32_t* words, uint64_t start, uint64_t len) {
  if (len == 0) return 0;
  const uint64_t end = start + len - 1;  // last bit, inclusive
  const uint64_t first = start >> 5, last = end >> 5;
  const uint32_t headMask = ~0u << (start & 31);
  const uint32_t tailMask = ~0u >> (31 - (end & 31));
  if (first == last) return __builtin_popcount(words[first] & headMask & tailMask);
  uint64_t count = __builtin_popcount(words[first] & headMask);
  for (uint64_t i = first + 1; i < last; ++i) count += __builtin_popcount(words[i]);
  return count + __builtin_popcount(words[last] & tailMask);
}

// Byte k of the buffer as the input stored it: bits 8k .. 8k + 7, bit 8k lowest.
inline uint32_t ReadByte(const uint32_t* words, uint64_t k) {
  return (words[k >> 2] >> ((k & 3) * 8)) & 0xFFu;
}
