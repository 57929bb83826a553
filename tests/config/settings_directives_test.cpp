// The settings text's top-level scan, its block loop and the @base, @bmp,
// @txt, @pgn and @evt directives (and @set's numbers): what each text stores,
// as one table.
#include <string>
#include <tuple>

#include "config_test_support.h"
#include "config/settings_directives.h"
#include "platform/host/host_control.h"

namespace {

using config_test::ConfigTest;
using config_test::stored;

class DirectivesTest : public ConfigTest {};

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

// Each text parsed into fresh tables: its result and everything it stored.
TEST_F(DirectivesTest, EachTextStoresWhatItSays) {
  const std::string kTxtRange = "error 設定ファイル内、@txtのテキストIDが有効範囲ではありません";
  const std::string kBaseWrong = "error 設定ファイル内、@baseの記述が間違ってます";
  const std::string kSetRange = "error 設定ファイル内、@setの設定番号№が有効範囲ではありません";
  const struct {
    const char* what;
    std::string text;
    int result;
    std::string stored;
  } rows[] = {
      {"the worked example", kWorkedExample, 1,
       "base 50 400; brush 000040; bmp 0 dib 64x16 hot 8,8 frames 16x16 4 3 1 1 0; bmp 1 shell 20x10 hot 0,0; "
       "txt 0 2 1 0 'Good morning|Have a nice day'; pgn 0 3: 0,-0.5 0.5,0.5 -0.5,0.5; evt 1 0 0 0; evt 200 0 0 1"},
      {"empty text", "", 1, ""},
      {"comments", "# only\r\n#comments @base\r\n\r\n", 1, ""},
      {"names are exact lowercase bytes", "@BMP\r\n0, \"x.bmp\", 0\r\n@Evt\r\n5, 0, 0, 0\r\n", 1, ""},
      {"0x81 0x40 ends in '@': the evt after it is stray text", "\x81@evt\r\n5, 0, 0, 0\r\n", 1, ""},
      {"'@' then a lead byte steps over the whole character", "@\x82@evt\r\n5, 0, 0, 0\r\n", 1, ""},
      {"'@@' is stepped over as a pair", "@@@evt\r\n5, 0, 0, 0\r\n", 1, "evt 5 0 0 0"},
      {"base consumes the closing '@': the images after it are skipped",
       "@base\r\n10, 0, 0, 0, 0\r\n@bmp\r\n0, \"x.bmp\", 0\r\n@evt\r\n3, 0, 0, 0\r\n@\r\n", 1,
       "base 10 0; brush 000000; evt 3 0 0 0"},
      {"an evt block at the end of the text", "@evt\r\n1, 0, 2, 0\r\n9, 1, 3, 2", 1, "evt 1 0 2 0; evt 9 1 3 2"},
      {"missing fields read as 0, extra ones as the next record", "@evt\r\n5, 1\r\n6, 0, 1, 0, 7, 0\r\n@\r\n", 1,
       "evt 5 1 0 0; evt 6 0 1 0; evt 7 0 0 0"},
      {"'#' inside a block is a record", "@evt\r\n#note\r\n4, 0, 0, 0\r\n@\r\n", 1, "evt 0 0 0 0; evt 4 0 0 0"},
      {"a second evt block appends", "@evt\r\n1,0,0,0\r\n2,0,0,0\r\n@evt\r\n3,0,0,0\r\n@\r\n", 1,
       "evt 1 0 0 0; evt 2 0 0 0; evt 3 0 0 0"},
      {"a white background", "@base\r\n10, 0, 255, 255, 255\r\n@\r\n", 1, "base 10 0; brush ffffff"},
      {"red -1: no brush", "@base\r\n10, 0, -1, 0, 0\r\n@\r\n", 1, "base 10 0"},
      {"red 256: no brush", "@base\r\n10, 0, 256, 0, 0\r\n@\r\n", 1, "base 10 0"},
      {"blue 300: no brush", "@base\r\n10, 0, 0, 0, 300\r\n@\r\n", 1, "base 10 0"},
      {"a second base replaces the brush (the first one is deleted)",
       "@base\r\n10, 0, 1, 2, 3\r\n@\r\n@base\r\n20, 0, 4, 5, 6\r\n@\r\n", 1, "base 20 0; brush 040506"},
      {"base at the end of the text fails with its values set", "@base\r\n25, 77, 0, 0, 0\r\n", 0,
       "base 25 77; brush 000000; " + kBaseWrong},
      {"base on one line without '@'", "@base 5, 6, 0, 0, 0 x", 0, "base 5 6; brush 000000; " + kBaseWrong},
      {"a short txt record and line breaks", "@txt\r\n3, 2\r\n4, 0, 0, 0, a@@@b\r\n@\r\n", 1,
       "txt 3 2 0 0 ''; txt 4 0 0 0 'a|@b'"},
      {"txt number -1 fails before the rest is read", "@txt\r\n-1, 1, 1, 1, \"x\"\r\n@evt\r\n1,0,0,0\r\n", 0,
       kTxtRange},
      {"txt number 256", "@txt\r\n256, 1, 1, 1, \"x\"\r\n@evt\r\n1,0,0,0\r\n", 0, kTxtRange},
      {"pgn counts in and out of range: «1.0, 2.0» is polygon 1 with two vertices of 0",
       "@pgn\r\n0, 3, 1.0, 0.0, 0.0, 1.0\r\n5, -1, 1.0, 2.0\r\n7, 0\r\n@\r\n", 1,
       "pgn 0 3: 1,0 0,1 0,0; pgn 1 2: 0,0 0,0; pgn 5 -1 -; pgn 7 0:"},
      {"a count over 65535 gets no array", "@pgn\r\n9, 65536\r\n@\r\n", 1, "pgn 9 65536 -"},
      {"pgn number 256", "@pgn\r\n256, 1, 0, 0\r\n", 0, "error 設定ファイル内、@pgnのIDが有効範囲ではありません"},
      {"a pgn number used again replaces its vertices", "@pgn\r\n2, 2, 1, 1, 2, 2\r\n2, 1, 9, 8\r\n@\r\n", 1,
       "pgn 2 1: 9,8"},
      {"a bad count leaves no stale vertices", "@pgn\r\n2, 2, 1, 1, 2, 2\r\n2, -5\r\n@\r\n", 1, "pgn 2 -5 -"},
      {"bmp number 256 fails after the name, before any load", "@bmp\r\n256, \"a.bmp\", 1\r\n", 0,
       "error 設定ファイル内、@bmpの画像IDが有効範囲ではありません"},
      {"bmp number -1", "@bmp\r\n-1, \"a.bmp\", 1\r\n", 0, "error 設定ファイル内、@bmpの画像IDが有効範囲ではありません"},
      {"an image that fails keeps its DC and loader", "@bmp\r\n4, \"broken.bmp\", 1, 2\r\n@evt\r\n1,0,0,0\r\n", 0,
       "bmp 4 dib none hot 0,0; error 設定ファイル内、@bmpの画像読込に失敗しました"},
      {"a missing PNG", "@bmp\r\n5, \"missing.png\"\r\n", 0,
       "bmp 5 shell none hot 0,0; error 設定ファイル内、@bmpの画像読込に失敗しました"},
      {"a path over 255 units is not found", "@bmp\r\n0, \"" + std::string(255, 'n') + "\"\r\n", 0,
       "bmp 0 shell none hot 0,0; error 設定ファイル内、@bmpの画像読込に失敗しました"},
      {"«@settings» is «@set» whose first record begins with «tings»", "@settings, g, 4\r\n@\r\n", 1,
       "def 0 1 4 0"},
      // The record before the failing one is stored; nothing after it is read.
      {"set number 256", "@set\r\n0, t\r\n256, g, 1\r\n@evt\r\n1, 0, 0, 0\r\n", 0, "def 0 2 0 0; " + kSetRange},
      {"set number -1", "@set\r\n0, t\r\n-1, g, 1\r\n@evt\r\n1, 0, 0, 0\r\n", 0, "def 0 2 0 0; " + kSetRange},
  };
  writeBmp("a.bmp", 2, 2);
  writeBmp("spark.bmp", 64, 16);
  writeBmp("frame.png", 20, 10);
  write("broken.bmp", "BM not really");
  for (const auto& row : rows) {
    SCOPED_TRACE(row.what);
    fresh();
    EXPECT_EQ(parse(row.text), row.result);
    EXPECT_EQ(stored(), row.stored);
    EXPECT_LE(host::liveObjectCount(host::ObjectKind::Brush), 1u);
  }
}

// A block reads at most 256 records, the lines after them up to the next '@'
// being stray text; the events of several blocks fill the table of 256 and no more.
TEST_F(DirectivesTest, ABlockHoldsAtMost256RecordsAndStrayLinesStillHonourAtAndHash) {
  std::string text = "@txt\r\n";
  for (int i = 0; i < 300; ++i) text += std::to_string(i % 256) + ", " + std::to_string(1000 + i) + ", 0, 0, \"t\"\r\n";
  ASSERT_EQ(parse(text), 1);
  EXPECT_EQ(scene.texts[0].typeSpeed, 1000);  // record 257 («0, 1256, ...») is stray text
  EXPECT_EQ(scene.texts[255].typeSpeed, 1255);
  std::string events;
  for (int block = 0; block < 2; ++block) {
    events += "@evt\r\n";
    for (int i = 0; i < (block == 0 ? 100 : 256); ++i) events += std::to_string(block * 1000 + i) + ", 0, 0, 0\r\n";
  }
  fresh();
  ASSERT_EQ(parse(events + "9, @txt 7, 5, 0, 0, x\r\n1, # @txt 8, 5\r\n@\r\n"), 1);
  ASSERT_EQ(scene.eventCount, 256);
  EXPECT_EQ(std::make_tuple(scene.events[99].tick, scene.events[100].tick, scene.events[255].tick),
            std::make_tuple(99, 1000, 1155));
  EXPECT_EQ(scene.texts[7].typeSpeed, 5);
  EXPECT_EQ(std::u16string(scene.texts[7].text), u"x");
  EXPECT_EQ(scene.texts[8].typeSpeed, 0) << "'#' hides the rest of the stray line";
}

// A vertex array that cannot be allocated drops the polygon: count 0, no array,
// its vertices read past, and the records after it load.
TEST_F(DirectivesTest, PgnArrayThatCannotBeAllocatedIsDropped) {
  config_test::setText("@pgn\r\n3, 65535, 1.5, 1.5, 1.5, 1.5\r\n4, 1, 2.0, 3.0\r\n@\r\n");
  host::failAllocationAfter(0);  // the parse's first allocation: polygon 3's vertices
  int result = parseSettingsText();
  bool failed = host::allocationFailureHappened();
  host::failAllocationAfter(-1);
  ASSERT_TRUE(failed);
  EXPECT_EQ(result, 1);
  EXPECT_EQ(stored(), "pgn 4 1: 2,3");
}

TEST_F(DirectivesTest, BmpChoosesItsLoaderByTheLastThreeUnitsAndANumberUsedAgainReleasesItsImage) {
  writeBmp("logo.bmp", 4, 3);
  writeBmp("logo.BMP", 5, 3);
  writeBmp("logo.gif", 6, 3);  // the shell loader reads the content, whatever the name
  ASSERT_EQ(parse("@bmp\r\n0, logo.bmp\r\n1, \"logo.BMP\"\r\n2, logo.gif, 1\r\n@\r\n"), 1);
  EXPECT_EQ(stored(), "bmp 0 dib 4x3 hot 0,0; bmp 1 shell 5x3 hot 0,0; bmp 2 shell 6x3 hot 1,0");
  // One loaded bitmap a slot; a memory DC made on the host may own a default bitmap too.
  size_t bitmaps = host::liveObjectCount(host::ObjectKind::Bitmap);
  ASSERT_EQ(parse("@bmp\r\n0, logo.gif, 2\r\n0, logo.BMP\r\n@\r\n"), 1);
  EXPECT_EQ(stored(), "bmp 0 shell 5x3 hot 0,0; bmp 1 shell 5x3 hot 0,0; bmp 2 shell 6x3 hot 1,0");
  EXPECT_EQ(host::liveObjectCount(host::ObjectKind::Dc), 3u);
  EXPECT_EQ(host::liveObjectCount(host::ObjectKind::Bitmap), bitmaps);
}

}  // namespace
