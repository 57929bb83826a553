// The real player process on the x11 backend (scripts/test starts Xvfb): a
// plain show drawn over the desktop and ended by a window manager's close, the
// resident icon in a real tray host and in the one started after it, the
// leaving notice's box of a second start, a turn of the screen that restarts
// the show, and (each on a private Xvfb) the live overlay under picom over a
// moving window, ended by a click and by Return, with the tray and box beside
// it, and openbox's load-error box and resident start. Every box is checked
// by answerBox: its titles, the keyboard focus, Return closing it.
//
// Each test starts the player from a scratch directory holding a copy of the
// binary, its schedule and its show (tests/support/player_process.h). The tests
// take turns on the screen with the backend tests (tests/x11/x11_harness.h).
#include <X11/Xatom.h>
#include <poll.h>

#include "tests/support/overlay_show.h"
#include "tests/support/player_process.h"
#include "tests/x11/x11_harness.h"

namespace {

using namespace x11_harness;

// Every case plays the overlay show (tests/support/overlay_show.h): its filled
// 100x80 rectangle at the centre and its translucent sprite, over the screen's
// own picture (no background).
using overlay_show::kRectColour;
constexpr uint32_t kDesktopColour = 0x336699;
constexpr uint32_t kLogoColour = 0xDDCC22;
// Per channel: the painter's alpha blend of an opaque fill may round by a step.
constexpr int kTolerance = 8;

using overlay_show::nearColour;

// The player's viewable top-level window (class Tessaril; a resident player's
// window has no title) of the screen's size, or of any size when anySize, or 0.
::Window viewableShowWindow(Display* d, bool anySize = false) {
  XWindowAttributes screen = rootSize(d);
  ::Window found = 0;
  walk(d, DefaultRootWindow(d), 1, [&](::Window w, int depth) {
    XWindowAttributes a;
    if (depth != 1 || XGetWindowAttributes(d, w, &a) == 0 || a.map_state != IsViewable) return false;
    bool sized = anySize || (a.width == screen.width && a.height == screen.height);
    if (sized && windowClass(d, w) == "Tessaril") found = w;
    return found != 0;
  });
  return found;
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
  if (XGetWMProtocols(d, w, &protocols, &count) == 0) return false;
  bool found = std::find(protocols, protocols + count, XInternAtom(d, "WM_DELETE_WINDOW", False)) != protocols + count;
  XFree(protocols);
  return found;
}

// A window that closes between two requests of a lookup only makes that lookup
// miss it; Xlib's default handler would end the test program.
int ignoreXError(Display*, XErrorEvent*) { return 0; }

class X11Player : public X11Screen {
 protected:
  void SetUp() override {
    X11Screen::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    oldHandler_ = XSetErrorHandler(ignoreXError);
    ASSERT_TRUE(player_.ready());
    overlay_show::writeShow(player_.dir());
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
    for (size_t i = 0; i < players_; ++i) player_.kill(i);
    X11Screen::TearDown();
    if (oldHandler_ != nullptr) XSetErrorHandler(oldHandler_);
  }

  // Starts the player on the x11 backend with args and TESSARIL_OVERLAY; TearDown kills it if the test does not.
  size_t startPlayer(const std::vector<std::string>& args, const std::string& overlay = "") {
    ++players_;
    return player_.start(args, {{"TESSARIL_BACKEND", "x11"},
                                {"TESSARIL_POWER", "headless"},
                                {"TESSARIL_OVERLAY", overlay},
                                {"TESSARIL_TRAY", "xembed"}});  // the tray host's icon, even beside a watcher
  }
  int exitOf(size_t index) { return player_.waitExit(index, kWaitMs); }
  bool stillRuns(size_t index) { return player_.stillRuns(index); }
  std::string errOf(size_t index) { return player_.err(index); }

  // Starts a private Xvfb with the given -screen argument and moves the test,
  // its probe and the programs it starts there until TearDown, which stops
  // that server after the players; false when it does not start or open.
  bool useOwnXvfb(const std::string& screen) {
    int fds[2];
    if (pipe(fds) != 0) return false;
    pid_t pid = startHelper({"Xvfb", "-displayfd", "3", "-screen", "0", screen, "-nolisten", "tcp", "-noreset"},
                            fds[1]);
    close(fds[1]);
    std::string name = ":";
    pollfd ready{fds[0], POLLIN, 0};
    char c;
    while (pid > 0 && poll(&ready, 1, kWaitMs) == 1 && read(fds[0], &c, 1) == 1 && c != '\n') name += c;
    close(fds[0]);
    Display* d = name.size() > 1 ? XOpenDisplay(name.c_str()) : nullptr;
    if (d == nullptr) return false;
    shared_ = probe_;
    sharedName_ = std::getenv("DISPLAY");
    probe_ = d;
    setenv("DISPLAY", name.c_str(), 1);
    flock(lock_, LOCK_UN);  // the shared screen is free for the other tests
    return true;
  }

