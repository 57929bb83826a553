// Single instance across processes: a second process finds the first one's
// window by class and posts it MSG_OTHER_INSTANCE over the class's socket.
//
// The second process is this test program itself, started again with
// TESSARIL_INSTANCE_HELPER set: it then does what the variable says and exits
// before any test runs.
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <set>
#include <thread>

#include "platform/host/common/text_encoding.h"
#include "platform/host/window_manager/window_state.h"
#include "tests/host/wm_fixture.h"

namespace wmtest {
namespace {

constexpr UINT kOtherInstance = WM_USER + 100;
constexpr UINT kHelperEnded = WM_USER + 200;

// The second process: "DIR|CLASS|MSG:WPARAM:LPARAM,..." finds the window of
// CLASS and posts each message; exit code 0 when all were sent, 2 when no
// window was found, 3 when a post failed.
struct SecondProcess {
  SecondProcess() {
    const char* request = std::getenv("TESSARIL_INSTANCE_HELPER");
    if (request == nullptr) return;
    std::string text = request;
    size_t bar1 = text.find('|'), bar2 = text.find('|', bar1 + 1);
    host::setInstanceDirectory(text.substr(0, bar1));
    std::u16string className = host::utf8ToUtf16(text.substr(bar1 + 1, bar2 - bar1 - 1));
    HWND other = FindWindowW(className.c_str(), nullptr);
    if (other == nullptr) _exit(2);
    std::string posts = text.substr(bar2 + 1);
    for (size_t at = 0; at < posts.size();) {
      unsigned message = 0, wParam = 0;
      long lParam = 0;
      if (std::sscanf(posts.c_str() + at, "%u:%u:%ld", &message, &wParam, &lParam) != 3) _exit(4);
      if (!PostMessageW(other, message, wParam, lParam)) _exit(3);
      size_t comma = posts.find(',', at);
      at = comma == std::string::npos ? posts.size() : comma + 1;
    }
    _exit(0);
  }
} secondProcess;

class SingleInstance : public HostTest {
 protected:
  void SetUp() override {
    HostTest::SetUp();
    host::clockUseReal();  // the other process runs in real time
    WNDCLASS c{};
    c.lpfnWndProc = recordingProc;
    c.lpszClassName = u"Tessaril";
    ASSERT_NE(RegisterClassW(&c), 0);
  }

  HWND makeMainWindow() {
    return CreateWindowExW(0, u"Tessaril", u"Tessaril", 0, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT,
                           CW_USEDEFAULT, nullptr, nullptr, nullptr, nullptr);
  }

  // Starts the second process with the posts to make, and a thread that posts
  // kHelperEnded (wParam: its exit code) to window once it has ended.
  void startSecondProcess(HWND window, const std::string& posts) {
    std::string request = socketDirectory + "|Tessaril|" + posts;
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      setenv("TESSARIL_INSTANCE_HELPER", request.c_str(), 1);
      execl("/proc/self/exe", "instance-helper", static_cast<char*>(nullptr));
      _exit(127);
    }
    waiter = std::thread([child, window] {
      int status = 0;
      waitpid(child, &status, 0);
      PostMessageW(window, kHelperEnded, WIFEXITED(status) ? WEXITSTATUS(status) : 255, 0);
    });
  }

  // Runs the loop until the second process has ended and what it sent has
  // been read; its exit code.
  int runUntilSecondProcessEnds() {
    pumpUntil([] { return !receivedOf(kHelperEnded).empty(); });
    waiter.join();
    MSG m;  // what the ended process sent is in the socket already
    for (int round = 0; round < 4; ++round) {
      while (host::takeReadyMessage(&m, nullptr, 0, 0, false) == host::Ready::Message) DispatchMessageW(&m);
    }
    return int(receivedOf(kHelperEnded)[0].wParam);
  }

