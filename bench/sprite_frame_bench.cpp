// The sprite frame step: paintFrame clearing a 1920x1080 back buffer from the
// snapshot and drawing 1023 image entries, sprites of 32x32 stretched to 48x48:
// a third colour-keyed at alpha 255, a third plain images at constant alpha
// 128, a third per-pixel-alpha BMPs at alpha 128, then the blit to the window
// and its presentation on the headless screen.
//
// Peer: pixman doing the same frame by hand: a memcpy for the clear, one
// pixman_image_composite32 per sprite with the nearest filter, every source
// as a8r8g8b8 (keyed sprites with the key made transparent and no mask,
// blended ones with a solid mask of 128), and a memcpy each for the blit and
// the presentation.
// Floor: a hot memcpy of the frame. The draw list is filled before each
// iteration's timing, as the tick update would have left it.
//
// The live overlay's frame step (BM_SpriteFrameLive): the same frame over the
// fully transparent snapshot a compositing desktop gives, every sprite
// translucent (plain images and per-pixel-alpha BMPs in turn, at alpha 128),
// so every pixel drawn stays translucent for the compositor; the peer is pixman
// compositing the same sprites OVER into its ARGB image cleared from the same
// snapshot.
//
// The worst frame a show can ask for, against that sprite frame step in the
// same iteration: 1023 line instances whose lines run to their own definition,
// so each asks for 1023 lines; the first instance's fill the draw list and the
// other 1,045,506 requests are dropped, each printing the full list's console
// line. Timed is one frame step as the show driver runs it (dispatchEvents,
// updateInstances, paintFrame), with standard error on /dev/null (argument 0)
// or on a pipe that a thread drains (argument 1).
#include <fcntl.h>
#include <pixman.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <thread>

#include "bench/bench_support.h"
#include "engine/instance_pool.h"
#include "engine/scene_tables.h"
#include "engine/tick_update.h"
#include "engine/timed_events.h"
#include "platform/host/gdi/gdi_objects.h"
#include "platform/host/host_control.h"
#include "platform/host/runtime/debug_console.h"
#include "render/draw_list.h"
#include "render/painter.h"
#include "render/surfaces.h"

namespace {

constexpr int kWidth = 1920;
constexpr int kHeight = 1080;
constexpr int kEntries = 1023;
constexpr int kVariants = 4;  // images of each kind
constexpr int kDrawn = 48;
constexpr int kKinds = 3;

struct SpriteEntry {
  int image;
  int x, y;
  int alpha;
  int layer;
};

// The kind of the images in slot: 0..3 keyed, 4..7 plain, 8..11 alpha.
bench::SpriteKind kindOfSlot(int slot) { return bench::SpriteKind(slot / kVariants); }

// Writes and loads the twelve sprite images into scene.images the way the
// settings parser does; false when one cannot be made.
bool loadSpriteImages(const bench::TempDir& dir) {
  for (int slot = 0; slot < kKinds * kVariants; ++slot) {
    bench::SpriteKind kind = kindOfSlot(slot);
    if (!bench::writeSprite(dir.path(), kind, slot % kVariants)) return false;
    std::u16string path = bench::devicePath(dir.file(bench::spriteFileName(kind, slot % kVariants)));
    ImageSlot& image = scene.images[slot];
    image.imageLoader = kind == bench::SpriteKind::Plain ? IMAGE_LOADER_SHELL : IMAGE_LOADER_DIB;
    image.bitmap = kind == bench::SpriteKind::Plain ? SHLoadImageFile(path.c_str()) : SHLoadDIBitmap(path.c_str());
    image.dc = CreateCompatibleDC(nullptr);
    if (image.bitmap == nullptr || image.dc == nullptr) return false;
    SelectObject(image.dc, image.bitmap);
    GetObjectW(image.bitmap, sizeof(BITMAP), &image.info);
  }
  return true;
}

// The 1023 entries: kinds in turn (live: only the translucent two), scattered
// over the frame, on five layers.
std::vector<SpriteEntry> layoutEntries(bool live) {
  bench::Lcg lcg(1234567);
  std::vector<SpriteEntry> entries;
  for (int i = 0; i < kEntries; ++i) {
    int kind = live ? 1 + i % 2 : i % kKinds;
    SpriteEntry e;
    e.image = kind * kVariants + (i / kKinds) % kVariants;
    e.x = lcg.below(kWidth - kDrawn);
    e.y = lcg.below(kHeight - kDrawn);
    e.alpha = kind == 0 ? 255 : 128;
    e.layer = lcg.below(5);
    entries.push_back(e);
  }
  return entries;
}

void fillDrawList(const std::vector<SpriteEntry>& entries) {
  for (const SpriteEntry& e : entries) {
    insertDrawEntry(KIND_IMAGE, e.image, e.x, e.y, kDrawn, kDrawn, 0.0f, 0.0f, 0, 0, bench::kSpriteSide,
                    bench::kSpriteSide, e.alpha, 0, 0, 0, e.layer);
  }
}

// The entries in the order the painter draws them: the draw list's walk.
std::vector<SpriteEntry> drawingOrder() {
  std::vector<SpriteEntry> order;
  for (int slot = drawListHead; slot > 0 && drawList[slot].inUse; slot = drawList[slot].next) {
    const DrawEntry& d = drawList[slot];
    order.push_back(SpriteEntry{d.source, d.x, d.y, d.alpha, d.layer});
  }
  return order;
}

// The same frame composed with pixman directly.
struct PixmanFrame {
  std::vector<uint32_t> snapshot, back, window, screen;
  std::vector<std::vector<uint32_t>> sourcePixels;
  std::vector<pixman_image_t*> sources;
  pixman_image_t* target = nullptr;
  pixman_image_t* mask = nullptr;
  std::vector<SpriteEntry> order;

