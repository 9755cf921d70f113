#include "platform/ThreadClock.h"

#include <pthread.h>
#include <time.h>

#include <atomic>
#include <cerrno>
#include <memory>
#include <mutex>
#include <new>

#include "platform/LastError.h"

namespace platform {

namespace {

// What every handle on one thread shares. `ended` and `finalSeconds` are
// written once, by the thread itself as it exits.
struct ClockState {
  std::mutex mutex;
  clockid_t clock{};
  bool ended = false;
  double finalSeconds = 0;
  double credited = 0;  // CreditCurrentThread, by the thread itself
};

bool ReadClock(clockid_t clock, double& seconds) {
  timespec ts{};
  if (clock_gettime(clock, &ts) != 0) {
    SetLastError(errno);
    return false;
  }
  seconds = static_cast<double>(ts.tv_sec) + ts.tv_nsec * 1e-9;
  return true;
}

// One per thread that has opened its clock; its destructor runs on the
// thread during exit, while the clock is still valid.
struct ThreadRecord {
  std::shared_ptr<ClockState> state;
  ~ThreadRecord() {
    if (!state) return;
    std::lock_guard<std::mutex> lock(state->mutex);
    double s = 0;
    if (ReadClock(state->clock, s)) state->finalSeconds = s;
    state->ended = true;
  }
};

thread_local ThreadRecord currentRecord;
std::atomic<int> failingOpens{0};

}  // namespace

struct ThreadClock {
  std::shared_ptr<ClockState> state;
};

void InjectThreadClockFailure(int count) { failingOpens.store(count); }

ThreadClock* OpenCurrentThreadClock() {
  if (failingOpens.load() > 0 && failingOpens.fetch_sub(1) > 0) {
    SetLastError(EIO);
    return nullptr;
  }
  if (!currentRecord.state) {
    auto state = std::make_shared<ClockState>();
    int rc = pthread_getcpuclockid(pthread_self(), &state->clock);
    if (rc != 0) {
      SetLastError(rc);
      return nullptr;
    }
    currentRecord.state = state;
  }
  ThreadClock* clock = new (std::nothrow) ThreadClock{currentRecord.state};
  if (clock == nullptr) SetLastError(ENOMEM);
  return clock;
}

void CloseThreadClock(ThreadClock* clock) { delete clock; }

bool ReadThreadCpuSeconds(const ThreadClock* clock, double& seconds) {
  if (clock == nullptr) {
    SetLastError(EINVAL);
    return false;
  }
  ClockState& state = *clock->state;
  std::lock_guard<std::mutex> lock(state.mutex);
  if (state.ended) {
    seconds = state.finalSeconds + state.credited;
    return true;
  }
  if (!ReadClock(state.clock, seconds)) return false;
  seconds += state.credited;
  return true;
}

void CreditCurrentThread(double seconds) {
  if (!currentRecord.state) return;
  std::lock_guard<std::mutex> lock(currentRecord.state->mutex);
  currentRecord.state->credited += seconds;
}

double CurrentThreadCpuSeconds() {
  double seconds = 0;
  return ReadClock(CLOCK_THREAD_CPUTIME_ID, seconds) ? seconds : 0.0;
}

}  // namespace platform