  std::thread waiter;
};

TEST_F(SingleInstance, NoWindowMeansTheSecondProcessFindsNothing) {
  HWND w = makeWindow(0);  // a window of another class only
  startSecondProcess(w, std::to_string(kOtherInstance) + ":0:0");
  EXPECT_EQ(runUntilSecondProcessEnds(), 2);
}

sockaddr_un addressOf(const std::string& path) {
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
  return address;
}

// A socket file left behind by a process that ended without removing it.
void leaveStaleSocket(const std::string& path) {
  int fd = socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un address = addressOf(path);
  ASSERT_EQ(bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  close(fd);
}

// The second process finds the window over the socket that replaced a stale
// one; of what it posts, only the plain and the resident request (wParam 0
// and 1, lParam 0) arrive.
TEST_F(SingleInstance, ASecondProcessFindsTheWindowPastAStaleSocketAndOnlyItsRequestsArrive) {
  std::string path = host::instanceSocketPath(u"Tessaril");
  leaveStaleSocket(path);
  EXPECT_EQ(FindWindowW(u"Tessaril", nullptr), nullptr);  // never taken for a running instance
  HWND w = makeMainWindow();
  ASSERT_NE(w, nullptr);
  struct stat st;
  ASSERT_EQ(lstat(path.c_str(), &st), 0);
  EXPECT_TRUE(S_ISSOCK(st.st_mode));
  std::string other = std::to_string(kOtherInstance);
  startSecondProcess(w, std::to_string(WM_USER + 5) + ":0:0," + other + ":7:0," + other + ":0:3," +
                            std::to_string(WM_CLOSE) + ":0:0," + other + ":0:0," + other + ":1:0");
  EXPECT_EQ(runUntilSecondProcessEnds(), 0);
  EXPECT_EQ(orderOf({WM_USER + 5, WM_CLOSE}), std::vector<UINT>{});
  std::multiset<std::pair<WPARAM, LPARAM>> requests;
  for (const Received& r : receivedOf(kOtherInstance)) {
    EXPECT_EQ(r.window, w);
    requests.insert({r.wParam, r.lParam});
  }
  EXPECT_EQ(requests, (std::multiset<std::pair<WPARAM, LPARAM>>{{0, 0}, {1, 0}}));
  DestroyWindow(w);
  EXPECT_NE(lstat(path.c_str(), &st), 0);  // unlinked with its window
}

// The record a second start sends (magic "TSL1", version 1).
std::string wireRecord(uint32_t message, uint64_t wParam) {
  struct {
    uint32_t magic = 0x54534C31;
    uint16_t version = 1;
    uint16_t reserved = 0;
    uint32_t message;
    uint32_t padding = 0;
    uint64_t wParam;
    int64_t lParam = 0;
  } r;
  r.message = message;
  r.wParam = wParam;
  return std::string(reinterpret_cast<const char*>(&r), sizeof r);
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

TEST_F(SingleInstance, GarbageAndSilentPeersNeverBlockTheLoop) {
  HWND w = makeMainWindow();
  std::string path = host::instanceSocketPath(u"Tessaril");
  int silent = connectRaw(path);
  int garbage = connectRaw(path);
  int valid = connectRaw(path);
  ASSERT_GE(silent, 0);
  ASSERT_GE(garbage, 0);
  ASSERT_GE(valid, 0);
  ASSERT_EQ(send(garbage, "\x01\x02\x03\x04\x05", 5, 0), 5);
  std::string record = wireRecord(kOtherInstance, 0);
  ASSERT_EQ(send(valid, record.data(), record.size(), 0), ssize_t(record.size()));
  SetTimer(w, 1, 400, nullptr);  // well after the host drops quiet peers
  pumpUntil([] { return !receivedOf(WM_TIMER).empty(); });
  ASSERT_EQ(receivedOf(kOtherInstance).size(), 1u);
  char byte;
  EXPECT_EQ(recv(silent, &byte, 1, MSG_DONTWAIT), 0);  // the host hung up on it
  EXPECT_EQ(recv(garbage, &byte, 1, MSG_DONTWAIT), 0);
  close(silent);
  close(garbage);
  close(valid);
}

TEST_F(SingleInstance, AnUnsafeDirectoryIsNotUsed) {
  std::string open = socketDirectory + "/open";
  ASSERT_EQ(mkdir(open.c_str(), 0700), 0);
  ASSERT_EQ(chmod(open.c_str(), 0777), 0);
  host::setInstanceDirectory(open);
  EXPECT_EQ(host::instanceSocketPath(u"Tessaril"), "");
  HWND w = makeMainWindow();
  EXPECT_NE(w, nullptr);  // the window works, it just cannot be found from outside
  EXPECT_EQ(FindWindowW(u"Tessaril", nullptr), w);
}

TEST_F(SingleInstance, ClassNamesBecomeDistinctSafeFileNames) {
  std::string a = host::instanceSocketPath(u"Tessaril");
  EXPECT_EQ(a, socketDirectory + "/tessaril-tessaril.sock");
  EXPECT_EQ(host::instanceSocketPath(u"TESSARIL"), a);  // class names ignore case
  std::string odd = host::instanceSocketPath(u"../a_b 常");
  EXPECT_EQ(odd.find("/../"), std::string::npos);
  EXPECT_NE(host::instanceSocketPath(u"a_b"), host::instanceSocketPath(u"a b"));
}

}  // namespace
}  // namespace wmtest
