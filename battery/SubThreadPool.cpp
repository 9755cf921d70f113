#include "battery/SubThreadPool.h"

#include <wx/string.h>

#include <thread>

#include "battery/Messages.h"
#include "platform/Event.h"
#include "platform/LastError.h"
#include "platform/Thread.h"
#include "platform/ThreadClock.h"

namespace {

// Waits that the protocol leaves without a time limit wake up this often
// anyway, so that a sub-thread that ended without a last signal is seen.
constexpr int WAKE_MS = 100;

void LogError(const char* format, int code) { AppendLog(wxString::Format(format, code)); }

// A sub-thread: waits for its start signal, ends on key 0, otherwise runs
// the job and signals its end event.
void SubThreadMain(void* argument) {
  auto& seat = *static_cast<SubThreadShared::Seat*>(argument);
  SubThreadShared& shared = *seat.shared;
  const int i = seat.index;
  seat.clock.store(platform::OpenCurrentThreadClock(), std::memory_order_release);
  // Leaving on a failure: marked dead, the line logged, then one signal so
  // that a waiting RunTest looks again.
  auto die = [&](const char* line) {
    const int code = platform::LastError();
    seat.dead.store(true, std::memory_order_release);
    LogError(line, code);
    platform::SetEvent(shared.hEND[i]);
  };
  for (;;) {
    if (platform::WaitEvent(shared.hINI[i], platform::WAIT_FOREVER) != platform::WaitResult::Signalled) {
      die("WaitForSingleObject hINI failed (%d)\n");
      return;
    }
    const uint64_t ticket = seat.ticket;
    if (!shared.Serve(i)) return;
    seat.finished.store(ticket, std::memory_order_release);
    if (!platform::SetEvent(shared.hEND[i])) {
      die("SetEvent hEND failed (%d)\n");
      return;
    }
  }
}

bool Done(const SubThreadShared::Seat& seat) {
  return seat.finished.load(std::memory_order_acquire) == seat.ticket;
}

bool Dead(const SubThreadShared::Seat& seat) { return seat.dead.load(std::memory_order_acquire); }

}  // namespace

SubThreadShared::~SubThreadShared() = default;

SubThreadPoolBase::~SubThreadPoolBase() { End(); }

void SubThreadPoolBase::Adopt(SubThreadShared* shared) {
  End();
  shared_ = shared;
  const int n = shared->count;
  shared->group = platform::CreateEventGroup();
  shared->hINI.reset(new platform::Event*[n]());
  shared->hEND.reset(new platform::Event*[n]());
  shared->THD.reset(new platform::Thread*[n]());
  shared->seats.reset(new SubThreadShared::Seat[n]);
  for (int i = 0; i < n; ++i) {
    shared->seats[i].shared = shared;
    shared->seats[i].index = i;
  }
}

int SubThreadPoolBase::StartThreads() {
  SubThreadShared& s = *shared_;
  for (int i = started_; i < s.count; ++i) {
    s.hINI[i] = platform::CreateEvent(s.group);
    if (s.hINI[i] == nullptr) {
      LogError("CreateEvent hINI failed (%d)\n", platform::LastError());
      break;
    }
    s.hEND[i] = platform::CreateEvent(s.group);
    if (s.hEND[i] == nullptr) {
      LogError("CreateEvent hEND failed (%d)\n", platform::LastError());
      platform::CloseEvent(s.hINI[i]);
      s.hINI[i] = nullptr;
      break;
    }
    s.THD[i] = platform::StartThread(SubThreadMain, &s.seats[i]);
    if (s.THD[i] == nullptr) {
      LogError("CreateThread failed (%d)\n", platform::LastError());
      platform::CloseEvent(s.hINI[i]);
      platform::CloseEvent(s.hEND[i]);
      s.hINI[i] = s.hEND[i] = nullptr;
      break;
    }
    started_ = i + 1;
  }
  return started_;
}

int SubThreadPoolBase::Live() const {
  int live = 0;
  for (int t = 0; t < started_; ++t) live += !Dead(shared_->seats[t]);
  return live;
}

int SubThreadPoolBase::IdleThread() const {
  for (int t = 0; t < started_; ++t) {
    const auto& seat = shared_->seats[t];
    if (!seat.busy && !Dead(seat)) return t;
  }
  return -1;
}

bool SubThreadPoolBase::Hand(int t) {
  auto& seat = shared_->seats[t];
  seat.ticket = ++lastTicket_;
  seat.busy = true;
  if (!platform::SetEvent(shared_->hINI[t])) {
    AppendLog(wxString::Format("SetEvent hINI MAIN failed, ID= %d (%d)\n", t, platform::LastError()));
    Release(t);
    Abandon();
    return false;
  }
  return true;
}

