#pragma once
// The run engine: one call of RunTests performs a whole run on the calling
// thread (the GUI thread in the program), from the parameter checks through
// the parallel dispatch of the tests to the second-level statistics and the
// report.
#include "platform/DynamicLibrary.h"

// In files mode the Start handler sets inputPattern (engine/InputFiles.h)
// and passes no plug-in; in plug-in mode inputPattern is null.
// 30 slots each, owned by the Start handler: the order in which the tests
// are released (re-sorted by CPU time after every sequence) and the order
// in which their results become rows of the Table grid.
extern signed char* startOrder;
extern signed char* rowOrder;

class RunView;

// The cost of the engine itself in the last run that reached its end: the
// seconds its sequence loop spent between the sequences' tests on its own
// work (putting the p-values into the results model, reading the CPU
// times, sorting the start order, the view's events and updates), and the
// testing phase's seconds; and the most tests that ran at once (released
// and not yet done, their sub-threads included).
struct EngineCost {
  double ownSeconds = 0;
  double testingSeconds = 0;
  int mostTestsAtOnce = 0;
};
extern EngineCost lastEngineCost;

// Runs the battery on the input files (plugin null) or on the generator
// plug-in, showing the run in the view (the main window's is WindowView).
// 0 when the run reached its end (also after a stop or an
// early end of the input), 1 when it stopped on an error.
int RunTests(RunView& view, platform::DynamicLibrary* plugin);
