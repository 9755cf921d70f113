#include "platform/LastError.h"

namespace platform {

namespace {
thread_local int lastError = 0;
}

int LastError() { return lastError; }
void SetLastError(int code) { lastError = code; }

}  // namespace platform
