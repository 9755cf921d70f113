#pragma once
// The processors this process may run on: the CPUs of its affinity mask
// (a run started under taskset or in a restricted container sees only
// those), at least 1.
namespace platform {

int ProcessorCount();

}  // namespace platform
