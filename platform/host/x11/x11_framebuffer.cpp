// The x11 backend's pixels: windows' client surfaces shown with
// XShmPutImage (XPutImage where MIT-SHM does not work), and the screen
// snapshot read from the root window with XShmGetImage (XGetImage otherwise).
//
// MIT-SHM is tried once per image and dropped for the rest of the process
// when the server refuses it: in containers the server often cannot attach
// the segment (BadAccess), which shows only after a round trip, hence the
// trapped XSync after XShmAttach. Every present ends with XSync, so a frame
// is on the screen when EndPaint returns. A screen that cannot be read gives
// a black snapshot and one line on standard error. With the live overlay
// (x11_overlay.cpp) the snapshot is fully transparent and a show window's
// premultiplied ARGB pixels go to its 32-bit visual as they are.
#include "platform/host/x11/x11_state.h"

#include <sys/ipc.h>
#include <sys/shm.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>


namespace host {
namespace {

struct Snapshot {
  Surface surface;
  X11Image image;
  bool reported = false;  // the failure line was printed
};

Snapshot& snapshot() {
  static Snapshot* instance = new Snapshot;
  return *instance;
}

// The shift that brings a channel mask's top bit to bit 7.
int shiftOf(unsigned long mask) {
  int top = 0;
  for (int bit = 0; bit < 64; ++bit) {
    if (mask & (1ul << bit)) top = bit;
  }
  return top - 7;
}

unsigned long shifted(uint32_t channel, unsigned long mask) {
  int s = shiftOf(mask);
  return (s >= 0 ? (unsigned long)channel << s : (unsigned long)channel >> -s) & mask;
}

uint32_t channelOf(unsigned long pixel, unsigned long mask) {
  int s = shiftOf(mask);
  unsigned long v = pixel & mask;
  return uint32_t((s >= 0 ? v >> s : v << -s) & 0xFF);
}

// Tries a shared-memory image; false (and MIT-SHM dropped) when the server
// cannot attach it.
bool makeSharedImage(X11Image* image, int width, int height, Visual* visual, int depth) {
  X11Display& x = x11();
  image->image = XShmCreateImage(x.display, visual, unsigned(depth), ZPixmap, nullptr, &image->shm, unsigned(width),
                                 unsigned(height));
  if (image->image == nullptr) return false;
  size_t bytes = size_t(image->image->bytes_per_line) * size_t(height);
  image->shm.shmid = shmget(IPC_PRIVATE, bytes, IPC_CREAT | 0600);
  if (image->shm.shmid < 0) {
    XDestroyImage(image->image);
    image->image = nullptr;
    return false;
  }
  image->shm.shmaddr = image->image->data = static_cast<char*>(shmat(image->shm.shmid, nullptr, 0));
  image->shm.readOnly = False;
  bool attached = false;
  if (image->shm.shmaddr != reinterpret_cast<char*>(-1)) {
    trapErrors();
    Status status = XShmAttach(x.display, &image->shm);
    attached = untrapErrors() == 0 && status != 0;
  }
  shmctl(image->shm.shmid, IPC_RMID, nullptr);  // goes once both sides detach
  if (!attached) {
    if (image->shm.shmaddr != reinterpret_cast<char*>(-1)) shmdt(image->shm.shmaddr);
    image->image->data = nullptr;
    XDestroyImage(image->image);
    image->image = nullptr;
    x.shmUsable = false;
    return false;
  }
  image->shared = true;
  return true;
}

// Reads the screen into the snapshot's surface; false when it cannot be read.
bool readScreen(Surface* out) {
  X11Display& x = x11();
  Snapshot& s = snapshot();
  XImage* read = nullptr;
  bool ok = false;
  if (x.shmUsable && makeImage(&s.image, x.width, x.height) && s.image.shared) {
    trapErrors();
    Status status = XShmGetImage(x.display, x.root, s.image.image, 0, 0, AllPlanes);
    ok = untrapErrors() == 0 && status != 0;
    if (ok) read = s.image.image;
  }
  XImage* plain = nullptr;
  if (!ok) {
    trapErrors();
    plain = XGetImage(x.display, x.root, 0, 0, unsigned(x.width), unsigned(x.height), AllPlanes, ZPixmap);
    ok = untrapErrors() == 0 && plain != nullptr;
    read = plain;
  }
  if (ok) {
    out->reset(x.width, x.height, kOpaqueBlack);
    for (int y = 0; y < x.height; ++y) {
      uint32_t* row = out->row(y);
      if (x.directPixels && read->bits_per_pixel == 32) {
        const uint32_t* from = reinterpret_cast<const uint32_t*>(read->data + size_t(y) * read->bytes_per_line);
        for (int i = 0; i < x.width; ++i) row[i] = from[i] | 0xFF000000u;
        continue;
      }
      for (int i = 0; i < x.width; ++i) {
        unsigned long p = XGetPixel(read, i, y);
        row[i] = 0xFF000000u | channelOf(p, read->red_mask) << 16 | channelOf(p, read->green_mask) << 8 |
                 channelOf(p, read->blue_mask);
      }
    }
  }
  if (plain != nullptr) XDestroyImage(plain);
  return ok;
}

}  // namespace

bool makeImage(X11Image* image, int width, int height, bool argb) {
  if (image->image != nullptr && image->width == width && image->height == height && image->argb == argb) {
    return true;
  }
  freeImage(image);
  if (width < 1 || height < 1) return false;
  X11Display& x = x11();
  image->width = width;
  image->height = height;
  image->argb = argb;
  Visual* visual = argb ? x.argbVisual : x.visual;
  int depth = argb ? 32 : x.depth;
  if (x.shmUsable && makeSharedImage(image, width, height, visual, depth)) return true;
  image->image = XCreateImage(x.display, visual, unsigned(depth), ZPixmap, 0, nullptr, unsigned(width),
                              unsigned(height), 32, 0);
  if (image->image == nullptr) return false;
  image->image->data = static_cast<char*>(std::calloc(size_t(image->image->bytes_per_line), size_t(height)));
  if (image->image->data == nullptr) {
    XDestroyImage(image->image);
    image->image = nullptr;
    return false;
  }
  return true;
}

void freeImage(X11Image* image) {
  if (image->image != nullptr) {
    if (image->shared) {
      XShmDetach(x11().display, &image->shm);
      XSync(x11().display, False);
      shmdt(image->shm.shmaddr);
      image->image->data = nullptr;
    }
    XDestroyImage(image->image);  // frees the plain image's data too
  }
  *image = X11Image();
}

void fillImage(X11Image* image, const Surface& surface) {
  XImage* im = image->image;
  int width = std::min(image->width, surface.width), height = std::min(image->height, surface.height);
  // An ARGB image's pixel values are the surface's premultiplied 0xAARRGGBB words.
  bool direct = im->bits_per_pixel == 32 && (image->argb ? im->byte_order == LSBFirst : x11().directPixels);
  for (int y = 0; y < height; ++y) {
    const uint32_t* from = surface.row(y);
    if (direct) {
      std::memcpy(im->data + size_t(y) * im->bytes_per_line, from, size_t(width) * 4);
      continue;
    }
    for (int i = 0; i < width; ++i) {
      uint32_t p = from[i];
      if (image->argb) {
        XPutPixel(im, i, y, p);
        continue;
      }
      XPutPixel(im, i, y,
                shifted((p >> 16) & 0xFF, im->red_mask) | shifted((p >> 8) & 0xFF, im->green_mask) |
                    shifted(p & 0xFF, im->blue_mask));
    }
  }
}

void putImage(X11Image* image, ::Window window, GC gc, int width, int height) {
  Display* d = x11().display;
  width = std::min(width, image->width);
  height = std::min(height, image->height);
  if (image->shared) {
    XShmPutImage(d, window, gc, image->image, 0, 0, 0, 0, unsigned(width), unsigned(height), False);
  } else {
    XPutImage(d, window, gc, image->image, 0, 0, 0, 0, unsigned(width), unsigned(height));
  }
  XSync(d, False);  // the frame is on the screen before EndPaint returns
}

void x11Present(Window* window) {
  X11Window* xw = static_cast<X11Window*>(window->backendData);
  if (xw == nullptr || !window->visible() || window->client.width < 1 || window->client.height < 1) return;
  if (!makeImage(&xw->image, window->client.width, window->client.height, xw->argb)) return;
  fillImage(&xw->image, window->client);
  putImage(&xw->image, xw->id, xw->gc, window->client.width, window->client.height);
}

Surface* x11ScreenSurface() {
  Snapshot& s = snapshot();
  X11Display& x = x11();
  if (x.live) {  // the compositor shows the desktop through the window's transparent pixels
    s.surface.reset(x.width, x.height, 0);
    return &s.surface;
  }
  if (readScreen(&s.surface)) {
    checkSnapshot(s.surface);
    return &s.surface;
  }
  s.surface.reset(x.width, x.height, kOpaqueBlack);
  if (!s.reported) {
    std::fprintf(stderr, "tessaril: the screen cannot be read; the snapshot is black\n");
    s.reported = true;
  }
  return &s.surface;
}

void resetFramebuffer() {
  Snapshot& s = snapshot();
  freeImage(&s.image);
  s.surface = Surface();
}

}  // namespace host
