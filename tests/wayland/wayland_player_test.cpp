// The real player process on the wayland backend under a private headless
// sway (tests/support/sway_session.h), twins of the x11 player tests: a plain
// show over the desktop ended by the toplevel's close or a tap; the
// resident player with no surface on screen, its StatusNotifierItem with a
// watcher of the test's own on a private session bus, a tap that stops its
// show, and the idle CPU it uses; the load error's box with each of its
// answers (the leaving notice of a second start: TwoProcesses on the headless
// host, and its box is answered as this one is); an output turned from landscape to portrait; a
// compositor that goes away. Last, the backend in the test's own process:
// input at its point and with its keys, and the transparent snapshot.
//
// sway's seat has no pointer without devices: taps come from a virtual pointer
// of the test's own (zwlr_virtual_pointer_v1, which sway offers), connected as
// root to the session's socket. wtype makes a new virtual keyboard per call and
// the player binds the keyboard only once the seat announces it, so each key
// waits 300 ms inside wtype before it is pressed. sway 1.7 paints black under
// a full-screen window, so the tests that look at the desktop beneath let
// sway tile the player's window instead (a rule the README gives users too).
#include <gtest/gtest.h>
#include <linux/input-event-codes.h>
#include <sys/stat.h>
#include <unistd.h>
#include <wayland-client.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <thread>

#include "platform/host/host_control.h"
#include "platform/host/window_manager/window_state.h"
#include "tests/host/dbus_test_bus.h"
#include "tests/host/wm_fixture.h"
#include "tests/support/overlay_show.h"
#include "tests/support/sway_session.h"
#include "wlr-virtual-pointer-unstable-v1-client-protocol.h"

namespace {

using dbustest::eventually;
using overlay_show::nearColour;
using sway_test::kDesktop;

constexpr uint32_t kRect = overlay_show::kRectColour;  // 100 x 80 at the screen's middle
const char* const kTileRule = "for_window [app_id=\"^Tessaril$\"] fullscreen disable; default_border none";

class WaylandPlayer : public ::testing::Test {
 protected:
  sway_test::SwaySession sway;
  std::string dir;

  void SetUp() override {
    std::string why;
    ASSERT_TRUE(sway.start({640, 480, false}, &why)) << why;  // without Xwayland
    dir = sway.makeUserDir("player");
    ASSERT_TRUE(std::filesystem::copy_file(TESSARIL_BINARY, dir + "/tessaril"));
    overlay_show::writeShow(dir);
  }

  pid_t player(const std::vector<std::string>& args, std::vector<std::string> env = {}) {
    std::vector<std::string> argv = {dir + "/tessaril"};
    argv.insert(argv.end(), args.begin(), args.end());
    env.push_back("TESSARIL_POWER=headless");
    return sway.spawn(argv, env);
  }

  uint32_t pixel(int x, int y) {
    sway_test::Screenshot shot;
    std::string why;
    return sway.screenshot(&shot, &why) ? shot.at(x, y) : 0xFFFFFFFFu;
  }
  bool showsAt(int x, int y, uint32_t colour) {
    return eventually([&] { return nearColour(pixel(x, y), colour, 8); });
  }
  std::string tree() {
    std::string text;
    sway.runTool({"swaymsg", "-t", "get_tree"}, &text);
    return text;
  }
  // Whether sway's tree of windows holds "key": "value" (app_id or name).
  bool inTree(const std::string& key, const std::string& value) {
    return tree().find("\"" + key + "\": \"" + value + "\"") != std::string::npos;
  }
  bool playerShown() { return inTree("app_id", "Tessaril"); }
  // Where sway shows the window with this title: its "rect" in the tree.
  bool windowRect(const std::string& title, RECT* r) {
    std::string t = tree();
    size_t at = t.rfind("\"rect\": {", t.find("\"name\": \"" + title + "\""));
    int x, y, width, height;
    if (at == std::string::npos ||
        std::sscanf(t.c_str() + at, "\"rect\": { \"x\": %d, \"y\": %d, \"width\": %d, \"height\": %d", &x, &y,
                    &width, &height) != 4) {
      return false;
    }
    *r = RECT{x, y, x + width, y + height};
    return true;
  }

