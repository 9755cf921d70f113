// The main of every test program that needs the toolkit's GUI (run under
// Xvfb): starts the toolkit without running its event loop, makes a failed
// toolkit assertion a failed test, and runs the tests.
#include <gtest/gtest.h>
#include <wx/app.h>
#include <wx/init.h>

#include <cstdio>

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

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  wxApp::SetInstance(new TestApp);
  int wxArgc = 1;
  char* wxArgv[] = {argv[0], nullptr};
  if (!wxEntryStart(wxArgc, wxArgv)) {
    fprintf(stderr, "cannot start the toolkit (no display?)\n");
    return 1;
  }
  wxSetAssertHandler(FailOnAssert);
  wxTheApp->CallOnInit();
  const int rc = RUN_ALL_TESTS();
  wxTheApp->OnExit();
  wxEntryCleanup();
  return rc;
}
