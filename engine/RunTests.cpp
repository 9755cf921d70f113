#include "engine/RunTests.h"

#include <fftw3.h>
#include <wx/defs.h>
#include <wx/string.h>
#include <wx/thread.h>

#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <ctime>
#include <new>

#include "battery/FftParallelLoop.h"
#include "battery/Messages.h"
#include "battery/TESTthd.h"
#include "engine/Helpers.h"
#include "engine/InputFiles.h"
#include "engine/ParameterChecks.h"
#include "engine/ResultsModel.h"
#include "engine/RunContext.h"
#include "engine/TestFactory.h"
#include "platform/Counter.h"
#include "platform/LastError.h"
#include "platform/Priority.h"

signed char* startOrder = nullptr;
signed char* rowOrder = nullptr;
EngineCost lastEngineCost;

namespace {

const char* const CAPTION = "Quorvane_MT";

void ErrorBox(const char* text) { ShowMessageBox(wxString::FromUTF8(text), CAPTION, wxOK | wxICON_ERROR); }

// The first line of the run: its length with a unit, and the start time.
void LogRunStart() {
  int at = snprintf(pathBuf, PATH_BUF_SIZE, "n= %u bits", seqLen);
  if (seqLen > 1023) {
    static const char UNITS[] = {'K', 'M', 'G'};
    double value = seqLen / 1024.0;
    int unit = 0;
    while (value > 1023 && unit < 2) {
      value /= 1024;
      ++unit;
    }
    at += snprintf(pathBuf + at, PATH_BUF_SIZE - at, " (%.3f %cb)     ", value, UNITS[unit]);
  } else {
    at += snprintf(pathBuf + at, PATH_BUF_SIZE - at, "     ");
  }
  const time_t now = time(nullptr);
  strftime(pathBuf + at, 100, "Started: %Y-%m-%d %H:%M:%S\n\n", localtime(&now));
  AppendLog(wxString::FromUTF8(pathBuf));
}

// The exit of a run stopped on an error, before its first sequence or in the
// middle: ends what started, releases everything and returns 1.
int ErrorExit(RunContext& run) {
  EndWorkers(run);
  ReleaseRun(run);
  return 1;
}

bool AnyEnabled() {
  for (const TestEntry& e : testTable)
    if (e.enabled) return true;
  return false;
}

// The last box a test's constructor showed, kept so that the log can name
// the reason of a test that disabled itself; the box itself is shown by the
// handler it would have reached.
MessageBoxHandler outerBoxHandler = nullptr;
wxString constructorBox;

int KeepConstructorBox(const wxString& text, const wxString& caption, long style) {
  constructorBox = text;
  const MessageBoxHandler keeper = SetMessageBoxHandler(outerBoxHandler);
  const int answer = ShowMessageBox(text, caption, style);
  SetMessageBoxHandler(keeper);
  return answer;
}

// Builds the test object of every enabled slot, in slot order; a slot whose
// constructor refuses, or whose class this build does not hold, is disabled
// with a log line that gives the reason.
void BuildTests() {
  for (int i = 0; i < TEST_SLOTS; ++i) {
    if (!testTable[i].enabled) continue;
    constructorBox.clear();
    outerBoxHandler = SetMessageBoxHandler(KeepConstructorBox);
    TESTthd* test = CreateTest(i);
    SetMessageBoxHandler(outerBoxHandler);
    if (test == nullptr) {
      RunLog("%s: this test is not part of this build and is disabled.\n\n", testTable[i].name);
      testTable[i].enabled = false;
      continue;
    }
    testTable[i].test = test;
    if (test->status != TEST_OK) {
      const wxString reason = constructorBox.Strip(wxString::both);
      if (reason.empty())
        RunLog("%s: the test could not be set up and is disabled.\n\n", testTable[i].name);
      else
        RunLog("%s: %s\n\n", testTable[i].name, reason.utf8_str().data());
      testTable[i].enabled = false;
      delete test;
      testTable[i].test = nullptr;
    }
  }
}

// FFTW's threads for the FFT tests (DFT, Peak); a failure disables both.
void StartFftwThreads() {
  if (!testTable[SLOT_DFT].enabled && !testTable[SLOT_PEAK].enabled) return;
  if (fftwf_init_threads() == 0) {
    for (int slot : {SLOT_DFT, SLOT_PEAK})
      if (testTable[slot].enabled) RunLog("%s: Failed to execute fftw_init_threads.\n\n", testTable[slot].name);
    testTable[SLOT_DFT].enabled = false;
    testTable[SLOT_PEAK].enabled = false;
    ShowMessageBox("Failed to execute fftw_init_threads.\nThe tests based of FFTW will be disabled.",
                   "Quorvane - ERROR", wxOK | wxICON_WARNING);
    return;
  }
  fftwf_plan_with_nthreads(FftPlanThreads());
  UseFftParallelLoop();
}

// The start and done events of every slot and the threads of the enabled
// ones, in slot order, so each worker starts before the events of the
// later slots exist.
bool StartWorkers(RunContext& run) {
  for (int i = 0; i < TEST_SLOTS; ++i) {
    if (!run.workers.AddEvents(i)) {
      ErrorBox("\n\t!! ERROR !!\nCreateEvent() failed.");
      return false;
    }
    if (testTable[i].enabled && !run.workers.StartThread(i, testTable[i].test)) {
      ErrorBox("\n\t!! ERROR !!\nCan't create thread!");
      return false;
    }
  }
  return true;
}

}  // namespace

