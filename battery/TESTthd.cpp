#include "battery/TESTthd.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "battery/RunState.h"
#include "platform/Event.h"
#include "platform/Processors.h"
#include "platform/ThreadClock.h"

TESTthd::TESTthd() : wxThread(wxTHREAD_JOINABLE), cpuCount(platform::ProcessorCount()) {}

TESTthd::~TESTthd() {
  if (threadHandle != nullptr) platform::CloseThreadClock(threadHandle);
}

wxThread::ExitCode TESTthd::Entry() {
  threadHandle = platform::OpenCurrentThreadClock();
  for (;;) {
    if (platform::WaitEvent(startEvents[slot], platform::WAIT_FOREVER) != platform::WaitResult::Signalled) {
      status = TEST_WAIT_FAILED;
      return 0;
    }
    if (command == CMD_EXIT) {
      status = TEST_OK;
      return 0;
    }
    RunTest();
    if (!platform::SetEvent(doneEvents[slot])) {
      status = TEST_SIGNAL_FAILED;
      return 0;
    }
  }
}

void TESTthd::AddResult(double pvalue, const char* format, ...) {
  char text[64];
  va_list args;
  va_start(args, format);
  vsnprintf(text, sizeof text, format, args);
  va_end(args);
  char* label = new char[strlen(text) + 1];
  strcpy(label, text);
  resultLabels[slot].push_back(label);
  resultPValues[slot].push_back(pvalue);
}
