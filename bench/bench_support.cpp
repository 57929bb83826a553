// Same-run timing, the headless window and the temporary images of the
// benchmark scenes (see bench_support.h).
#include "bench/bench_support.h"

#include <stdlib.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <memory>

#include "platform/host/backend.h"
#include "platform/host/host_control.h"
#include "platform/host/runtime/host_clock.h"
#include "platform/host/common/text_encoding.h"

namespace bench {

void SameRunTimer::add(const std::string& name, std::function<void()> job) {
  jobs_.push_back(Job{name, std::move(job), {}});
}

double timeOnce(const std::function<void()>& job) {
  auto start = std::chrono::steady_clock::now();
  job();
  auto end = std::chrono::steady_clock::now();
  return std::chrono::duration<double>(end - start).count();
}

double SameRunTimer::round() {
  double ours = 0.0;
  size_t count = jobs_.size();
  for (size_t k = 0; k < count; ++k) {
    size_t i = (turn_ + k) % count;
    double seconds = timeOnce(jobs_[i].run);
    jobs_[i].seconds.push_back(seconds);
    if (i == 0) ours = seconds;
  }
  ++turn_;
  return ours;
}

void SameRunTimer::reportRatio(benchmark::State& state, const std::string& counter, const std::string& other) const {
  const Job* theirs = nullptr;
  for (const Job& job : jobs_) {
    if (job.name == other) theirs = &job;
  }
  std::vector<double> ratios;
  if (theirs != nullptr && !jobs_.empty()) {
    for (size_t r = 0; r < theirs->seconds.size() && r < jobs_.front().seconds.size(); ++r) {
      if (theirs->seconds[r] > 0.0) ratios.push_back(jobs_.front().seconds[r] / theirs->seconds[r]);
    }
  }
  state.counters[counter] = medianOf(ratios);
}

double medianOf(std::vector<double> values) {
  if (values.empty()) return 0.0;
  size_t middle = values.size() / 2;
  std::nth_element(values.begin(), values.begin() + ptrdiff_t(middle), values.end());
  double upper = values[middle];
  if (values.size() % 2 == 1) return upper;
  double lower = *std::max_element(values.begin(), values.begin() + ptrdiff_t(middle));
  return (lower + upper) / 2.0;
}

namespace {

// A window procedure that leaves painting to the scene (WM_PAINT does nothing).
LRESULT quietProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_PAINT) return 0;  // the scenes paint themselves
  return DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace

HWND startFullScreenWindow(const char* backend, std::string* error) {
  host::clockUseReal();
  if (!host::selectBackend(backend, error)) return nullptr;
  host::resetHost();
  WNDCLASS c{};
  c.lpfnWndProc = quietProcedure;
  c.lpszClassName = u"TessarilBench";
  RegisterClassW(&c);
  HWND window = CreateWindowExW(0, u"TessarilBench", u"bench", WS_VISIBLE, CW_USEDEFAULT, CW_USEDEFAULT,
                                CW_USEDEFAULT, CW_USEDEFAULT, nullptr, nullptr, nullptr, nullptr);
  if (window == nullptr) *error = "the full-screen window could not be made";
  return window;
}

void stampFrame(uint32_t* pixels, int width, int height, uint32_t frame) {
  int x0 = int(frame * 97u % uint32_t(width - kStampSide));
  int y0 = int(frame * 53u % uint32_t(height - kStampSide));
  uint32_t colour = 0xFF000000u | (frame * 0x9E3779u & 0x00FFFFFFu);
  for (int y = y0; y < y0 + kStampSide; ++y) {
    uint32_t* row = pixels + size_t(y) * size_t(width);
    for (int x = x0; x < x0 + kStampSide; ++x) row[x] = colour ^ uint32_t(x);
  }
}

void addPresentJobs(SameRunTimer& timer, HWND window, uint32_t* pixels, int width, int height,
                    const std::string& peerName, std::function<void()> present) {
  auto frame = std::make_shared<uint32_t>(0);  // one count for both jobs: every frame is new
  timer.add("ours", [=] {
    stampFrame(pixels, width, height, ++*frame);
    PAINTSTRUCT paint;
    BeginPaint(window, &paint);
    EndPaint(window, &paint);
  });
  timer.add(peerName, [=] {
    stampFrame(pixels, width, height, ++*frame);
    present();
  });
}

HeadlessWindow::HeadlessWindow(int width, int height) {
  host::resetHost();
  host::setScreenSize(width, height);
  WNDCLASS c{};
  c.lpfnWndProc = quietProcedure;
  c.lpszClassName = u"TessarilBench";
  RegisterClassW(&c);
  window_ = CreateWindowExW(0, u"TessarilBench", u"bench", WS_POPUP | WS_VISIBLE, 0, 0, width, height, nullptr,
                            nullptr, nullptr, nullptr);
}

HeadlessWindow::~HeadlessWindow() { host::resetHost(); }

TempDir::TempDir() {
  char pattern[] = "/tmp/tessaril-bench-XXXXXX";
  if (mkdtemp(pattern) != nullptr) path_ = pattern;
}

TempDir::~TempDir() {
  if (path_.empty()) return;
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

bool writeBmp(const std::string& path, int width, int height, const std::vector<uint32_t>& pixels, int bits) {
  int rowBytes = ((width * bits / 8) + 3) & ~3;
  size_t dataSize = size_t(rowBytes) * size_t(height);
  std::vector<uint8_t> out(54 + dataSize, 0);
  auto put16 = [&](size_t at, uint32_t v) {
    out[at] = uint8_t(v);
    out[at + 1] = uint8_t(v >> 8);
  };
  auto put32 = [&](size_t at, uint32_t v) {
    put16(at, v & 0xFFFF);
    put16(at + 2, v >> 16);
  };
  out[0] = 'B';
  out[1] = 'M';
  put32(2, uint32_t(out.size()));
  put32(10, 54);
  put32(14, 40);
  put32(18, uint32_t(width));
  put32(22, uint32_t(height));
  put16(26, 1);
  put16(28, uint16_t(bits));
  put32(34, uint32_t(dataSize));
  for (int y = 0; y < height; ++y) {
    size_t row = 54 + size_t(height - 1 - y) * size_t(rowBytes);  // bottom-up rows
    for (int x = 0; x < width; ++x) {
      uint32_t p = pixels[size_t(y) * size_t(width) + size_t(x)];
      size_t at = row + size_t(x) * size_t(bits / 8);
      out[at] = uint8_t(p);
      out[at + 1] = uint8_t(p >> 8);
      out[at + 2] = uint8_t(p >> 16);
      if (bits == 32) out[at + 3] = uint8_t(p >> 24);
    }
  }
  FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) return false;
  bool ok = std::fwrite(out.data(), 1, out.size(), f) == out.size();
  return std::fclose(f) == 0 && ok;
}

std::string spriteFileName(SpriteKind kind, int variant) {
  const char* stem = kind == SpriteKind::Keyed ? "keyed" : kind == SpriteKind::Plain ? "plain" : "alpha";
  const char* suffix = kind == SpriteKind::Plain ? ".BMP" : ".bmp";
  return stem + std::to_string(variant) + suffix;
}

bool writeSprite(const std::string& directory, SpriteKind kind, int variant) {
  const int n = kSpriteSide;
  std::vector<uint32_t> pixels(size_t(n) * size_t(n));
  uint32_t tint = 0x203040u + uint32_t(variant) * 0x305A17u;
  for (int y = 0; y < n; ++y) {
    for (int x = 0; x < n; ++x) {
      double dx = x + 0.5 - n / 2.0, dy = y + 0.5 - n / 2.0;
      double r = std::sqrt(dx * dx + dy * dy) / (n / 2.0);  // 0 at the centre, 1 at the edge
      uint32_t shade = uint32_t(x * 255 / n) << 8 | uint32_t(y * 255 / n);
      uint32_t colour = (tint ^ shade) & 0x00FFFFFFu;
      if ((colour & 0x00FFFFFFu) == 0xFF00FFu) colour ^= 1;  // never the key by chance
      uint32_t& out = pixels[size_t(y) * size_t(n) + size_t(x)];
      switch (kind) {
        case SpriteKind::Keyed:
          out = r < 0.9 ? (0xFF000000u | colour) : 0xFFFF00FFu;
          break;
        case SpriteKind::Plain:
          out = 0xFF000000u | colour;
          break;
        case SpriteKind::Alpha: {
          double a = r < 1.0 ? 1.0 - r * r : 0.0;
          out = (uint32_t(a * 255.0 + 0.5) << 24) | colour;
          break;
        }
      }
    }
  }
  int bits = kind == SpriteKind::Alpha ? 32 : 24;
  return writeBmp(directory + "/" + spriteFileName(kind, variant), n, n, pixels, bits);
}

std::u16string devicePath(const std::string& path) { return host::utf8ToUtf16(path); }

}  // namespace bench