void RunLog(const char* format, ...) {
  va_list args;
  va_start(args, format);
  vsnprintf(pathBuf, PATH_BUF_SIZE, format, args);
  va_end(args);
  AppendLog(wxString::FromUTF8(pathBuf));
}

int RunTests(RunView& view, platform::DynamicLibrary* plugin) {
  RunContext run;
  run.view = &view;
  run.plugin = plugin;
  runState = RunState::Idle;

  if (plugin != nullptr) {
    run.getUL = reinterpret_cast<ZarGetUL>(platform::FindLibrarySymbol(plugin, "ZAR_GetUL"));
    if (run.getUL == nullptr) {
      ErrorBox("ERROR. Unable to get the ZAR function address in the DLL.");
      return 1;
    }
  }

  pathBuf = new char[PATH_BUF_SIZE];
  const int64_t first = platform::CounterTicks();
  const int64_t second = platform::CounterTicks();
  run.overhead = second - first;
  run.frequency = static_cast<double>(platform::CounterFrequency());
  run.runStart = platform::CounterTicks();

  ResetInputReader();
  delete[] lnFactorial;
  lnFactorial = nullptr;
  lnFactorialMax = 0;
  pvalueFixedMin = std::pow(10.0, 1 - pvalueDigits);

  if (runPriority != 0 && !platform::LowerProcessPriority()) RunLog("\n\tPriority not changed\n");

  // Every line the engine writes ends with a line break, so the next text
  // starts the pane's last (empty) line.
  if (plugin == nullptr) {
    run.inputLogLine = view.LogLineCount() - 1;
    if (!PrepareInputFiles(&run.inputNames, &run.inputCount, &run.inputSize)) return ErrorExit(run);
  } else if (seqLen == 0) {
    ErrorBox("\n\t!! ERROR !!\n\nSequence length = 0 is only allowed when an input file is specified.");
    return ErrorExit(run);
  }

  if (CheckParametersFirstPass() > 0) {
    view.ShowPage(MESSAGES_PAGE);
    AppendLog("  ERROR in the test parameters.\nThe tests with the invalid parameters will be disabled.\n\n");
    ShowMessageBox("ERROR in the test parameters.\nThe tests with the invalid parameters will be disabled.", CAPTION,
                   wxOK | wxICON_WARNING);
  }
  const int secondPassRefusals = CheckParametersSecondPass();

  StartFftwThreads();
  BuildTests();
  if (!AnyEnabled()) {
    if (secondPassRefusals > 0) view.ShowPage(MESSAGES_PAGE);
    ErrorBox("\n\t!! ERROR !!\n\n\tNo test enabled.");
    return ErrorExit(run);
  }

  run.startLogLine = view.LogLineCount() - 1;
  LogRunStart();

  seqBits = new (std::nothrow) uint32_t[seqLen / 32 + 2];
  if (seqBits == nullptr) {
    ErrorBox("\n\t!! ERROR !!\n\nFailed to allocate the memory for the sequence to test.");
    return ErrorExit(run);
  }
  // The words past the input's whole bytes or words are not filled by the
  // input; they start as zeros rather than as whatever the heap held.
  std::fill(seqBits, seqBits + seqLen / 32 + 2, 0u);

  run.askedSeqCount = seqCount;
  runResults.Reset(pvalueDigits, pvalueFixedMin);
  view.ClearResults();

  if (!StartWorkers(run)) return ErrorExit(run);

  run.workers.SetLimit(view.Concurrency());
  run.testStart = platform::CounterTicks();
  runState = RunState::Running;
  seqIndex = 1;

  if (!RunSequences(run)) return ErrorExit(run);
  return FinishRun(run);
}
