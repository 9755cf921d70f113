// The generator of the whole-battery null runs as a plug-in of the program:
// splitmix64, whose 64-bit outputs give two 32-bit words each, low half
// first (the words the one-class null runs put in their sequences). Beside
// the plug-in interface it exports NullGen_Seek, which places the stream
// at any word of the seed's stream, so that several engine processes can
// test disjoint ranges of sequences of one stream.
#include <cstdint>

#define NULLGEN_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

constexpr uint64_t GAMMA = 0x9E3779B97F4A7C15ull;

uint64_t state = 0;
bool highPending = false;  // the high half of the last output is the next word
uint64_t lastOutput = 0;

uint64_t Next() {
  uint64_t z = (state += GAMMA);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  return z ^ (z >> 31);
}

}  // namespace

// The stream of seed from its 32-bit word `word` on (0 is the first).
NULLGEN_EXPORT void NullGen_Seek(uint64_t seed, uint64_t word) {
  state = seed + (word / 2) * GAMMA;
  highPending = false;
  if (word % 2 != 0) {
    lastOutput = Next();
    highPending = true;
  }
}

NULLGEN_EXPORT uint32_t ZAR_GetUL() {
  if (highPending) {
    highPending = false;
    return static_cast<uint32_t>(lastOutput >> 32);
  }
  lastOutput = Next();
  highPending = true;
  return static_cast<uint32_t>(lastOutput);
}

NULLGEN_EXPORT const char* ZAR_GetName() { return "splitmix64"; }

NULLGEN_EXPORT const char* ZAR_GetDesc() { return "splitmix64, two 32-bit words per output, low half first"; }
