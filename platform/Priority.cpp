#include "platform/Priority.h"

#include <dirent.h>
#include <sys/resource.h>

#include <cerrno>
#include <cstdlib>
#include <set>

#include "platform/LastError.h"

namespace platform {

namespace {

constexpr int IDLE_NICE = 19;

}  // namespace

bool LowerProcessPriority() {
  // On Linux the nice value is each thread's own: PRIO_PROCESS with a
  // thread id sets that thread's. The calling thread first, then every
  // thread listed in /proc/self/task, again until a pass finds no thread it
  // has not set (a thread made meanwhile by one not yet set).
  if (setpriority(PRIO_PROCESS, 0, IDLE_NICE) != 0) {
    SetLastError(errno);
    return false;
  }
  std::set<long> done;
  for (bool found = true; found;) {
    found = false;
    DIR* tasks = opendir("/proc/self/task");
    if (tasks == nullptr) {
      SetLastError(errno);
      return false;
    }
    while (const dirent* task = readdir(tasks)) {
      char* end = nullptr;
      const long tid = std::strtol(task->d_name, &end, 10);
      if (end == task->d_name || *end != '\0' || !done.insert(tid).second) continue;
      found = true;
      // A thread that has ended since the listing is no failure.
      if (setpriority(PRIO_PROCESS, static_cast<id_t>(tid), IDLE_NICE) != 0 && errno != ESRCH) {
        SetLastError(errno);
        closedir(tasks);
        return false;
      }
    }
    closedir(tasks);
  }
  return true;
}

}  // namespace platform
