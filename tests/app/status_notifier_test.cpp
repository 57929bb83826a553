// The resident player's tray icon as a StatusNotifierItem on a private session
// bus, with a small watcher of the test's own: the item registers with its
// properties and pixmaps, Activate plays the normal show, leaving ends the
// item, and a watcher that starts later gets the item.
#include <atomic>
#include <cstring>
#include <thread>

#include "platform/host/shell/program_icon.h"
#include "tests/app/player_harness.h"
#include "tests/host/dbus_test_bus.h"

namespace {

// The item's string property name, or the error in <>.
std::string stringProperty(sd_bus* bus, const std::string& item, const char* name) {
  char* value = nullptr;
  int r = sd_bus_get_property_string(bus, item.c_str(), "/StatusNotifierItem", "org.kde.StatusNotifierItem", name,
                                     nullptr, &value);
  std::string text = r >= 0 ? value : "<" + std::string(strerror(-r)) + ">";
  free(value);
  return text;
}

// The item's IconPixmap: (side, ARGB bytes) of each picture, in order; the
// side of a picture that is not square is -1.
using Pixmaps = std::vector<std::pair<int, std::vector<uint8_t>>>;
Pixmaps iconPixmaps(sd_bus* bus, const std::string& item) {
  Pixmaps pixmaps;
  sd_bus_message* reply = nullptr;
  int width = 0, height = 0;
  const void* bytes = nullptr;
  size_t size = 0;
  bool ok = sd_bus_get_property(bus, item.c_str(), "/StatusNotifierItem", "org.kde.StatusNotifierItem", "IconPixmap",
                                nullptr, &reply, "a(iiay)") >= 0 &&
            sd_bus_message_enter_container(reply, 'a', "(iiay)") >= 0;
  while (ok && sd_bus_message_enter_container(reply, 'r', "iiay") > 0 &&
         sd_bus_message_read(reply, "ii", &width, &height) >= 0 &&
         sd_bus_message_read_array(reply, 'y', &bytes, &size) >= 0 && sd_bus_message_exit_container(reply) >= 0) {
    const uint8_t* b = static_cast<const uint8_t*>(bytes);
    pixmaps.emplace_back(width == height ? width : -1, std::vector<uint8_t>(b, b + size));
  }
  sd_bus_message_unref(reply);
  return pixmaps;
}

// The program's icon at side x side (each stored pixel side/16 times), as
// big-endian ARGB with the transparent pixels all zero.
std::vector<uint8_t> programIconBytes(int side) {
  std::vector<uint8_t> bytes;
  for (int y = 0; y < side; ++y) {
    for (int x = 0; x < side; ++x) {
      uint32_t p = host::kProgramIconPixels[(y * 16 / side) * 16 + x * 16 / side];
      if ((p >> 24) == 0) p = 0;
      for (int shift = 24; shift >= 0; shift -= 8) bytes.push_back(uint8_t(p >> shift));
    }
  }
  return bytes;
}

class StatusNotifierTray : public PlayerTest {
 protected:
  dbustest::PrivateBus bus;
  dbustest::Watcher watcher;
  std::thread peer;
  static inline std::atomic<int> framesSeen{0};

  void SetUp() override {
    framesSeen = 0;
    PlayerTest::SetUp();
    ASSERT_TRUE(bus.start()) << "dbus-daemon did not start";
    setenv("DBUS_SESSION_BUS_ADDRESS", bus.address.c_str(), 1);
    writeSchedule("normal.txt", "wake.txt");
    writeShow("normal.txt", 100, 0);
    // The third frame of the show ends the resident instance as a second -s
    // start would; its icon leaves the tray on the way out.
    endAtFrame = 3;
    onFrame = [](PlayerTest*) { ++framesSeen; };
  }

  void TearDown() override {
    if (peer.joinable()) peer.join();
    watcher.stop();
    unsetenv("DBUS_SESSION_BUS_ADDRESS");
    unsetenv("TESSARIL_TRAY");
    PlayerTest::TearDown();
  }