  // Moves the test to a private 640x480 Xvfb, the desktop colour also its root pixmap (what a compositor paints)
  // and its keyboard primed (a fresh server loses xdotool's first key), and starts program there; true once it
  // owns the selection name or has set that property on the root.
  bool startDesktop(const std::vector<std::string>& program, const char* name) {
    if (!useOwnXvfb("640x480x24") || !run("xsetroot -solid '#336699' && xdotool key shift")) return false;
    ::Window root = DefaultRootWindow(probe_);
    char bit = 0;
    Pixmap tile = XCreatePixmapFromBitmapData(probe_, root, &bit, 1, 1, kDesktopColour, kDesktopColour,
                                              unsigned(DefaultDepth(probe_, 0)));
    XChangeProperty(probe_, root, XInternAtom(probe_, "_XROOTPMAP_ID", False), XA_PIXMAP, 32, PropModeReplace,
                    reinterpret_cast<unsigned char*>(&tile), 1);
    Atom atom = XInternAtom(probe_, name, False), type = 0;
    int format;
    unsigned long count, after;
    return startHelper(program) > 0 && waitUntil([&] {
      unsigned char* data = nullptr;
      XGetWindowProperty(probe_, root, atom, 0, 1, False, AnyPropertyType, &type, &format, &count, &after, &data);
      XFree(data);
      return XGetSelectionOwner(probe_, atom) != 0 || type != 0;
    });
  }

  // The show's rectangle at its place and the desktop around it, to the screen's corners.
  bool showsTheRectangleOverTheDesktop() {
    int x = rootSize(probe_).width / 2, y = rootSize(probe_).height / 2;
    const struct {
      int x, y;
      uint32_t colour;
    } points[] = {{x + 50, y + 40, kRectColour},    {x + 5, y + 5, kRectColour},       {x + 94, y + 74, kRectColour},
                  {x - 10, y + 40, kDesktopColour}, {x + 110, y + 40, kDesktopColour}, {x + 50, y - 10, kDesktopColour},
                  {x + 50, y + 90, kDesktopColour}, {10, 10, kDesktopColour}, {2 * x - 1, 2 * y - 1, kDesktopColour}};
    for (const auto& p : points) {
      if (!nearColour(rootPixel(probe_, p.x, p.y), p.colour, kTolerance)) return false;
    }
    return true;
  }

  // Waits for the player's show: its window and the rectangle over the
  // desktop. A failure says what the screen showed and what the player wrote.
  ::testing::AssertionResult showComesUp(size_t player) {
    bool up = waitUntil([&] { return viewableShowWindow(probe_) != 0 && showsTheRectangleOverTheDesktop(); });
    int x = rootSize(probe_).width / 2, y = rootSize(probe_).height / 2;
    return (up ? ::testing::AssertionSuccess() : ::testing::AssertionFailure())
           << "no show: inside " << std::hex << rootPixel(probe_, x + 50, y + 40) << ", left "
           << rootPixel(probe_, x - 10, y + 40) << ", corner " << rootPixel(probe_, 10, 10) << "\n" << errOf(player);
  }

  // Sees the box titled title shown (where: a window manager's frame may hold
  // it) and given the keyboard focus while the program behind it waits; one
  // Return closes it and that program ends with 0.
  void answerBox(const std::string& title, size_t waiting, Where where = Where::TopLevel) {
    ::Window box = 0;
    ASSERT_TRUE(waitUntil([&] { return (box = findViewable(probe_, title, where)) != 0; }))
        << "no box titled " << title << "\n" << errOf(waiting);
    EXPECT_EQ(windowText(probe_, box, "WM_NAME"), title) << "the title as a window manager without EWMH reads it";
    EXPECT_TRUE(waitUntil([&] { return focusIs(probe_, box); })) << "the box did not take the keyboard focus";
    EXPECT_TRUE(stillRuns(waiting)) << "the program waits for the box";
    ASSERT_TRUE(run("xdotool key Return"));
    EXPECT_EQ(exitOf(waiting), 0) << errOf(waiting);
    EXPECT_FALSE(exists(probe_, box)) << "the box stayed";
  }

  // Clicks the docked icon and checks that the show plays, then clicks it away.
  void clickIconAndSeeTheShow(::Window icon, size_t player) {
    ASSERT_TRUE(click(4, 4, icon));
    ASSERT_TRUE(showComesUp(player)) << "after a click on the icon";
    ASSERT_TRUE(click(100, 100));
    EXPECT_TRUE(waitUntil([&] { return viewableShowWindow(probe_) == 0; })) << "the click did not stop the show";
    EXPECT_TRUE(stillRuns(player)) << "the resident process goes on after its show\n" << errOf(player);
  }

