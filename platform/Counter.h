#pragma once
// The monotonic high-resolution counter: ticks and ticks per second.
#include <cstdint>

namespace platform {

int64_t CounterTicks();
int64_t CounterFrequency();

}  // namespace platform
