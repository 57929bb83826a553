// Presenting a full-screen frame under X11: the backend's present path (a
// shown full-screen window of the x11 backend, new pixels in its client
// surface, BeginPaint/EndPaint, which fills the window's image and writes it
// with XShmPutImage when MIT-SHM works, then XSync) against a plain XPutImage
// of the same frame from an image over the same pixels, then XSync, into the
// same window on the same connection.
//
// The scene starts its own Xvfb (its display named through -displayfd, no
// fixed number) with a 1920x1080 screen and stops it by its pid at exit.
// Without Xvfb, or without the x11 backend built in, it reports no figure:
// the benchmark ends with an error message that starts with "skipped: ",
// which bench/check_goals.py prints as a skipped goal. When a shared-memory
// segment attaches on the server, the present must have used it, or the
// scene reports an error instead of a figure.
#include "bench/bench_support.h"

#ifdef TESSARIL_HAVE_X11
#include "platform/host/x11/x11_state.h"
#endif

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/ipc.h>
#include <sys/shm.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>

#include "platform/host/runtime/host_clock.h"
#include "platform/host/host_control.h"
#include "platform/host/window_manager/window_state.h"

extern char** environ;

namespace {

constexpr int kScreenWidth = 1920;
constexpr int kScreenHeight = 1080;

pid_t xvfbPid = -1;
std::string skipReason;   // non-empty: the scene reports no figure, with this reason
std::string startError;   // non-empty: Xvfb was there but did not start

// Milliseconds of the steady clock, for the waits' deadlines.
int64_t steadyMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

// Stops the Xvfb this process started, if any (by its pid).
void stopXvfb() {
  if (xvfbPid <= 0) return;
  kill(xvfbPid, SIGTERM);
  waitpid(xvfbPid, nullptr, 0);
  xvfbPid = -1;
}

// Starts Xvfb with a kScreenWidth x kScreenHeight screen and sets DISPLAY to
// the display it names on the pipe; sets skipReason when there is no Xvfb,
// startError when it does not come up within 20 s.
void startXvfb() {
  int pipeFds[2];
  if (pipe2(pipeFds, O_CLOEXEC) != 0) {
    startError = "no pipe for Xvfb's display number";
    return;
  }
  std::string screen = std::to_string(kScreenWidth) + "x" + std::to_string(kScreenHeight) + "x24";
  std::string fd = std::to_string(3);
  const char* argv[] = {"Xvfb", "-displayfd", fd.c_str(), "-screen", "0", screen.c_str(), "-nolisten", "tcp",
                        nullptr};
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, pipeFds[1], 3);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  pid_t pid = -1;
  int spawned = posix_spawnp(&pid, "Xvfb", &actions, nullptr, const_cast<char* const*>(argv), environ);
  posix_spawn_file_actions_destroy(&actions);
  close(pipeFds[1]);
  if (spawned != 0) {
    close(pipeFds[0]);
    if (spawned == ENOENT) {
      skipReason = "Xvfb is not installed (apt-get install xvfb)";
    } else {
      startError = std::string("Xvfb could not be started: ") + std::strerror(spawned);
    }
    return;
  }
  xvfbPid = pid;
  std::atexit(stopXvfb);
  std::string number;
  int64_t deadline = steadyMs() + 20000;
  while (number.find('\n') == std::string::npos) {
    int64_t left = deadline - steadyMs();
    pollfd p{pipeFds[0], POLLIN, 0};
    if (left <= 0 || poll(&p, 1, int(left)) <= 0) break;
    char buffer[32];
    ssize_t got = read(pipeFds[0], buffer, sizeof buffer);
    if (got <= 0) break;  // Xvfb ended without naming a display
    number.append(buffer, size_t(got));
  }
  close(pipeFds[0]);
  size_t end = number.find('\n');
  if (end == std::string::npos || end == 0 || number.find_first_not_of("0123456789") != end) {
    startError = "Xvfb did not name its display";
    stopXvfb();
    return;
  }
  setenv("DISPLAY", (":" + number.substr(0, end)).c_str(), 1);
}

#ifdef TESSARIL_HAVE_X11

// Whether the server attaches a shared-memory segment for this connection:
// then the present path must use MIT-SHM.
bool serverAttachesShm() {
  host::X11Display& x = host::x11();
  int opcode, event, error;
  if (XQueryExtension(x.display, "MIT-SHM", &opcode, &event, &error) != True) return false;
  XShmSegmentInfo shm{};
  shm.shmid = shmget(IPC_PRIVATE, 4096, IPC_CREAT | 0600);
  if (shm.shmid < 0) return false;
  shm.shmaddr = static_cast<char*>(shmat(shm.shmid, nullptr, 0));
  shmctl(shm.shmid, IPC_RMID, nullptr);
  if (shm.shmaddr == reinterpret_cast<char*>(-1)) return false;
  shm.readOnly = False;
  host::trapErrors();
  Status status = XShmAttach(x.display, &shm);
  bool attached = host::untrapErrors() == 0 && status != 0;
  if (attached) {
    XShmDetach(x.display, &shm);
    XSync(x.display, False);
  }
  shmdt(shm.shmaddr);
  return attached;
}

