// Faults in the files a show reads, end to end on the headless host: image
// files missing, empty, cut short or lying about their size; a settings file
// that disappears or turns into a directory between two shows of one resident
// process; a schedule file that is a directory. Each ends with the message the
// user sees, and with nothing of the show left behind.
#include <cstdint>

#include "tests/app/player_harness.h"

using FileFaults = PlayerTest;

namespace {

const std::u16string kImageLoadFailed = u"ファイルの確認だ|設定ファイル内、@bmpの画像読込に失敗しました";
const std::u16string kSettingsOpenFailed = u"ファイルの確認だ|設定ファイル読込に失敗しました";

void put16(std::string& s, uint16_t v) {
  s += char(v & 0xFF);
  s += char(v >> 8);
}
void put32(std::string& s, uint32_t v) {
  put16(s, uint16_t(v & 0xFFFF));
  put16(s, uint16_t(v >> 16));
}

// A 24-bit bottom-up BMP of width x height grey pixels whose header states
// statedWidth x statedHeight.
std::string bmp24(int width, int height, int statedWidth, int statedHeight) {
  int rowBytes = (width * 3 + 3) / 4 * 4;
  std::string pixels(size_t(rowBytes) * size_t(height), '\x80');
  std::string s = "BM";
  put32(s, uint32_t(54 + pixels.size()));
  put32(s, 0);
  put32(s, 54);
  put32(s, 40);
  put32(s, uint32_t(statedWidth));
  put32(s, uint32_t(statedHeight));
  put16(s, 1);
  put16(s, 24);
  put32(s, 0);
  put32(s, uint32_t(pixels.size()));
  put32(s, 2835);
  put32(s, 2835);
  put32(s, 0);
  put32(s, 0);
  return s + pixels;
}

std::string readWhole(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace

class ImageFaults : public PlayerTest {
 public:
  // Plays a plain-mode show whose image 0 is the file name, holding bytes
  // unless it is to be missing; records the boxes and what is left.
  void playWithImage(const std::string& name, const std::string* bytes) {
    writeSchedule("default.txt", "default.txt");
    if (bytes != nullptr) writeFile(name, *bytes);
    writeShow("default.txt", 50, 3, "@bmp\r\n0, \"" + name + "\", 0, 0, 0, 0, 0, 0, 0, 0, 0\r\n@\r\n");
    exitCode = run(u"");
  }
  int exitCode = -100;
};

TEST_F(ImageFaults, AGoodImagePlaysTheShow) {
  std::string good = bmp24(4, 3, 4, 3);
  playWithImage("good.bmp", &good);
  EXPECT_EQ(exitCode, 0);
  EXPECT_EQ(ticksOf(u""), (std::vector<int>{0, 1, 2, 3})) << "the fault cases below differ only in the file";
  EXPECT_TRUE(boxTexts().empty());
  EXPECT_EQ(host::liveObjectCount(), 0u);
}

TEST_F(ImageFaults, AMissingEmptyOrCutShortBmpEndsWithTheImageMessage) {
  std::string good = bmp24(4, 3, 4, 3);
  struct Case {
    const char* what;
    bool present;
    std::string bytes;
  };
  const Case cases[] = {
      {"missing", false, ""},
      {"empty", true, ""},
      {"cut in the file header", true, good.substr(0, 10)},
      {"cut in the info header", true, good.substr(0, 30)},
      {"cut in the pixels", true, good.substr(0, 54 + 12)},
      {"claiming 100000x100000 pixels", true, bmp24(4, 3, 100000, 100000)},
      {"claiming a negative width", true, bmp24(4, 3, -4, 3)},
      {"claiming no pixels", true, bmp24(4, 3, 0, 0)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TearDown();
    SetUp();
    playWithImage("faulty.bmp", c.present ? &c.bytes : nullptr);
    EXPECT_EQ(exitCode, 0);
    EXPECT_TRUE(frames.empty()) << "no frame of the show is painted";
    EXPECT_EQ(boxTexts(), (std::vector<std::u16string>{kImageLoadFailed}));
    EXPECT_EQ(host::liveObjectCount(), 0u) << "the failed load released its bitmaps and DCs";
  }
}

TEST_F(ImageFaults, AMissingOrCutShortPngEndsWithTheImageMessage) {
  std::string png = readWhole(std::string(TESSARIL_DEMO_DIR) + "/banner.png");
  ASSERT_GT(png.size(), 40u);
  std::string huge = png;
  // The IHDR's width and height, big-endian after "IHDR" at byte 12.
  const char side[4] = {0, 1, (char)0x86, (char)0xA0};  // 100000
  huge.replace(16, 4, side, 4);
  huge.replace(20, 4, side, 4);
  struct Case {
    const char* what;
    bool present;
    std::string bytes;
  };
  const Case cases[] = {
      {"missing", false, ""},
      {"empty", true, ""},
      {"cut in the header", true, png.substr(0, 20)},
      {"cut in the pixel data", true, png.substr(0, png.size() / 2)},
      {"claiming 100000x100000 pixels", true, huge},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TearDown();
    SetUp();
    playWithImage("faulty.png", c.present ? &c.bytes : nullptr);
    EXPECT_EQ(exitCode, 0);
    EXPECT_TRUE(frames.empty());
    EXPECT_EQ(boxTexts(), (std::vector<std::u16string>{kImageLoadFailed}));
    EXPECT_EQ(host::liveObjectCount(), 0u);
  }
}

namespace {

// Tray taps at 100 and 1000 ms, each show stopped by a tap 300 ms later; the
// fault is made between the two shows.
void (*faultBetweenShows)(PlayerTest*) = nullptr;
void makeFaultAfterFirstShow(PlayerTest* t) {
  if (t->frames.size() == 1) faultBetweenShows(t);
}

}  // namespace

TEST_F(FileFaults, SettingsFileDeletedBetweenTwoShowsEndsResidentModeWithTheLoadMessage) {
  writeSchedule("normal.txt", "normal.txt");
  writeShow("normal.txt", 100, 0);
  faultBetweenShows = [](PlayerTest* t) { ASSERT_EQ(unlink((t->dir + "/normal.txt").c_str()), 0); };
  onFrame = makeFaultAfterFirstShow;
  EXPECT_EQ(run(u"-s", "100:tray;350:tap:5:5;1000:tray"), 0);
  EXPECT_EQ(ticksOf(u"normal.txt"), (std::vector<int>{0, 1, 2})) << "only the first show played";
  EXPECT_EQ(boxTexts(), (std::vector<std::u16string>{kSettingsOpenFailed}));
  EXPECT_TRUE(host::trayIcons().empty()) << "the failed start ended resident mode and removed the icon";
  EXPECT_EQ(host::liveObjectCount(), 0u);
  EXPECT_EQ(scene.defs, nullptr);
}

TEST_F(FileFaults, SettingsFileTurnedIntoADirectoryBetweenTwoShowsEndsLikeAMissingOne) {
  // Permission bits do not stop the superuser that CI may run as, so the file
  // is made unreadable by putting a directory in its place.
  writeSchedule("normal.txt", "normal.txt");
  writeShow("normal.txt", 100, 0);
  faultBetweenShows = [](PlayerTest* t) {
    std::string path = t->dir + "/normal.txt";
    ASSERT_EQ(unlink(path.c_str()), 0);
    ASSERT_EQ(mkdir(path.c_str(), 0700), 0);
  };
  onFrame = makeFaultAfterFirstShow;
  EXPECT_EQ(run(u"-s", "100:tray;350:tap:5:5;1000:tray"), 0);
  EXPECT_EQ(ticksOf(u"normal.txt"), (std::vector<int>{0, 1, 2}));
  EXPECT_EQ(boxTexts(), (std::vector<std::u16string>{kSettingsOpenFailed}));
  EXPECT_TRUE(host::trayIcons().empty());
  EXPECT_EQ(host::liveObjectCount(), 0u);
}

TEST_F(FileFaults, SettingsFileWithoutReadPermissionEndsLikeAMissingOne) {
  writeSchedule("normal.txt", "normal.txt");
  writeShow("normal.txt", 100, 0);
  ASSERT_EQ(chmod((dir + "/normal.txt").c_str(), 0), 0);
  bool superuser = geteuid() == 0;
  EXPECT_EQ(run(u"-s", "100:tray;350:tap:5:5;1000:second:1"), 0);
  if (superuser) {
    // The superuser reads the file anyway: the show plays as usual.
    EXPECT_EQ(ticksOf(u"normal.txt"), (std::vector<int>{0, 1, 2}));
    EXPECT_EQ(boxTexts(), (std::vector<std::u16string>{u"メッセージ|常駐を解除します"}));
  } else {
    EXPECT_TRUE(frames.empty());
    EXPECT_EQ(boxTexts(), (std::vector<std::u16string>{kSettingsOpenFailed}));
  }
  EXPECT_EQ(host::liveObjectCount(), 0u);
}

TEST_F(FileFaults, ScheduleFileThatIsADirectoryShowsTheScheduleMessage) {
  writeShow("default.txt", 50, 2);
  ASSERT_EQ(mkdir((dir + "/schedule.ini").c_str(), 0700), 0);
  for (const char16_t* line : {u"", u"-s"}) {
    SCOPED_TRACE(host::utf16ToUtf8(line));
    EXPECT_EQ(run(line), 0);
    EXPECT_TRUE(frames.empty());
    EXPECT_EQ(boxTexts(), (std::vector<std::u16string>{u"ファイルの確認だ|スケジュールファイル読込に失敗しました"}));
    EXPECT_TRUE(host::trayIcons().empty());
    EXPECT_EQ(host::liveObjectCount(), 0u);
    host::resetHost();
    resetShell();
  }
}
