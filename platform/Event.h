#pragma once
// Auto-reset events: created unsignalled; a successful wait consumes the
// signal. Events that must be waited on together (any of a set) belong to
// one EventGroup and share its mutex; a signal wakes only the threads that
// wait on that event, never the other waiters of its group (a pool's
// sub-threads and its worker share a group, and a hand-out that woke them
// all would cost every one a wake-up).
//
// Every call reports failure instead of throwing, and sets LastError(); a
// test can make a chosen call fail with InjectEventFailure.
#include <memory>

namespace platform {

constexpr int WAIT_FOREVER = -1;

enum class WaitResult { Signalled, TimedOut, Failed };

struct EventGroup;
struct Event;

// A group for events waited on together. Events keep their group alive.
std::shared_ptr<EventGroup> CreateEventGroup();

// A new unsignalled auto-reset event in `group` (a group of its own when
// null); null on failure.
Event* CreateEvent(const std::shared_ptr<EventGroup>& group = nullptr);
// Closes the event; closing null does nothing. Returns false on failure.
bool CloseEvent(Event* event);

bool SetEvent(Event* event);
// Waits until the event is signalled (and clears it) or timeoutMs elapse
// (WAIT_FOREVER for no limit; 0 polls).
WaitResult WaitEvent(Event* event, int timeoutMs);

constexpr int WAIT_ANY_TIMEOUT = -1;
constexpr int WAIT_ANY_FAILED = -2;
// Waits until any of the events is signalled. Returns the lowest index that
// is signalled and clears that event only; WAIT_ANY_TIMEOUT after timeoutMs;
// WAIT_ANY_FAILED when an event is null, the events belong to different
// groups, or count is not positive.
int WaitAnyEvent(Event* const* events, int count, int timeoutMs);

// Fault injection for tests: after `successes` more successful calls of
// the kind, the next one fails (once). A negative count disarms it.
enum class EventCall { Create, Set, Wait };
void InjectEventFailure(EventCall call, int successes);
// The same, counting only the calls made by the calling thread, so that a
// test can fail one of its own calls while other threads signal freely;
// `failures` calls in a row fail.
void InjectEventFailureOnThisThread(EventCall call, int successes, int failures = 1);

}  // namespace platform
