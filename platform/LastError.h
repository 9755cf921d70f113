#pragma once
// The error code of the last failed platform call on this thread, for the
// log lines that print one. Platform calls set it only when they fail.
namespace platform {

int LastError();
void SetLastError(int code);

}  // namespace platform
