#pragma once
// Lowering the scheduling priority of the process for a long run.
namespace platform {

// Gives every thread of the process the lowest scheduling priority (nice
// 19): the threads that exist already (helpers kept from an earlier run
// included) and, since a thread inherits its creator's, every thread made
// later. False (LastError() set) on failure. Never set back.
bool LowerProcessPriority();

}  // namespace platform