// Dispatches messages until the X window is viewable (a present into an
// unmapped window draws nothing); a thread timer makes GetMessageW return at
// least every 20 ms. False after 10 s.
bool waitViewable(::Window id) {
  auto viewable = [id] {
    XWindowAttributes attributes;
    return XGetWindowAttributes(host::x11().display, id, &attributes) != 0 && attributes.map_state == IsViewable;
  };
  int64_t deadline = steadyMs() + 10000;
  uintptr_t timer = SetTimer(nullptr, 0, 20, nullptr);
  bool ok = viewable();
  MSG message;
  while (!ok && steadyMs() < deadline && GetMessageW(&message, nullptr, 0, 0) > 0) {
    DispatchMessageW(&message);
    ok = viewable();
  }
  KillTimer(nullptr, timer);
  return ok;
}

// Times the backend's present against a plain XPutImage of the same frame,
// both into one full-screen window; state gets the ratio and whether MIT-SHM was used.
void BM_X11Present(benchmark::State& state) {
  std::string error;
  if (!skipReason.empty() || !startError.empty()) {
    state.SkipWithError((skipReason.empty() ? startError : "skipped: " + skipReason).c_str());
    return;
  }
  HWND window = bench::startFullScreenWindow("x11", &error);
  if (window == nullptr) {
    state.SkipWithError(("the x11 backend did not start on Xvfb: " + error).c_str());
    return;
  }
  host::Window* record = window != nullptr ? host::localWindow(window) : nullptr;
  host::X11Window* xw = record != nullptr ? static_cast<host::X11Window*>(record->backendData) : nullptr;
  if (xw == nullptr) {
    state.SkipWithError("the full-screen window could not be made");
    host::resetHost();
    return;
  }
  ShowWindow(window, SW_SHOWNORMAL);
  host::X11Display& x = host::x11();
  host::Surface& client = record->client;
  if (!waitViewable(xw->id)) {
    state.SkipWithError("the full-screen window was never mapped");
  } else if (client.width != x.width || client.height != x.height || client.width <= bench::kStampSide ||
             client.height <= bench::kStampSide) {
    state.SkipWithError("the window does not cover the screen");
  } else if (!x.directPixels) {
    state.SkipWithError("the server's pixels are not 32-bit 0xRRGGBB; no plain image over the frame");
  } else {
    bool shmThere = serverAttachesShm();
    // The peer's image is made over the client pixels themselves: no copy.
    XImage* plain = XCreateImage(x.display, x.visual, unsigned(x.depth), ZPixmap, 0,
                                 reinterpret_cast<char*>(client.pixels.data()), unsigned(client.width),
                                 unsigned(client.height), 32, client.width * 4);
    bench::SameRunTimer timer;
    bench::addPresentJobs(timer, window, client.pixels.data(), client.width, client.height, "xputimage", [&] {
      XPutImage(x.display, xw->id, xw->gc, plain, 0, 0, 0, 0, unsigned(client.width), unsigned(client.height));
      XSync(x.display, False);
    });
    for (auto _ : state) state.SetIterationTime(timer.round());
    if (plain != nullptr) {
      plain->data = nullptr;  // the pixels are the window's
      XDestroyImage(plain);
    }
    if (shmThere && !xw->image.shared) {
      state.SkipWithError("the server attaches MIT-SHM but the present did not use it");
    } else {
      state.counters["shm"] = xw->image.shared ? 1 : 0;
      timer.reportRatio(state, "vs_xputimage", "xputimage");
    }
  }
  DestroyWindow(window);
  host::resetHost();
}

#else

// Without the x11 backend built in there is nothing to time (state gets the reason).
void BM_X11Present(benchmark::State& state) {
  state.SkipWithError("skipped: the x11 backend is not built in (libx11-dev and libxext-dev missing)");
}

#endif

}  // namespace

BENCHMARK(BM_X11Present)->UseManualTime()->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
#ifdef TESSARIL_HAVE_X11
  startXvfb();
#else
  skipReason = "the x11 backend is not built in";
#endif
  if (!skipReason.empty()) std::fprintf(stderr, "x11_present_bench: skipped: %s\n", skipReason.c_str());
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  stopXvfb();
  return 0;
}
