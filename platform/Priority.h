#pragma once
// Lowering the scheduling priority of the process for a long run.
namespace platform {

// Gives the calling thread, and so every thread it creates from then on,
// the lowest scheduling priority (nice 19). False (LastError() set) on
// failure. Called before any worker thread exists; never set back.
bool LowerProcessPriority();

}  // namespace platform
