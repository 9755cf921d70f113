#pragma once
// Input as a user gives it: the pointer, its buttons and wheel and the keys
// through the toolkit's UI simulator, which hands them to the X server, so
// that they reach the window as the toolkit's own events do. The tests wait
// for what the input must bring about, dispatching the window's events
// while they wait.
#include <dlfcn.h>
#include <wx/app.h>
#include <wx/evtloop.h>
#include <wx/uiaction.h>
#include <wx/window.h>

#include <functional>

// A hang guard, not a measure: a wait that sees nothing happen gives up
// after this many rounds of at most a tenth of a second each.
constexpr int INPUT_WAIT_ROUNDS = 300;

// Dispatches the window events (the X server's and the program's own) until
// done() holds. False when the guard ran out first.
inline bool WaitUntil(const std::function<bool()>& done) {
  wxGUIEventLoop loop;
  wxEventLoopActivator active(&loop);
  for (int round = 0; !done(); ++round) {
    if (round == INPUT_WAIT_ROUNDS) return false;
    loop.DispatchTimeout(100);
    wxTheApp->ProcessPendingEvents();
    wxTheApp->ProcessIdle();
  }
  return true;
}

// Dispatches what is pending now without waiting for more.
inline void DispatchPending() {
  wxGUIEventLoop loop;
  wxEventLoopActivator active(&loop);
  while (loop.Pending()) loop.Dispatch();
  wxTheApp->ProcessPendingEvents();
  wxTheApp->ProcessIdle();
}

// The middle of a window on the screen.
inline wxPoint MiddleOf(const wxWindow* window) {
  const wxSize size = window->GetClientSize();
  return window->ClientToScreen(wxPoint(size.x / 2, size.y / 2));
}

// Moves the pointer to the point and waits until the window under it has
// seen it arrive.
inline bool MovePointer(wxWindow* window, const wxPoint& screenPoint) {
  bool arrived = false;
  const auto seen = [&arrived](wxMouseEvent& event) {
    arrived = true;
    event.Skip();
  };
  window->Bind(wxEVT_MOTION, seen);
  window->Bind(wxEVT_ENTER_WINDOW, seen);
  wxUIActionSimulator().MouseMove(screenPoint);
  const bool ok = WaitUntil([&arrived] { return arrived; });
  window->Unbind(wxEVT_MOTION, seen);
  window->Unbind(wxEVT_ENTER_WINDOW, seen);
  return ok;
}

// One notch of the mouse wheel where the pointer is, down (towards the
// user) or up: the X buttons 5 and 4 pressed and released through the X
// server's XTEST extension, as the simulator does with the other buttons
// (it offers no wheel). The X libraries are those the toolkit loaded.
inline bool WheelNotch(bool down) {
  using OpenDisplay = void* (*)(const char*);
  using FakeButton = int (*)(void*, unsigned, int, unsigned long);
  using Sync = int (*)(void*, int);
  static void* display = nullptr;
  const auto open = reinterpret_cast<OpenDisplay>(dlsym(RTLD_DEFAULT, "XOpenDisplay"));
  const auto fake = reinterpret_cast<FakeButton>(dlsym(RTLD_DEFAULT, "XTestFakeButtonEvent"));
  const auto sync = reinterpret_cast<Sync>(dlsym(RTLD_DEFAULT, "XSync"));
  if (open == nullptr || fake == nullptr || sync == nullptr) return false;
  if (display == nullptr) display = open(nullptr);
  if (display == nullptr) return false;
  const unsigned button = down ? 5 : 4;
  fake(display, button, 1, 0);
  fake(display, button, 0, 0);
  sync(display, 0);
  return true;
}