int SubThreadPoolBase::AwaitAny() {
  if (shared_ == nullptr) return -1;
  SubThreadShared& s = *shared_;
  bool anyBusy = false;
  for (int t = 0; t < started_; ++t) anyBusy = anyBusy || s.seats[t].busy;
  if (!anyBusy) return -1;
  for (;;) {
    const int t = platform::WaitAnyEvent(s.hEND.get(), started_, WAKE_MS);
    if (t >= 0) {
      // A signal left over from an abandoned job is not this job's end.
      if (s.seats[t].busy && Done(s.seats[t])) return t;
      continue;
    }
    if (t == platform::WAIT_ANY_FAILED) {
      LogError("WaitForMultipleObjects hEND MAIN failed (%d)\n", platform::LastError());
      Abandon();
      return -1;
    }
    // Timed out: a sub-thread that ended on a failure may have sent no
    // last signal.
    for (int u = 0; u < started_; ++u) {
      const auto& seat = s.seats[u];
      if (!seat.busy || !Dead(seat)) continue;
      if (Done(seat)) return u;
      Abandon();
      return -1;
    }
  }
}

bool SubThreadPoolBase::AwaitOne(int t) {
  auto& seat = shared_->seats[t];
  for (;;) {
    const platform::WaitResult r = platform::WaitEvent(shared_->hEND[t], WAKE_MS);
    if (r == platform::WaitResult::Failed) {
      LogError("WaitForSingleObject hEND failed (%d)\n", platform::LastError());
      break;
    }
    if (Done(seat)) return true;
    if (r == platform::WaitResult::TimedOut && Dead(seat)) break;
  }
  Abandon();
  return false;
}

void SubThreadPoolBase::Release(int t) {
  shared_->seats[t].busy = false;
  shared_->SetIdle(t);
}

void SubThreadPoolBase::Abandon() {
  SubThreadShared& s = *shared_;
  for (int t = 0; t < started_; ++t) {
    auto& seat = s.seats[t];
    if (!seat.busy) continue;
    // The job may still read the sequence: wait for it whatever the waits
    // report (a failed wait only makes this loop poll).
    while (!Done(seat) && !Dead(seat))
      if (platform::WaitEvent(s.hEND[t], WAKE_MS) == platform::WaitResult::Failed) std::this_thread::yield();
    Release(t);
  }
}

double SubThreadPoolBase::CpuSeconds() const {
  double total = 0;
  for (int t = 0; t < started_; ++t) {
    double seconds = 0;
    const platform::ThreadClock* clock = shared_->seats[t].clock.load(std::memory_order_acquire);
    total += clock != nullptr && platform::ReadThreadCpuSeconds(clock, seconds) ? seconds : -1.0;
  }
  return total;
}

void SubThreadPoolBase::End() {
  if (shared_ == nullptr) return;
  SubThreadShared& s = *shared_;
  bool clean = true;
  for (int i = 0; i < started_ && clean; ++i) {
    s.SetIdle(i);
    bool signalled = false;
    for (int attempt = 0; attempt < 2 && !signalled; ++attempt) {
      signalled = platform::SetEvent(s.hINI[i]);
      if (!signalled)
        AppendLog(wxString::Format("SetEvent hINI failed, ID= %d (%d)\n", i, platform::LastError()));
    }
    bool joined = false;
    for (int attempt = 0; attempt < 2 && signalled && !joined; ++attempt) {
      joined = platform::JoinThread(s.THD[i]);
      if (!joined) LogError("WaitForSingleObject THD failed (%d)\n", platform::LastError());
    }
    if (!joined) {
      // The thread may still wait on its event or read its record: the
      // shared state stays with it, and so do the threads after it.
      clean = false;
      break;
    }
    if (!platform::CloseThread(s.THD[i])) LogError("CloseHandle failed (%d)\n", platform::LastError());
    s.THD[i] = nullptr;
    platform::CloseThreadClock(s.seats[i].clock.exchange(nullptr));
  }
  if (clean) {
    for (int i = 0; i < s.count; ++i) {
      platform::CloseEvent(s.hINI[i]);
      platform::CloseEvent(s.hEND[i]);
    }
    delete shared_;
  } else {
    for (int i = 0; i < started_; ++i)
      if (s.THD[i] != nullptr) platform::CloseThread(s.THD[i]);  // detached, left running
  }
  shared_ = nullptr;
  started_ = 0;
  OnEnded();
}
