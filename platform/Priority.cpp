#include "platform/Priority.h"

#include <sys/resource.h>

#include <cerrno>

#include "platform/LastError.h"

namespace platform {

bool LowerProcessPriority() {
  // On Linux the nice value of PRIO_PROCESS 0 is the calling thread's; the
  // threads created later inherit it.
  if (setpriority(PRIO_PROCESS, 0, 19) != 0) {
    SetLastError(errno);
    return false;
  }
  return true;
}

}  // namespace platform
