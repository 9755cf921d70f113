#include "platform/Priority.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <condition_variable>
#include <mutex>
#include <thread>

// In a child process, so the test program keeps its priority: the nice
// value of the calling thread and of a thread made before becomes 19, and
// a thread created afterwards inherits it.
TEST(Priority, LowersTheNiceValueOfEveryThreadAndOfLaterThreads) {
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    std::mutex mutex;
    std::condition_variable changed;
    pid_t earlierId = 0;
    bool lowered = false;
    int earlier = -100;
    std::thread before([&] {
      std::unique_lock<std::mutex> lock(mutex);
      earlierId = gettid();
      changed.notify_all();
      changed.wait(lock, [&] { return lowered; });
      earlier = getpriority(PRIO_PROCESS, 0);
    });
    {
      std::unique_lock<std::mutex> lock(mutex);
      changed.wait(lock, [&] { return earlierId != 0; });
    }
    if (!platform::LowerProcessPriority()) _exit(2);
    {
      std::lock_guard<std::mutex> lock(mutex);
      lowered = true;
    }
    changed.notify_all();
    before.join();
    errno = 0;
    int own = getpriority(PRIO_PROCESS, 0);
    int inherited = -100;
    std::thread t([&] { inherited = getpriority(PRIO_PROCESS, 0); });
    t.join();
    _exit(own == 19 && earlier == 19 && inherited == 19 ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
}
