#pragma once
// What the FFT tests need before their constructors run: FFTW's
// threads started as the engine starts them, and a data folder of their
// own for the wisdom file.
#include <fftw3.h>

#include <cstdlib>
#include <string>

#include "battery/FftParallelLoop.h"
#include "battery/RunState.h"

class FftBench {
 public:
  FftBench() {
    fftwf_init_threads();
    fftwf_plan_with_nthreads(FftPlanThreads());
    UseFftParallelLoop();  // as the engine runs the plans
    char folder[] = "/tmp/qv_bench_XXXXXX";
    if (mkdtemp(folder) != nullptr) folder_ = folder;
    path_.assign(PATH_BUF_SIZE, '\0');
    pathBuf = path_.data();
    dataDir = folder_.data();
  }
  ~FftBench() {
    std::remove((folder_ + "/FFTWwisdom_f").c_str());
    std::remove(folder_.c_str());
    dataDir = nullptr;
    pathBuf = nullptr;
  }

 private:
  std::string folder_, path_;
};
