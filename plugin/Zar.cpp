// Zar: the sample generator plug-in, a 32-bit linear congruential generator
// behind the four-function plug-in interface. Every call comes from the
// program's GUI thread, one at a time, so nothing here takes a lock.
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "platform/TickCount.h"

#define ZAR_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

constexpr uint32_t LCG_MULTIPLIER = 2147001325u;  // 0x7FF8A3ED
constexpr uint32_t LCG_INCREMENT = 715136305u;    // 0x2AA01D31

int namePending = 1;
// Null when the library is loaded; freed when it is unloaded.
char* generatorName = nullptr;

// Adds this generator's name, "LCG", to the name built so far.
void AppendGeneratorName() {
  const size_t length = generatorName != nullptr ? strlen(generatorName) : 0;
  char* name = new char[length + 6];
  if (generatorName != nullptr) {
    snprintf(name, length + 6, "%s, %s", generatorName, "LCG");
  } else {
    snprintf(name, length + 6, "LCG");
  }
  delete[] generatorName;
  generatorName = name;
}

__attribute__((destructor)) void FreeGeneratorName() {
  delete[] generatorName;
  generatorName = nullptr;
}

}  // namespace

// The next 32 bits: the new state. The state is seeded once per load, at
// the first call, from the millisecond tick count.
ZAR_EXPORT uint32_t ZAR_GetUL() {
  static uint32_t lcgState = platform::TickCountMs();
  if (namePending != 0) {
    AppendGeneratorName();
    namePending = 0;
  }
  lcgState = lcgState * LCG_MULTIPLIER + LCG_INCREMENT;
  return lcgState;
}

ZAR_EXPORT const char* ZAR_GetName() { return generatorName; }

ZAR_EXPORT const char* ZAR_GetDesc() { return "Description of the generator."; }

ZAR_EXPORT const char* ZAR_GetOutFileName() { return "_Quorvane.txt"; }
