// Presenting a full-screen frame under Wayland: the backend's present path (a
// shown full-screen window of the wayland backend, new pixels in its client
// surface, BeginPaint/EndPaint, which waits for a released wl_shm buffer,
// copies the frame into it while checking whether it is opaque, and commits)
// against a plain memcpy of the same frame into a wl_shm buffer of the
// scene's own, attached to the same surface and committed, both flushed.
//
// The scene starts its own headless sway (tests/support/sway_session.h, as an
// unprivileged user when run as root) with a 1920x1080 output and stops it at
// exit. Without sway, or without the wayland backend built in, it reports no
// figure: the benchmark ends with an error message that starts with "skipped: ".
#include "bench/bench_support.h"

#if defined(TESSARIL_HAVE_WAYLAND) && defined(TESSARIL_HAVE_SWAY_SESSION)
#include "platform/host/wayland/wayland_state.h"
#include "tests/support/sway_session.h"

#include <sys/mman.h>
#include <unistd.h>
#endif

#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/host/host_control.h"
#include "platform/host/runtime/host_clock.h"
#include "platform/host/window_manager/window_state.h"

namespace {

constexpr int kWidth = 1920;
constexpr int kHeight = 1080;

#if defined(TESSARIL_HAVE_WAYLAND) && defined(TESSARIL_HAVE_SWAY_SESSION)

sway_test::SwaySession* session = nullptr;
std::string startError;

// The peer's one shm buffer of the frame's size.
struct PlainBuffer {
  wl_buffer* buffer = nullptr;
  uint32_t* pixels = nullptr;
  size_t bytes = 0;
};

bool makePlainBuffer(PlainBuffer* b) {
  b->bytes = size_t(kWidth) * kHeight * 4;
  int fd = memfd_create("bench-frame", MFD_CLOEXEC);
  if (fd < 0 || ftruncate(fd, off_t(b->bytes)) != 0) return false;
  void* p = mmap(nullptr, b->bytes, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
  wl_shm_pool* pool = wl_shm_create_pool(host::wayland().shm, fd, int32_t(b->bytes));
  b->buffer = wl_shm_pool_create_buffer(pool, 0, kWidth, kHeight, kWidth * 4, WL_SHM_FORMAT_ARGB8888);
  wl_shm_pool_destroy(pool);
  close(fd);
  b->pixels = static_cast<uint32_t*>(p);
  return p != MAP_FAILED;
}

void BM_WaylandPresent(benchmark::State& state) {
  if (!startError.empty()) {
    state.SkipWithError(startError.c_str());
    return;
  }
  std::string error;
  HWND window = bench::startFullScreenWindow("wayland", &error);
  if (window == nullptr) {
    state.SkipWithError(("the wayland backend did not start on sway: " + error).c_str());
    return;
  }
  host::Window* record = window != nullptr ? host::localWindow(window) : nullptr;
  auto* s = record != nullptr ? static_cast<host::WaylandSurface*>(record->backendData) : nullptr;
  PlainBuffer plain;
  if (s == nullptr || s->toplevel == nullptr || !s->configured) {
    state.SkipWithError("the full-screen window was not mapped");
  } else if (record->client.width != kWidth || record->client.height != kHeight) {
    state.SkipWithError("the window does not cover the 1920x1080 output");
  } else if (!makePlainBuffer(&plain)) {
    state.SkipWithError("no shm buffer for the plain copy");
  } else {
    host::Surface& client = record->client;
    bench::SameRunTimer timer;
    bench::addPresentJobs(timer, window, client.pixels.data(), client.width, client.height, "memcpy_commit", [&] {
      std::memcpy(plain.pixels, client.pixels.data(), plain.bytes);
      wl_surface_attach(s->surface, plain.buffer, 0, 0);
      wl_surface_damage_buffer(s->surface, 0, 0, kWidth, kHeight);
      wl_surface_commit(s->surface);
      wl_display_flush(host::wayland().display);
    });
    for (auto _ : state) state.SetIterationTime(timer.round());
    timer.reportRatio(state, "vs_memcpy_commit", "memcpy_commit");
  }
  DestroyWindow(window);
  if (plain.buffer != nullptr) wl_buffer_destroy(plain.buffer);
  if (plain.pixels != nullptr) munmap(plain.pixels, plain.bytes);
  host::resetHost();
}

// Starts sway and points the backend at its socket; startError says why not.
void startSway() {
  session = new sway_test::SwaySession;
  sway_test::SessionOptions options;
  options.width = kWidth;
  options.height = kHeight;
  options.xwayland = false;
  std::string why;
  if (!session->start(options, &why)) {
    startError = "skipped: sway did not start: " + why;
    return;
  }
  setenv("WAYLAND_DISPLAY", (session->runtimeDir() + "/" + session->waylandDisplay()).c_str(), 1);
}

void stopSway() {
  if (session != nullptr) session->stop();
}

#else

void BM_WaylandPresent(benchmark::State& state) {
  state.SkipWithError("skipped: the wayland backend or the sway test session is not built in");
}
void startSway() {}
void stopSway() {}

#endif

}  // namespace

BENCHMARK(BM_WaylandPresent)->UseManualTime()->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  startSway();
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  stopSway();
  return 0;
}
