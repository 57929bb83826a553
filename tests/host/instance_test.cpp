// Single instance across processes: the window of a class listens on the
// class's socket, takes from it only what a second start may post
// (MSG_OTHER_INSTANCE with wParam 0 or 1), and no peer can block its loop.
// The peers here write the wire record themselves; a real second start that
// finds the window and posts to it is run by the app tests (TwoProcesses).
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>
#include <set>
#include <tuple>

#include "tests/host/wm_fixture.h"

namespace wmtest {
namespace {

constexpr UINT kOtherInstance = WM_USER + 100;

sockaddr_un addressOf(const std::string& path) {
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
  return address;
}

int connectRaw(const std::string& path) {
  int fd = socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un address = addressOf(path);
  if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    close(fd);
    return -1;
  }
  return fd;
}

// Sends the record a second start sends (magic "TSL1", version 1) on a
// connection of its own, and closes it; false when nobody listens.
bool sendRecord(const std::string& path, uint32_t message, uint64_t wParam, int64_t lParam) {
  struct {
    uint32_t magic = 0x54534C31;
    uint16_t version = 1;
    uint16_t reserved = 0;
    uint32_t message;
    uint32_t padding = 0;
    uint64_t wParam;
    int64_t lParam;
  } r;
  r.message = message;
  r.wParam = wParam;
  r.lParam = lParam;
  int fd = connectRaw(path);
  bool sent = fd >= 0 && send(fd, &r, sizeof r, 0) == ssize_t(sizeof r);
  if (fd >= 0) close(fd);
  return sent;
}

class SingleInstance : public HostTest {
 protected:
  void SetUp() override {
    HostTest::SetUp();
    host::clockUseReal();  // the peers run in real time
    WNDCLASS c{};
    c.lpfnWndProc = recordingProc;
    c.lpszClassName = u"Tessaril";
    ASSERT_NE(RegisterClassW(&c), 0);
  }

  HWND makeMainWindow() {
    return CreateWindowExW(0, u"Tessaril", u"Tessaril", 0, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT,
                           CW_USEDEFAULT, nullptr, nullptr, nullptr, nullptr);
  }

  // Runs the loop for 400 ms of real time, well after the host has read what
  // the peers sent and dropped the quiet ones.
  void runAWhile(HWND window) {
    SetTimer(window, 1, 400, nullptr);
    pumpUntil([] { return !receivedOf(WM_TIMER).empty(); });
  }
};

// The window listens on a socket that replaced a stale one; of what peers
// post, only the plain and the resident request (wParam 0 and 1, lParam 0)
// arrive, and a peer that sends garbage or nothing neither blocks the loop nor
// holds back the others.
TEST_F(SingleInstance, PastAStaleSocketOnlyRequestsArriveAndNoPeerBlocksTheLoop) {
  std::string path = host::instanceSocketPath(u"Tessaril");
  EXPECT_EQ(FindWindowW(u"Tessaril", nullptr), nullptr);  // no socket: no running instance
  // A socket file left behind by a process that ended without removing it.
  int stale = socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un address = addressOf(path);
  ASSERT_EQ(bind(stale, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  close(stale);
  EXPECT_EQ(FindWindowW(u"Tessaril", nullptr), nullptr);  // never taken for a running instance
  HWND w = makeMainWindow();
  ASSERT_NE(w, nullptr);
  int silent = connectRaw(path);
  int garbage = connectRaw(path);
  ASSERT_GE(silent, 0);
  ASSERT_GE(garbage, 0);
  ASSERT_EQ(send(garbage, "\x01\x02\x03\x04\x05", 5, 0), 5);
  const std::tuple<uint32_t, uint64_t, int64_t> posts[] = {{WM_USER + 5, 0, 0}, {kOtherInstance, 7, 0},
                                                           {kOtherInstance, 0, 3}, {WM_CLOSE, 0, 0},
                                                           {kOtherInstance, 0, 0}, {kOtherInstance, 1, 0}};
  for (const auto& [message, wParam, lParam] : posts) ASSERT_TRUE(sendRecord(path, message, wParam, lParam));
  runAWhile(w);
  EXPECT_EQ(orderOf({WM_USER + 5, WM_CLOSE}), std::vector<UINT>{});
  std::multiset<std::pair<WPARAM, LPARAM>> requests;
  for (const Received& r : receivedOf(kOtherInstance)) {
    EXPECT_EQ(r.window, w);
    requests.insert({r.wParam, r.lParam});
  }
  EXPECT_EQ(requests, (std::multiset<std::pair<WPARAM, LPARAM>>{{0, 0}, {1, 0}}));
  char byte;
  EXPECT_EQ(recv(silent, &byte, 1, MSG_DONTWAIT), 0);  // the host hung up on them
  EXPECT_EQ(recv(garbage, &byte, 1, MSG_DONTWAIT), 0);
  close(silent);
  close(garbage);
  DestroyWindow(w);
  struct stat st;
  EXPECT_NE(lstat(path.c_str(), &st), 0);  // unlinked with its window
}

// Class names become distinct safe file names in the instance directory; a
// directory others may write to is not used.
TEST_F(SingleInstance, ClassNamesBecomeDistinctSafeFileNamesAndAnUnsafeDirectoryIsNotUsed) {
  std::string a = host::instanceSocketPath(u"Tessaril");
  EXPECT_EQ(a, socketDirectory + "/tessaril-tessaril.sock");
  EXPECT_EQ(host::instanceSocketPath(u"TESSARIL"), a);  // class names ignore case
  std::string odd = host::instanceSocketPath(u"../a_b 常");
  EXPECT_EQ(odd.find("/../"), std::string::npos);
  EXPECT_NE(host::instanceSocketPath(u"a_b"), host::instanceSocketPath(u"a b"));
  std::string open = socketDirectory + "/open";
  ASSERT_EQ(mkdir(open.c_str(), 0700), 0);
  ASSERT_EQ(chmod(open.c_str(), 0777), 0);
  host::setInstanceDirectory(open);
  EXPECT_EQ(host::instanceSocketPath(u"Tessaril"), "");
  HWND w = makeMainWindow();
  EXPECT_NE(w, nullptr);  // the window works, it just cannot be found from outside
  EXPECT_EQ(FindWindowW(u"Tessaril", nullptr), w);
}

}  // namespace
}  // namespace wmtest
