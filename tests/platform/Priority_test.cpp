#include "platform/Priority.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <thread>

// In a child process, so the test program keeps its priority: the nice
// value becomes 19 and a thread created afterwards inherits it.
TEST(Priority, LowersTheNiceValueForLaterThreads) {
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    if (!platform::LowerProcessPriority()) _exit(2);
    errno = 0;
    int own = getpriority(PRIO_PROCESS, 0);
    int inherited = -100;
    std::thread t([&] { inherited = getpriority(PRIO_PROCESS, 0); });
    t.join();
    _exit(own == 19 && inherited == 19 ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
}
