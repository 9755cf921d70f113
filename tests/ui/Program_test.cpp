// The built program as a user starts it: from a folder whose name has
// non-ASCII letters, in a bare C locale, on an X display of its own. Its
// window appears, ESC closes it, and the preferences land in the folder of
// the executable.
#include <dlfcn.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "support/DataFolder.h"

// Last: the X headers define words such as None that the others use.
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>

namespace {

pid_t Spawn(const std::vector<std::string>& args, const std::vector<std::string>& env, const char* cwd,
            int keepFd = -1) {
  const pid_t pid = fork();
  if (pid != 0) return pid;
  if (cwd != nullptr && chdir(cwd) != 0) _exit(126);
  const int null = open("/dev/null", O_RDWR);
  dup2(null, 0);
  if (keepFd != 1) dup2(null, 1);
  std::vector<char*> argv, envp;
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  for (const std::string& e : env) envp.push_back(const_cast<char*>(e.c_str()));
  envp.push_back(nullptr);
  execvpe(argv[0], argv.data(), envp.data());
  _exit(127);
}

// An X server of the test's own, so that no other test's window is in the
// way of the keys.
struct PrivateDisplay {
  pid_t server = -1;
  std::string name;
  Display* display = nullptr;

  bool Start() {
    int fds[2];
    if (pipe(fds) != 0) return false;
    server = Spawn({"Xvfb", "-displayfd", std::to_string(fds[1]), "-screen", "0", "1280x1024x24", "-nolisten", "tcp"},
                   {"PATH=/usr/bin:/bin"}, nullptr, fds[1]);
    close(fds[1]);
    std::string number;
    char c;
    while (read(fds[0], &c, 1) == 1 && c != '\n') number += c;
    close(fds[0]);
    if (number.empty()) return false;
    name = ":" + number;
    display = XOpenDisplay(name.c_str());
    // A window that goes away between a look-up and a request gives a
    // BadWindow error, which must not end the test.
    XSetErrorHandler([](Display*, XErrorEvent*) { return 0; });
    return display != nullptr;
  }
  ~PrivateDisplay() {
    if (display != nullptr) XCloseDisplay(display);
    if (server > 0) {
      kill(server, SIGTERM);
      waitpid(server, nullptr, 0);
    }
  }

  // The top-level window whose title begins with prefix, or 0.
  Window FindWindow(const char* prefix) {
    Window root = DefaultRootWindow(display), parent, *children = nullptr;
    unsigned count = 0;
    Window found = 0;
    if (XQueryTree(display, root, &root, &parent, &children, &count) == 0) return 0;
    for (unsigned i = 0; i < count && found == 0; ++i) {
      char* title = nullptr;
      if (XFetchName(display, children[i], &title) != 0 && title != nullptr) {
        if (strncmp(title, prefix, strlen(prefix)) == 0) found = children[i];
        XFree(title);
      }
    }
    if (children != nullptr) XFree(children);
    return found;
  }

