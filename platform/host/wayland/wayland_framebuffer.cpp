// The wayland backend's pixels: each frame is copied into an ARGB8888 wl_shm
// buffer (premultiplied, as the host's surfaces are) and committed once, with
// the whole surface damaged.
//
// Invariant: a buffer is written only while the compositor does not hold it
// (never attached, or released since), so no frame is ever seen half-written.
// A surface keeps up to kMaxBuffers buffers of its current size, each in its
// own memfd; when all are held, present blocks in the connection's wait until
// a release arrives (no busy wait), and drops the frame only if the
// compositor releases nothing for kReleaseTimeoutMs. Buffers of an old size
// are destroyed as soon as the compositor lets them go. The opaque region
// covers the surface exactly when every pixel of the frame is opaque (a show
// over a background colour), so the compositor need not draw what lies beneath.
#include "platform/host/wayland/wayland_state.h"

#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>

namespace host {
namespace {

constexpr size_t kMaxBuffers = 3;
constexpr int kReleaseTimeoutMs = 1000;

void destroyBuffer(WaylandBuffer* b) {
  wl_buffer_destroy(b->buffer);
  munmap(b->pixels, b->bytes);
  delete b;
}

// The compositor is done reading b: it may be written again, or go if its
// size is no longer the surface's.
void bufferRelease(void* data, wl_buffer*) {
  auto* b = static_cast<WaylandBuffer*>(data);
  b->busy = false;
  if (!b->orphaned) return;
  std::vector<WaylandBuffer*>& list = b->owner->buffers;
  list.erase(std::remove(list.begin(), list.end(), b), list.end());
  destroyBuffer(b);
}

const wl_buffer_listener kBufferListener = {.release = bufferRelease};

// A new width x height buffer in its own memfd, or null.
WaylandBuffer* makeBuffer(WaylandSurface* s, int width, int height) {
  size_t bytes = size_t(width) * size_t(height) * 4;
  int fd = memfd_create("tessaril-frame", MFD_CLOEXEC);
  if (fd < 0) return nullptr;
  void* pixels = MAP_FAILED;
  if (ftruncate(fd, off_t(bytes)) == 0) pixels = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
  if (pixels == MAP_FAILED) {
    close(fd);
    return nullptr;
  }
  wl_shm_pool* pool = wl_shm_create_pool(wayland().shm, fd, int32_t(bytes));
  auto* b = new WaylandBuffer;
  b->owner = s;
  b->buffer = wl_shm_pool_create_buffer(pool, 0, width, height, width * 4, WL_SHM_FORMAT_ARGB8888);
  wl_shm_pool_destroy(pool);  // the buffer keeps the memory shared
  close(fd);
  b->pixels = static_cast<uint32_t*>(pixels);
  b->bytes = bytes;
  b->width = width;
  b->height = height;
  wl_buffer_add_listener(b->buffer, &kBufferListener, b);
  s->buffers.push_back(b);
  return b;
}

// Buffers of another size than width x height go now, or on their release.
void dropOtherSizes(WaylandSurface* s, int width, int height) {
  std::vector<WaylandBuffer*> keep;
  for (WaylandBuffer* b : s->buffers) {
    if (b->width == width && b->height == height) {
      keep.push_back(b);
    } else if (b->busy) {
      b->orphaned = true;
      keep.push_back(b);
    } else {
      destroyBuffer(b);
    }
  }
  s->buffers.swap(keep);
}

struct FreeSearch {
  WaylandSurface* s;
  int width, height;
  WaylandBuffer* found;
};

// Finds (or makes, below the limit) a buffer the compositor does not hold.
bool findFree(void* data) {
  auto* f = static_cast<FreeSearch*>(data);
  if (f->s->toplevel == nullptr) return true;  // unmapped meanwhile: nothing to show
  size_t current = 0;
  for (WaylandBuffer* b : f->s->buffers) {
    if (b->orphaned) continue;
    ++current;
    if (!b->busy) {
      f->found = b;
      return true;
    }
  }
  if (current < kMaxBuffers) f->found = makeBuffer(f->s, f->width, f->height);
  return f->found != nullptr;
}

// Four pixels, for the copy's vector loop (SSE2 or NEON as the machine has).
typedef uint32_t Pixels4 __attribute__((vector_size(16)));

// Copies the frame's rows into the buffer; whether every pixel is opaque.
// One pass: four pixels are loaded, stored and folded into the alpha check
// at a time, so the check costs no second read of the frame.
bool copyFrame(uint32_t* to, const Surface& from) {
  const size_t count = size_t(from.width) * size_t(from.height);  // rows are contiguous in both
  const uint32_t* source = from.pixels.data();
  Pixels4 all = {~0u, ~0u, ~0u, ~0u};
  size_t i = 0;
  for (; i + 4 <= count; i += 4) {
    Pixels4 v;
    std::memcpy(&v, source + i, sizeof v);
    std::memcpy(to + i, &v, sizeof v);
    all &= v;
  }
  uint32_t alpha = all[0] & all[1] & all[2] & all[3];
  for (; i < count; ++i) {
    to[i] = source[i];
    alpha &= source[i];
  }
  return (alpha >> 24) == 0xFF;
}

// Sets the opaque region to the logical width x height (0 x 0: none) when it
// differs from what the surface has.
void setOpaque(WaylandSurface* s, int width, int height) {
  if (width == s->opaqueWidth && height == s->opaqueHeight) return;
  s->opaqueWidth = width;
  s->opaqueHeight = height;
  if (width == 0) {
    wl_surface_set_opaque_region(s->surface, nullptr);
    return;
  }
  wl_region* region = wl_compositor_create_region(wayland().compositor);
  wl_region_add(region, 0, 0, width, height);
  wl_surface_set_opaque_region(s->surface, region);
  wl_region_destroy(region);
}

}  // namespace

void presentPixels(WaylandSurface* s, const Surface& pixels) {
  if (s->toplevel == nullptr || !s->configured) return;
  // What has arrived is read first: releases free buffers, and a configure may
  // resize the window (its client surface, pixels, with it), so the frame's
  // size is taken only afterwards, and checked again after any wait.
  readAndDispatch(0);
  int width = pixels.width, height = pixels.height;
  if (s->toplevel == nullptr || width < 1 || height < 1) return;
  dropOtherSizes(s, width, height);
  FreeSearch search{s, width, height, nullptr};
  if (!waitUntil(findFree, &search, kReleaseTimeoutMs) || search.found == nullptr) return;
  if (pixels.width != width || pixels.height != height) return;  // resized meanwhile: repainted at the new size
  WaylandBuffer* b = search.found;
  bool opaque = copyFrame(b->pixels, pixels);
  // A buffer's sides must be multiples of its scale; a size that is not
  // (a window of another size than the output) is shown unscaled.
  int scale = (width % s->scale == 0 && height % s->scale == 0) ? s->scale : 1;
  wl_surface_set_buffer_scale(s->surface, scale);
  setOpaque(s, opaque ? width / scale : 0, opaque ? height / scale : 0);
  wl_surface_attach(s->surface, b->buffer, 0, 0);
  wl_surface_damage_buffer(s->surface, 0, 0, width, height);
  wl_surface_commit(s->surface);
  b->busy = true;
  s->hasFrame = true;
  wl_display_flush(wayland().display);
}

void freeBuffers(WaylandSurface* s) {
  for (WaylandBuffer* b : s->buffers) destroyBuffer(b);
  s->buffers.clear();
}

void waylandPresent(Window* window) {
  auto* s = static_cast<WaylandSurface*>(window->backendData);
  if (s != nullptr && window->visible()) presentPixels(s, window->client);
}

}  // namespace host