  // After the peer asked for a show: when it could not ask or no show comes
  // of it, ends the run so the test fails instead of waiting for ever.
  static void endRunUnlessAShowStarts(bool asked) {
    EXPECT_TRUE(asked);
    if (!asked || !dbustest::eventually([] { return framesSeen > 0; })) endRunFromPeer();
  }
};

// The icon is in the host's tray (shown by the backend) before any watcher
// runs: a watcher that starts later gets the item, with its properties and
// pixmaps; Activate plays the normal show. A watcher that restarts gets the
// item again: the x11 backend's tray test checks that.
TEST_F(StatusNotifierTray, AWatcherThatStartsLaterGetsTheItemAndActivatePlaysTheNormalShow) {
  std::string address = bus.address;
  peer = std::thread([this, address] {
    bool ok = dbustest::eventually([] { return !host::trayIcons().empty(); }) && watcher.start(address) &&
              dbustest::eventually([&] { return !watcher.onlyItem().empty(); });
    EXPECT_TRUE(ok) << "a watcher started later did not get the item";
    sd_bus* client = ok ? dbustest::connect(address) : nullptr;
    std::string item = watcher.onlyItem();
    if (client != nullptr) {
      EXPECT_EQ(item.rfind("org.kde.StatusNotifierItem-" + std::to_string(getpid()) + "-", 0), 0u) << item;
      const char* const properties[][2] = {
          {"Category", "ApplicationStatus"}, {"Id", "Tessaril"}, {"Title", "Tessaril"}, {"Status", "Active"}};
      for (const auto& [name, value] : properties) EXPECT_EQ(stringProperty(client, item, name), value) << name;
      EXPECT_EQ(iconPixmaps(client, item), (Pixmaps{{16, programIconBytes(16)}, {32, programIconBytes(32)}}))
          << "the program's icon at 16 and 32 pixels";
    }
    ok = ok && sd_bus_call_method(client, item.c_str(), "/StatusNotifierItem", "org.kde.StatusNotifierItem",
                                  "Activate", nullptr, nullptr, "ii", 8, 8) >= 0;
    sd_bus_flush_close_unref(client);
    endRunUnlessAShowStarts(ok);
  });
  EXPECT_EQ(run(u"-s"), 0);
  ASSERT_EQ(frames.size(), 3u) << "Activate plays the normal show";
  EXPECT_EQ(frames[0].show, u"normal.txt");
  EXPECT_TRUE(dbustest::eventually([&] { return watcher.items().empty(); })) << "the item leaves the bus with the icon";
  EXPECT_EQ(watcher.registrations(), 1) << "the item registered once, however its start and the watcher's met";
}

TEST_F(StatusNotifierTray, TheSessionBusGoingAwayLeavesTheIconInTheTray) {
  ASSERT_TRUE(watcher.start(bus.address));
  peer = std::thread([this] {
    bool registered = dbustest::eventually([&] { return !watcher.onlyItem().empty(); });
    watcher.stop();
    bus.stop();
    host::injectTrayTap();  // the tray still has the icon, and its tap still plays the show
    endRunUnlessAShowStarts(registered);
  });
  EXPECT_EQ(run(u"-s"), 0);
  ASSERT_EQ(frames.size(), 3u);
  EXPECT_EQ(frames[0].show, u"normal.txt");
}

TEST_F(StatusNotifierTray, WithTheBusTrayTurnedOffTheBackendAloneShowsTheIcon) {
  ASSERT_TRUE(watcher.start(bus.address));
  setenv("TESSARIL_TRAY", "xembed", 1);
  EXPECT_EQ(run(u"-s", "500:tray"), 0);
  ASSERT_EQ(frames.size(), 3u);
  EXPECT_EQ(watcher.registrations(), 0);
}

}  // namespace
