#pragma once
// The system tick count: milliseconds of the monotonic clock, truncated to
// 32 bits, so it wraps about every 49.7 days.
#include <cstdint>

namespace platform {

uint32_t TickCountMs();

}  // namespace platform
