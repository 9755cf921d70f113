#include "platform/Event.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <new>
#include <thread>

#include "platform/LastError.h"

namespace platform {

// A thread waiting on one or more events of a group: a signal wakes only
// the waiters of its own event, never the others of the group.
struct Waiter {
  std::condition_variable wake;
  Event* const* events;
  int count;
  Waiter* next;
};

struct EventGroup {
  std::mutex mutex;
  Waiter* waiters = nullptr;  // guarded by mutex
};

struct Event {
  std::shared_ptr<EventGroup> group;
  bool signalled = false;  // guarded by group->mutex
};

namespace {

std::atomic<int> injected[3] = {-1, -1, -1};
// Failures still to come once `injected` has reached 0, after this one.
std::atomic<int> moreFailures[3] = {0, 0, 0};
// The only thread whose calls count, or a default id for every thread.
std::atomic<std::thread::id> injectedThread[3];

// True when an injected failure is due for this call.
bool InjectedFailure(EventCall call) {
  const std::thread::id only = injectedThread[static_cast<int>(call)].load();
  if (only != std::thread::id() && only != std::this_thread::get_id()) return false;
  std::atomic<int>& n = injected[static_cast<int>(call)];
  int left = n.load();
  while (left >= 0) {
    if (left == 0 && moreFailures[static_cast<int>(call)].load() > 0) {
      --moreFailures[static_cast<int>(call)];
      SetLastError(EIO);
      return true;
    }
    if (n.compare_exchange_weak(left, left - 1)) {
      if (left == 0) {
        SetLastError(EIO);
        return true;
      }
      return false;
    }
  }
  return false;
}

bool Fail(int code) {
  SetLastError(code);
  return false;
}

// Waits, registered as a waiter on `events`, until `ready` holds or the
// time is up. The lock is held on entry and on return.
template <class Ready>
bool WaitUntil(std::unique_lock<std::mutex>& lock, EventGroup& group, Event* const* events, int count,
               int timeoutMs, Ready ready) {
  if (ready()) return true;
  if (timeoutMs == 0) return false;
  Waiter self{{}, events, count, group.waiters};
  group.waiters = &self;
  bool done;
  if (timeoutMs < 0) {
    self.wake.wait(lock, ready);
    done = true;
  } else {
    done = self.wake.wait_for(lock, std::chrono::milliseconds(timeoutMs), ready);
  }
  Waiter** link = &group.waiters;
  while (*link != &self) link = &(*link)->next;
  *link = self.next;
  return done;
}

}  // namespace

void InjectEventFailure(EventCall call, int successes) {
  moreFailures[static_cast<int>(call)].store(0);
  injectedThread[static_cast<int>(call)].store(std::thread::id());
  injected[static_cast<int>(call)].store(successes < 0 ? -1 : successes);
}

void InjectEventFailureOnThisThread(EventCall call, int successes, int failures) {
  injected[static_cast<int>(call)].store(-1);
  moreFailures[static_cast<int>(call)].store(failures > 1 ? failures - 1 : 0);
  injectedThread[static_cast<int>(call)].store(std::this_thread::get_id());
  injected[static_cast<int>(call)].store(successes < 0 ? -1 : successes);
}

std::shared_ptr<EventGroup> CreateEventGroup() { return std::make_shared<EventGroup>(); }

Event* CreateEvent(const std::shared_ptr<EventGroup>& group) {
  if (InjectedFailure(EventCall::Create)) return nullptr;
  Event* event = new (std::nothrow) Event;
  if (event == nullptr) {
    SetLastError(ENOMEM);
    return nullptr;
  }
  event->group = group ? group : CreateEventGroup();
  return event;
}

bool CloseEvent(Event* event) {
  delete event;
  return true;
}

bool SetEvent(Event* event) {
  if (event == nullptr) return Fail(EINVAL);
  if (InjectedFailure(EventCall::Set)) return false;
  EventGroup& group = *event->group;
  std::lock_guard<std::mutex> lock(group.mutex);
  event->signalled = true;
  // Under the lock: a waiter's condition lives on its own stack and is gone
  // once it has seen the signal and left.
  for (Waiter* w = group.waiters; w != nullptr; w = w->next)
    for (int i = 0; i < w->count; ++i)
      if (w->events[i] == event) {
        w->wake.notify_one();
        break;
      }
  return true;
}

WaitResult WaitEvent(Event* event, int timeoutMs) {
  if (event == nullptr) {
    Fail(EINVAL);
    return WaitResult::Failed;
  }
  if (InjectedFailure(EventCall::Wait)) return WaitResult::Failed;
  EventGroup& group = *event->group;
  std::unique_lock<std::mutex> lock(group.mutex);
  Event* const one[1] = {event};
  if (!WaitUntil(lock, group, one, 1, timeoutMs, [event] { return event->signalled; }))
    return WaitResult::TimedOut;
  event->signalled = false;
  return WaitResult::Signalled;
}

int WaitAnyEvent(Event* const* events, int count, int timeoutMs) {
  if (events == nullptr || count <= 0 || events[0] == nullptr) {
    Fail(EINVAL);
    return WAIT_ANY_FAILED;
  }
  EventGroup* group = events[0]->group.get();
  for (int i = 1; i < count; ++i) {
    if (events[i] == nullptr || events[i]->group.get() != group) {
      Fail(EINVAL);
      return WAIT_ANY_FAILED;
    }
  }
  if (InjectedFailure(EventCall::Wait)) return WAIT_ANY_FAILED;
  int found = -1;
  auto ready = [&] {
    for (int i = 0; i < count; ++i) {
      if (events[i]->signalled) {
        found = i;
        return true;
      }
    }
    return false;
  };
  std::unique_lock<std::mutex> lock(group->mutex);
  if (!WaitUntil(lock, *group, events, count, timeoutMs, ready)) return WAIT_ANY_TIMEOUT;
  events[found]->signalled = false;
  return found;
}

}  // namespace platform