  bool build(const std::vector<SpriteEntry>& drawn) {
    size_t pixels = size_t(kWidth) * size_t(kHeight);
    const host::Surface* shot = host::dcSurface(screenSnapshot);
    if (shot == nullptr || shot->pixels.size() != pixels) return false;
    snapshot = shot->pixels;
    back.assign(pixels, 0);
    window.assign(pixels, 0);
    screen.assign(pixels, 0);
    target = pixman_image_create_bits(PIXMAN_a8r8g8b8, kWidth, kHeight, back.data(), kWidth * 4);
    pixman_color_t half = {0, 0, 0, 0x8080};
    mask = pixman_image_create_solid_fill(&half);
    pixman_transform_t scale;
    pixman_fixed_t step = pixman_fixed_t((int64_t(bench::kSpriteSide) << 16) / kDrawn);
    pixman_transform_init_scale(&scale, step, step);
    sourcePixels.resize(kKinds * kVariants);
    for (int slot = 0; slot < kKinds * kVariants; ++slot) {
      const host::Bitmap* bitmap = host::lookup<host::Bitmap>(scene.images[slot].bitmap);
      if (bitmap == nullptr) return false;
      std::vector<uint32_t>& p = sourcePixels[size_t(slot)];
      p = bitmap->surface.pixels;
      bench::SpriteKind kind = kindOfSlot(slot);
      if (kind == bench::SpriteKind::Keyed) {
        for (uint32_t& v : p) v = (v & 0x00FFFFFFu) == 0xFF00FFu ? 0u : (v | 0xFF000000u);
      }
      // Opaque pixels read the same as a8r8g8b8, pixman's fastest scaled source.
      pixman_image_t* image = pixman_image_create_bits(PIXMAN_a8r8g8b8, bench::kSpriteSide, bench::kSpriteSide, p.data(),
                                                       bench::kSpriteSide * 4);
      pixman_image_set_filter(image, PIXMAN_FILTER_NEAREST, nullptr, 0);
      pixman_image_set_transform(image, &scale);
      sources.push_back(image);
    }
    order = drawn;
    return target != nullptr && mask != nullptr;
  }

  ~PixmanFrame() {
    for (pixman_image_t* image : sources) pixman_image_unref(image);
    if (target != nullptr) pixman_image_unref(target);
    if (mask != nullptr) pixman_image_unref(mask);
  }