  // A press and release of the key as the keyboard gives it, through the
  // server's XTEST extension (its library comes with the toolkit's).
  bool PressKey(Window window, KeySym symbol) {
    using FakeKey = int (*)(Display*, unsigned, int, unsigned long);
    void* xtest = dlopen("libXtst.so.6", RTLD_NOW);
    auto fake = xtest ? reinterpret_cast<FakeKey>(dlsym(xtest, "XTestFakeKeyEvent")) : nullptr;
    if (fake == nullptr) return false;
    XSetInputFocus(display, window, RevertToParent, CurrentTime);
    const unsigned code = XKeysymToKeycode(display, symbol);
    fake(display, code, True, 0);
    fake(display, code, False, 0);
    XFlush(display);
    XSync(display, False);
    return true;
  }
};

struct ProgramTest : DataFolderTest {};

// A hang guard, not a measure: a program that neither shows its window nor
// ends is given up on after this long instead of holding the suite.
constexpr int HANG_GUARD_MS = 120000;

// A descriptor that becomes readable when the process has ended.
int ProcessEndFd(pid_t pid) { return static_cast<int>(syscall(SYS_pidfd_open, pid, 0)); }

// Blocks until the X connection has an event or the process has ended;
// false when neither comes within the hang guard.
bool AwaitXOrEnd(Display* display, int endFd) {
  if (XPending(display) > 0) return true;
  pollfd fds[2] = {{ConnectionNumber(display), POLLIN, 0}, {endFd, POLLIN, 0}};
  return poll(fds, 2, HANG_GUARD_MS) > 0;
}

bool HasEnded(int endFd) {
  pollfd fd = {endFd, POLLIN, 0};
  return poll(&fd, 1, 0) > 0;
}

// Waits for the window whose title begins with prefix to be shown (mapped
// and viewable): on every creation, map and title change the top-level
// windows are looked at again. 0 when the program ended first.
Window AwaitShownWindow(PrivateDisplay& x, const char* prefix, int endFd) {
  const Window root = DefaultRootWindow(x.display);
  XSelectInput(x.display, root, SubstructureNotifyMask);
  XSync(x.display, False);
  for (;;) {
    const Window window = x.FindWindow(prefix);
    XWindowAttributes attributes;
    if (window != 0 && XGetWindowAttributes(x.display, window, &attributes) != 0 &&
        attributes.map_state == IsViewable)
      return window;
    if (HasEnded(endFd) || !AwaitXOrEnd(x.display, endFd)) return 0;
    while (XPending(x.display) > 0) {
      XEvent event;
      XNextEvent(x.display, &event);
      // A title set after the creation of its window is a property change.
      if (event.type == CreateNotify) XSelectInput(x.display, event.xcreatewindow.window, PropertyChangeMask);
    }
  }
}

// Gives the window the keyboard focus and waits until the server has moved
// it there, so that the key that follows reaches the program's window.
bool AwaitFocus(PrivateDisplay& x, Window window, int endFd) {
  XSelectInput(x.display, window, FocusChangeMask);
  XSetInputFocus(x.display, window, RevertToParent, CurrentTime);
  XSync(x.display, False);
  for (;;) {
    while (XPending(x.display) > 0) {
      XEvent event;
      XNextEvent(x.display, &event);
      if (event.type == FocusIn && event.xfocus.window == window) return true;
    }
    Window focus = 0;
    int revert = 0;
    XGetInputFocus(x.display, &focus, &revert);
    if (focus == window) return true;
    if (HasEnded(endFd) || !AwaitXOrEnd(x.display, endFd)) return false;
  }
}

// The sanitizers' settings of the test's own environment, so that a
// sanitized program runs with the same options (suppressions included).
std::vector<std::string> SanitizerOptions() {
  std::vector<std::string> env;
  for (const char* name : {"ASAN_OPTIONS", "UBSAN_OPTIONS", "LSAN_OPTIONS", "TSAN_OPTIONS"})
    if (const char* value = getenv(name)) env.push_back(std::string(name) + "=" + value);
  return env;
}

}  // namespace

TEST_F(ProgramTest, StartsFromANonAsciiFolderAndEscWritesItsPreferencesThere) {
  const std::string home = folder + "/Donn\xC3\xA9" "es \xC3\xBC";
  ASSERT_EQ(mkdir(home.c_str(), 0755), 0);
  const std::string program = home + "/Quorvane_MT";
  {
    std::ifstream in(QV_BIN_DIR "/Quorvane_MT", std::ios::binary);
    std::ofstream out(program, std::ios::binary);
    out << in.rdbuf();
  }
  ASSERT_EQ(chmod(program.c_str(), 0755), 0);

  PrivateDisplay x;
  ASSERT_TRUE(x.Start()) << "cannot start Xvfb";
  // The bare C locale of a fresh environment, and a current folder that is
  // not the program's.
  std::vector<std::string> env = {"DISPLAY=" + x.name, "LC_ALL=C", "LANG=C", "HOME=" + folder, "NO_AT_BRIDGE=1"};
  for (const std::string& option : SanitizerOptions()) env.push_back(option);
  const pid_t pid = Spawn({program}, env, "/");
  const int endFd = ProcessEndFd(pid);
  ASSERT_GE(endFd, 0) << "no process descriptor";

  int status = 0;
  const Window window = AwaitShownWindow(x, "Quorvane_MT ", endFd);
  if (window == 0) {
    kill(pid, SIGKILL);
    waitpid(pid, &status, 0);
    close(endFd);
    FAIL() << "the window did not appear";
  }
  char* title = nullptr;
  XFetchName(x.display, window, &title);
  EXPECT_STREQ(title, sizeof(void*) == 8 ? "Quorvane_MT 64 bits - v2.0.0" : "Quorvane_MT 32 bits - v2.0.0");
  XFree(title);
  ASSERT_TRUE(AwaitFocus(x, window, endFd)) << "the window did not take the focus";
  ASSERT_TRUE(x.PressKey(window, XK_Escape)) << "no XTEST library";
  pollfd end = {endFd, POLLIN, 0};
  const bool exited = poll(&end, 1, HANG_GUARD_MS) > 0;
  close(endFd);
  if (!exited) kill(pid, SIGKILL);
  waitpid(pid, &status, 0);
  ASSERT_TRUE(exited) << "ESC did not close the window";
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  struct stat info;
  EXPECT_EQ(stat((home + "/prefs.bin").c_str(), &info), 0) << "the preferences belong beside the program";
}
