// The settings text's top-level scan, its block loop and the @base, @bmp,
// @txt, @pgn and @evt directives.

#include <string>
#include <vector>

#include "config_test_support.h"
#include "config/settings_directives.h"
#include "platform/host/host_control.h"

namespace {

using config_test::ConfigTest;
using config_test::wide;

class DirectivesTest : public ConfigTest {};

// A polygon's vertices as x, y, x, y...; empty without an array.
std::vector<float> vertices(const PolygonSlot& polygon) {
  std::vector<float> out;
  for (int i = 0; polygon.points != nullptr && i < polygon.count; ++i) {
    out.push_back(polygon.points[i].x);
    out.push_back(polygon.points[i].y);
  }
  return out;
}

const char kWorkedExample[] =
    "#demo show\r\n"
    "@base\r\n"
    "50, 400, 0, 0, 64\r\n"
    "@\r\n"
    "@bmp\r\n"
    "0, \"spark.bmp\", 8, 8, 16, 16, 4, 3, 1, 1, 0\r\n"
    "1, \"frame.png\", 0, 0, 0, 0, 0, 0, 0, 0, 0\r\n"
    "@txt\r\n"
    "0, 2, 1, 0, \"Good morning@@Have a nice day\"\r\n"
    "@pgn\r\n"
    "0, 3, 0.0, -0.5, 0.5, 0.5, -0.5, 0.5\r\n"
    "@evt\r\n"
    "1, 0, 0, 0\r\n"
    "200, 0, 0, 1\r\n"
    "@\r\n";

TEST_F(DirectivesTest, WorkedExampleLoadsAsDescribed) {
  writeBmp("spark.bmp", 64, 16);
  writePngFile("frame.png", 20, 10);
  write("default.txt", kWorkedExample);
  ASSERT_EQ(loadSettingsFile(u""), 1);
  EXPECT_EQ(tickInterval, 50);
  EXPECT_EQ(duration, 400);
  ASSERT_NE(scene.backgroundBrush, nullptr);

  const ImageSlot& spark = scene.images[0];
  EXPECT_NE(spark.bitmap, nullptr);
  EXPECT_NE(spark.dc, nullptr);
  config_test::expectFields({{"loader", spark.imageLoader, IMAGE_LOADER_DIB}, {"bmWidth", spark.info.bmWidth, 64},
                             {"bmHeight", spark.info.bmHeight, 16}, {"hotX", spark.hotX, 8}, {"hotY", spark.hotY, 8},
                             {"frameWidth", spark.frameWidth, 16}, {"frameHeight", spark.frameHeight, 16},
                             {"frameCount", spark.frameCount, 4}, {"frameTicks", spark.frameTicks, 3},
                             {"playMode", spark.playMode, 1}, {"firstFrame", spark.firstFrame, 1},
                             {"randomFrame", spark.randomFrame, 0}});
  const ImageSlot& frame = scene.images[1];
  EXPECT_NE(frame.bitmap, nullptr);
  config_test::expectFields({{"loader", frame.imageLoader, IMAGE_LOADER_SHELL}, {"bmWidth", frame.info.bmWidth, 20},
                             {"bmHeight", frame.info.bmHeight, 10}, {"hotX", frame.hotX, 0},
                             {"frameCount", frame.frameCount, 0}});
  EXPECT_EQ(scene.images[2].bitmap, nullptr);

  const TextSlot& greeting = scene.texts[0];
  config_test::expectFields({{"typeSpeed", greeting.typeSpeed, 2}, {"shadowOffset", greeting.shadowOffset, 1},
                             {"boldBacking", greeting.boldBacking, 0}});
  EXPECT_EQ(wide(greeting.text), u"Good morning\r\nHave a nice day");
  EXPECT_EQ(vertices(scene.polygons[0]), (std::vector<float>{0.0f, -0.5f, 0.5f, 0.5f, -0.5f, 0.5f}));

  ASSERT_EQ(scene.eventCount, 2);
  EXPECT_EQ(scene.events[0].tick, 1);
  EXPECT_EQ(scene.events[0].action, EVENT_SPAWN);
  EXPECT_EQ(scene.events[1].tick, 200);
  EXPECT_EQ(scene.events[1].target, 0);
  EXPECT_EQ(scene.events[1].action, EVENT_REMOVE_DEF);
}

// Which directives the top-level scan finds and which records their blocks hold.
TEST_F(DirectivesTest, ScanFindsDirectivesAndBlocksTheirRecords) {
  const struct {
    const char* text;
    const char* events;  // tick gate target action; ...
    bool brush;
    const char* what;
  } rows[] = {
      {"", "", false, "empty text"},
      {"# only\r\n#comments @base\r\n\r\n", "", false, "comments"},
      {"@BMP\r\n0, \"x.bmp\", 0\r\n@Evt\r\n5, 0, 0, 0\r\n", "", false, "names are exact lowercase bytes"},
      {"\x81@evt\r\n5, 0, 0, 0\r\n", "", false, "0x81 0x40 ends in '@': the evt after it is stray text"},
      {"@\x82@evt\r\n5, 0, 0, 0\r\n", "", false, "'@' then a lead byte steps over the whole character"},
      {"@@@evt\r\n5, 0, 0, 0\r\n", "5 0 0 0", false, "'@@' is stepped over as a pair"},
      {"@base\r\n10, 0, 0, 0, 0\r\n@bmp\r\n0, \"x.bmp\", 0\r\n@evt\r\n3, 0, 0, 0\r\n@\r\n", "3 0 0 0", true,
       "base consumes the closing '@': the images after it are skipped"},
      {"@evt\r\n1, 0, 2, 0\r\n9, 1, 3, 2", "1 0 2 0; 9 1 3 2", false, "an evt block at the end of the text"},
      {"@evt\r\n5, 1\r\n6, 0, 1, 0, 7, 0\r\n@\r\n", "5 1 0 0; 6 0 1 0; 7 0 0 0", false,
       "missing fields read as 0, extra ones as the next record"},
      {"@evt\r\n#note\r\n4, 0, 0, 0\r\n@\r\n", "0 0 0 0; 4 0 0 0", false, "'#' inside a block is a record"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.what);
    ASSERT_EQ(parse(row.text), 1);
    std::string events;
    for (int i = 0; i < scene.eventCount; ++i) {
      const EventEntry& e = scene.events[i];
      events += (i > 0 ? "; " : "") + std::to_string(e.tick) + " " + std::to_string(e.gate) + " " +
                std::to_string(e.target) + " " + std::to_string(e.action);
    }
    EXPECT_EQ(events, row.events);
    EXPECT_EQ(scene.backgroundBrush != nullptr, row.brush);
    EXPECT_EQ(scene.images[0].dc, nullptr);
    releaseSceneTables();
    ASSERT_EQ(allocateSceneTables(), 1);
  }
}

TEST_F(DirectivesTest, BaseColourMakesABrushOnlyInRange) {
  ASSERT_EQ(parse("@base\r\n10, 0, 255, 255, 255\r\n@\r\n"), 1);
  ASSERT_NE(scene.backgroundBrush, nullptr);
  releaseSceneTables();
  ASSERT_EQ(allocateSceneTables(), 1);
  for (const char* colour : {"-1, 0, 0", "256, 0, 0", "0, 0, 300"}) {
    ASSERT_EQ(parse(std::string("@base\r\n10, 0, ") + colour + "\r\n@\r\n"), 1) << colour;
    EXPECT_EQ(scene.backgroundBrush, nullptr) << colour;
  }
}

TEST_F(DirectivesTest, SecondBaseReplacesItsBrushWithoutLeaking) {
  ASSERT_EQ(parse("@base\r\n10, 0, 1, 2, 3\r\n@\r\n@base\r\n20, 0, 4, 5, 6\r\n@\r\n"), 1);
  EXPECT_EQ(tickInterval, 20);
  EXPECT_NE(scene.backgroundBrush, nullptr);
  EXPECT_EQ(host::liveObjectCount(host::ObjectKind::Brush), 1u);
}

TEST_F(DirectivesTest, BaseAtTheEndOfTheTextFails) {
  tickInterval = 1;
  EXPECT_EQ(parse("@base\r\n25, 77, 0, 0, 0\r\n"), 0);
  ASSERT_NE(loadErrorText, nullptr);
  EXPECT_EQ(wide(loadErrorText), u"設定ファイル内、@baseの記述が間違ってます");
  EXPECT_EQ(tickInterval, 25);
  EXPECT_EQ(duration, 77);
  EXPECT_EQ(parse("@base 5, 6, 0, 0, 0 x"), 0);
}

TEST_F(DirectivesTest, TxtRecordsAndTheirFailures) {
  ASSERT_EQ(parse("@txt\r\n3, 2\r\n4, 0, 0, 0, a@@@b\r\n@\r\n"), 1);
  EXPECT_EQ(scene.texts[3].typeSpeed, 2);
  EXPECT_EQ(scene.texts[3].shadowOffset, 0);
  EXPECT_EQ(scene.texts[3].text[0], 0);
  EXPECT_EQ(wide(scene.texts[4].text), u"a\r\n@b");
  for (const char* number : {"-1", "256"}) {
    loadErrorText = nullptr;
    EXPECT_EQ(parse(std::string("@txt\r\n") + number + ", 1, 1, 1, \"x\"\r\n@evt\r\n1,0,0,0\r\n"), 0);
    ASSERT_NE(loadErrorText, nullptr);
    EXPECT_EQ(wide(loadErrorText), u"設定ファイル内、@txtのテキストIDが有効範囲ではありません");
  }
  EXPECT_EQ(scene.eventCount, 0);  // nothing after the failing record is read
}

TEST_F(DirectivesTest, ABlockHoldsAtMost256Records) {
  std::string text = "@txt\r\n";
  for (int i = 0; i < 300; ++i) {
    text += std::to_string(i % 256) + ", " + std::to_string(1000 + i) + ", 0, 0, \"t\"\r\n";
  }
  ASSERT_EQ(parse(text), 1);
  EXPECT_EQ(scene.texts[0].typeSpeed, 1000);  // record 257 («0, 1256, ...») is stray text
  EXPECT_EQ(scene.texts[43].typeSpeed, 1043);
  EXPECT_EQ(scene.texts[255].typeSpeed, 1255);
}

TEST_F(DirectivesTest, StrayRecordsAfterAFullBlockStillHonourAtAndHash) {
  std::string full = "@evt\r\n";
  for (int i = 0; i < 256; ++i) full += "1, 0, 0, 0\r\n";
  ASSERT_EQ(parse(full + "9, @txt 7, 5, 0, 0, x\r\n@\r\n"), 1);
  EXPECT_EQ(scene.eventCount, 256);
  EXPECT_EQ(scene.texts[7].typeSpeed, 5);
  EXPECT_EQ(wide(scene.texts[7].text), u"x");
  releaseSceneTables();
  ASSERT_EQ(allocateSceneTables(), 1);
  ASSERT_EQ(parse(full + "1, # @txt 8, 5\r\n@\r\n"), 1);
  EXPECT_EQ(scene.texts[8].typeSpeed, 0);
}

TEST_F(DirectivesTest, SecondEvtBlockAppendsAndTheTableNeverOverflows) {
  ASSERT_EQ(parse("@evt\r\n1,0,0,0\r\n2,0,0,0\r\n@evt\r\n3,0,0,0\r\n@\r\n"), 1);
  ASSERT_EQ(scene.eventCount, 3);
  EXPECT_EQ(scene.events[0].tick, 1);
  EXPECT_EQ(scene.events[2].tick, 3);
  std::string text;
  for (int block = 0; block < 3; ++block) {
    text += "@evt\r\n";
    for (int i = 0; i < 200; ++i) text += std::to_string(block * 1000 + i) + ", 0, 0, 0\r\n";
  }
  ASSERT_EQ(parse(text + "@\r\n"), 1);
  ASSERT_EQ(scene.eventCount, 256);
  EXPECT_EQ(scene.events[3].tick, 0);      // the second text's first block starts at entry 3
  EXPECT_EQ(scene.events[202].tick, 199);
  EXPECT_EQ(scene.events[203].tick, 1000);
  EXPECT_EQ(scene.events[255].tick, 1052);
}

TEST_F(DirectivesTest, PgnCountsInAndOutOfRange) {
  ASSERT_EQ(parse("@pgn\r\n0, 3, 1.0, 0.0, 0.0, 1.0\r\n5, -1, 1.0, 2.0\r\n7, 0\r\n@\r\n"), 1);
  EXPECT_EQ(vertices(scene.polygons[0]), (std::vector<float>{1.0f, 0.0f, 0.0f, 1.0f, 0.0f, 0.0f}));
  EXPECT_EQ(scene.polygons[5].count, -1);
  EXPECT_EQ(scene.polygons[5].points, nullptr);
  // «1.0, 2.0» became polygon 1 with two vertices that read as 0.0.
  EXPECT_EQ(vertices(scene.polygons[1]), (std::vector<float>{0.0f, 0.0f, 0.0f, 0.0f}));
  EXPECT_EQ(scene.polygons[7].count, 0);
  EXPECT_NE(scene.polygons[7].points, nullptr);
  ASSERT_EQ(parse("@pgn\r\n9, 65536\r\n@\r\n"), 1);
  EXPECT_EQ(scene.polygons[9].count, 65536);
  EXPECT_EQ(scene.polygons[9].points, nullptr);
  EXPECT_EQ(parse("@pgn\r\n256, 1, 0, 0\r\n"), 0);
  EXPECT_EQ(wide(loadErrorText), u"設定ファイル内、@pgnのIDが有効範囲ではありません");
}

TEST_F(DirectivesTest, PgnNumberUsedAgainReplacesItsVertices) {
  ASSERT_EQ(parse("@pgn\r\n2, 2, 1, 1, 2, 2\r\n2, 1, 9, 8\r\n@\r\n"), 1);
  ASSERT_EQ(scene.polygons[2].count, 1);
  EXPECT_EQ(scene.polygons[2].points[0].x, 9.0f);
  ASSERT_EQ(parse("@pgn\r\n2, -5\r\n@\r\n"), 1);
  EXPECT_EQ(scene.polygons[2].count, -5);
  EXPECT_EQ(scene.polygons[2].points, nullptr);  // no stale vertices under a bad count
}

// A vertex array that cannot be allocated drops the polygon: count 0, no array,
// its vertices read past, and the records after it load.
TEST_F(DirectivesTest, PgnArrayThatCannotBeAllocatedIsDropped) {
  std::string text = "@pgn\r\n3, 65535";
  for (int i = 0; i < 4; ++i) text += ", 1.5";
  text += "\r\n4, 1, 2.0, 3.0\r\n@\r\n";
  config_test::setText(text);
  host::failAllocationAfter(0);  // the parse's first allocation: polygon 3's vertices
  int result = parseSettingsText();
  bool failed = host::allocationFailureHappened();
  host::failAllocationAfter(-1);
  ASSERT_TRUE(failed);
  EXPECT_EQ(result, 1);
  EXPECT_EQ(scene.polygons[3].count, 0);
  EXPECT_EQ(scene.polygons[3].points, nullptr);
  ASSERT_EQ(scene.polygons[4].count, 1);
  ASSERT_NE(scene.polygons[4].points, nullptr);
  EXPECT_EQ(scene.polygons[4].points[0].x, 2.0f);
  EXPECT_EQ(scene.polygons[4].points[0].y, 3.0f);
}

TEST_F(DirectivesTest, BmpChoosesItsLoaderByTheLastThreeUnits) {
  writeBmp("logo.bmp", 4, 3);
  writeBmp("logo.BMP", 5, 3);
  writePngFile("logo.gif", 6, 3);  // the shell loader reads the content, whatever the name
  ASSERT_EQ(parse("@bmp\r\n0, logo.bmp\r\n1, \"logo.BMP\"\r\n2, logo.gif\r\n@\r\n"), 1);
  EXPECT_EQ(scene.images[0].imageLoader, IMAGE_LOADER_DIB);
  EXPECT_EQ(scene.images[0].info.bmWidth, 4);
  EXPECT_EQ(scene.images[1].imageLoader, IMAGE_LOADER_SHELL);
  EXPECT_EQ(scene.images[1].info.bmWidth, 5);
  EXPECT_EQ(scene.images[2].imageLoader, IMAGE_LOADER_SHELL);
  EXPECT_EQ(scene.images[2].info.bmWidth, 6);
  EXPECT_EQ(scene.images[0].hotX, 0);  // a record that ends after the name
}

TEST_F(DirectivesTest, BmpNumberFailsAfterTheNameBeforeAnyLoad) {
  writeBmp("a.bmp", 2, 2);
  EXPECT_EQ(parse("@bmp\r\n256, \"a.bmp\", 1\r\n"), 0);
  EXPECT_EQ(wide(loadErrorText), u"設定ファイル内、@bmpの画像IDが有効範囲ではありません");
  EXPECT_EQ(host::liveObjectCount(host::ObjectKind::Bitmap), 0u);
  EXPECT_EQ(parse("@bmp\r\n-1, \"a.bmp\", 1\r\n"), 0);
}

TEST_F(DirectivesTest, BmpLoadFailureKeepsWhatWasStored) {
  write("broken.bmp", "BM not really");
  EXPECT_EQ(parse("@bmp\r\n4, \"broken.bmp\", 1, 2\r\n@evt\r\n1,0,0,0\r\n"), 0);
  EXPECT_EQ(wide(loadErrorText), u"設定ファイル内、@bmpの画像読込に失敗しました");
  EXPECT_EQ(scene.images[4].imageLoader, IMAGE_LOADER_DIB);
  EXPECT_EQ(scene.images[4].bitmap, nullptr);
  EXPECT_NE(scene.images[4].dc, nullptr);  // released with the tables
  EXPECT_EQ(scene.images[4].hotX, 0);
  EXPECT_EQ(scene.eventCount, 0);
  loadErrorText = nullptr;
  EXPECT_EQ(parse("@bmp\r\n5, \"missing.png\"\r\n"), 0);
  EXPECT_EQ(scene.images[5].imageLoader, IMAGE_LOADER_SHELL);
  ASSERT_NE(loadErrorText, nullptr);
}

TEST_F(DirectivesTest, BmpPathOverTheLimitIsNotFound) {
  std::string name(255, 'n');  // exeDirectory plus this is beyond 255 units
  EXPECT_EQ(parse("@bmp\r\n0, \"" + name + "\"\r\n"), 0);
  EXPECT_EQ(wide(loadErrorText), u"設定ファイル内、@bmpの画像読込に失敗しました");
}

TEST_F(DirectivesTest, BmpNumberUsedAgainReleasesThePreviousImage) {
  writeBmp("a.bmp", 2, 2);
  writeBmp("b.bmp", 3, 3);
  ASSERT_EQ(parse("@bmp\r\n0, a.bmp, 1\r\n0, b.bmp, 2\r\n@\r\n"), 1);
  EXPECT_EQ(scene.images[0].info.bmWidth, 3);
  EXPECT_EQ(scene.images[0].hotX, 2);
  EXPECT_EQ(host::liveObjectCount(host::ObjectKind::Dc), 1u);
  // One loaded bitmap; a memory DC made on the host may own a default bitmap too.
  size_t bitmaps = host::liveObjectCount(host::ObjectKind::Bitmap);
  ASSERT_EQ(parse("@bmp\r\n0, a.bmp\r\n@\r\n"), 1);
  EXPECT_EQ(host::liveObjectCount(host::ObjectKind::Dc), 1u);
  EXPECT_EQ(host::liveObjectCount(host::ObjectKind::Bitmap), bitmaps);
}

TEST_F(DirectivesTest, SettingsBlockOpensASetBlock) {
  // «@settings» is «@set» whose first record begins with «tings»: number 0.
  ASSERT_EQ(parse("@settings, g, 4\r\n@\r\n"), 1);
  EXPECT_EQ(scene.defs[0].kind, KIND_IMAGE);
  EXPECT_EQ(scene.defs[0].source, 4);
}

TEST_F(DirectivesTest, RandomAndTruncatedTextsNeverCrash) {
  writeBmp("a.bmp", 2, 2);
  const std::string pieces[] = {"@base", "@bmp", "@txt", "@pgn", "@set", "@evt", "@", "#", "\r\n", "\n", ", ",
                                "\"", "[", "]", "1", "-7", "0.5", "a.bmp", "65535", "\x82", "\x81@", "g", "H1",
                                "@@", "\t"};
  srand(1234);
  for (int round = 0; round < 400; ++round) {
    std::string text;
    int parts = rand() % 60;
    for (int i = 0; i < parts; ++i) {
      if (rand() % 4 == 0) {
        text += char(rand() & 0xFF);
      } else {
        text += pieces[rand() % (sizeof pieces / sizeof pieces[0])];
      }
    }
    size_t nul = text.find('\0');
    if (nul != std::string::npos) text.resize(nul);
    parse(text);
    releaseSceneTables();
    ASSERT_EQ(allocateSceneTables(), 1);
    ASSERT_LE(scene.eventCount, 256);
  }
}

}  // namespace