  // A left click at (x, y) of the 640 x 480 output from a virtual pointer on sway's default seat.
  bool tap(int x, int y) {
    wl_display* d = wl_display_connect((sway.runtimeDir() + "/" + sway.waylandDisplay()).c_str());
    if (d == nullptr) return false;
    zwlr_virtual_pointer_manager_v1* manager = nullptr;
    static const wl_registry_listener listener = {
        [](void* data, wl_registry* r, uint32_t name, const char* interface, uint32_t) {
          if (std::string(interface) == "zwlr_virtual_pointer_manager_v1") {
            *static_cast<zwlr_virtual_pointer_manager_v1**>(data) = static_cast<zwlr_virtual_pointer_manager_v1*>(
                wl_registry_bind(r, name, &zwlr_virtual_pointer_manager_v1_interface, 1));
          }
        },
        [](void*, wl_registry*, uint32_t) {}};
    wl_registry* registry = wl_display_get_registry(d);
    wl_registry_add_listener(registry, &listener, &manager);
    bool ok = wl_display_roundtrip(d) >= 0 && manager != nullptr;
    if (ok) {
      zwlr_virtual_pointer_v1* p = zwlr_virtual_pointer_manager_v1_create_virtual_pointer(manager, nullptr);
      wl_display_roundtrip(d);
      std::this_thread::sleep_for(std::chrono::milliseconds(300));  // the player binds its wl_pointer
      zwlr_virtual_pointer_v1_motion_absolute(p, 0, x, y, 640, 480);
      zwlr_virtual_pointer_v1_frame(p);
      for (uint32_t state : {WL_POINTER_BUTTON_STATE_PRESSED, WL_POINTER_BUTTON_STATE_RELEASED}) {
        zwlr_virtual_pointer_v1_button(p, 0, BTN_LEFT, state);
        zwlr_virtual_pointer_v1_frame(p);
      }
      ok = wl_display_roundtrip(d) >= 0;
      zwlr_virtual_pointer_v1_destroy(p);
    }
    if (manager != nullptr) zwlr_virtual_pointer_manager_v1_destroy(manager);
    wl_registry_destroy(registry);
    wl_display_disconnect(d);
    return ok;
  }
};

// Each answer to a load error's box ends the program with 0, and so does each
// ender of a plain show drawn over the live desktop.
TEST_F(WaylandPlayer, EachAnswerToALoadErrorsBoxAndEachEnderOfAPlainShowEndsTheProgramWith0) {
  using Row = std::pair<const char*, std::function<bool()>>;
  const Row answers[] = {
      {"Return", [&] { return sway.key("Return"); }},
      {"space", [&] { return sway.key("space"); }},
      {"Escape", [&] { return sway.key("Escape"); }},
      {"a tap on OK", [&] {  // the button: centred, 26 px high, 16 px above the box's bottom
         RECT box;
         return windowRect("ファイルの確認だ", &box) && tap((box.left + box.right) / 2, box.bottom - 29);
       }},
  };
  for (const auto& [name, answer] : answers) {
    SCOPED_TRACE(std::string("the box's ") + name);
    pid_t p = player({"-f", "missing.txt"});
    EXPECT_TRUE(eventually([&] { return inTree("name", "ファイルの確認だ"); })) << sway.output(p);
    EXPECT_EQ(sway.waitExit(p, 0), -1000) << "the box waits for its answer";
    EXPECT_TRUE(answer());
    EXPECT_EQ(sway.waitExit(p, 10000), 0) << sway.output(p);
  }
  // (Return ends the shows of the later cases.)
  const Row enders[] = {
      {"the toplevel's close", [&] { return sway.swaymsg("[app_id=\"^Tessaril$\"] kill") == 0; }},
      {"a tap where the window is transparent", [&] { return tap(100, 100); }},
  };
  sway.swaymsg(kTileRule);
  for (const auto& [name, end] : enders) {
    SCOPED_TRACE(std::string("the show's ") + name);
    pid_t p = player({});
    EXPECT_TRUE(showsAt(370, 280, kRect)) << "the show's rectangle";
    EXPECT_TRUE(nearColour(pixel(10, 10), kDesktop, 8)) << "the desktop beneath, live";
    EXPECT_TRUE(end());
    EXPECT_EQ(sway.waitExit(p, 10000), 0) << sway.output(p);
  }
}

TEST_F(WaylandPlayer, ResidentModeHasNoSurfaceRegistersItsItemAndTheTrayPlaysAndATapStops) {
  dbustest::PrivateBus bus;
  dbustest::Watcher watcher;
  ASSERT_TRUE(bus.start() && watcher.start(bus.address));
  chmod(bus.dir.c_str(), 0755);  // the player runs as the session's user
  sway.swaymsg(kTileRule);
  pid_t p = player({"-s"}, {"DBUS_SESSION_BUS_ADDRESS=" + bus.address});
  std::string item;
  ASSERT_TRUE(eventually([&] { return !(item = watcher.onlyItem()).empty(); })) << sway.output(p);
  EXPECT_FALSE(playerShown()) << "no surface on screen";
  std::this_thread::sleep_for(std::chrono::milliseconds(500));  // past its start-up
  auto cpuNs = [p] {
    std::ifstream stat("/proc/" + std::to_string(p) + "/schedstat");
    long long ns = 0;
    stat >> ns;
    return ns;
  };
  long long before = cpuNs();
  std::this_thread::sleep_for(std::chrono::seconds(5));
  EXPECT_LT(cpuNs() - before, 10 * 1000 * 1000) << "ns of CPU over 5 s of resident idle";
  sd_bus* client = dbustest::connect(bus.address);
  ASSERT_GE(sd_bus_call_method(client, item.c_str(), "/StatusNotifierItem", "org.kde.StatusNotifierItem", "Activate",
                               nullptr, nullptr, "ii", 8, 8), 0);
  sd_bus_flush_close_unref(client);
  EXPECT_TRUE(showsAt(370, 280, kRect)) << "Activate plays the normal show";
  EXPECT_TRUE(tap(370, 280));
  EXPECT_TRUE(showsAt(370, 280, kDesktop)) << "a tap stops the show and hides the window";
  EXPECT_EQ(sway.waitExit(p, 0), -1000) << "the program stays resident";
}

TEST_F(WaylandPlayer, AnOutputTurnedToPortraitRestartsTheShow3000MsLaterAtTheNewSize) {
  pid_t p = player({});
  ASSERT_TRUE(showsAt(370, 280, kRect));
  std::string t = tree();
  size_t player = t.find("\"app_id\": \"Tessaril\""), mode = t.rfind("\"fullscreen_mode\": 1", player);
  EXPECT_TRUE(player != std::string::npos && mode != std::string::npos && player - mode < 200) << "full screen: " << t;
  EXPECT_NE(t.find("\"name\": \"Tessaril\""), std::string::npos) << "titled Tessaril";
  auto turned = std::chrono::steady_clock::now();
  ASSERT_EQ(sway.swaymsg("output HEADLESS-1 resolution 480x640"), 0);
  EXPECT_TRUE(eventually([&] { return !playerShown(); }, 2500)) << "the show stops at once";
  EXPECT_TRUE(eventually([&] { return playerShown(); }, 10000));
  EXPECT_GE(std::chrono::steady_clock::now() - turned, std::chrono::milliseconds(2900));
  EXPECT_TRUE(showsAt(290, 360, kRect)) << "the rectangle at the middle of the portrait screen";
  EXPECT_TRUE(sway.key("Return"));
  EXPECT_EQ(sway.waitExit(p, 10000), 0) << sway.output(p);
}

TEST_F(WaylandPlayer, ACompositorThatGoesAwayEndsTheProgramWithOneLineSayingWhy) {
  pid_t p = player({"-s"});
  ASSERT_TRUE(eventually([&] { return sway.output(p).find("no StatusNotifierWatcher") != std::string::npos; }))
      << "the resident player is up (no session bus: it says so)";
  sway.swaymsg("exit");
  EXPECT_EQ(sway.waitExit(p, 10000), 1);
  EXPECT_NE(sway.output(p).find("tessaril: the connection to the Wayland compositor was lost"), std::string::npos)
      << sway.output(p);
}

// Whether the in-process test's window (wmtest::recordingProc records its
// messages) received a message with these parameters.
bool receivedMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  for (const wmtest::Received& m : wmtest::recorder().log) {
    if (m.message == message && m.wParam == wParam && m.lParam == lParam) return true;
  }
  return false;
}

