// tessaril-render on the demo show: frames, trace lines, and the same output
// for the same start time; and --live, whose frames hold only what the show
// draws, with alpha.
#include <cairo.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>

#include "support/overlay_show.h"
#include "tests/support/test_files.h"

namespace {

using test_files::readWhole;

TEST(RenderTool, DemoGivesOneHundredFramesAndTraceLinesTheSameEveryRun) {
  const std::string a = test_files::scratchDir("tessaril-render-a"), b = test_files::scratchDir("tessaril-render-b");
  ASSERT_FALSE(a.empty() || b.empty());
  for (const std::string& dir : {a, b}) {  // the same start time twice
    ASSERT_EQ(std::system(("'" TESSARIL_RENDER_BINARY "' --dir '" TESSARIL_DEMO_DIR "' --frames 100 --time "
                           "2026-12-06T09:05:37 --out '" + dir + "' --trace '" + dir + "/trace.jsonl' 2>&1").c_str()),
              0);
  }
  std::string trace = readWhole(a + "/trace.jsonl");
  EXPECT_EQ(std::count(trace.begin(), trace.end(), '\n'), 100);
  EXPECT_EQ(trace.compare(0, 32, "{\"frame\":0,\"tick\":0,\"instances\":"), 0) << trace.substr(0, 80);
  EXPECT_NE(trace.find("\"baseX\":"), std::string::npos);
  EXPECT_NE(trace.find("\"layer\":"), std::string::npos);
  EXPECT_EQ(trace, readWhole(b + "/trace.jsonl")) << "the same start time gives the same trace";
  for (const char* name : {"/frame-00000.png", "/frame-00050.png", "/frame-00099.png"}) {
    std::string first = readWhole(a + name);
    EXPECT_FALSE(first.empty()) << name;
    EXPECT_EQ(first, readWhole(b + name)) << name;
  }
  EXPECT_TRUE(readWhole(a + "/frame-00100.png").empty()) << "no frame past the hundredth";
  std::system(("rm -rf '" + a + "' '" + b + "'").c_str());
}

TEST(RenderTool, LiveFramesAreTransparentWhereTheShowDrawsNothing) {
  const std::string dir = test_files::scratchDir("tessaril-render-live");
  ASSERT_FALSE(dir.empty());
  overlay_show::writeShow(dir);
  std::string command = std::string("'") + TESSARIL_RENDER_BINARY + "' --live --dir '" + dir +
                        "' --size 640x480 --frames 1 --out '" + dir + "' 2>&1";
  ASSERT_EQ(std::system(command.c_str()), 0);
  cairo_surface_t* frame = cairo_image_surface_create_from_png((dir + "/frame-00000.png").c_str());
  ASSERT_EQ(cairo_surface_status(frame), CAIRO_STATUS_SUCCESS);
  auto at = [&](int x, int y) {
    return reinterpret_cast<const uint32_t*>(cairo_image_surface_get_data(frame) +
                                             y * cairo_image_surface_get_stride(frame))[x];
  };
  EXPECT_EQ(at(10, 10), 0u) << "the desktop is left to the compositor";
  EXPECT_EQ(at(350, 260), 0xFF000000u | overlay_show::kRectColour);
  // The sprite translucent (alpha 128) over nothing; how a blend keeps
  // premultiplied alpha there is the host's transparent-surface test.
  EXPECT_EQ(at(170, 130) >> 24, 0x80u);
  cairo_surface_destroy(frame);
  std::system(("rm -rf '" + dir + "'").c_str());
}

}  // namespace
