// What every scene of the benchmark suite shares: timing our work and its peer
// and floor back to back inside one iteration, a headless host with a window of
// a given size, and small images written to a temporary directory.
//
// Machines here are shared and noisy, so no figure is an absolute time: each
// iteration times the floor (a plain memcpy or fill), the peer (a library doing
// the same job) and ours back to back, in an order that turns from iteration to
// iteration, and the scene reports our time as the iteration's manual time and
// the repetition's median ratios ours/peer and ours/floor as counters.
// bench/check_goals.py takes the medians of those counters over the
// repetitions and checks them against the goals.
#pragma once

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace bench {

// Jobs timed back to back in one iteration. The first job added is ours.
class SameRunTimer {
 public:
  void add(const std::string& name, std::function<void()> job);
  // Runs every job once, starting with a different one each round; returns the
  // seconds our job took.
  double round();
  // Sets state's counter to the median over the rounds of ours / other, each
  // round's two times taken back to back: a round in which the machine took
  // the processor away from one of them moves the median little.
  void reportRatio(benchmark::State& state, const std::string& counter, const std::string& other) const;

 private:
  struct Job {
    std::string name;
    std::function<void()> run;
    std::vector<double> seconds;  // per round
  };
  std::vector<Job> jobs_;
  size_t turn_ = 0;
};

// The median of the values; 0 for none.
double medianOf(std::vector<double> values);

// Seconds that job takes, once.
double timeOnce(const std::function<void()>& job);

// A fresh headless host whose screen is width x height, with one shown window
// covering it, made from a class whose procedure paints nothing itself.
// The host is reset again (the window destroyed) when this goes.
class HeadlessWindow {
 public:
  HeadlessWindow(int width, int height);
  ~HeadlessWindow();
  HeadlessWindow(const HeadlessWindow&) = delete;
  HeadlessWindow& operator=(const HeadlessWindow&) = delete;
  HWND window() const { return window_; }

 private:
  HWND window_ = nullptr;
};

// The present scenes' window: on the real clock, the named backend chosen and
// the host reset, a shown full-screen window of a class whose procedure paints
// nothing. Null, with the reason in *error, when the backend does not start.
HWND startFullScreenWindow(const char* backend, std::string* error);

// The present scenes' new pixels of a frame: a 64 x 64 square (a colour from
// frame) at a place that moves with frame, in width x height pixels.
constexpr int kStampSide = 64;
void stampFrame(uint32_t* pixels, int width, int height, uint32_t frame);

// Adds the present scenes' two jobs to timer: ours stamps a new frame into the
// window's client pixels and presents it through BeginPaint and EndPaint; the
// peer, named peerName, stamps the same way and presents with present.
void addPresentJobs(SameRunTimer& timer, HWND window, uint32_t* pixels, int width, int height,
                    const std::string& peerName, std::function<void()> present);

// A directory of its own under /tmp, removed with everything in it when this goes.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& path() const { return path_; }
  // path()/name.
  std::string file(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

// Writes a BMP of width x height pixels given top row first as 0xAARRGGBB with
// straight alpha, 24 or 32 bits a pixel (the alpha byte kept at 32); false on
// a write error.
bool writeBmp(const std::string& path, int width, int height, const std::vector<uint32_t>& pixels, int bits);

// The three kinds of sprite image of the sprite scenes, 32 x 32 pixels each.
enum class SpriteKind {
  Keyed,  // opaque on a magenta background, a 24-bit BMP read by SHLoadDIBitmap
  Plain,  // opaque, a 24-bit file named ".BMP", read by SHLoadImageFile
  Alpha   // per-pixel alpha, a 32-bit BMP read by SHLoadDIBitmap
};
constexpr int kSpriteSide = 32;

// The file name of a sprite image: keyedN.bmp, plainN.BMP or alphaN.bmp.
std::string spriteFileName(SpriteKind kind, int variant);

// Writes the sprite image of the kind and variant (a different picture for
// each variant) into directory; false on a write error.
bool writeSprite(const std::string& directory, SpriteKind kind, int variant);

// The UTF-16 form of a host path, as the platform calls take it.
std::u16string devicePath(const std::string& path);

// A small deterministic generator for scene layouts (never the device's rand,
// which the simulation owns).
struct Lcg {
  uint32_t state;
  explicit Lcg(uint32_t seed) : state(seed) {}
  uint32_t next() {
    state = state * 1664525u + 1013904223u;
    return state >> 8;
  }
  // 0..n-1 for n >= 1.
  int below(int n) { return int(next() % uint32_t(n)); }
};

}  // namespace bench
