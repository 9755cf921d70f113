// The generator of the whole-battery null runs as a plug-in of the program:
// splitmix64, whose 64-bit outputs give two 32-bit words each, low half
// first (the words the one-class null runs put in their sequences). Beside
// the plug-in interface it exports NullGen_Seek, which places the stream
// at any word of the seed's stream, so that several engine processes can
// test disjoint ranges of sequences of one stream, and NullGen_SetOnes,
// which makes each bit 1 with a given probability (a biased source whose
// power the battery must show); at 1/2, the default, the words are the
// plain outputs' halves.
#include <cmath>
#include <cstdint>

#define NULLGEN_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

constexpr uint64_t GAMMA = 0x9E3779B97F4A7C15ull;

uint64_t state = 0;
bool highPending = false;  // the high half of the last output is the next word
uint64_t lastOutput = 0;
// A biased stream: each bit is 1 when the next 32-bit word of the plain
// stream is below onesThreshold (P(1) = onesThreshold / 2^32), so one biased
// word takes WORDS_PER_BIASED_WORD plain words.
bool biased = false;
uint64_t onesThreshold = uint64_t{1} << 31;
constexpr uint64_t WORDS_PER_BIASED_WORD = 32;

uint64_t Next() {
  uint64_t z = (state += GAMMA);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  return z ^ (z >> 31);
}

uint32_t PlainWord() {
  if (highPending) {
    highPending = false;
    return static_cast<uint32_t>(lastOutput >> 32);
  }
  lastOutput = Next();
  highPending = true;
  return static_cast<uint32_t>(lastOutput);
}

}  // namespace

// Each bit 1 with probability p (rounded to a multiple of 2^-32), from the
// next Seek on; p = 1/2 gives the plain stream.
NULLGEN_EXPORT void NullGen_SetOnes(double p) {
  const double clamped = std::fmin(1.0, std::fmax(0.0, p));
  onesThreshold = static_cast<uint64_t>(std::llround(clamped * 4294967296.0));
  biased = onesThreshold != (uint64_t{1} << 31);
}

// The stream of seed from its 32-bit word `word` on (0 is the first).
NULLGEN_EXPORT void NullGen_Seek(uint64_t seed, uint64_t word) {
  if (biased) word *= WORDS_PER_BIASED_WORD;
  state = seed + (word / 2) * GAMMA;
  highPending = false;
  if (word % 2 != 0) {
    lastOutput = Next();
    highPending = true;
  }
}

NULLGEN_EXPORT uint32_t ZAR_GetUL() {
  if (!biased) return PlainWord();
  uint32_t word = 0;
  for (uint64_t b = 0; b < WORDS_PER_BIASED_WORD; ++b)
    word |= static_cast<uint32_t>(PlainWord() < onesThreshold) << b;
  return word;
}

NULLGEN_EXPORT const char* ZAR_GetName() { return "splitmix64"; }

NULLGEN_EXPORT const char* ZAR_GetDesc() { return "splitmix64, two 32-bit words per output, low half first"; }
