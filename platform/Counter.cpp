#include "platform/Counter.h"

#include <time.h>

namespace platform {

int64_t CounterTicks() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<int64_t>(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

int64_t CounterFrequency() { return 1000000000; }

}  // namespace platform
