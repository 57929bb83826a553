// Runs the real process entry on the headless host with the virtual clock, in
// a scratch directory that stands for the executable's, and records every frame
// step: its host-clock time, tick, settings file and live instance count.
#pragma once

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "engine/instance_pool.h"
#include "engine/scene_tables.h"
#include "platform/host/common/handle_table.h"
#include "platform/host/runtime/debug_console.h"
#include "platform/host/common/text_encoding.h"
#include "platform/host/threads/power_source.h"
#include "tests/support/fresh_process.h"
#include "tests/support/set_record.h"
#include "tests/support/test_files.h"

struct FrameRecord {
  int64_t atMs;
  int tick;
  std::u16string show;
  int liveInstances;
};

// The boxes the player shows, as "caption|text".
inline const std::u16string kLeaving = u"メッセージ|常駐を解除します";
inline const std::u16string kSettingsOpenFailed = u"ファイルの確認だ|設定ファイル読込に失敗しました";
inline const std::u16string kScheduleOpenFailed = u"ファイルの確認だ|スケジュールファイル読込に失敗しました";
using Boxes = std::vector<std::u16string>;
using Ticks = std::vector<int>;

// TESSARIL_LONG=1 asks the long-running tests for their full counts.
inline bool longRuns() {
  const char* value = std::getenv("TESSARIL_LONG");
  return value != nullptr && std::string(value) == "1";
}

class PlayerTest : public ::testing::Test {
 public:
  static inline PlayerTest* current = nullptr;
  std::string dir;
  std::string instanceDir;
  std::vector<FrameRecord> frames;
  // Called after each recorded frame; may post messages to end a run.
  void (*onFrame)(PlayerTest* test) = nullptr;
  // The frame count at which a resident run ends as a second -s start ends it (0: never).
  size_t endAtFrame = 0;

  void SetUp() override {
    current = this;
    dir = test_files::scratchDir("tessaril-player");
    instanceDir = test_files::scratchDir("tessaril-sockets");
    ASSERT_FALSE(dir.empty() || instanceDir.empty());
    freshProcess();
  }

  void TearDown() override {
    host::usePowerSource(nullptr);  // the headless one, should the test have chosen another
    frameStepHooks.beforePaint = nullptr;
    host::resetHost();
    host::clockUseReal();
    std::system(("rm -rf '" + dir + "' '" + instanceDir + "'").c_str());
    current = nullptr;
  }

  // A fresh process in a new, empty directory, as for a test of its own.
  void startOver() {
    TearDown();
    SetUp();
  }

  // A fresh process over the same directory and its files, no frame recorded yet.
  void freshProcess() {
    frames.clear();
    std::string error;
    ASSERT_TRUE(test_process::startFreshProcess(dir, instanceDir, 240, 320, &error)) << error;
    frameStepHooks.beforePaint = recordFrame;
  }

  static void recordFrame() {
    PlayerTest* t = current;
    int live = 0;
    for (int s = pool.head; s > 0 && s < MAX_INSTANCES && pool.slots[s].inUse; s = pool.slots[s].next) ++live;
    t->frames.push_back({host::clockNowMs(), tick, std::u16string(settingsFileName), live});
    if (t->frames.size() == t->endAtFrame) PostMessageW(mainWindow, MSG_OTHER_INSTANCE, 1, 0);
    if (t->onFrame != nullptr) t->onFrame(t);
  }

  // Ends the resident run from another thread (as a second -s start does), for
  // a test whose peer failed, so that it fails instead of waiting for ever.
  static void endRunFromPeer() {
    std::string error;
    EXPECT_TRUE(host::addInputScript("0:second:1", &error)) << error;
  }

  void writeFile(const std::string& name, const std::string& text) { test_files::writeWhole(dir + "/" + name, text); }

  // A show of its base settings (a tick every interval ms, ticks ticks long,
  // 0: no limit) and optional further blocks.
  void writeShow(const std::string& name, int interval, int ticks, const std::string& rest = "") {
    writeFile(name, "@base\r\n" + std::to_string(interval) + ", " + std::to_string(ticks) + ", 0, 0, 0\r\n@\r\n" +
                        rest);
  }

  void writeSchedule(const std::string& normal, const std::string& suspend) {
    writeFile("schedule.ini", "@normal\r\n\"" + normal + "\"\r\n@suspend\r\n\"" + suspend + "\"\r\n@\r\n");
  }

  // Runs WinMain with the command line and the input script; its exit code.
  // However the run ended, it released every host handle and its tray icon.
  int run(const std::u16string& commandLine, const char* script = "") {
    std::string error;
    EXPECT_TRUE(host::addInputScript(script, &error)) << error;
    std::u16string line = commandLine;
    static char instance;
    int code = WinMain(reinterpret_cast<HINSTANCE>(&instance), nullptr, line.data(), SW_SHOWNORMAL);
    host::flushDebugConsole();  // as the process's exit does
    EXPECT_EQ(host::liveObjectCount(), 0u) << "the run released every bitmap, DC, window and event";
    EXPECT_TRUE(host::trayIcons().empty()) << "the icon leaves with the program";
    return code;
  }

  Ticks ticksOf(const std::u16string& show) const {
    Ticks ticks;
    for (const FrameRecord& f : frames) {
      if (f.show == show) ticks.push_back(f.tick);
    }
    return ticks;
  }

  Boxes boxTexts() const {
    Boxes texts;
    for (const host::MessageBoxRecord& box : host::messageBoxesShown()) texts.push_back(box.caption + u"|" + box.text);
    return texts;
  }
};
