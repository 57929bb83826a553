// The real player process on the x11 backend (scripts/test starts Xvfb): a
// plain show drawn over the desktop and ended by a real click, Enter or a
// window manager's close, the resident icon in a real tray host and in the one
// started after it, the leaving notice of a second start, the load-error box,
// a turn of the screen (on a private Xvfb) that restarts the show, and on
// private Xvfbs with a compositor (picom) or a window manager (openbox): the
// live overlay over a moving window, the tray and box beside it, and a
// resident start that leaves no window.
//
// Each test starts the player from a scratch directory holding a copy of the
// binary, its schedule and its show, with a private runtime directory for the
// single-instance socket. Without $DISPLAY each test says why it cannot run and
// is skipped, or fails when CI=true. The tests take turns on the screen through
// the same lock file as the backend tests. Checks poll for conditions with
// generous limits; every process a test starts is killed by its pid at the end.
#include <gtest/gtest.h>

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "support/overlay_show.h"

namespace {

constexpr int kWaitMs = 20000;

// The rectangle of the test show: 100 x 80 pixels with its top left corner at
// the middle of the screen, filled in this colour, opaque.
constexpr uint32_t kRectColour = 0xC81E28;  // RGB(200, 30, 40)
constexpr uint32_t kDesktopColour = 0x336699;
// Per channel: the painter's alpha blend of an opaque fill may round by a step.
constexpr int kTolerance = 8;

const char* const kRectShow =
    "@base\r\n50, 0, -1, -1, -1\r\n@\r\n"
    "@set\r\n0, s, 1, 0, 0.5, 0.5, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 100, 80, 0, 0, 0, 0, 255, 0, 0, "
    "200, 0, 0, 30, 0, 0, 40, 0, 0, 0, -1, 0, 0, 0, 0, 0, \"00000\"\r\n"
    "@evt\r\n0, 0, 0, 0\r\n@\r\n";

// Polls done() every 20 ms until it holds or timeoutMs pass; returns done().
bool waitUntil(const std::function<bool()>& done, int timeoutMs = kWaitMs) {
  auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (!done()) {
    if (std::chrono::steady_clock::now() >= end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return true;
}

bool run(const std::string& command) { return std::system(command.c_str()) == 0; }

// A pixel of the root window as 0xRRGGBB, or 0xFFFFFFFF when it cannot be read.
uint32_t rootPixel(Display* d, int x, int y) {
  XImage* image = XGetImage(d, DefaultRootWindow(d), x, y, 1, 1, AllPlanes, ZPixmap);
  if (image == nullptr) return 0xFFFFFFFFu;
  unsigned long p = XGetPixel(image, 0, 0);
  XDestroyImage(image);
  return uint32_t(p & 0xFFFFFF);
}

bool near(uint32_t a, uint32_t b, int tolerance = kTolerance) {
  for (int shift = 0; shift < 24; shift += 8) {
    if (std::abs(int((a >> shift) & 0xFF) - int((b >> shift) & 0xFF)) > tolerance) return false;
  }
  return true;
}

// The _NET_WM_NAME of a window, else its WM_NAME, or empty.
std::string netName(Display* d, ::Window w) {
  Atom actual, property = XInternAtom(d, "_NET_WM_NAME", False), utf8 = XInternAtom(d, "UTF8_STRING", False);
  int format;
  unsigned long count, after;
  unsigned char* data = nullptr;
  std::string text;
  if (XGetWindowProperty(d, w, property, 0, 1024, False, utf8, &actual, &format, &count, &after, &data) == Success &&
      data != nullptr) {
    if (actual == utf8 && format == 8) text.assign(reinterpret_cast<char*>(data), count);
    XFree(data);
  }
  char* name = nullptr;
  if (text.empty() && XFetchName(d, w, &name) != 0 && name != nullptr) {
    text = name;
    XFree(name);
  }
  return text;
}

bool viewable(Display* d, ::Window w) {
  XWindowAttributes a;
  return XGetWindowAttributes(d, w, &a) != 0 && a.map_state == IsViewable;
}

// Every window below parent named name; topLevel limits them to the root's
// own children, otherwise only windows deeper down (such as a docked icon).
void collect(Display* d, ::Window parent, const std::string& name, bool topLevel, bool atRoot,
             std::vector<::Window>* out) {
  ::Window root, up, *children = nullptr;
  unsigned int count = 0;
  if (XQueryTree(d, parent, &root, &up, &children, &count) == 0) return;
  for (unsigned int i = 0; i < count; ++i) {
    if (atRoot == topLevel && netName(d, children[i]) == name) out->push_back(children[i]);
    if (!topLevel) collect(d, children[i], name, topLevel, false, out);
  }
  if (children != nullptr) XFree(children);
}

// A viewable top-level window named name, or 0.
::Window viewableTopLevel(Display* d, const std::string& name) {
  std::vector<::Window> found;
  collect(d, DefaultRootWindow(d), name, true, true, &found);
  for (::Window w : found) {
    if (viewable(d, w)) return w;
  }
  return 0;
}

// A viewable window named name inside another window (a tray host), or 0.
::Window viewableEmbedded(Display* d, const std::string& name) {
  std::vector<::Window> found;
  collect(d, DefaultRootWindow(d), name, false, true, &found);
  for (::Window w : found) {
    if (viewable(d, w)) return w;
  }
  return 0;
}

// The root window's size now (DisplayWidth keeps the size at connection time).
void rootSize(Display* d, int* width, int* height) {
  ::Window root;
  int x, y;
  unsigned int w = 0, h = 0, border, depth;
  XGetGeometry(d, DefaultRootWindow(d), &root, &x, &y, &w, &h, &border, &depth);
  *width = int(w);
  *height = int(h);
}

// The player's viewable top-level window (class Tessaril; a resident player's
// window has no title) of the screen's size, or of any size when anySize, or 0.
::Window viewableShowWindow(Display* d, bool anySize = false) {
  ::Window root, up, *children = nullptr;
  unsigned int count = 0;
  if (XQueryTree(d, DefaultRootWindow(d), &root, &up, &children, &count) == 0) return 0;
  int width, height;
  rootSize(d, &width, &height);
  ::Window found = 0;
  for (unsigned int i = 0; i < count && found == 0; ++i) {
    XWindowAttributes a;
    XClassHint hint{};
    if (XGetWindowAttributes(d, children[i], &a) == 0 || a.map_state != IsViewable ||
        (!anySize && (a.width != width || a.height != height)) || XGetClassHint(d, children[i], &hint) == 0) {
      continue;
    }
    if (hint.res_class != nullptr && std::string(hint.res_class) == "Tessaril") found = children[i];
    XFree(hint.res_name);
    XFree(hint.res_class);
  }
  if (children != nullptr) XFree(children);
  return found;
}

bool focusIs(Display* d, ::Window w) {
  ::Window focus;
  int revert;
  XGetInputFocus(d, &focus, &revert);
  return focus == w;
}

// Asks w to close as a window manager does: the WM_DELETE_WINDOW message of
// WM_PROTOCOLS. Sent from here since this xdotool has no polite close (its
// windowclose destroys the window).
void askToClose(Display* d, ::Window w) {
  XEvent event{};
  event.xclient.type = ClientMessage;
  event.xclient.window = w;
  event.xclient.message_type = XInternAtom(d, "WM_PROTOCOLS", False);
  event.xclient.format = 32;
  event.xclient.data.l[0] = long(XInternAtom(d, "WM_DELETE_WINDOW", False));
  event.xclient.data.l[1] = CurrentTime;
  XSendEvent(d, w, False, NoEventMask, &event);
  XSync(d, False);
}

// Whether w lists WM_DELETE_WINDOW in WM_PROTOCOLS (a manager only asks such a window to close).
bool takesCloseRequests(Display* d, ::Window w) {
  Atom* protocols = nullptr;
  int count = 0;
  bool found = false;
  if (XGetWMProtocols(d, w, &protocols, &count) == 0) return false;
  for (int i = 0; i < count; ++i) found = found || protocols[i] == XInternAtom(d, "WM_DELETE_WINDOW", False);
  XFree(protocols);
  return found;
}

// A window that closes between two requests of a lookup only makes that lookup
// miss it; Xlib's default handler would end the test program.
int ignoreXError(Display*, XErrorEvent*) { return 0; }

struct Process {
  pid_t pid = -1;
  int errFd = -1;
  std::string err;
};

class X11Player : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string why;
    const char* display = std::getenv("DISPLAY");
    if (display == nullptr || display[0] == 0) why = "DISPLAY is not set (scripts/test starts Xvfb)";
    if (why.empty()) {
      probe_ = XOpenDisplay(nullptr);
      if (probe_ == nullptr) why = std::string("the display ") + display + " does not open";
    }
    if (why.empty() && std::system("command -v xdotool >/dev/null && command -v xsetroot >/dev/null") != 0) {
      why = "xdotool or xsetroot is missing";
    }
    if (!why.empty()) {
      const char* ci = std::getenv("CI");
      if (ci != nullptr && std::string(ci) == "true") FAIL() << "cannot run the X11 player tests: " << why;
      GTEST_SKIP() << "cannot run the X11 player tests: " << why;
    }
    std::string lockPath = std::string("/tmp/tessaril-x11-tests") + display + ".lock";
    for (char& c : lockPath) {
      if (c == ':') c = '_';
    }
    lock_ = open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    ASSERT_GE(lock_, 0);
    ASSERT_EQ(flock(lock_, LOCK_EX), 0);
    oldHandler_ = XSetErrorHandler(ignoreXError);

    char a[] = "/tmp/tessaril-x11-player-XXXXXX";
    char b[] = "/tmp/tessaril-x11-runtime-XXXXXX";
    ASSERT_NE(mkdtemp(a), nullptr);
    ASSERT_NE(mkdtemp(b), nullptr);
    dir_ = a;
    runtime_ = b;
    chmod(dir_.c_str(), 0755);
    ASSERT_EQ(std::system(("cp '" TESSARIL_BINARY "' '" + dir_ + "/tessaril'").c_str()), 0);
    write("schedule.ini", "@normal\r\n\"normal.txt\"\r\n@suspend\r\n\"normal.txt\"\r\n@\r\n");
    write("default.txt", kRectShow);
    write("normal.txt", kRectShow);
    ASSERT_TRUE(run("xsetroot -solid '#336699'"));
    // A pointer left over a tray host or a window from an earlier test clicks nothing.
    run("xdotool mousemove 5 400");
  }

  void TearDown() override {
    if (shared_ != nullptr) {  // back to the shared display before the private server stops
      XCloseDisplay(probe_);
      probe_ = shared_;
      setenv("DISPLAY", sharedName_.c_str(), 1);
    }
    for (Process& p : players_) {
      if (p.pid > 0) {
        kill(p.pid, SIGKILL);
        waitpid(p.pid, nullptr, 0);
      }
      if (p.errFd >= 0) close(p.errFd);
    }
    for (pid_t pid : helpers_) {
      kill(pid, SIGTERM);
      waitpid(pid, nullptr, 0);
    }
    if (!dir_.empty()) std::system(("rm -rf '" + dir_ + "' '" + runtime_ + "'").c_str());
    if (probe_ != nullptr) XCloseDisplay(probe_);
    if (lock_ >= 0) {
      XSetErrorHandler(oldHandler_);
      close(lock_);  // releases the screen
    }
  }

  void write(const std::string& name, const std::string& text) {
    std::ofstream(dir_ + "/" + name, std::ios::binary) << text;
    chmod((dir_ + "/" + name).c_str(), 0644);
  }

  // Starts the player on the x11 backend with args; TearDown kills it if the test does not end it.
  size_t startPlayer(const std::vector<std::string>& args) {
    int pipeFds[2];
    EXPECT_EQ(pipe(pipeFds), 0);
    Process p;
    p.pid = fork();
    if (p.pid == 0) {
      dup2(pipeFds[1], 2);
      close(pipeFds[0]);
      close(pipeFds[1]);
      setenv("TESSARIL_BACKEND", "x11", 1);
      setenv("TESSARIL_POWER", "headless", 1);
      setenv("XDG_RUNTIME_DIR", runtime_.c_str(), 1);
      setenv("TESSARIL_TRAY", "xembed", 1);  // the tray host's icon, even where a desktop's watcher runs
      std::vector<std::string> all = {dir_ + "/tessaril"};
      all.insert(all.end(), args.begin(), args.end());
      std::vector<char*> argv;
      for (std::string& s : all) argv.push_back(s.data());
      argv.push_back(nullptr);
      execv(argv[0], argv.data());
      _exit(127);
    }
    close(pipeFds[1]);
    p.errFd = pipeFds[0];
    fcntl(p.errFd, F_SETFL, O_NONBLOCK);
    players_.push_back(p);
    return players_.size() - 1;
  }

  // Starts a helper program, its output discarded; TearDown stops it.
  pid_t startHelper(const std::vector<std::string>& args) {
    pid_t pid = fork();
    if (pid == 0) {
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

  // Stops a helper program and waits for its end.
  void stopHelper(pid_t pid) {
    kill(pid, SIGTERM);
    waitpid(pid, nullptr, 0);
    helpers_.erase(std::remove(helpers_.begin(), helpers_.end(), pid), helpers_.end());
  }

  // Starts trayer at the top right of the screen; its pid once it holds the
  // tray selection, or -1.
  pid_t startTrayHost() {
    Atom selection = XInternAtom(probe_, "_NET_SYSTEM_TRAY_S0", False);
    pid_t pid = startHelper({"trayer", "--edge", "top", "--align", "right", "--widthtype", "pixel", "--width", "100",
                             "--heighttype", "pixel", "--height", "24", "--SetDockType", "false",
                             "--SetPartialStrut", "false"});
    if (pid <= 0 || !waitUntil([&] { return XGetSelectionOwner(probe_, selection) != 0; })) return -1;
    return pid;
  }

  // Starts a private Xvfb with the given -screen argument; its display name,
  // or empty. TearDown stops it after the players.
  std::string startOwnXvfb(const std::string& screen) {
    int fds[2];
    if (pipe(fds) != 0) return "";
    pid_t pid = fork();
    if (pid == 0) {
      int out = fds[1];
      close(fds[0]);  // first: it may be descriptor 3
      if (out != 3) {
        dup2(out, 3);
        close(out);
      }
      int null = open("/dev/null", O_WRONLY);
      dup2(null, 1);
      dup2(null, 2);
      execlp("Xvfb", "Xvfb", "-displayfd", "3", "-screen", "0", screen.c_str(), "-nolisten", "tcp", "-noreset",
             static_cast<char*>(nullptr));
      _exit(127);
    }
    close(fds[1]);
    if (pid > 0) helpers_.push_back(pid);
    std::string number;
    pollfd ready{fds[0], POLLIN, 0};
    char c;
    while (pid > 0 && poll(&ready, 1, kWaitMs) == 1 && read(fds[0], &c, 1) == 1 && c != '\n') number += c;
    close(fds[0]);
    return number.empty() ? "" : ":" + number;
  }

  // Moves the test, its probe and the programs it starts to the display name
  // until TearDown; false when that display does not open.
  bool useDisplay(const std::string& name) {
    Display* d = XOpenDisplay(name.c_str());
    if (d == nullptr) return false;
    shared_ = probe_;
    sharedName_ = std::getenv("DISPLAY");
    probe_ = d;
    setenv("DISPLAY", name.c_str(), 1);
    flock(lock_, LOCK_UN);  // the shared screen is free for the other tests
    return true;
  }

  // A private Xvfb (the shared one stays without a compositor) whose desktop
  // colour is also its root pixmap (a compositor paints that, not the root's
  // background), its keyboard primed (a fresh server loses xdotool's first
  // key), and program running once it has announced itself: name is a
  // selection it owns or a property it sets on the root.
  bool startDesktop(const std::vector<std::string>& program, const char* name) {
    std::string own = startOwnXvfb("640x480x24");
    if (own.empty() || !useDisplay(own) || !run("xsetroot -solid '#336699' && xdotool key shift")) return false;
    ::Window root = DefaultRootWindow(probe_);
    Pixmap tile = XCreatePixmap(probe_, root, 1, 1, unsigned(DefaultDepth(probe_, 0)));
    GC gc = XCreateGC(probe_, tile, 0, nullptr);
    XSetForeground(probe_, gc, kDesktopColour);
    XFillRectangle(probe_, tile, gc, 0, 0, 1, 1);
    XFreeGC(probe_, gc);
    XChangeProperty(probe_, root, XInternAtom(probe_, "_XROOTPMAP_ID", False), XA_PIXMAP, 32, PropModeReplace,
                    reinterpret_cast<unsigned char*>(&tile), 1);
    Atom atom = XInternAtom(probe_, name, False);
    return startHelper(program) > 0 && waitUntil([&] {
      Atom type = 0;
      int format;
      unsigned long count, after;
      unsigned char* data = nullptr;
      XGetWindowProperty(probe_, root, atom, 0, 1, False, AnyPropertyType, &type, &format, &count, &after, &data);
      if (data != nullptr) XFree(data);
      return XGetSelectionOwner(probe_, atom) != 0 || type != 0;
    });
  }

  void drain(Process& p) {
    char buffer[4096];
    ssize_t n;
    while (p.errFd >= 0 && (n = read(p.errFd, buffer, sizeof buffer)) > 0) p.err.append(buffer, size_t(n));
  }

  // The player's exit code, or -1000 when it has not ended within timeoutMs.
  int exitOf(size_t index, int timeoutMs = kWaitMs) {
    Process& p = players_[index];
    int code = -1000;
    waitUntil(
        [&] {
          drain(p);
          int status = 0;
          if (p.pid > 0 && waitpid(p.pid, &status, WNOHANG) == p.pid) {
            drain(p);
            p.pid = -1;
            code = WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status);
          }
          return p.pid < 0;
        },
        timeoutMs);
    return code;
  }

  bool stillRuns(size_t index) { return exitOf(index, 0) == -1000; }

  std::string errOf(size_t index) {
    drain(players_[index]);
    return players_[index].err;
  }

  int width() {
    int w, h;
    rootSize(probe_, &w, &h);
    return w;
  }
  int height() {
    int w, h;
    rootSize(probe_, &w, &h);
    return h;
  }

  // The show's rectangle at its place and the desktop around it.
  bool showsTheRectangleOverTheDesktop() {
    int x = width() / 2, y = height() / 2;
    return near(rootPixel(probe_, x + 50, y + 40), kRectColour) && near(rootPixel(probe_, x + 5, y + 5), kRectColour) &&
           near(rootPixel(probe_, x + 94, y + 74), kRectColour) &&
           near(rootPixel(probe_, x - 10, y + 40), kDesktopColour) &&
           near(rootPixel(probe_, x + 110, y + 40), kDesktopColour) &&
           near(rootPixel(probe_, x + 50, y - 10), kDesktopColour) &&
           near(rootPixel(probe_, x + 50, y + 90), kDesktopColour) && near(rootPixel(probe_, 10, 10), kDesktopColour);
  }

  std::string pixelsSeen() {
    int x = width() / 2, y = height() / 2;
    char text[96];
    std::snprintf(text, sizeof text, "inside %06x, left %06x, corner %06x", rootPixel(probe_, x + 50, y + 40),
                  rootPixel(probe_, x - 10, y + 40), rootPixel(probe_, 10, 10));
    return text;
  }

  Display* probe_ = nullptr;
  Display* shared_ = nullptr;  // the shared display's probe while a test uses its own server
  std::string sharedName_;
  int lock_ = -1;
  XErrorHandler oldHandler_ = nullptr;
  std::string dir_, runtime_;
  std::vector<Process> players_;
  std::vector<pid_t> helpers_;
};

TEST_F(X11Player, APlainShowDrawsOverTheDesktopAndAClickEndsIt) {
  size_t player = startPlayer({});
  EXPECT_TRUE(waitUntil([&] { return showsTheRectangleOverTheDesktop(); })) << pixelsSeen() << "\n" << errOf(player);
  ::Window w = 0;
  ASSERT_TRUE(waitUntil([&] { return (w = viewableShowWindow(probe_)) != 0; }));
  EXPECT_TRUE(stillRuns(player)) << "a show without a limit runs until the user ends it";
  ASSERT_TRUE(run("xdotool mousemove 100 100 click 1"));
  EXPECT_EQ(exitOf(player), 0) << errOf(player);
  EXPECT_TRUE(waitUntil([&] { return viewableShowWindow(probe_) == 0; }));
}

TEST_F(X11Player, APlainShowEndsOnEnter) {
  setenv("TESSARIL_OVERLAY", "live", 1);  // no compositor runs here: said once, then the snapshot
  size_t player = startPlayer({});
  unsetenv("TESSARIL_OVERLAY");
  EXPECT_TRUE(waitUntil([&] { return showsTheRectangleOverTheDesktop(); })) << pixelsSeen() << "\n" << errOf(player);
  ::Window w = 0;
  ASSERT_TRUE(waitUntil([&] { return (w = viewableShowWindow(probe_)) != 0 && focusIs(probe_, w); }))
      << "the show's window did not take the keyboard focus";
  ASSERT_TRUE(run("xdotool key Return"));
  EXPECT_EQ(exitOf(player), 0) << errOf(player);
  EXPECT_EQ(errOf(player), "tessaril: TESSARIL_OVERLAY=live needs a compositing manager and none runs; the show "
                           "plays over a snapshot of the screen\n");
}

TEST_F(X11Player, TheResidentIconPlaysTheNormalShowAndASecondResidentStartEndsItAfterTheNotice) {
  Atom selection = XInternAtom(probe_, "_NET_SYSTEM_TRAY_S0", False);
  ASSERT_EQ(XGetSelectionOwner(probe_, selection), 0u) << "a tray host runs already";
  ASSERT_GT(startTrayHost(), 0) << "trayer did not take the tray selection";

  size_t first = startPlayer({"-s"});
  ::Window icon = 0;
  ASSERT_TRUE(waitUntil([&] { return (icon = viewableEmbedded(probe_, "Tessaril")) != 0; }))
      << "the icon did not dock\n" << errOf(first);
  EXPECT_EQ(viewableShowWindow(probe_), 0u) << "a resident start maps no window";
  EXPECT_TRUE(run("xdotool search --name Tessaril >/dev/null"));

  ASSERT_TRUE(run("xdotool mousemove --window " + std::to_string(icon) + " 4 4 click 1"));
  ::Window show = 0;
  ASSERT_TRUE(waitUntil([&] { return (show = viewableShowWindow(probe_)) != 0; }))
      << "a click on the icon did not play the show\n" << errOf(first);
  EXPECT_TRUE(waitUntil([&] { return showsTheRectangleOverTheDesktop(); })) << pixelsSeen();

  ASSERT_TRUE(run("xdotool mousemove 100 100 click 1"));
  EXPECT_TRUE(waitUntil([&] { return viewableShowWindow(probe_) == 0; })) << "the click did not stop the show";
  EXPECT_TRUE(stillRuns(first)) << "the resident process goes on after its show\n" << errOf(first);
  EXPECT_NE(viewableEmbedded(probe_, "Tessaril"), 0u) << "the icon stays";

  size_t second = startPlayer({"-s"});
  ::Window box = 0;
  ASSERT_TRUE(waitUntil([&] { return (box = viewableTopLevel(probe_, "メッセージ")) != 0; }))
      << "no box titled メッセージ\n" << errOf(first);
  EXPECT_TRUE(waitUntil([&] { return focusIs(probe_, box); })) << "the box did not take the keyboard focus";
  EXPECT_TRUE(stillRuns(first)) << "the first process waits for the box";
  ASSERT_TRUE(run("xdotool key Return"));
  EXPECT_EQ(exitOf(first), 0) << errOf(first);
  EXPECT_EQ(exitOf(second), 0) << errOf(second);
  EXPECT_TRUE(waitUntil([&] { return viewableEmbedded(probe_, "Tessaril") == 0; })) << "the icon left with the process";
}

TEST_F(X11Player, APlainShowEndsOnTheWindowManagersClose) {
  size_t player = startPlayer({});
  ::Window w = 0;
  ASSERT_TRUE(waitUntil([&] { return (w = viewableShowWindow(probe_)) != 0 && showsTheRectangleOverTheDesktop(); }))
      << pixelsSeen() << "\n" << errOf(player);
  EXPECT_TRUE(takesCloseRequests(probe_, w)) << "a window manager would kill the client instead of asking";
  askToClose(probe_, w);
  EXPECT_EQ(exitOf(player), 0) << errOf(player);
  EXPECT_TRUE(waitUntil([&] { return viewableShowWindow(probe_) == 0; }));
}

TEST_F(X11Player, TheResidentIconDocksInARestartedTrayHostAndStillPlaysTheNormalShow) {
  Atom selection = XInternAtom(probe_, "_NET_SYSTEM_TRAY_S0", False);
  ASSERT_EQ(XGetSelectionOwner(probe_, selection), 0u) << "a tray host runs already";
  pid_t tray = startTrayHost();
  ASSERT_GT(tray, 0) << "trayer did not take the tray selection";
  size_t player = startPlayer({"-s"});
  ASSERT_TRUE(waitUntil([&] { return viewableEmbedded(probe_, "Tessaril") != 0; }))
      << "the icon did not dock\n" << errOf(player);

  stopHelper(tray);
  ASSERT_TRUE(waitUntil([&] { return XGetSelectionOwner(probe_, selection) == 0; }));
  EXPECT_TRUE(waitUntil([&] { return viewableEmbedded(probe_, "Tessaril") == 0; })) << "the icon left with its host";
  EXPECT_TRUE(waitUntil([&] { return viewableTopLevel(probe_, "Tessaril") == 0; }))
      << "an icon handed back to the root stays out of sight";
  EXPECT_TRUE(stillRuns(player)) << "the resident process outlives its tray host\n" << errOf(player);

  ASSERT_GT(startTrayHost(), 0) << "the second trayer did not take the tray selection";
  ::Window icon = 0;
  ASSERT_TRUE(waitUntil([&] { return (icon = viewableEmbedded(probe_, "Tessaril")) != 0; }))
      << "the icon did not dock in the new tray host\n" << errOf(player);
  ASSERT_TRUE(run("xdotool mousemove --window " + std::to_string(icon) + " 4 4 click 1"));
  ASSERT_TRUE(waitUntil([&] { return viewableShowWindow(probe_) != 0; }))
      << "a click on the docked icon did not play the show\n" << errOf(player);
  EXPECT_TRUE(waitUntil([&] { return showsTheRectangleOverTheDesktop(); })) << pixelsSeen();
  ASSERT_TRUE(run("xdotool mousemove 100 100 click 1"));
  EXPECT_TRUE(waitUntil([&] { return viewableShowWindow(probe_) == 0; })) << "the click did not stop the show";
  EXPECT_TRUE(stillRuns(player)) << errOf(player);
  EXPECT_EQ(errOf(player), "") << "the lost tray host caused errors";
}

// On a private Xvfb, so the shared screen keeps its size. Xvfb's RandR never
// makes the screen larger than it started, so it starts square and is given a
// landscape mode and a portrait one.
TEST_F(X11Player, ATurnOfTheScreenStopsTheShowAndStartsItAgain3000MsLaterAtTheNewSize) {
  std::string own = startOwnXvfb("640x640x24");
  ASSERT_FALSE(own.empty()) << "the private Xvfb did not start";
  ASSERT_TRUE(useDisplay(own));
  if (!run("xrandr --newmode 640x480 0 640 0 0 0 480 0 0 0 && xrandr --newmode 480x640 0 480 0 0 0 640 0 0 0 && "
           "xrandr --addmode screen 640x480 && xrandr --addmode screen 480x640 && "
           "xrandr --output screen --mode 640x480") ||
      width() != 640 || height() != 480) {
    const char* ci = std::getenv("CI");
    const char* why = "this Xvfb's RandR does not set a 640x480 mode on its output \"screen\"";
    if (ci != nullptr && std::string(ci) == "true") FAIL() << "cannot turn the screen: " << why;
    GTEST_SKIP() << "cannot turn the screen: " << why;
  }
  ASSERT_TRUE(run("xsetroot -solid '#336699'"));
  size_t player = startPlayer({});
  ASSERT_TRUE(waitUntil([&] { return viewableShowWindow(probe_) != 0 && showsTheRectangleOverTheDesktop(); }))
      << pixelsSeen() << "\n" << errOf(player);

  auto turned = std::chrono::steady_clock::now();
  ASSERT_TRUE(run("xrandr --output screen --mode 480x640"));
  ASSERT_EQ(width(), 480);
  EXPECT_TRUE(waitUntil([&] { return viewableShowWindow(probe_, true) == 0; })) << "the turn did not stop the show";
  ASSERT_TRUE(waitUntil([&] { return viewableShowWindow(probe_) != 0 && showsTheRectangleOverTheDesktop(); }))
      << "the show did not start again over the turned screen\n" << pixelsSeen() << "\n" << errOf(player);
  // The restart's timer is set when the size change arrives, after `turned`;
  // 200 ms allow for the steps of the clocks.
  auto waited = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - turned);
  EXPECT_GE(waited.count(), 2800) << "the show started again before its 3000 ms";
  ASSERT_TRUE(run("xdotool mousemove 100 100 click 1"));
  EXPECT_EQ(exitOf(player), 0) << errOf(player);
  EXPECT_EQ(errOf(player), "") << "the turn caused errors";
}

TEST_F(X11Player, ALoadErrorShowsItsBoxAndEnterEndsTheProgram) {
  size_t player = startPlayer({"-f", "missing.txt"});
  ::Window box = 0;
  ASSERT_TRUE(waitUntil([&] { return (box = viewableTopLevel(probe_, "ファイルの確認だ")) != 0; }))
      << "no box titled ファイルの確認だ\n" << errOf(player);
  EXPECT_TRUE(waitUntil([&] { return focusIs(probe_, box); })) << "the box did not take the keyboard focus";
  EXPECT_TRUE(stillRuns(player)) << "the program waits for the box";
  ASSERT_TRUE(run("xdotool key Return"));
  EXPECT_EQ(exitOf(player), 0) << errOf(player);
  EXPECT_EQ(viewableTopLevel(probe_, "ファイルの確認だ"), 0u);
}

}  // namespace

