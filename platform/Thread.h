#pragma once
// Plain threads for the tests' workers and the sub-thread pools: started at
// once, joined by their owner. Every call reports failure instead of throwing and sets
// LastError(); a test can make a chosen call fail with InjectThreadFailure.
namespace platform {

struct Thread;

using ThreadRoutine = void (*)(void* argument);

// Starts routine(argument) on a new thread; null on failure.
Thread* StartThread(ThreadRoutine routine, void* argument);
// Waits until the thread has ended. False on failure; the handle stays
// valid and the thread is not joined.
bool JoinThread(Thread* thread);
// Releases the handle; a thread not joined yet is detached and runs on.
// Closing null does nothing. False on failure.
bool CloseThread(Thread* thread);

// Fault injection for tests: after `successes` more successful calls of
// the kind, the next one fails (once). A negative count disarms it.
enum class ThreadCall { Start, Join };
void InjectThreadFailure(ThreadCall call, int successes);

}  // namespace platform
