// A generator plug-in whose name changes at every call of ZAR_GetName, so
// that it never settles.
#include <cstdint>
#include <cstdio>

#define ZAR_EXPORT extern "C" __attribute__((visibility("default")))

namespace {
uint32_t state = 12345;
unsigned nameCalls = 0;
char name[32];
}  // namespace

ZAR_EXPORT uint32_t ZAR_GetUL() {
  state = state * 1664525u + 1013904223u;
  return state;
}

ZAR_EXPORT const char* ZAR_GetName() {
  snprintf(name, sizeof name, "Restless %u", ++nameCalls);
  return name;
}
