// tessaril-render on the demo show: frames, trace lines, and the same output
// for the same start time; and --live, whose frames hold only what the show
// draws, with alpha.
#include <cairo.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "support/overlay_show.h"

namespace {

std::string readAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

// Renders the demo into dir; the tool's exit code.
int render(const std::string& dir, const char* time) {
  std::string command = std::string("'") + TESSARIL_RENDER_BINARY + "' --dir '" TESSARIL_DEMO_DIR "' --frames 100" +
                        " --time " + time + " --out '" + dir + "' --trace '" + dir + "/trace.jsonl' 2>&1";
  int status = std::system(command.c_str());
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(RenderTool, DemoGivesOneHundredFramesAndTraceLinesTheSameEveryRun) {
  char a[] = "/tmp/tessaril-render-a-XXXXXX";
  char b[] = "/tmp/tessaril-render-b-XXXXXX";
  ASSERT_NE(mkdtemp(a), nullptr);
  ASSERT_NE(mkdtemp(b), nullptr);
  ASSERT_EQ(render(a, "2026-12-06T09:05:37"), 0);
  ASSERT_EQ(render(b, "2026-12-06T09:05:37"), 0);
  std::string trace = readAll(std::string(a) + "/trace.jsonl");
  size_t lines = 0;
  for (char c : trace) lines += c == '\n';
  EXPECT_EQ(lines, 100u);
  EXPECT_EQ(trace.compare(0, 32, "{\"frame\":0,\"tick\":0,\"instances\":"), 0) << trace.substr(0, 80);
  EXPECT_NE(trace.find("\"baseX\":"), std::string::npos);
  EXPECT_NE(trace.find("\"layer\":"), std::string::npos);
  EXPECT_EQ(trace, readAll(std::string(b) + "/trace.jsonl")) << "the same start time gives the same trace";
  for (int frame : {0, 50, 99}) {
    char name[32];
    std::snprintf(name, sizeof name, "/frame-%05d.png", frame);
    std::string first = readAll(a + std::string(name));
    EXPECT_FALSE(first.empty()) << name;
    EXPECT_EQ(first, readAll(b + std::string(name))) << name;
  }
  EXPECT_TRUE(readAll(std::string(a) + "/frame-00100.png").empty()) << "no frame past the hundredth";
  std::system((std::string("rm -rf '") + a + "' '" + b + "'").c_str());
}

TEST(RenderTool, LiveFramesAreTransparentWhereTheShowDrawsNothing) {
  char dir[] = "/tmp/tessaril-render-live-XXXXXX";
  ASSERT_NE(mkdtemp(dir), nullptr);
  overlay_show::writeShow(dir);
  std::string command = std::string("'") + TESSARIL_RENDER_BINARY + "' --live --dir '" + dir +
                        "' --size 640x480 --frames 1 --out '" + dir + "' 2>&1";
  ASSERT_EQ(std::system(command.c_str()), 0);
  cairo_surface_t* frame = cairo_image_surface_create_from_png((std::string(dir) + "/frame-00000.png").c_str());
  ASSERT_EQ(cairo_surface_status(frame), CAIRO_STATUS_SUCCESS);
  auto at = [&](int x, int y) {
    return reinterpret_cast<const uint32_t*>(cairo_image_surface_get_data(frame) +
                                             y * cairo_image_surface_get_stride(frame))[x];
  };
  EXPECT_EQ(at(10, 10), 0u) << "the desktop is left to the compositor";
  EXPECT_EQ(at(350, 260), 0xFF000000u | overlay_show::kRectColour);
  // The sprite premultiplied at alpha 128: 200 x 128 / 255 green (the PNG round trip may move it by one).
  EXPECT_EQ(at(170, 130) >> 24, 0x80u);
  EXPECT_NEAR(int((at(170, 130) >> 8) & 0xFF), 100, 1);
  EXPECT_EQ(at(170, 130) & 0xFF00FFu, 0u);
  cairo_surface_destroy(frame);
  std::system((std::string("rm -rf '") + dir + "'").c_str());
}

}  // namespace
