// The simulation of one tick, dispatchEvents and updateInstances with 1023
// live image instances and the draw list they fill, against the sprite frame
// step that paints that list (paintFrame at 1920x1080) in the same iteration.
//
// The show is a settings file loaded by the system's own loader: three
// orbiting emitters, one per kind of sprite (colour-keyed at alpha 255, plain
// at 128, per-pixel alpha at 128), each spawning two children a tick that live
// 170 ticks, move with spread velocities and accelerations, wobble in a small
// orbit and inherit the emitter's offset. In the steady state every tick
// updates and draws 3 + 6 x 170 = 1023 instances, the pool full at its peak.
#include <cstdio>
#include <string>

#include "bench/bench_support.h"
#include "config/settings_loader.h"
#include "engine/instance_pool.h"
#include "engine/tick_update.h"
#include "engine/timed_events.h"
#include "platform/host/files/host_files.h"
#include "render/draw_list.h"
#include "render/painter.h"
#include "render/surfaces.h"

namespace {

constexpr int kWidth = 1920;
constexpr int kHeight = 1080;
constexpr int kExpectedEntries = 1023;
constexpr int kWarmUpTicks = 400;

// The settings text of the show; the images are keyed0.bmp, plain0.BMP and alpha0.bmp.
std::string showText() {
  std::string text =
      "#simulation benchmark\r\n"
      "@base\r\n16, 0, -1, -1, -1\r\n@\r\n"
      "@bmp\r\n"
      "0, \"keyed0.bmp\", 16, 16, 0, 0, 0, 0, 0, 0, 0\r\n"
      "1, \"plain0.BMP\", 16, 16, 0, 0, 0, 0, 0, 0, 0\r\n"
      "2, \"alpha0.bmp\", 16, 16, 0, 0, 0, 0, 0, 0, 0\r\n"
      "@set\r\n";
  const char* alpha[3] = {"255", "128", "128"};
  char line[512];
  for (int k = 0; k < 3; ++k) {
    // An emitter: orbits with radius 6 at 2 degrees a tick, spawns two children a tick.
    std::snprintf(line, sizeof line,
                  "%d, g, %d, 5, 0.5, 0.5, 0[300], 0[50], 0, 0, 0, 0, 6[1], 0, %d[30], 2, 1, 1, 0, 0, "
                  "48, -1, 0, 0, 0, 0, %s, 0, 0, 255, 0, 0, 255, 0, 0, 255, 0, 0, 0, %d, 0, 1, 0, 0, 2, "
                  "\"10000\"\r\n",
                  k, k, k * 120, alpha[k], k + 3);
    text += line;
  }
  for (int k = 0; k < 3; ++k) {
    // A child: spread start offset, velocity and acceleration, a small orbit, 170 ticks.
    std::snprintf(line, sizeof line,
                  "%d, g, %d, %d, 0.5, 0.5, 0[6], 0[6], 0[1.5], -0.5[1.5], 0[0.02], 0.01[0.02], 1[0.5], 0, "
                  "0[180], 3, 1, 1, 0, 0, 48, -1, 0, 0, 0, 0, %s[0], 0, 0, 255[20], 0, 0, 255, 0, 0, 255, 0, "
                  "0, 170, -1, 0, 0, 0, 0, 0, \"00000\"\r\n",
                  k + 3, k, 2 + k, alpha[k]);
    text += line;
  }
  text += "@evt\r\n0, 0, 0, 0\r\n0, 0, 1, 0\r\n0, 0, 2, 0\r\n@\r\n";
  return text;
}

// Writes the show and its images into dir; false on a write error.
bool writeShow(const bench::TempDir& dir) {
  for (bench::SpriteKind kind : {bench::SpriteKind::Keyed, bench::SpriteKind::Plain, bench::SpriteKind::Alpha}) {
    if (!bench::writeSprite(dir.path(), kind, 0)) return false;
  }
  std::string text = showText();
  FILE* f = std::fopen(dir.file("simulation.txt").c_str(), "wb");
  if (f == nullptr) return false;
  bool ok = std::fwrite(text.data(), 1, text.size(), f) == text.size();
  return std::fclose(f) == 0 && ok;
}

int drawListLength() {
  int n = 0;
  for (int slot = drawListHead; slot > 0 && slot < MAX_DRAW_ENTRIES && drawList[slot].inUse;
       slot = drawList[slot].next) {
    ++n;
  }
  return n;
}

// One tick of the show as the show driver runs it, without the sleep.
void simulateTick() {
  ++tick;
  dispatchEvents();
  updateInstances();
}

void BM_Simulation(benchmark::State& state) {
  bench::HeadlessWindow host(kWidth, kHeight);
  bench::TempDir dir;
  bool ready = host.window() != nullptr && writeShow(dir);
  host::setModuleDirectory(dir.path());
  srand(7);
  ready = ready && allocateSceneTables() && createSurfaces(host.window()) && allocateInstancePool() &&
          loadSettingsFile(u"simulation.txt");
  // The events fire at tick 0: the first step runs without a tick event.
  if (ready) {
    dispatchEvents();
    updateInstances();
    paintFrame(host.window());
    for (int i = 0; i < kWarmUpTicks; ++i) {
      simulateTick();
      paintFrame(host.window());
    }
    simulateTick();
    ready = drawListLength() == kExpectedEntries;
    paintFrame(host.window());
  }
  if (!ready) {
    state.SkipWithError("the simulated show did not reach 1023 drawn instances");
  } else {
    int shortFrames = 0;
    std::vector<double> ratios;
    for (auto _ : state) {
      double s = bench::timeOnce(simulateTick);
      if (drawListLength() != kExpectedEntries) ++shortFrames;
      double p = bench::timeOnce([&] { paintFrame(host.window()); });
      if (p > 0.0) ratios.push_back(s / p);
      state.SetIterationTime(s);
    }
    if (shortFrames != 0) state.SkipWithError("a tick drew fewer than 1023 instances");
    state.counters["vs_sprite_frame"] = bench::medianOf(ratios);
  }
  releaseSurfaces();
  releaseInstancePool();
  releaseSceneTables();
  host::setModuleDirectory(std::string());
}

}  // namespace

BENCHMARK(BM_Simulation)->UseManualTime()->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();
