// The main of every test program that needs the toolkit's GUI (run under
// Xvfb): starts the toolkit without running its event loop, makes a failed
// toolkit assertion a failed test, and runs the tests.
#include <gtest/gtest.h>
#include <wx/app.h>
#include <wx/init.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>
#include <vector>

#include "GuiTest.h"

namespace {

void FailOnAssert(const wxString& file, int line, const wxString& func, const wxString& cond, const wxString& msg) {
  ADD_FAILURE_AT(file.utf8_str().data(), line)
      << "wxWidgets assertion in " << func.utf8_str().data() << ": " << cond.utf8_str().data() << " "
      << msg.utf8_str().data();
}

std::function<void()> pendingEventsHook;

class TestApp : public wxApp {
 public:
  bool OnInit() override { return true; }
  bool Pending() override {
    if (pendingEventsHook) pendingEventsHook();
    return wxApp::Pending();
  }
};

}  // namespace

void SetPendingEventsHook(std::function<void()> hook) { pendingEventsHook = std::move(hook); }

// The X server now and then refuses a connection when many test programs
// start at once, and the toolkit cannot try again in the same process: a
// fresh process (the same program and arguments) tries again, a few times.
constexpr int TOOLKIT_START_TRIES = 5;
const char* const TRIES_VARIABLE = "QV_TOOLKIT_START_TRIES";

int main(int argc, char** argv) {
  std::vector<char*> originalArgs(argv, argv + argc);
  originalArgs.push_back(nullptr);
  ::testing::InitGoogleTest(&argc, argv);
  wxApp::SetInstance(new TestApp);
  int wxArgc = 1;
  char* wxArgv[] = {argv[0], nullptr};
  if (!wxEntryStart(wxArgc, wxArgv)) {
    const char* tried = getenv(TRIES_VARIABLE);
    const int tries = tried ? atoi(tried) + 1 : 1;
    if (tries < TOOLKIT_START_TRIES) {
      fprintf(stderr, "cannot start the toolkit (try %d), starting again\n", tries);
      setenv(TRIES_VARIABLE, std::to_string(tries).c_str(), 1);
      execv("/proc/self/exe", originalArgs.data());
    }
    fprintf(stderr, "cannot start the toolkit (no display?)\n");
    return 1;
  }
  unsetenv(TRIES_VARIABLE);
  wxSetAssertHandler(FailOnAssert);
  wxTheApp->CallOnInit();
  const int rc = RUN_ALL_TESTS();
  wxTheApp->OnExit();
  wxEntryCleanup();
  return rc;
}
