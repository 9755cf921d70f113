#include "battery/FftParallelLoop.h"

#include <fftw3.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <mutex>
#include <system_error>
#include <thread>

#include "platform/Processors.h"
#include "platform/ThreadClock.h"

namespace {

// One call of the loop, on the caller's stack. Chunks are claimed through
// `next`; helpers claim only under the mutex and only while the loop is
// queued, so once the caller has taken it out of the queue no helper can
// reach it, and it waits only for the chunks helpers already run.
struct Loop {
  void* (*work)(char*);
  char* data;
  size_t size;
  int count;
  std::atomic<int> next{0};
  int done = 0;            // chunks finished, under the mutex
  double helperSeconds = 0;  // the CPU the helpers spent on them, likewise
};

// The loop's state and the processors' budget, under one mutex. The
// helper threads are made at the first loop, not with the budget.
//
// A helper wakes only with a processor taken for it (a ticket), so a woken
// helper always has one to compute on: no more helpers are awake than
// processors are free, and none wakes to find none. It keeps the processor
// for its chunks, one after the other, until no queued loop has a chunk
// left or a sub-thread waits for one. The helpers leave one processor free:
// for the thread that hands out and collects a pool's jobs, for a loop's
// caller that holds none, and for a sub-thread that has just given its own
// back and is still signalling its end.
//
// A sub-thread waits only for the helpers: when none is free and helpers
// hold some, it waits for their chunks to end; when the sub-threads alone
// hold them all it computes beside them (`free` goes below 0), for the
// sub-threads of several pools are the tests the concurrency limit lets
// run, and the system shares the processors among those as among any
// other tests. The helpers then stay asleep until the sub-threads leave
// one free again.
struct Helpers {
  std::mutex mutex;
  std::condition_variable wake;      // sleeping helpers wait for a ticket
  std::condition_variable finished;  // callers wait for their chunks
  std::condition_variable freed;     // pool sub-threads wait for a free processor
  std::deque<Loop*> queued;          // loops whose chunks may be unclaimed
  int sleeping = 0;                  // helpers waiting for a ticket
  int tickets = 0;                   // processors taken for helpers not yet awake
  int free = std::max(1, platform::ProcessorCount());  // processors no one holds, below 0 when over-held
  int waiting = 0;                                     // sub-threads waiting for one
  int helping = 0;                                     // processors held by helpers, tickets included

