#include "platform/Thread.h"

#include <pthread.h>

#include <atomic>
#include <cerrno>
#include <new>

#include "platform/LastError.h"

namespace platform {

struct Thread {
  pthread_t id{};
  bool joined = false;
  ThreadRoutine routine = nullptr;
  void* argument = nullptr;
  // RUNNING until the routine has returned (ENDED) or the handle has been
  // closed without a join (DETACHED); whichever comes second frees the
  // record of a detached thread.
  std::atomic<int> state{0};
};

namespace {

constexpr int RUNNING = 0, ENDED = 1, DETACHED = 2;

std::atomic<int> injected[2] = {-1, -1};

bool InjectedFailure(ThreadCall call) {
  std::atomic<int>& n = injected[static_cast<int>(call)];
  int left = n.load();
  while (left >= 0) {
    if (n.compare_exchange_weak(left, left - 1)) {
      if (left == 0) {
        SetLastError(EAGAIN);
        return true;
      }
      return false;
    }
  }
  return false;
}

void* Trampoline(void* p) {
  Thread* thread = static_cast<Thread*>(p);
  thread->routine(thread->argument);
  if (thread->state.exchange(ENDED) == DETACHED) delete thread;
  return nullptr;
}

}  // namespace

void InjectThreadFailure(ThreadCall call, int successes) {
  injected[static_cast<int>(call)].store(successes < 0 ? -1 : successes);
}

Thread* StartThread(ThreadRoutine routine, void* argument) {
  if (routine == nullptr) {
    SetLastError(EINVAL);
    return nullptr;
  }
  if (InjectedFailure(ThreadCall::Start)) return nullptr;
  Thread* thread = new (std::nothrow) Thread;
  if (thread == nullptr) {
    SetLastError(ENOMEM);
    return nullptr;
  }
  thread->routine = routine;
  thread->argument = argument;
  const int rc = pthread_create(&thread->id, nullptr, Trampoline, thread);
  if (rc != 0) {
    delete thread;
    SetLastError(rc);
    return nullptr;
  }
  return thread;
}

bool JoinThread(Thread* thread) {
  if (thread == nullptr || thread->joined) {
    SetLastError(EINVAL);
    return false;
  }
  if (InjectedFailure(ThreadCall::Join)) return false;
  const int rc = pthread_join(thread->id, nullptr);
  if (rc != 0) {
    SetLastError(rc);
    return false;
  }
  thread->joined = true;
  return true;
}

bool CloseThread(Thread* thread) {
  if (thread == nullptr) return true;
  if (!thread->joined) {
    // The thread runs on and frees its record when it ends, unless it
    // has ended already.
    const int rc = pthread_detach(thread->id);
    if (rc != 0) {
      SetLastError(rc);
      return false;
    }
    if (thread->state.exchange(DETACHED) == ENDED) delete thread;
    return true;
  }
  delete thread;
  return true;
}

}  // namespace platform
