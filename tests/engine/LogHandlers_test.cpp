// The log handlers of the engine's tests take lines from several threads
// at once, as the sub-threads of the pooled tests send them: every line
// arrives whole (and the thread sanitizer sees no race).
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "battery/Messages.h"
#include "engine/support/MessageCapture.h"
#include "engine/support/RecordingView.h"

namespace {

constexpr int THREADS = 4, LINES = 300;

// Every thread appends LINES lines of its own; the text holds each once.
void LogFromThreads(const std::function<std::string()>& text, const char* what) {
  std::vector<std::thread> threads;
  for (int t = 0; t < THREADS; ++t)
    threads.emplace_back([t] {
      for (int i = 0; i < LINES; ++i) AppendLog(wxString::Format("thread %d line %d\n", t, i));
    });
  for (auto& thread : threads) thread.join();
  const std::string log = text();
  size_t lines = 0;
  for (char c : log) lines += c == '\n';
  EXPECT_EQ(lines, static_cast<size_t>(THREADS * LINES)) << what;
  for (int t = 0; t < THREADS; ++t)
    for (int i = 0; i < LINES; i += 37) {
      const std::string line = "thread " + std::to_string(t) + " line " + std::to_string(i) + "\n";
      EXPECT_NE(log.find(line), std::string::npos) << what << ": " << line;
    }
}

}  // namespace

TEST(LogHandlers, TakeLinesFromSeveralThreadsAtOnce) {
  {
    RecordingView view;
    LogFromThreads([&] { return view.log; }, "the recording view");
    EXPECT_EQ(view.LogLineCount(), THREADS * LINES + 1);  // and the empty line after the last
  }
  {
    MessageCapture capture;
    LogFromThreads([&] { return std::string(capture.Log().utf8_str().data()); }, "the message capture");
  }
}