  // A helper may take a processor: one more than it takes is free and no
  // sub-thread waits for one.
  bool HelperMayTake() const { return free > 1 && waiting == 0; }
  // Wakes up to `wanted` sleeping helpers, each with a processor, while
  // they may take one.
  void WakeHelpers(int wanted) {
    while (wanted-- > 0 && HelperMayTake() && sleeping > tickets) {
      --free;
      ++tickets;
      ++helping;
      wake.notify_one();
    }
  }
  // A processor given back: to a waiting sub-thread first, else to a
  // sleeping helper for a loop that has chunks left. A helper's may let
  // every waiting sub-thread go, when it was the last helper holding one.
  void Give(bool helper) {
    ++free;
    if (helper) --helping;
    if (waiting > 0) {
      if (helper && helping == 0)
        freed.notify_all();
      else
        freed.notify_one();
    } else if (!queued.empty()) {
      WakeHelpers(1);
    }
  }
  // A sub-thread may take a processor: one is free, or no helper holds
  // one for it to wait for.
  bool SubThreadMayTake() const { return free > 0 || helping == 0; }
};

Helpers& TheState() {
  static Helpers* state = new Helpers;  // left for the process's end, as the helpers are
  return *state;
}

// Set on a helper while it runs a chunk: the CPU that the helpers of a loop
// nested in that chunk spend goes there, and so to the outer loop's caller.
thread_local double* nestedSeconds = nullptr;

// The helpers: one thread per processor, made at the first loop and kept
// for the process (left waiting at its end). A helper's CPU is charged, in
// full, to the loops it works for: each time it ends a chunk of a loop, or
// finds the loop's chunks all taken, the loop gets the CPU the helper spent
// since its previous charge (its wake-up, the claim and the chunk), with
// what the helpers of the loops nested in that chunk spent.
Helpers& TheHelpers() {
  static Helpers* helpers = [] {
    Helpers* h = &TheState();
    const int count = platform::ProcessorCount();
    for (int t = 0; t < count; ++t) {
      try {
        std::thread([h] {
          double mark = platform::CurrentThreadCpuSeconds();
          auto charge = [&mark](Loop* loop, double nested) {
            const double now = platform::CurrentThreadCpuSeconds();
            loop->helperSeconds += now - mark + nested;
            mark = now;
          };
          double nested = 0;
          nestedSeconds = &nested;
          std::unique_lock<std::mutex> lock(h->mutex);
          for (;;) {
            // A helper that finds chunks queued and a processor free (as
            // when it starts after a loop was queued) takes it itself.
            if (!h->queued.empty() && h->HelperMayTake()) {
              --h->free;
              ++h->helping;
            } else {
              ++h->sleeping;
              h->wake.wait(lock, [h] { return h->tickets > 0; });
              --h->tickets;
              --h->sleeping;
            }
            // This helper holds a processor until it gives it back below.
            while (!h->queued.empty() && h->waiting == 0) {
              Loop* loop = h->queued.front();
              const int i = loop->next.fetch_add(1);
              if (i >= loop->count) {
                h->queued.pop_front();
                charge(loop, 0);
                continue;
              }
              lock.unlock();
              nested = 0;
              loop->work(loop->data + static_cast<size_t>(i) * loop->size);
              lock.lock();
              charge(loop, nested);
              if (++loop->done == loop->count) h->finished.notify_all();
            }
            h->Give(true);
          }
        }).detach();
      } catch (const std::system_error&) {
        break;  // fewer helpers: the callers take the chunks left
      }
    }
    return h;
  }();
  return *helpers;
}

}  // namespace

void FftParallelLoop(void* (*work)(char*), char* jobdata, size_t elsize, int njobs, void*) {
  if (njobs <= 1) {
    for (int i = 0; i < njobs; ++i) work(jobdata + static_cast<size_t>(i) * elsize);
    return;
  }
  Helpers& h = TheHelpers();
  Loop loop{work, jobdata, elsize, njobs};
  {
    std::lock_guard<std::mutex> lock(h.mutex);
    h.queued.push_back(&loop);
    h.WakeHelpers(njobs - 1);
  }
  int mine = 0;
  for (int i; (i = loop.next.fetch_add(1)) < njobs; ++mine) work(jobdata + static_cast<size_t>(i) * elsize);
  std::unique_lock<std::mutex> lock(h.mutex);
  for (auto it = h.queued.begin(); it != h.queued.end(); ++it)
    if (*it == &loop) {
      h.queued.erase(it);
      break;
    }
  loop.done += mine;
  h.finished.wait(lock, [&] { return loop.done == loop.count; });
  lock.unlock();
  // The helpers worked for this thread: its clock counts their time. A
  // loop nested in a helper's chunk passes it on to the outer loop.
  if (nestedSeconds != nullptr)
    *nestedSeconds += loop.helperSeconds;
  else
    platform::CreditCurrentThread(loop.helperSeconds);
}

ProcessorHold::ProcessorHold() {
  Helpers& h = TheState();
  std::unique_lock<std::mutex> lock(h.mutex);
  ++h.waiting;
  h.freed.wait(lock, [&h] { return h.SubThreadMayTake(); });
  --h.waiting;
  --h.free;
  // The helpers held back while sub-threads waited may take what is left.
  if (!h.queued.empty()) h.WakeHelpers(h.free);
}

ProcessorHold::~ProcessorHold() {
  Helpers& h = TheState();
  std::lock_guard<std::mutex> lock(h.mutex);
  h.Give(false);
}

int FftPlanThreads() { return std::max(1, platform::ProcessorCount() / 2); }

void UseFftParallelLoop() { fftwf_threads_set_callback(FftParallelLoop, nullptr); }
