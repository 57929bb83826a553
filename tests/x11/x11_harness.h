// What the X11 tests share (scripts/test starts Xvfb): a fixture that takes
// the display's screen for one test at a time through a lock file, says why it
// cannot run (skipped, or failed when CI=true), and stops by process id every
// helper program it started (a tray host, a private Xvfb); and probes that read
// the screen as a user sees it: root pixels, window names, viewable windows,
// the keyboard focus, real clicks and keys through xdotool. Checks poll for a
// condition with generous limits instead of sleeping for fixed times.
#pragma once

#include <gtest/gtest.h>

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace x11_harness {

constexpr int kWaitMs = 20000;

// Polls done() every 20 ms until it holds or timeoutMs pass; returns done().
inline bool waitUntil(const std::function<bool()>& done, int timeoutMs = kWaitMs) {
  auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (!done()) {
    if (std::chrono::steady_clock::now() >= end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return true;
}

// Runs a shell command; true when it exits with 0.
inline bool run(const std::string& command) { return std::system(command.c_str()) == 0; }

// A real click at (x, y) of the screen, or inside window w when it is given.
inline bool click(int x, int y, ::Window w = 0) {
  std::string at = w != 0 ? "--window " + std::to_string(w) + " " : "";
  return run("xdotool mousemove " + at + std::to_string(x) + " " + std::to_string(y) + " click 1");
}

// A pixel of the root window as 0xRRGGBB, or 0xFFFFFFFF when it cannot be read.
inline uint32_t rootPixel(Display* d, int x, int y) {
  XImage* image = XGetImage(d, DefaultRootWindow(d), x, y, 1, 1, AllPlanes, ZPixmap);
  if (image == nullptr) return 0xFFFFFFFFu;
  unsigned long p = XGetPixel(image, 0, 0);
  XDestroyImage(image);
  return uint32_t(p & 0xFFFFFF);
}

// A window's text property as UTF-8 (_NET_WM_NAME holds UTF-8; WM_NAME, the
// title a window manager without EWMH shows, STRING or compound text), or
// empty when it is not set.
inline std::string windowText(Display* d, ::Window w, const char* property) {
  XTextProperty text;
  char** list = nullptr;
  int count = 0;
  std::string out;
  if (XGetTextProperty(d, w, &text, XInternAtom(d, property, False)) == 0) return out;
  if (Xutf8TextPropertyToTextList(d, &text, &list, &count) >= Success && count > 0) out = list[0];
  if (list != nullptr) XFreeStringList(list);
  XFree(text.value);
  return out;
}

// The _NET_WM_NAME of a window, else its WM_NAME, or empty.
inline std::string windowName(Display* d, ::Window w) {
  std::string name = windowText(d, w, "_NET_WM_NAME");
  return name.empty() ? windowText(d, w, "WM_NAME") : name;
}

// The class of a window's WM_CLASS, or empty.
inline std::string windowClass(Display* d, ::Window w) {
  XClassHint hint{};
  if (XGetClassHint(d, w, &hint) == 0) return "";
  std::string name = hint.res_class != nullptr ? hint.res_class : "";
  XFree(hint.res_name);
  XFree(hint.res_class);
  return name;
}

inline bool viewable(Display* d, ::Window w) {
  XWindowAttributes a;
  return XGetWindowAttributes(d, w, &a) != 0 && a.map_state == IsViewable;
}

inline bool focusIs(Display* d, ::Window w) {
  ::Window focus;
  int revert;
  XGetInputFocus(d, &focus, &revert);
  return focus == w;
}

// Where a window is looked for: among the root's own children, only deeper
// (inside another window, such as an icon docked in a tray host), or anywhere
// (where a window manager's frame may have put it).
enum class Where { TopLevel, Embedded, Anywhere };

// Calls visit for every window below parent at depth (1: the root's children)
// and below, until visit returns true; true when it did.
inline bool walk(Display* d, ::Window parent, int depth, const std::function<bool(::Window, int)>& visit) {
  ::Window root, up, *children = nullptr;
  unsigned int count = 0;
  if (XQueryTree(d, parent, &root, &up, &children, &count) == 0) return false;
  bool done = false;
  for (unsigned int i = 0; i < count && !done; ++i) {
    done = visit(children[i], depth) || walk(d, children[i], depth + 1, visit);
  }
  if (children != nullptr) XFree(children);
  return done;
}

// A viewable window named name at the given place, or 0.
inline ::Window findViewable(Display* d, const std::string& name, Where where = Where::Anywhere) {
  ::Window found = 0;
  walk(d, DefaultRootWindow(d), 1, [&](::Window w, int depth) {
    bool placed = where == Where::Anywhere || (where == Where::TopLevel) == (depth == 1);
    if (placed && windowName(d, w) == name && viewable(d, w)) found = w;
    return found != 0;
  });
  return found;
}

// Whether window w still exists anywhere in the screen's window tree.
inline bool exists(Display* d, ::Window w) {
  return walk(d, DefaultRootWindow(d), 1, [&](::Window child, int) { return child == w; });
}

// The root window's size now (DisplayWidth keeps the size at connection time)
// in its width and height.
inline XWindowAttributes rootSize(Display* d) {
  XWindowAttributes a{};
  XGetWindowAttributes(d, DefaultRootWindow(d), &a);
  return a;
}

// Skips the running test with the reason it cannot run, or fails it when CI=true.
inline void cannotRun(const std::string& why) {
  const char* ci = std::getenv("CI");
  if (ci != nullptr && std::string(ci) == "true") FAIL() << why;
  GTEST_SKIP() << why;
}

// The fixture of every X11 test: the display's probe connection and screen lock, and helper programs.
class X11Screen : public ::testing::Test {
 protected:
  // Opens the probe and takes the screen; skips (or fails under CI) with the
  // reason when the display cannot be used. Derived fixtures return when
  // IsSkipped() or HasFatalFailure() after calling it.
  void SetUp() override {
    std::string why;
    const char* display = std::getenv("DISPLAY");
    if ((display == nullptr || display[0] == 0)) why = "DISPLAY is not set (scripts/test starts Xvfb)";
    if (why.empty() && (probe_ = XOpenDisplay(nullptr)) == nullptr) why = std::string("the display ") + display + " does not open";
    if (why.empty() && !run("command -v xdotool >/dev/null && command -v xsetroot >/dev/null && "
                            "command -v trayer >/dev/null")) {
      why = "xdotool, xsetroot or trayer is missing (scripts/packages.sh)";
    }
    if (!why.empty()) return cannotRun("cannot run the X11 tests: " + why);
    std::string lockPath = std::string("/tmp/tessaril-x11-tests") + display + ".lock";
    std::replace(lockPath.begin(), lockPath.end(), ':', '_');
    lock_ = open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    ASSERT_GE(lock_, 0);
    ASSERT_EQ(flock(lock_, LOCK_EX), 0);
  }

  void TearDown() override {
    // Latest first: a program ends before the private server it runs on.
    for (auto pid = helpers_.rbegin(); pid != helpers_.rend(); ++pid) stop(*pid);
    if (probe_ != nullptr) XCloseDisplay(probe_);
    if (lock_ >= 0) close(lock_);  // releases the screen
  }

  // Starts a helper program, its output discarded (fd3, when given, becomes
  // its descriptor 3); TearDown stops it if the test does not. Its pid, or -1.
  pid_t startHelper(const std::vector<std::string>& args, int fd3 = -1) {
    pid_t pid = fork();
    if (pid == 0) {
      if (fd3 >= 0) dup2(fd3, 3);
      int null = open("/dev/null", O_WRONLY);
      dup2(null, 1);
      dup2(null, 2);
      std::vector<char*> argv;
      for (const std::string& s : args) argv.push_back(const_cast<char*>(s.c_str()));
      argv.push_back(nullptr);
      execvp(argv[0], argv.data());
      _exit(127);
    }
    if (pid > 0) helpers_.push_back(pid);
    return pid;
  }

  // Waits for a condition as the test must: a test whose own process runs a
  // message loop dispatches its messages meanwhile.
  virtual bool waitFor(const std::function<bool()>& done) { return waitUntil(done); }

  bool trayHostRuns() { return XGetSelectionOwner(probe_, XInternAtom(probe_, "_NET_SYSTEM_TRAY_S0", False)) != 0; }

  // Starts trayer at the top right of the screen; its pid once it holds the
  // tray selection, or -1 (also when another tray host runs already).
  pid_t startTrayHost() {
    if (trayHostRuns()) return -1;
    pid_t pid = startHelper({"trayer", "--edge", "top", "--align", "right", "--widthtype", "pixel", "--width", "100",
                             "--heighttype", "pixel", "--height", "24", "--SetDockType", "false",
                             "--SetPartialStrut", "false"});
    if (pid <= 0 || !waitFor([&] { return trayHostRuns(); })) return -1;
    return pid;
  }

  // Stops a tray host by its pid and waits until its selection is free.
  bool stopTrayHost(pid_t pid) {
    stop(pid);
    helpers_.erase(std::remove(helpers_.begin(), helpers_.end(), pid), helpers_.end());
    return waitFor([&] { return !trayHostRuns(); });
  }

  Display* probe_ = nullptr;
  int lock_ = -1;

 private:
  static void stop(pid_t pid) {
    if (pid <= 0) return;
    kill(pid, SIGTERM);
    waitpid(pid, nullptr, 0);
  }
  std::vector<pid_t> helpers_;
};

}  // namespace x11_harness
