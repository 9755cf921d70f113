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

struct EventGroup {
  std::mutex mutex;
  std::condition_variable changed;
};

struct Event {
  std::shared_ptr<EventGroup> group;
  bool signalled = false;  // guarded by group->mutex
};

namespace {

std::atomic<int> injected[3] = {-1, -1, -1};
// The only thread whose calls count, or a default id for every thread.
std::atomic<std::thread::id> injectedThread[3];

// True when an injected failure is due for this call.
bool InjectedFailure(EventCall call) {
  const std::thread::id only = injectedThread[static_cast<int>(call)].load();
  if (only != std::thread::id() && only != std::this_thread::get_id()) return false;
  std::atomic<int>& n = injected[static_cast<int>(call)];
  int left = n.load();
  while (left >= 0) {
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

// Waits on the group's condition until `ready` holds or the time is up.
template <class Ready>
bool WaitUntil(std::unique_lock<std::mutex>& lock, EventGroup& group, int timeoutMs, Ready ready) {
  if (timeoutMs < 0) {
    group.changed.wait(lock, ready);
    return true;
  }
  return group.changed.wait_for(lock, std::chrono::milliseconds(timeoutMs), ready);
}

}  // namespace

void InjectEventFailure(EventCall call, int successes) {
  injectedThread[static_cast<int>(call)].store(std::thread::id());
  injected[static_cast<int>(call)].store(successes < 0 ? -1 : successes);
}

void InjectEventFailureOnThisThread(EventCall call, int successes) {
  injected[static_cast<int>(call)].store(-1);
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
  {
    std::lock_guard<std::mutex> lock(event->group->mutex);
    event->signalled = true;
  }
  event->group->changed.notify_all();
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
  if (!WaitUntil(lock, group, timeoutMs, [event] { return event->signalled; }))
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
  if (!WaitUntil(lock, *group, timeoutMs, ready)) return WAIT_ANY_TIMEOUT;
  events[found]->signalled = false;
  return found;
}

}  // namespace platform