  player_process::PlayerDir player_;
  size_t players_ = 0;
  Display* shared_ = nullptr;  // the shared display's probe while a test uses its own server
  std::string sharedName_;
  XErrorHandler oldHandler_ = nullptr;
};

// No compositor runs here: a live overlay asked for says so in one line and
// the show plays over the snapshot, until a window manager asks its window to
// close. (A click and Return end the shows of the later tests; the backend's
// own test checks the messages they become.)
TEST_F(X11Player, APlainShowDrawsOverTheDesktopAndTheWindowManagersCloseEndsIt) {
  size_t player = startPlayer({}, "live");
  ASSERT_TRUE(showComesUp(player));
  ::Window w = viewableShowWindow(probe_);
  EXPECT_TRUE(takesCloseRequests(probe_, w)) << "a window manager would kill the client instead of asking";
  askToClose(probe_, w);
  EXPECT_EQ(exitOf(player), 0) << errOf(player);
  EXPECT_EQ(errOf(player), "tessaril: TESSARIL_OVERLAY=live needs a compositing manager and none runs; the show "
                           "plays over a snapshot of the screen\n");
  EXPECT_TRUE(waitUntil([&] { return viewableShowWindow(probe_) == 0; }));
}

// The resident icon docks in a tray host, plays the normal show when tapped,
// docks again in the tray host started after the first one ended, and a
// second resident start ends the program after the leaving notice.
TEST_F(X11Player, TheResidentIconPlaysTheNormalShowInEveryTrayHostUntilASecondResidentStartEndsIt) {
  pid_t tray = startTrayHost();
  ASSERT_GT(tray, 0) << "trayer did not take the tray selection, or a tray host runs already";
  size_t first = startPlayer({"-s"});
  ::Window icon = 0;
  ASSERT_TRUE(waitUntil([&] { return (icon = findViewable(probe_, "Tessaril", Where::Embedded)) != 0; }))
      << "the icon did not dock\n" << errOf(first);
  EXPECT_EQ(viewableShowWindow(probe_), 0u) << "a resident start maps no window";
  clickIconAndSeeTheShow(icon, first);

  ASSERT_TRUE(stopTrayHost(tray));
  EXPECT_TRUE(waitUntil([&] { return findViewable(probe_, "Tessaril", Where::Embedded) == 0; }))
      << "the icon left with its host";
  EXPECT_TRUE(waitUntil([&] { return findViewable(probe_, "Tessaril", Where::TopLevel) == 0; }))
      << "an icon handed back to the root stays out of sight";
  EXPECT_TRUE(stillRuns(first)) << "the resident process outlives its tray host\n" << errOf(first);
  ASSERT_GT(startTrayHost(), 0) << "the second trayer did not take the tray selection";
  ASSERT_TRUE(waitUntil([&] { return (icon = findViewable(probe_, "Tessaril", Where::Embedded)) != 0; }))
      << "the icon did not dock in the new tray host\n" << errOf(first);
  clickIconAndSeeTheShow(icon, first);
  EXPECT_EQ(errOf(first), "") << "the lost tray host caused errors";

  size_t second = startPlayer({"-s"});
  answerBox("メッセージ", first);
  EXPECT_EQ(exitOf(second), 0) << errOf(second);
  EXPECT_TRUE(waitUntil([&] { return findViewable(probe_, "Tessaril", Where::Embedded) == 0; }))
      << "the icon left with the process";
}

// On a private Xvfb, so the shared screen keeps its size. Xvfb's RandR never
// makes the screen larger than it started, so it starts square and is given a
// landscape mode and a portrait one.
TEST_F(X11Player, ATurnOfTheScreenStopsTheShowAndStartsItAgain3000MsLaterAtTheNewSize) {
  ASSERT_TRUE(useOwnXvfb("640x640x24")) << "the private Xvfb did not start";
  if (!run("xrandr --newmode 640x480 0 640 0 0 0 480 0 0 0 && xrandr --newmode 480x640 0 480 0 0 0 640 0 0 0 && "
           "xrandr --addmode screen 640x480 && xrandr --addmode screen 480x640 && "
           "xrandr --output screen --mode 640x480") ||
      rootSize(probe_).width != 640 || rootSize(probe_).height != 480) {
    return cannotRun("cannot turn the screen: this Xvfb's RandR does not set a 640x480 mode on its output \"screen\"");
  }
  ASSERT_TRUE(run("xsetroot -solid '#336699'"));
  size_t player = startPlayer({});
  ASSERT_TRUE(showComesUp(player));

  auto turned = std::chrono::steady_clock::now();
  ASSERT_TRUE(run("xrandr --output screen --mode 480x640"));
  ASSERT_EQ(rootSize(probe_).width, 480);
  EXPECT_TRUE(waitUntil([&] { return viewableShowWindow(probe_, true) == 0; })) << "the turn did not stop the show";
  ASSERT_TRUE(showComesUp(player)) << "the show did not start again over the turned screen";
  // The restart's timer is set when the size change arrives, after `turned`;
  // 200 ms allow for the steps of the clocks.
  auto waited = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - turned);
  EXPECT_GE(waited.count(), 2800) << "the show started again before its 3000 ms";
  ASSERT_TRUE(click(100, 100));
  EXPECT_EQ(exitOf(player), 0) << errOf(player);
  EXPECT_EQ(errOf(player), "") << "the turn caused errors";
}

