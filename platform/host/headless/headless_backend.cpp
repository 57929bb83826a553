// The headless backend: a screen in memory, message boxes on standard error,
// and input that tests and tools inject (headless_input.cpp).
//
// The screen is composed of a desktop picture (generated, or set by host
// control) with every shown window's client surface over it in z-order: a
// window's EndPaint copies its surface onto the screen (then whatever shown
// windows lie above it), and any change of visibility, size or z-order
// composes the whole screen again. So a snapshot of the screen (GetDC of the
// desktop window) taken while a window is hidden shows the desktop beneath.
// This file is also the template for a new backend: every hook of the table
// is here, each doing the whole of its job for a screen in memory.
#include <cairo.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/host/headless/headless_state.h"
#include "platform/host/runtime/host_clock.h"
#include "platform/host/headless/headless_control.h"
#include "platform/host/common/text_encoding.h"
#include "platform/host/window_manager/window_state.h"

namespace host {
namespace {

constexpr int kDefaultWidth = 240;
constexpr int kDefaultHeight = 320;

struct Screen {
  int width = kDefaultWidth;
  int height = kDefaultHeight;
  Surface picture;  // the desktop, width x height
  Surface shown;    // the picture with the windows over it
  Surface custom;   // a picture set by host control, or empty for the generated one
  uint32_t answerDelayMs = 0;
};

Screen& screen() {
  static Screen* instance = new Screen;
  return *instance;
}

// A cairo context over a surface's pixels; the caller destroys both.
cairo_t* drawOn(Surface* s, cairo_surface_t** target) {
  *target = cairo_image_surface_create_for_data(reinterpret_cast<unsigned char*>(s->pixels.data()),
                                                CAIRO_FORMAT_ARGB32, s->width, s->height, s->stride);
  cairo_t* cr = cairo_create(*target);
  cairo_set_antialias(cr, CAIRO_ANTIALIAS_NONE);
  return cr;
}

void finishDrawing(cairo_t* cr, cairo_surface_t* target) {
  cairo_destroy(cr);
  cairo_surface_flush(target);
  cairo_surface_destroy(target);
}

// The generated desktop: a soft blue gradient, a dark status bar, a row of
// coloured application tiles and a lighter bar at the bottom.
void drawDesktop(Surface* s) {
  cairo_surface_t* target;
  cairo_t* cr = drawOn(s, &target);
  double w = s->width, h = s->height;
  cairo_pattern_t* sky = cairo_pattern_create_linear(0, 0, 0, h);
  cairo_pattern_add_color_stop_rgb(sky, 0, 0.56, 0.72, 0.88);
  cairo_pattern_add_color_stop_rgb(sky, 1, 0.18, 0.30, 0.50);
  cairo_set_source(cr, sky);
  cairo_paint(cr);
  cairo_pattern_destroy(sky);
  double bar = std::max(8.0, std::floor(h / 14));
  cairo_set_source_rgb(cr, 0.08, 0.09, 0.14);
  cairo_rectangle(cr, 0, 0, w, bar);
  cairo_fill(cr);
  const double tiles[4][3] = {{0.85, 0.22, 0.20}, {0.25, 0.68, 0.30}, {0.95, 0.78, 0.18}, {0.55, 0.32, 0.75}};
  double side = std::floor(w / 6);
  for (int i = 0; i < 4; ++i) {
    cairo_set_source_rgb(cr, tiles[i][0], tiles[i][1], tiles[i][2]);
    cairo_rectangle(cr, std::floor(side * (0.5 + 1.4 * i)), bar + side * 0.5, side, side);
    cairo_fill(cr);
  }
  cairo_set_source_rgb(cr, 0.80, 0.84, 0.90);
  cairo_rectangle(cr, 0, h - bar, w, bar);
  cairo_fill(cr);
  finishDrawing(cr, target);
}

// Copies src onto dst with its top-left corner at (x, y), clipped to dst.
void blit(Surface* dst, const Surface& src, int x, int y) {
  int left = std::max(0, x), top = std::max(0, y);
  int right = std::min(dst->width, x + src.width), bottom = std::min(dst->height, y + src.height);
  if (left >= right || top >= bottom) return;
  for (int row = top; row < bottom; ++row) {
    std::memcpy(dst->row(row) + left, src.row(row - y) + (left - x), size_t(right - left) * 4);
  }
}

// Makes the picture for the screen's size: the set one at the top-left over
// black, or the generated desktop.
void makePicture() {
  Screen& s = screen();
  s.picture.reset(s.width, s.height, kOpaqueBlack);
  if (s.custom.width > 0) {
    blit(&s.picture, s.custom, 0, 0);
  } else {
    drawDesktop(&s.picture);
  }
}

// The picture, then every shown window from the bottom up.
void composeScreen() {
  Screen& s = screen();
  if (s.shown.width != s.width || s.shown.height != s.height) s.shown.reset(s.width, s.height, kOpaqueBlack);
  blit(&s.shown, s.picture, 0, 0);
  for (HWND handle : windowStack()) {
    Window* w = localWindow(handle);
    if (w != nullptr && w->visible()) blit(&s.shown, w->client, w->x, w->y);
  }
}

// Reads TESSARIL_SCREEN_SIZE ("WxH"); the default size when unset or bad.
void readScreenSize() {
  Screen& s = screen();
  s.width = kDefaultWidth;
  s.height = kDefaultHeight;
  const char* text = std::getenv("TESSARIL_SCREEN_SIZE");
  if (text == nullptr || text[0] == 0) return;
  int w = 0, h = 0;
  char tail;
  if (std::sscanf(text, "%dx%d%c", &w, &h, &tail) == 2 && bitmapSizeFits(w, h)) {
    s.width = w;
    s.height = h;
    return;
  }
  std::fprintf(stderr, "TESSARIL_SCREEN_SIZE: \"%s\" is not WIDTHxHEIGHT; using %dx%d\n", text, s.width, s.height);
}

// The start state: size from the environment, generated picture, no boxes' delay.
void startScreen() {
  Screen& s = screen();
  s.custom = Surface();
  s.answerDelayMs = 0;
  readScreenSize();
  makePicture();
  composeScreen();
}

// ---- the backend's hooks ----

bool headlessAvailable() { return true; }

bool headlessInit() {
  startScreen();
  startHeadlessInput();
  return true;
}

void headlessReset() {
  startScreen();
  startHeadlessInput();
}

void headlessScreenSize(int* width, int* height) {
  *width = screen().width;
  *height = screen().height;
}

Surface* headlessScreenSurface() { return &screen().shown; }

bool headlessCreateWindow(Window* window) {
  (void)window;  // a window is its client surface, which the window manager keeps
  return true;
}

void headlessDestroyWindow(Window* window) {
  (void)window;
  composeScreen();
}

void headlessWindowChanged(Window* window) {
  (void)window;
  composeScreen();
}

void headlessPresent(Window* window) {
  if (!window->visible()) return;
  Screen& s = screen();
  blit(&s.shown, window->client, window->x, window->y);
  const std::vector<HWND>& stack = windowStack();
  auto it = std::find(stack.begin(), stack.end(), window->handle);
  if (it == stack.end()) return;
  for (++it; it != stack.end(); ++it) {  // what lies above stays above
    Window* above = localWindow(*it);
    if (above != nullptr && above->visible()) blit(&s.shown, above->client, above->x, above->y);
  }
}

int headlessEventFd() { return -1; }

bool headlessOpenMessageBox(MessageBoxState* box) {
  std::string line = "[" + utf16ToUtf8(box->caption.data(), box->caption.size()) + "] " +
                     utf16ToUtf8(box->text.data(), box->text.size()) + "\n";
  std::fwrite(line.data(), 1, line.size(), stderr);
  std::fflush(stderr);
  box->wakeAtMs = clockNowMs() + screen().answerDelayMs;
  return true;
}

void headlessPollMessageBox(MessageBoxState* box) {
  if (clockNowMs() >= box->wakeAtMs) box->answer = IDOK;
}

void headlessCloseMessageBox(MessageBoxState* box) { (void)box; }

void headlessTrayChanged(const TrayIcon& icon, DWORD operation) {
  (void)icon;  // the window manager keeps the tray; host control reads it
  (void)operation;
}

}  // namespace

const Backend headlessBackend = {
    .name = "headless",
    .available = headlessAvailable,
    .init = headlessInit,
    .reset = headlessReset,
    .screenSize = headlessScreenSize,
    .screenSurface = headlessScreenSurface,
    .createWindow = headlessCreateWindow,
    .destroyWindow = headlessDestroyWindow,
    .windowChanged = headlessWindowChanged,
    .present = headlessPresent,
    .eventFd = headlessEventFd,
    .pumpEvents = pumpHeadlessInput,
    .nextEventTime = nextHeadlessInputTime,
    .openMessageBox = headlessOpenMessageBox,
    .pollMessageBox = headlessPollMessageBox,
    .closeMessageBox = headlessCloseMessageBox,
    .trayChanged = headlessTrayChanged,
};

bool isHeadless() { return &backend() == &headlessBackend; }

void resizeHeadlessScreen(int width, int height) {
  Screen& s = screen();
  if (width == s.width && height == s.height) return;
  s.width = width;
  s.height = height;
  makePicture();
  resizeFullScreenWindows(width, height);
  composeScreen();
}

// ---- host control of the screen ----

bool setScreenSize(int width, int height) {
  if (!isHeadless() || !bitmapSizeFits(width, height)) return false;
  resizeHeadlessScreen(width, height);
  return true;
}

bool setScreenPicture(const uint32_t* pixels, int width, int height) {
  if (!isHeadless() || pixels == nullptr || !bitmapSizeFits(width, height)) return false;
  Screen& s = screen();
  s.custom.reset(width, height, kOpaqueBlack);
  for (size_t i = 0; i < s.custom.pixels.size(); ++i) s.custom.pixels[i] = pixels[i] | 0xFF000000u;
  s.width = s.height = 0;  // makes resizeHeadlessScreen redo the picture
  resizeHeadlessScreen(width, height);
  return true;
}

bool setScreenPictureFromPng(const char* path) {
  if (path == nullptr) return false;
  cairo_surface_t* image = cairo_image_surface_create_from_png(path);
  bool ok = cairo_surface_status(image) == CAIRO_STATUS_SUCCESS;
  int width = ok ? cairo_image_surface_get_width(image) : 0;
  int height = ok ? cairo_image_surface_get_height(image) : 0;
  ok = ok && bitmapSizeFits(width, height);
  if (ok) {
    Surface flat;
    flat.reset(width, height, kOpaqueBlack);
    cairo_surface_t* target;
    cairo_t* cr = drawOn(&flat, &target);
    cairo_set_source_surface(cr, image, 0, 0);  // over black: any format, made opaque
    cairo_paint(cr);
    finishDrawing(cr, target);
    ok = setScreenPicture(flat.pixels.data(), width, height);
  }
  cairo_surface_destroy(image);
  return ok;
}

void setMessageBoxAnswerDelay(uint32_t milliseconds) { screen().answerDelayMs = milliseconds; }

}  // namespace host
