#pragma once
// What the FFT tests' programs share: FFTW's threads started as the
// engine starts them, the message boxes and log lines captured, and a data
// folder of the test's own for the wisdom file.
#include <fftw3.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <mutex>
#include <string>
#include <vector>

#include "SequenceFixture.h"
#include "battery/FftParallelLoop.h"
#include "battery/Messages.h"
#include "battery/RunState.h"

struct Box {
  std::string text, caption;
  long style;
};

inline std::mutex fftMutex;
inline std::vector<Box> fftBoxes;
inline std::vector<std::string> fftLog;

inline int CaptureBox(const wxString& text, const wxString& caption, long style) {
  std::lock_guard<std::mutex> lock(fftMutex);
  fftBoxes.push_back({text.ToStdString(), caption.ToStdString(), style});
  return wxOK;
}

// Lines may come from sub-threads.
inline void CaptureLogLine(const wxString& text) {
  std::lock_guard<std::mutex> lock(fftMutex);
  fftLog.push_back(text.ToStdString());
}

class FftFixture : public SequenceFixture {
 protected:
  static void SetUpTestSuite() {
    // As the engine does before it builds an FFT test.
    ASSERT_NE(fftwf_init_threads(), 0);
    fftwf_plan_with_nthreads(FftPlanThreads());
    UseFftParallelLoop();
  }

  void SetUp() override {
    previousBox = SetMessageBoxHandler(CaptureBox);
    previousLog = SetLogHandler(CaptureLogLine);
    Clear();
    char folder[] = "/tmp/qv_fft_XXXXXX";
    ASSERT_NE(mkdtemp(folder), nullptr);
    folderName = folder;
    folderCopy = folderName;
    dataDir = folderCopy.data();
    pathText.assign(PATH_BUF_SIZE, '\0');
    pathBuf = pathText.data();
  }

  void TearDown() override {
    SetMessageBoxHandler(previousBox);
    SetLogHandler(previousLog);
    std::remove((folderName + "/FFTWwisdom_f").c_str());
    std::remove(folderName.c_str());
    dataDir = nullptr;
    pathBuf = nullptr;
    SequenceFixture::TearDown();
  }

  static void Clear() {
    std::lock_guard<std::mutex> lock(fftMutex);
    fftBoxes.clear();
    fftLog.clear();
  }
  static std::vector<Box> Boxes() {
    std::lock_guard<std::mutex> lock(fftMutex);
    return fftBoxes;
  }
  static std::vector<std::string> LogLines() {
    std::lock_guard<std::mutex> lock(fftMutex);
    return fftLog;
  }

  // xorshift32 bits with a random block of 2^13 bytes repeated.
  void Periodic(uint32_t n) {
    Xorshift(99, 1u << 16);
    std::vector<uint32_t> block(words.begin(), words.begin() + (1 << 11));
    Zeros(n);
    for (size_t i = 0; i < n / 32; ++i) words[i] = block[i % block.size()];
  }

  std::string folderName, folderCopy, pathText;
  MessageBoxHandler previousBox = nullptr;
  LogHandler previousLog = nullptr;
};
