// The application object: OnInit builds and publishes the window with the
// program's handlers, and the key filter acts on DEL and ESC as its
// decision table says.
#include <gtest/gtest.h>
#include <wx/dialog.h>
#include <wx/menu.h>
#include <wx/richtext/richtextctrl.h>

#include <thread>

#include "support/ProgramWindow.h"
#include "support/RealInput.h"
#include "ui/Prefs.h"

namespace {

wxKeyEvent Key(wxEventType type, int code, wxWindow* target) {
  wxKeyEvent event(type);
  event.m_keyCode = code;
  event.SetEventObject(target);
  return event;
}

struct KeyFilterTest : ProgramWindowTest {
  ProgramApp app;
  int Filter(wxEvent& event) { return app->FilterEvent(event); }
};

}  // namespace

TEST_F(KeyFilterTest, TheDecisionTable) {
  struct Case {
    const char* what;
    wxEventType type;
    int key;
    int state;
    bool inStart;
    int result;
    int stateAfter;
    const char* status;  // status field 2 afterwards
  };
  const wxEventType DOWN = wxEVT_KEY_DOWN, UP = wxEVT_KEY_UP, CHAR = wxEVT_CHAR;
  const int RUN = RunState::Running, STOP = RunState::StopRequested, IDLE = RunState::Idle;
  const int SKIP = wxEventFilter::Event_Skip, DONE = wxEventFilter::Event_Processed;
  const Case cases[] = {
      {"DEL while idle", DOWN, WXK_DELETE, IDLE, false, SKIP, IDLE, ""},
      {"DEL while running", DOWN, WXK_DELETE, RUN, true, DONE, STOP, "STOPPING..."},
      {"a second DEL", DOWN, WXK_DELETE, STOP, true, SKIP, STOP, ""},
      {"DEL released", UP, WXK_DELETE, RUN, true, SKIP, RUN, ""},
      {"DEL as a character", CHAR, WXK_DELETE, RUN, true, SKIP, RUN, ""},
      {"another key while running", DOWN, 'A', RUN, true, SKIP, RUN, ""},
      {"ESC while running", DOWN, WXK_ESCAPE, RUN, true, SKIP, RUN, ""},
      {"ESC while stopping", DOWN, WXK_ESCAPE, STOP, true, SKIP, STOP, ""},
      {"ESC while the Start handler prepares a run", DOWN, WXK_ESCAPE, IDLE, true, SKIP, IDLE, ""},
      {"ESC released while idle", UP, WXK_ESCAPE, IDLE, false, SKIP, IDLE, ""},
      {"ESC as a character while idle", CHAR, WXK_ESCAPE, IDLE, false, SKIP, IDLE, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    runState = c.state;
    frame->startActive = c.inStart;
    frame->statusBar->SetStatusText("", 2);
    wxKeyEvent event = Key(c.type, c.key, frame->startButton);
    EXPECT_EQ(Filter(event), c.result);
    EXPECT_EQ(event.GetSkipped(), c.result == SKIP);
    EXPECT_EQ(runState, c.stateAfter);
    EXPECT_EQ(frame->statusBar->GetStatusText(2), c.status);
    EXPECT_FALSE(wxTheApp->IsScheduledForDestruction(frame));
  }
  frame->startActive = false;
  runState = RunState::Idle;

  wxCommandEvent click(wxEVT_BUTTON, frame->startButton->GetId());
  EXPECT_EQ(Filter(click), SKIP) << "not a key";
  EXPECT_TRUE(click.GetSkipped());
}

// ESC while idle closes the window through its close handler, which writes
// the preferences; the key goes nowhere else.
TEST_F(KeyFilterTest, EscWhileIdleClosesTheWindow) {
  frame->seqCountSpin->SetValue(77);
  EXPECT_TRUE(PressKey(frame->fileCombo, WXK_ESCAPE));
  EXPECT_TRUE(wxTheApp->IsScheduledForDestruction(frame));
  EXPECT_EQ(dataDir, nullptr);
  ASSERT_TRUE(Exists("prefs.bin"));
  const std::string bytes = ReadFile("prefs.bin");
  PrefsRecord record;
  ASSERT_TRUE(DecodePrefs(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(), record));
  EXPECT_EQ(record.seqCount, 77);
  DestroyFrame();
  EXPECT_EQ(mainFrame, nullptr) << "the destroyed window is no longer published";
}

// ESC while a popup menu or a modal dialog is open, or pressed on another
// window than the main one, belongs there: the filter passes it on.
TEST_F(KeyFilterTest, EscWhileAMenuOrADialogIsOpenIsPassedOn) {
  wxMenu menu;
  wxMenuEvent opened(wxEVT_MENU_OPEN, 0, &menu);
  EXPECT_EQ(Filter(opened), wxEventFilter::Event_Skip);
  wxKeyEvent escape = Key(wxEVT_KEY_DOWN, WXK_ESCAPE, frame->startButton);
  EXPECT_EQ(Filter(escape), wxEventFilter::Event_Skip) << "a menu is open";
  wxMenuEvent closed(wxEVT_MENU_CLOSE, 0, &menu);
  Filter(closed);

  wxFrame other(nullptr, wxID_ANY, "another window");
  wxKeyEvent elsewhere = Key(wxEVT_KEY_DOWN, WXK_ESCAPE, &other);
  EXPECT_EQ(Filter(elsewhere), wxEventFilter::Event_Skip) << "pressed on another window";

  // A key that reaches the main window while a modal dialog is up.
  wxDialog dialog(nullptr, wxID_ANY, "A dialog");
  int result = -1;
  dialog.CallAfter([&] {
    wxKeyEvent stray = Key(wxEVT_KEY_DOWN, WXK_ESCAPE, frame->startButton);
    result = Filter(stray);
    dialog.EndModal(wxID_OK);
  });
  dialog.ShowModal();
  EXPECT_EQ(result, wxEventFilter::Event_Skip) << "a dialog is open";
  EXPECT_FALSE(wxTheApp->IsScheduledForDestruction(frame));

  escape = Key(wxEVT_KEY_DOWN, WXK_ESCAPE, frame->startButton);
  EXPECT_EQ(Filter(escape), wxEventFilter::Event_Processed) << "with all of them closed ESC closes the window";
  EXPECT_TRUE(wxTheApp->IsScheduledForDestruction(frame));
}

// While the window is being built mainFrame is null; keys that reach the
// filter then (a box of the constructor has the focus) are passed on.
TEST(KeyFilter, NoWindowYet) {
  ProgramApp app;
  wxQuorvaneFIN* saved = mainFrame;
  mainFrame = nullptr;
  for (int state : {RunState::Idle, RunState::Running}) {
    runState = state;
    for (int key : {WXK_ESCAPE, WXK_DELETE}) {
      wxKeyEvent event = Key(wxEVT_KEY_DOWN, key, nullptr);
      EXPECT_EQ(app->FilterEvent(event), wxEventFilter::Event_Skip);
      EXPECT_EQ(runState, state);
    }
  }
  runState = RunState::Idle;
  mainFrame = saved;
}

struct OnInitTest : DataFolderTest {
  void TearDown() override {
    SetLogHandler(nullptr);
    if (mainFrame != nullptr) mainFrame->Destroy();
    wxTheApp->ProcessIdle();
    mainFrame = nullptr;
    runState = RunState::Idle;
    DataFolderTest::TearDown();
  }
};

TEST_F(OnInitTest, BuildsPublishesAndShowsTheWindowWithTheProgramsHandlers) {
  ProgramApp app;
  runState = RunState::Running;
  mainFrame = nullptr;
  ASSERT_TRUE(app->OnInit());
  // The program's box handler is installed; the test answers boxes again.
  EXPECT_EQ(SetMessageBoxHandler(Answer), ShowProgramMessageBox);
  EXPECT_EQ(SetLogHandler(AppendProgramLog), AppendProgramLog);
  EXPECT_EQ(runState, RunState::Idle);
  ASSERT_NE(mainFrame, nullptr);
  EXPECT_EQ(app->GetTopWindow(), mainFrame);
  EXPECT_TRUE(mainFrame->IsShown());
  EXPECT_EQ(mainFrame->testList->GetCount(), 26u);

  // Log lines go to the log pane; one from a worker thread arrives once the
  // GUI thread handles its pending events.
  mainFrame->messageText->Clear();
  AppendLog("first line\n");
  std::thread worker([] { AppendLog("from a worker\n"); });
  worker.join();
  EXPECT_FALSE(mainFrame->messageText->GetValue().Contains("from a worker"));
  wxTheApp->ProcessPendingEvents();
  const wxString log = mainFrame->messageText->GetValue();
  EXPECT_TRUE(log.StartsWith("first line\nfrom a worker")) << log;
}

// The stored scroll position of the Parameters page, read while the window
// is built and before it is shown, as the program starts: kept through an
// immediate close, and applied once the page is on screen with its size.
TEST_F(OnInitTest, TheStoredScrollPositionSurvivesAStartAndIsAppliedOnceThePageHasItsSize) {
  const auto writePrefs = [this](int scroll) {
    PrefsRecord record;
    record.scroll = scroll;
    for (int i = 0; i < PREFS_ROWS; ++i) record.rows[i] = {i, false};
    const std::vector<unsigned char> bytes = EncodePrefs(record);
    WriteFile("prefs.bin", std::string(bytes.begin(), bytes.end()));
  };
  const auto storedScroll = [this] {
    const std::string bytes = ReadFile("prefs.bin");
    PrefsRecord record;
    EXPECT_TRUE(DecodePrefs(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(), record));
    return record.scroll;
  };
  const auto restoreDataDir = [this] {
    dataDir = new char[folder.size() + 1];
    strcpy(dataDir, folder.c_str());
  };
  ProgramApp app;

  // Closed before the page was ever laid out on screen.
  writePrefs(40);
  ASSERT_TRUE(app->OnInit());
  ASSERT_TRUE(mainFrame->Close(true));
  EXPECT_EQ(storedScroll(), 40);
  mainFrame->Destroy();
  wxTheApp->ProcessIdle();
  mainFrame = nullptr;

  // Shown: the page scrolls there once it has its size.
  restoreDataDir();
  ASSERT_TRUE(app->OnInit());
  wxScrolledWindow* page = mainFrame->parametersScroll;
  ASSERT_TRUE(WaitUntil([page] { return page->IsShownOnScreen() && page->GetClientSize().y > 0; }));
  DispatchPending();
  EXPECT_EQ(page->GetViewStart().y, 40);
  page->Scroll(0, 25);
  ASSERT_TRUE(mainFrame->Close(true));
  EXPECT_EQ(storedScroll(), 25);
  restoreDataDir();  // for the fixture's tear-down
}
