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

// Population counts. Inline for single words: inside a function compiled
// for the POPCNT instruction (QV_POPCNT_CLONES) they become that
// instruction, elsewhere a short portable sequence.
inline int Popcount32(uint32_t x) { return __builtin_popcount(x); }
inline int Popcount64(uint64_t x) { return __builtin_popcountll(x); }

// Put on a hot counting function: GCC builds it twice, with and without the
// POPCNT instruction, and picks the clone once at load time from the
// processor, so the binary runs on any x86-64 at full speed where it can.
// Not under ThreadSanitizer, whose instrumented clone resolver would run
// before the sanitizer's own start-up and crash the program.
#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__) && !defined(__SANITIZE_THREAD__)
#define QV_POPCNT_CLONES __attribute__((target_clones("popcnt", "default")))
#else
#define QV_POPCNT_CLONES
#endif

// The number of ones among the len bits from bit start, 64 bits at a time
// with hardware popcount where the processor has it.
uint64_t CountOnes(const uint32_t* words, uint64_t start, uint64_t len);

// Byte k of the buffer as the input stored it: bits 8k .. 8k + 7, bit 8k lowest.
inline uint32_t ReadByte(const uint32_t* words, uint64_t k) {
  return (words[k >> 2] >> ((k & 3) * 8)) & 0xFFu;
}

// The 64 bits from word i on, most significant bit first: bit 32 i on top,
// bit 32 i + 63 lowest. Reads words i and i + 1.
inline uint64_t MsbFirstPair(const uint32_t* words, uint64_t i) {
  return (static_cast<uint64_t>(ReverseBits32(words[i])) << 32) | ReverseBits32(words[i + 1]);
}

inline uint32_t LowMask(int s) { return s >= 32 ? ~0u : (1u << s) - 1; }
inline uint64_t LowMask64(int s) { return s >= 64 ? ~0ull : (1ull << s) - 1; }

// The len bits (1 <= len <= 64) from bit t on, bit t lowest; the bits of the
// result above them are whatever follows in the words read (mask them with
// LowMask64(len) where they matter). Reads words t / 32 and t / 32 + 1, and
// t / 32 + 2 only when bit t + len - 1 lies in it: never more than one word
// past the one that holds bit t + len - 1, so a read that ends at the
// sequence's last bit stays within the buffer's spare words.
inline uint64_t LsbFirst64(const uint32_t* words, uint64_t t, int len) {
  const uint64_t i = t >> 5;
  const unsigned shift = static_cast<unsigned>(t & 31);
  uint64_t v = (words[i] | (static_cast<uint64_t>(words[i + 1]) << 32)) >> shift;
  if (len > 64 - static_cast<int>(shift)) v |= static_cast<uint64_t>(words[i + 2]) << (64 - shift);
  return v;
}

// The same for all 64 bits, without a branch (the faster form where every
// read takes 64 bits): word t / 32 + 2 is read always, at most the word
// after the one that holds bit t + 63.
inline uint64_t LsbFirst64(const uint32_t* words, uint64_t t) {
  const uint64_t i = t >> 5;
  const unsigned shift = static_cast<unsigned>(t & 31);
  const uint64_t low = words[i] | (static_cast<uint64_t>(words[i + 1]) << 32);
  return (low >> shift) | ((static_cast<uint64_t>(words[i + 2]) << 32) << (32 - shift));
}

