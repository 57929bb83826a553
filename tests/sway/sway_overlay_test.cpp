// The real player through Xwayland on sway headless (tests/support/sway_session.h):
// a show plays over sway's desktop colour (the live overlay: an X client
// reads Xwayland's screen back black) with its translucent sprite blended over
// that colour, Return ends it and closes a box, and resident starts as the first client of a
// fresh Xwayland leave no window on the screen.
//
// Each test starts its own sway; one that cannot start says why and fails.
// Screenshots come from grim; TESSARIL_SCREENSHOT_DIR, when set, keeps them.
#include <gtest/gtest.h>

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <functional>
#include <thread>

#include "support/overlay_show.h"
#include "support/sway_session.h"

namespace {

using sway_test::nearColour;
using sway_test::Screenshot;

constexpr uint32_t kDesktop = 0x3355AA;
constexpr int kWidth = 640, kHeight = 480;

// Polls done() every 100 ms until it holds or timeoutMs pass; returns done().
bool waitUntil(const std::function<bool()>& done, int timeoutMs = 20000) {
  auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (!done()) {
    if (std::chrono::steady_clock::now() >= end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  return true;
}

int ignoreXError(Display*, XErrorEvent*) { return 0; }

// The map state of the player's top-level window (class Tessaril): -1 when it has none.
int playerWindowState(Display* d) {
  ::Window root, up, *children = nullptr;
  unsigned int count = 0;
  int state = -1;
  XQueryTree(d, DefaultRootWindow(d), &root, &up, &children, &count);
  for (unsigned int i = 0; i < count; ++i) {
    XClassHint hint{};
    XWindowAttributes a;
    if (XGetClassHint(d, children[i], &hint) == 0) continue;
    if (std::string(hint.res_class) == "Tessaril" && XGetWindowAttributes(d, children[i], &a) != 0) {
      state = std::max(state, a.map_state);
    }
    XFree(hint.res_name);
    XFree(hint.res_class);
  }
  if (children != nullptr) XFree(children);
  return state;
}

class SwayOverlay : public ::testing::Test {
 protected:
  void SetUp() override { XSetErrorHandler(ignoreXError); }

  // A fresh sway with the player's directory: a copy of the binary and the show.
  void startSway() {
    std::string why;
    ASSERT_TRUE(sway_.start({kWidth, kHeight, kDesktop, true}, &why)) << "cannot run the sway tests: " << why;
    dir_ = sway_.makeUserDir("player");
    ASSERT_FALSE(dir_.empty());
    ASSERT_EQ(std::system(("cp '" TESSARIL_BINARY "' '" + dir_ + "/tessaril'").c_str()), 0);
    overlay_show::writeShow(dir_);
  }

  pid_t startPlayer(const std::vector<std::string>& args, const std::string& overlay = "") {
    std::vector<std::string> argv = {dir_ + "/tessaril"};
    argv.insert(argv.end(), args.begin(), args.end());
    return sway_.spawn(argv, {"TESSARIL_BACKEND=x11", "TESSARIL_POWER=headless", "TESSARIL_OVERLAY=" + overlay});
  }

  bool screenshot(Screenshot* shot, const std::string& name) {
    const char* keep = std::getenv("TESSARIL_SCREENSHOT_DIR");
    std::string why;
    bool ok = sway_.screenshot(shot, &why, keep != nullptr ? std::string(keep) + "/" + name : "");
    EXPECT_TRUE(ok) << why;
    return ok;
  }

  sway_test::SwaySession sway_;
  std::string dir_;
};

TEST_F(SwayOverlay, AShowPlaysOverTheDesktopThroughXwaylandAndReturnEndsIt) {
  startSway();
  pid_t player = startPlayer({});
  Screenshot shot;
  int cx = kWidth / 2, cy = kHeight / 2, sx = kWidth / 4 + 30, sy = kHeight / 4 + 30;
  EXPECT_TRUE(waitUntil([&] {
    return screenshot(&shot, "sway-show.png") && nearColour(shot.at(cx + 50, cy + 40), overlay_show::kRectColour, 2) &&
           !nearColour(shot.at(sx, sy), kDesktop, 2);
  })) << "no show; the middle shows " << std::hex << shot.at(cx + 50, cy + 40) << "\n" << sway_.output(player);
  EXPECT_TRUE(nearColour(shot.at(cx - 10, cy + 40), kDesktop, 2)) << "beside the show: " << std::hex << shot.at(cx - 10, cy + 40);
  EXPECT_TRUE(nearColour(shot.at(10, 10), kDesktop, 2)) << "the corner: " << std::hex << shot.at(10, 10);
  EXPECT_TRUE(nearColour(shot.at(sx, sy), overlay_show::spriteOver(kDesktop), 2))
      << "the sprite shows " << std::hex << shot.at(sx, sy) << ", the blend is " << overlay_show::spriteOver(kDesktop);
  EXPECT_EQ(sway_.keyWhileRunning("Return", player), 0) << sway_.output(player);
  // Asked for the snapshot, the player plays over Xwayland's black screen but says so.
  pid_t snapshot = startPlayer({}, "snapshot");
  EXPECT_TRUE(waitUntil([&] { return sway_.output(snapshot).find("reads back all black") != std::string::npos; }));
  // Its window is an ordinary managed one, which sway need not focus at once
  // on a loaded machine: Return is the live window's check above, so this one
  // is simply ended.
  sway_.kill(snapshot);
  // The load-error box shows (its face colour fills much of the screen's middle) and Return closes it.
  pid_t failed = startPlayer({"-f", "missing.txt"});
  EXPECT_TRUE(waitUntil([&] {
    return screenshot(&shot, "sway-box.png") &&
           std::count(shot.rgb.begin(), shot.rgb.end(), 0xECECECu) > 10000;
  })) << sway_.output(failed);
  EXPECT_EQ(sway_.keyWhileRunning("Return", failed), 0) << sway_.output(failed);
}

// Each start is the first client of a new sway's Xwayland, as at login;
// every other one plays over the snapshot, where the window is managed.
TEST_F(SwayOverlay, TenFreshResidentStartsLeaveNoWindowOnTheScreen) {
  for (int start = 0; start < 10; ++start) {
    SCOPED_TRACE("start " + std::to_string(start));
    startSway();
    pid_t player = startPlayer({"-s"}, start % 2 == 0 ? "" : "snapshot");
    // Xwayland lets only its own user in: the player connects first, then root is let in.
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    ASSERT_EQ(sway_.runTool({"xhost", "+si:localuser:root"}), 0);
    Display* d = XOpenDisplay(sway_.x11Display().c_str());
    ASSERT_NE(d, nullptr);
    EXPECT_TRUE(waitUntil([&] { return playerWindowState(d) >= 0; })) << sway_.output(player);
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));  // time for a late map to land
    EXPECT_EQ(playerWindowState(d), IsUnmapped) << sway_.output(player);
    XCloseDisplay(d);
    Screenshot shot;
    if (screenshot(&shot, "sway-resident.png")) {
      EXPECT_TRUE(nearColour(shot.at(kWidth / 2, kHeight / 2), kDesktop, 2)) << std::hex << shot.at(kWidth / 2, kHeight / 2);
    }
    EXPECT_EQ(sway_.waitExit(player, 0), -1000) << "the resident player ended\n" << sway_.output(player);
    sway_.stop();
  }
}

}  // namespace