// On a private Xvfb with picom: the live overlay over and around a moving
// window, a tap and Return ending it; then the tray icon's show with the
// notice box of a second resident start above it.
TEST_F(X11Player, UnderACompositorAShowPlaysOverTheLiveDesktopAndTheNoticeBoxIsAboveIt) {
  ASSERT_TRUE(startDesktop({"picom", "--backend", "xrender"}, "_NET_WM_CM_S0")) << "picom did not start";
  // A window partly under the sprite; the middles of its top and bottom edges show its background.
  ASSERT_GT(startHelper({"xlogo", "-bg", "#DDCC22", "-geometry", "100x100+158+118"}), 0);
  ASSERT_TRUE(waitUntil([&] { return nearColour(rootPixel(probe_, 208, 212), kLogoColour, 0); }));
  size_t player = startPlayer({});
  uint32_t blend = overlay_show::spriteOver(kLogoColour);
  EXPECT_TRUE(showComesUp(player));
  EXPECT_TRUE(waitUntil([&] { return nearColour(rootPixel(probe_, 200, 125), blend, 2); }))
      << "sprite " << std::hex << rootPixel(probe_, 200, 125) << " for " << blend;
  ASSERT_TRUE(run("xdotool search --name '^xlogo$' windowmove 20 300"));
  EXPECT_TRUE(waitUntil([&] {
    return nearColour(rootPixel(probe_, 70, 394), kLogoColour, 2) &&
           nearColour(rootPixel(probe_, 208, 212), kDesktopColour, 2);
  })) << "the window moved under the show does not show at its new place";
  ASSERT_TRUE(click(100, 100));
  EXPECT_EQ(exitOf(player), 0) << errOf(player);
  player = startPlayer({});
  ASSERT_TRUE(showComesUp(player));
  ASSERT_TRUE(run("xdotool key Return"));
  EXPECT_EQ(exitOf(player), 0) << errOf(player);

  ASSERT_GT(startTrayHost(), 0) << "trayer did not take the tray selection";
  size_t first = startPlayer({"-s"});
  ::Window icon = 0, box = 0;
  ASSERT_TRUE(waitUntil([&] { return (icon = findViewable(probe_, "Tessaril", Where::Embedded)) != 0; }))
      << errOf(first);
  ASSERT_TRUE(click(4, 4, icon));
  EXPECT_TRUE(showComesUp(first));
  size_t second = startPlayer({"-s"});
  ASSERT_TRUE(waitUntil([&] { return (box = findViewable(probe_, "メッセージ", Where::TopLevel)) != 0; }))
      << errOf(first);
  XWindowAttributes a;
  ASSERT_NE(XGetWindowAttributes(probe_, box, &a), 0);
  // The box's lower right corner lies over the show's rectangle.
  int x = a.x + a.width - 4, y = a.y + a.height - 4;
  EXPECT_TRUE(waitUntil([&] { return nearColour(rootPixel(probe_, x, y), 0xECECEC, 2); }))
      << "under the box's corner: " << std::hex << rootPixel(probe_, x, y);
  answerBox("メッセージ", first);
  EXPECT_EQ(exitOf(second), 0) << errOf(second);
}

TEST_F(X11Player, UnderAWindowManagerOneReturnClosesABoxAndAResidentStartLeavesNoWindow) {
  // The last root property of openbox's start: a box mapped before it sometimes stays unmapped.
  ASSERT_TRUE(startDesktop({"openbox"}, "_NET_CLIENT_LIST")) << "openbox did not start";
  answerBox("ファイルの確認だ", startPlayer({"-f", "missing.txt"}), Where::Anywhere);
  size_t resident = startPlayer({"-s"});
  EXPECT_TRUE(waitUntil([&] { return run("xdotool search --class '^Tessaril$' >/dev/null"); })) << errOf(resident);
  std::this_thread::sleep_for(std::chrono::milliseconds(1500));  // time for a late map to land
  EXPECT_FALSE(run("xdotool search --onlyvisible --class '^Tessaril$' >/dev/null"))
      << "a resident start shows a window";
  EXPECT_TRUE(stillRuns(resident)) << errOf(resident);
}

}  // namespace
