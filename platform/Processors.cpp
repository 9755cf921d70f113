#include "platform/Processors.h"

#include <sched.h>
#include <unistd.h>

namespace platform {

int ProcessorCount() {
  cpu_set_t mask;
  CPU_ZERO(&mask);
  if (sched_getaffinity(0, sizeof mask, &mask) == 0) {
    const int allowed = CPU_COUNT(&mask);
    if (allowed > 0) return allowed;
  }
  // No mask to read: the processors online.
  const long online = sysconf(_SC_NPROCESSORS_ONLN);
  return online > 0 ? static_cast<int>(online) : 1;
}

}  // namespace platform