// Calls f(v) with the s-bit values (1 <= s <= 32) that start at bits
// start, start + 1, ..., start + count - 1 (the overlapping, sliding window),
// each read most significant bit first as ReadBits does. Each word is
// reversed once and every window is one shift and mask. Bits up to
// start + count + s - 2 are read, plus at most the next word: the buffer's
// spare words cover windows that end at the last bit.
template <class F>
inline void ForEachWindow(const uint32_t* words, uint64_t start, uint64_t count, int s, F&& f) {
  const uint32_t mask = LowMask(s);
  uint64_t t = start;
  const uint64_t end = start + count;
  while (t < end) {
    const uint64_t i = t >> 5;
    const uint64_t pair = MsbFirstPair(words, i);
    const uint64_t wordEnd = (i + 1) << 5;
    const uint64_t stop = end < wordEnd ? end : wordEnd;
    // The window at bit 32 i + j is bits 63 - j .. 64 - s - j of pair.
    for (int j = static_cast<int>(t & 31); t < stop; ++t, ++j) f(static_cast<uint32_t>(pair >> (64 - s - j)) & mask);
  }
}

// Calls f(v) with the same windows as ForEachWindow, each in buffer order
// instead: the window's first bit lowest, so that v is the bit reversal of
// ForEachWindow's value (ReverseBits32(v) >> (32 - s)). No word is reversed
// and within a whole word every window is a shift by a constant: the cheaper
// reading where only the values' histogram counts. With a STEP (dividing
// 32) the windows start at start, start + STEP, ..., count of them; from an
// even start the whole words are read at STEP 2. Reads the same words as
// ForEachWindow over the same starts.
template <int STEP = 1, class F>
inline void ForEachWindowInBufferOrder(const uint32_t* words, uint64_t start, uint64_t count, int s, F&& f) {
  static_assert(STEP >= 1 && 32 % STEP == 0, "a step that divides a word");
  const uint32_t mask = LowMask(s);
  const uint64_t end = start + count * STEP;
  auto pairAt = [words](uint64_t i) { return words[i] | (static_cast<uint64_t>(words[i + 1]) << 32); };
  uint64_t t = start;
  for (; t < end && (t & 31) != 0; t += STEP) f(static_cast<uint32_t>(pairAt(t >> 5) >> (t & 31)) & mask);
  for (; t + 32 <= end; t += 32) {
    const uint64_t pair = pairAt(t >> 5);
#pragma GCC unroll 32
    for (int j = 0; j < 32; j += STEP) f(static_cast<uint32_t>(pair >> j) & mask);
  }
  for (; t < end; t += STEP) f(static_cast<uint32_t>(pairAt(t >> 5) >> (t & 31)) & mask);
}

// Reads consecutive s-bit values (1 <= s <= 32) from bit start on, each most
// significant bit first: the values at start, start + s, start + 2 s, ...
// Each word is reversed once. Next never reads more than one word past the
// last bit it returns, so values that end at the last bit of the sequence
// stay within the buffer's spare words.
class BitStream {
 public:
  BitStream(const uint32_t* words, uint64_t start) : words_(words), next_((start >> 5) + 1) {
    const int skip = static_cast<int>(start & 31);
    acc_ = static_cast<uint64_t>(ReverseBits32(words[start >> 5])) << (32 + skip);
    have_ = 32 - skip;
  }

  uint32_t Next(int s) {
    if (have_ < s) {
      acc_ |= static_cast<uint64_t>(ReverseBits32(words_[next_++])) << (32 - have_);
      have_ += 32;
    }
    const uint32_t v = static_cast<uint32_t>(acc_ >> (64 - s));
    acc_ <<= s;
    have_ -= s;
    return v;
  }

  // Passes over the next k bits (k >= 0).
  void Skip(uint64_t k) {
    while (k > 32) {
      Next(32);
      k -= 32;
    }
    if (k > 0) Next(static_cast<int>(k));
  }

 private:
  const uint32_t* words_;
  uint64_t next_;  // the next word to load
  uint64_t acc_;   // unread bits, the next one on top
  int have_;       // how many bits of acc_ are unread
};

// Calls f(v) with count consecutive s-bit values from bit start on.
template <class F>
inline void ForEachValue(const uint32_t* words, uint64_t start, uint64_t count, int s, F&& f) {
  BitStream stream(words, start);
  for (uint64_t k = 0; k < count; ++k) f(stream.Next(s));
}
