// The painter's clear of the back buffer, at 240x320, 800x480 and 1920x1080:
// with the background brush (SelectObject, PatBlt with PATCOPY, SelectObject
// back, as the painter does) against pixman_fill of the same area, and from
// the snapshot (BitBlt with SRCCOPY) against a memcpy of the same size.
// Each timed job clears often enough to cover about two million pixels, so a
// small screen's clear is not lost in the clock's resolution.
#include <pixman.h>

#include <cstring>

#include "bench/bench_support.h"
#include "engine/scene_tables.h"
#include "platform/host/gdi/gdi_objects.h"
#include "render/surfaces.h"

namespace {

constexpr uint32_t kBackground = 0xFF204060u;  // RGB(0x20, 0x40, 0x60) as a pixel

// Clears per timed job for a screen of width x height.
int repeatsFor(int width, int height) {
  int pixels = width * height;
  return pixels >= (1 << 21) ? 1 : (1 << 21) / pixels;
}

// Sets up the surfaces of a screen of width x height; false when it fails.
bool setUpSurfaces(const bench::HeadlessWindow& host) {
  return host.window() != nullptr && createSurfaces(host.window());
}

void BM_ClearBrush(benchmark::State& state) {
  int width = int(state.range(0)), height = int(state.range(1));
  bench::HeadlessWindow host(width, height);
  HBRUSH brush = CreateSolidBrush(RGB(0x20, 0x40, 0x60));
  std::vector<uint32_t> plain(size_t(width) * size_t(height), 0);
  if (!setUpSurfaces(host) || brush == nullptr) {
    state.SkipWithError("the surfaces could not be made");
  } else {
    int repeats = repeatsFor(width, height);
    bench::SameRunTimer timer;
    timer.add("ours", [&] {
      for (int i = 0; i < repeats; ++i) {
        HGDIOBJ previous = SelectObject(backBuffer, brush);
        PatBlt(backBuffer, 0, 0, clientRect.right, clientRect.bottom, PATCOPY);
        SelectObject(backBuffer, previous);
      }
    });
    timer.add("pixman_fill", [&] {
      for (int i = 0; i < repeats; ++i) pixman_fill(plain.data(), width, 32, 0, 0, width, height, kBackground);
    });
    for (auto _ : state) state.SetIterationTime(timer.round());
    const host::Surface* back = host::dcSurface(backBuffer);
    if (back == nullptr || back->pixels != plain) state.SkipWithError("the brush clear did not fill the frame");
    timer.reportRatio(state, "vs_pixman_fill", "pixman_fill");
  }
  releaseSurfaces();
  DeleteObject(brush);
}

void BM_ClearSnapshot(benchmark::State& state) {
  int width = int(state.range(0)), height = int(state.range(1));
  bench::HeadlessWindow host(width, height);
  size_t pixels = size_t(width) * size_t(height);
  std::vector<uint32_t> from(pixels, 0x55667788u), to(pixels, 0);
  if (!setUpSurfaces(host)) {
    state.SkipWithError("the surfaces could not be made");
  } else {
    int repeats = repeatsFor(width, height);
    bench::SameRunTimer timer;
    timer.add("ours", [&] {
      for (int i = 0; i < repeats; ++i) {
        BitBlt(backBuffer, 0, 0, clientRect.right, clientRect.bottom, screenSnapshot, 0, 0, SRCCOPY);
      }
    });
    timer.add("memcpy", [&] {
      for (int i = 0; i < repeats; ++i) std::memcpy(to.data(), from.data(), pixels * 4);
    });
    for (auto _ : state) state.SetIterationTime(timer.round());
    const host::Surface* back = host::dcSurface(backBuffer);
    const host::Surface* shot = host::dcSurface(screenSnapshot);
    if (back == nullptr || shot == nullptr || back->pixels != shot->pixels) {
      state.SkipWithError("the snapshot clear did not copy the frame");
    }
    timer.reportRatio(state, "vs_memcpy", "memcpy");
    benchmark::DoNotOptimize(to.data());
  }
  releaseSurfaces();
}

void screenSizes(benchmark::internal::Benchmark* b) {
  b->Args({240, 320})->Args({800, 480})->Args({1920, 1080});
}

}  // namespace

BENCHMARK(BM_ClearBrush)->Apply(screenSizes)->UseManualTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ClearSnapshot)->Apply(screenSizes)->UseManualTime()->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();
