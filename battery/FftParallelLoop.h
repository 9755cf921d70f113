#pragma once
#include <cstddef>

// FFTW's multi-threaded plans split their work into chunks and run them
// through a parallel loop. FFTW's own loop hands each chunk to one of its
// threads and waits for every one of them: while the processors are busy
// with the other tests, the transform waits for helper threads to be
// scheduled, chunk after chunk. This loop lets the calling thread take any
// chunk no helper has started yet, so a transform never waits for a thread
// that has not begun; with idle processors the helpers share the chunks as
// FFTW's threads did. Each chunk computes the same whoever runs it, so the
// transforms are the same to the last bit. The CPU the helpers spend on a
// loop, on the loops FFTW nests inside its chunks too, is credited to the
// calling thread's clock, so that a test's CPU time counts its transforms
// whole.

// The pools' sub-threads and this loop's helpers share the processors this
// process may run on: a sub-thread holds one for each job it runs, a helper
// for its run of chunks. A helper takes one only while no sub-thread waits
// and another stays free, so the helpers compute on the processors the
// pools leave free; a sub-thread that finds none free waits only while
// helpers hold some, at most for a helper's chunk. So a test with its
// sub-threads never computes on more threads than there are processors,
// besides the one that hands out their jobs, while the sub-threads of the
// tests that run at once never wait for one another.
class ProcessorHold {
 public:
  ProcessorHold();   // waits for a processor no helper holds and holds it
  ~ProcessorHold();  // gives it back
  ProcessorHold(const ProcessorHold&) = delete;
  ProcessorHold& operator=(const ProcessorHold&) = delete;
};

// The threads of FFTW's plans: half the processors this process may run
// on, at least 1.
int FftPlanThreads();

// Makes FFTW run its parallel loops through this one. Call after
// fftwf_init_threads and before any plan is executed.
void UseFftParallelLoop();

// The loop itself, in the form FFTW calls: work(jobdata + i * elsize) for
// every i in 0 .. njobs - 1, returning once all are done.
void FftParallelLoop(void* (*work)(char*), char* jobdata, size_t elsize, int njobs, void* data);