namespace {

constexpr uint32_t kLogoColour = 0xDDCC22;

TEST_F(X11Player, UnderACompositorAShowPlaysOverTheLiveDesktopAndATapOrReturnEndsIt) {
  ASSERT_TRUE(startDesktop({"picom", "--backend", "xrender"}, "_NET_WM_CM_S0")) << "picom did not start";
  overlay_show::writeShow(dir_);
  // A window partly under the sprite; the middles of its top and bottom edges show its background.
  ASSERT_GT(startHelper({"xlogo", "-bg", "#DDCC22", "-geometry", "100x100+158+118"}), 0);
  ASSERT_TRUE(waitUntil([&] { return near(rootPixel(probe_, 208, 212), kLogoColour, 0); }));
  size_t player = startPlayer({});
  uint32_t blend = overlay_show::spriteOver(kLogoColour);
  EXPECT_TRUE(waitUntil([&] { return showsTheRectangleOverTheDesktop() && near(rootPixel(probe_, 200, 125), blend, 2); }))
      << pixelsSeen() << ", sprite " << std::hex << rootPixel(probe_, 200, 125) << " for " << blend << "\n" << errOf(player);
  EXPECT_TRUE(near(rootPixel(probe_, 208, 212), kLogoColour, 2)) << "the window beside the show";
  ASSERT_TRUE(run("xdotool search --name '^xlogo$' windowmove 20 300"));
  EXPECT_TRUE(waitUntil([&] {
    return near(rootPixel(probe_, 70, 394), kLogoColour, 2) && near(rootPixel(probe_, 208, 212), kDesktopColour, 2);
  })) << "the window moved under the show does not show at its new place";
  ASSERT_TRUE(run("xdotool mousemove 100 100 click 1"));
  EXPECT_EQ(exitOf(player), 0) << errOf(player);
  player = startPlayer({});
  ASSERT_TRUE(waitUntil([&] { return viewableShowWindow(probe_) != 0 && showsTheRectangleOverTheDesktop(); }));
  ASSERT_TRUE(run("xdotool key Return"));
  EXPECT_EQ(exitOf(player), 0) << errOf(player);
}

TEST_F(X11Player, UnderACompositorTheTrayIconPlaysTheNormalShowAndTheNoticeBoxIsAboveIt) {
  ASSERT_TRUE(startDesktop({"picom", "--backend", "xrender"}, "_NET_WM_CM_S0")) << "picom did not start";
  ASSERT_GT(startTrayHost(), 0) << "trayer did not take the tray selection";
  size_t first = startPlayer({"-s"});
  ::Window icon = 0;
  ASSERT_TRUE(waitUntil([&] { return (icon = viewableEmbedded(probe_, "Tessaril")) != 0; })) << errOf(first);
  ASSERT_TRUE(run("xdotool mousemove --window " + std::to_string(icon) + " 4 4 click 1"));
  EXPECT_TRUE(waitUntil([&] { return viewableShowWindow(probe_) != 0 && showsTheRectangleOverTheDesktop(); }))
      << pixelsSeen() << "\n" << errOf(first);
  size_t second = startPlayer({"-s"});
  ::Window box = 0;
  ASSERT_TRUE(waitUntil([&] { return (box = viewableTopLevel(probe_, "メッセージ")) != 0; })) << errOf(first);
  XWindowAttributes a;
  ASSERT_NE(XGetWindowAttributes(probe_, box, &a), 0);
  // The box's lower right corner lies over the show's rectangle.
  EXPECT_TRUE(waitUntil([&] { return near(rootPixel(probe_, a.x + a.width - 4, a.y + a.height - 4), 0xECECEC, 2); }))
      << "under the box's corner: " << std::hex << rootPixel(probe_, a.x + a.width - 4, a.y + a.height - 4);
  ASSERT_TRUE(run("xdotool key Return"));
  EXPECT_EQ(exitOf(first), 0) << errOf(first);
  EXPECT_EQ(exitOf(second), 0) << errOf(second);
}

TEST_F(X11Player, UnderAWindowManagerOneReturnClosesABoxAndAResidentStartLeavesNoWindow) {
  ASSERT_TRUE(startDesktop({"openbox"}, "_NET_SUPPORTING_WM_CHECK")) << "openbox did not start";
  size_t failed = startPlayer({"-f", "missing.txt"});
  ASSERT_TRUE(waitUntil([&] { return viewableEmbedded(probe_, "ファイルの確認だ") != 0; })) << errOf(failed);
  ASSERT_TRUE(run("xdotool key Return"));
  EXPECT_EQ(exitOf(failed), 0) << errOf(failed);
  size_t resident = startPlayer({"-s"});
  EXPECT_TRUE(waitUntil([&] { return run("xdotool search --class '^Tessaril$' >/dev/null"); })) << errOf(resident);
  std::this_thread::sleep_for(std::chrono::milliseconds(1500));  // time for a late map to land
  EXPECT_FALSE(run("xdotool search --onlyvisible --class '^Tessaril$' >/dev/null")) << "a resident start shows a window";
  EXPECT_TRUE(stillRuns(resident)) << errOf(resident);
}

}  // namespace