// The backend in this test's own process, on the session's compositor (last:
// once the session stops, any further use of the connection ends the process).
TEST_F(WaylandPlayer, ATapKeysAndFocusBecomeTheirMessagesAndTheSnapshotIsClear) {
  setenv("WAYLAND_DISPLAY", (sway.runtimeDir() + "/" + sway.waylandDisplay()).c_str(), 1);
  std::string error;
  ASSERT_TRUE(host::selectBackend("wayland", &error)) << error;
  host::Surface snapshot = host::screenSnapshot();
  EXPECT_EQ(snapshot.width, 640);
  EXPECT_TRUE(std::all_of(snapshot.pixels.begin(), snapshot.pixels.end(), [](uint32_t p) { return p == 0; }))
      << "no client reads the screen: the snapshot is transparent";
  WNDCLASS c{};
  c.lpfnWndProc = wmtest::recordingProc;
  c.lpszClassName = u"Tessaril";
  RegisterClassW(&c);
  HWND w = CreateWindowExW(0, u"Tessaril", u"Tessaril", WS_VISIBLE, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT,
                           CW_USEDEFAULT, nullptr, nullptr, nullptr, nullptr);
  ASSERT_NE(w, nullptr);
  const struct {
    const char* input;
    std::function<bool()> send;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
  } cases[] = {
      {"a tap at (50, 60)", [&] { return tap(50, 60); }, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(50, 60)},
      {"its release", [] { return true; }, WM_LBUTTONUP, 0, MAKELPARAM(50, 60)},
      {"Return", [&] { return sway.key("Return"); }, WM_KEYDOWN, VK_RETURN, 1},
      {"the keyboard's focus", [] { return true; }, WM_ACTIVATE, WA_ACTIVE, 0},
      {"Escape", [&] { return sway.key("Escape"); }, WM_KEYDOWN, VK_ESCAPE, 1},
  };
  uintptr_t timer = SetTimer(nullptr, 0, 20, nullptr);  // GetMessageW returns at least every 20 ms
  for (const auto& row : cases) {
    SCOPED_TRACE(row.input);
    std::atomic<int> sent{-1};
    std::thread sender([&] { sent = row.send() ? 1 : 0; });  // the window reads its events meanwhile
    auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    MSG m;
    while (!(sent >= 0 && receivedMessage(row.message, row.wParam, row.lParam)) &&
           std::chrono::steady_clock::now() < end && GetMessageW(&m, nullptr, 0, 0) > 0) {
      DispatchMessageW(&m);
    }
    sender.join();
    EXPECT_EQ(sent, 1);
    EXPECT_TRUE(receivedMessage(row.message, row.wParam, row.lParam));
  }
  KillTimer(nullptr, timer);
  DestroyWindow(w);
}

}  // namespace
