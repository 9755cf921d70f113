#pragma once
// CPU time of a thread, user plus system, readable from any thread while
// the thread runs and after it has ended: a thread's own CPU clock dies
// with it, so the thread records its final reading as it exits.
namespace platform {

struct ThreadClock;

// A new handle on the calling thread's CPU clock, to be closed with
// CloseThreadClock; null on failure (LastError() set).
ThreadClock* OpenCurrentThreadClock();
void CloseThreadClock(ThreadClock* clock);

// CPU seconds used so far (or in all, once the thread has ended), with the
// seconds credited to the thread. False, with LastError() set, when the
// handle is null or the clock unreadable.
bool ReadThreadCpuSeconds(const ThreadClock* clock, double& seconds);

// Credits the calling thread with CPU seconds that helper threads spent on
// its behalf (a parallel loop's chunks), so that its clock counts the
// whole of its work. Nothing when the thread has never opened its clock.
void CreditCurrentThread(double seconds);

// The calling thread's own CPU seconds (its clock only); 0 when unreadable.
double CurrentThreadCpuSeconds();

// Fault injection for tests: the next `count` opens fail.
void InjectThreadClockFailure(int count);

}  // namespace platform
