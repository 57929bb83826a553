// The real player through Xwayland on sway headless (tests/support/sway_session.h):
// a show plays over sway's desktop colour (the live overlay: an X client
// reads Xwayland's screen back black), Return ends it and closes a box, and
// resident starts as the first client of a fresh Xwayland leave no window on
// the screen. (How a compositor blends the show's translucent sprite over
// what lies beneath: the x11 player's case under picom.)
//
// Each test starts its own sway; one that cannot start says why and fails.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <thread>

#include "support/overlay_show.h"
#include "support/sway_session.h"

namespace {

using overlay_show::nearColour;
using sway_test::kDesktop;
using sway_test::Screenshot;
using sway_test::waitUntil;

constexpr int kWidth = 640, kHeight = 480;

class SwayOverlay : public ::testing::Test {
 protected:
  // A fresh sway with the player's directory: a copy of the binary and the show.
  void startSway() {
    std::string why;
    ASSERT_TRUE(sway_.start({kWidth, kHeight, true}, &why)) << "cannot run the sway tests: " << why;
    dir_ = sway_.makeUserDir("player");
    ASSERT_FALSE(dir_.empty());
    ASSERT_TRUE(std::filesystem::copy_file(TESSARIL_BINARY, dir_ + "/tessaril"));
    overlay_show::writeShow(dir_);
  }

  pid_t startPlayer(const std::vector<std::string>& args, const std::string& overlay = "") {
    std::vector<std::string> argv = {dir_ + "/tessaril"};
    argv.insert(argv.end(), args.begin(), args.end());
    return sway_.spawn(argv, {"TESSARIL_BACKEND=x11", "TESSARIL_POWER=headless", "TESSARIL_OVERLAY=" + overlay});
  }

  bool screenshot(Screenshot* shot) {
    std::string why;
    bool ok = sway_.screenshot(shot, &why);
    EXPECT_TRUE(ok) << why;
    return ok;
  }

  // Whether xdotool, run as Xwayland's own user, finds a window of class
  // Tessaril (scope --onlyvisible: a viewable one). A search that fails finds
  // one too, so a broken tool never passes for "no window".
  bool findsPlayerWindow(const char* scope) {
    std::string ids;
    return sway_.runTool({"xdotool", "search", scope, "--class", "^Tessaril$"}, &ids) != 1 || !ids.empty();
  }

  sway_test::SwaySession sway_;
  std::string dir_;
};

TEST_F(SwayOverlay, AShowPlaysOverTheDesktopThroughXwaylandAndReturnEndsIt) {
  startSway();
  pid_t player = startPlayer({});
  Screenshot shot;
  int cx = kWidth / 2, cy = kHeight / 2;
  EXPECT_TRUE(waitUntil([&] {
    return screenshot(&shot) && nearColour(shot.at(cx + 50, cy + 40), overlay_show::kRectColour, 2);
  })) << "no show; the middle shows " << std::hex << shot.at(cx + 50, cy + 40) << "\n" << sway_.output(player);
  EXPECT_TRUE(nearColour(shot.at(cx - 10, cy + 40), kDesktop, 2)) << "beside the show: " << std::hex << shot.at(cx - 10, cy + 40);
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
    return screenshot(&shot) &&
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
    // The player is Xwayland's first client: the test looks only after it.
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_TRUE(waitUntil([&] { return findsPlayerWindow("--all"); })) << sway_.output(player);
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));  // time for a late map to land
    EXPECT_FALSE(findsPlayerWindow("--onlyvisible")) << "a resident start shows a window\n" << sway_.output(player);
    EXPECT_EQ(sway_.waitExit(player, 0), -1000) << "the resident player ended\n" << sway_.output(player);
  }  // the next start stops this sway first
}

}  // namespace