  void compose() {
    size_t bytes = back.size() * 4;
    std::memcpy(back.data(), snapshot.data(), bytes);
    for (const SpriteEntry& e : order) {
      pixman_image_t* m = e.alpha == 255 ? nullptr : mask;
      pixman_image_composite32(PIXMAN_OP_OVER, sources[size_t(e.image)], m, target, 0, 0, 0, 0, e.x, e.y, kDrawn,
                               kDrawn);
    }
    std::memcpy(window.data(), back.data(), bytes);
    std::memcpy(screen.data(), window.data(), bytes);
  }
};

void runSpriteFrame(benchmark::State& state, bool live) {
  bench::HeadlessWindow host(kWidth, kHeight);
  bench::TempDir dir;
  if (live) host::setLiveOverlay(true);
  if (host.window() == nullptr || !allocateSceneTables() || !createSurfaces(host.window()) ||
      !loadSpriteImages(dir)) {
    state.SkipWithError("the sprite scene could not be set up");
    releaseSurfaces();
    releaseSceneTables();
    return;
  }
  std::vector<SpriteEntry> entries = layoutEntries(live);
  fillDrawList(entries);
  std::vector<SpriteEntry> order = drawingOrder();
  emptyDrawList();
  PixmanFrame peer;
  std::vector<uint32_t> floorFrom(size_t(kWidth) * size_t(kHeight), 0x11223344u);
  std::vector<uint32_t> floorTo(floorFrom.size(), 0);
  bool ready = order.size() == size_t(kEntries) && peer.build(order);

  // The painter must really draw: nearly every sprite's centre differs from
  // the snapshot beneath it (live: and is translucent, as pixman's is).
  if (ready) {
    fillDrawList(entries);
    paintFrame(host.window());
    const host::Surface* back = host::dcSurface(backBuffer);
    int changed = 0, translucent = 0;
    for (const SpriteEntry& e : order) {
      size_t at = size_t(e.y + kDrawn / 2) * kWidth + size_t(e.x + kDrawn / 2);
      if (back != nullptr && back->pixels[at] != peer.snapshot[at]) ++changed;
      if (back != nullptr && (back->pixels[at] >> 24) < 0xFF) ++translucent;
    }
    ready = changed * 10 >= kEntries * 9 && (!live || translucent * 10 >= kEntries * 9);
  }
  if (!ready) {
    state.SkipWithError("the sprite scene did not draw");
  } else {
    bench::SameRunTimer timer;
    timer.add("ours", [&] { paintFrame(host.window()); });
    timer.add("pixman", [&] { peer.compose(); });
    timer.add("memcpy", [&] { std::memcpy(floorTo.data(), floorFrom.data(), floorFrom.size() * 4); });
    for (auto _ : state) {
      fillDrawList(entries);
      state.SetIterationTime(timer.round());
    }
    timer.reportRatio(state, "vs_pixman", "pixman");
    timer.reportRatio(state, "vs_memcpy", "memcpy");
    benchmark::DoNotOptimize(floorTo.data());
  }
  releaseSurfaces();
  releaseSceneTables();
}

void BM_SpriteFrame(benchmark::State& state) { runSpriteFrame(state, false); }
void BM_SpriteFrameLive(benchmark::State& state) { runSpriteFrame(state, true); }

// Standard error, while this lives, on /dev/null or on a pipe that a thread
// drains.
class StderrSink {
 public:
  explicit StderrSink(bool pipeToReader) {
    std::fflush(stderr);
    saved_ = dup(STDERR_FILENO);
    int fds[2] = {-1, -1};
    if (pipeToReader && pipe(fds) == 0) {
      dup2(fds[1], STDERR_FILENO);
      close(fds[1]);
      reader_ = std::thread([fd = fds[0]] {
        char buffer[65536];
        ssize_t n;
        do {
          n = read(fd, buffer, sizeof buffer);
        } while (n > 0 || (n < 0 && errno == EINTR));
        close(fd);
      });
    } else {
      int null = open("/dev/null", O_WRONLY);
      dup2(null, STDERR_FILENO);
      close(null);
    }
  }
  // Puts standard error back, which ends the pipe: the reader sees its end.
  ~StderrSink() {
    host::flushDebugConsole();
    dup2(saved_, STDERR_FILENO);
    close(saved_);
    if (reader_.joinable()) reader_.join();
  }

 private:
  int saved_ = -1;
  std::thread reader_;
};

// Fills the pool with 1023 instances of line definition 0, whose lines run to
// definition 0: scattered over the frame, still, one pixel wide.
bool spawnLineInstances() {
  EffectDef& d = scene.defs[0];
  d = EffectDef{};
  d.kind = KIND_LINE;
  d.source = 0;
  d.layer = 3;
  d.posFracX = d.posFracY = 0.5f;
  d.offsetXRand = kWidth / 2;
  d.offsetYRand = kHeight / 2;
  d.width = d.height = 1.0f;
  d.alpha = d.red = 255.0f;
  d.green = 200.0f;
  d.childDef = -1;
  for (int i = 1; i < MAX_INSTANCES; ++i) spawnInstance(0, 0);
  return pool.slots[MAX_INSTANCES - 1].inUse && pool.slots[MAX_INSTANCES - 1].def == 0;
}

// One frame step of the show, without the driver's rest.
void worstFrameStep(HWND window) {
  dispatchEvents();
  updateInstances();
  paintFrame(window);
}

void BM_WorstFrame(benchmark::State& state) {
  StderrSink sink(state.range(0) == 1);
  bench::HeadlessWindow host(kWidth, kHeight);
  bench::TempDir dir;
  bool ready = host.window() != nullptr && allocateSceneTables() && createSurfaces(host.window()) &&
               allocateInstancePool() && loadSpriteImages(dir) && spawnLineInstances();
  std::vector<SpriteEntry> entries = layoutEntries(false);
  if (ready) {
    // The frame must be the worst: a full list of lines, all from the first instance.
    updateInstances();
    ready = drawingOrder().size() == size_t(kEntries) && drawList[1].kind == KIND_LINE;
    paintFrame(host.window());
  }
  if (!ready) {
    state.SkipWithError("the worst frame could not be set up");
  } else {
    std::vector<double> ratios;
    bool worstFirst = false;
    for (auto _ : state) {
      double worst = 0.0;
      worstFirst = !worstFirst;
      if (worstFirst) worst = bench::timeOnce([&] { worstFrameStep(host.window()); });
      fillDrawList(entries);
      double sprites = bench::timeOnce([&] { paintFrame(host.window()); });
      if (!worstFirst) worst = bench::timeOnce([&] { worstFrameStep(host.window()); });
      if (sprites > 0.0) ratios.push_back(worst / sprites);
      state.SetIterationTime(worst);
    }
    state.counters["vs_sprite_frame"] = bench::medianOf(ratios);
  }
  releaseSurfaces();
  releaseInstancePool();
  releaseSceneTables();
}

}  // namespace

BENCHMARK(BM_SpriteFrame)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SpriteFrameLive)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WorstFrame)->Arg(0)->Arg(1)->UseManualTime()->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
