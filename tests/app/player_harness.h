// Runs the real process entry on the headless host with the virtual clock, in
// a scratch directory that stands for the executable's, and records every frame
// step: its host-clock time, tick, settings file and live instance count.
#pragma once

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "app/shell_state.h"
#include "app/show_driver.h"
#include "config/schedule_file.h"
#include "config/settings_loader.h"
#include "engine/instance_pool.h"
#include "engine/scene_tables.h"
#include "platform/host/backend.h"
#include "platform/host/common/handle_table.h"
#include "platform/host/runtime/debug_console.h"
#include "platform/host/runtime/host_clock.h"
#include "platform/host/host_control.h"
#include "platform/host/files/host_files.h"
#include "platform/host/common/text_encoding.h"

struct FrameRecord {
  int64_t atMs;
  int tick;
  std::u16string show;
  int liveInstances;
};

class PlayerTest : public ::testing::Test {
 public:
  static inline PlayerTest* current = nullptr;
  std::string dir;
  std::string instanceDir;
  std::vector<FrameRecord> frames;
  // Called after each recorded frame; may post messages to end a run.
  void (*onFrame)(PlayerTest* test) = nullptr;

  void SetUp() override {
    current = this;
    frames.clear();
    char scratch[] = "/tmp/tessaril-player-XXXXXX";
    ASSERT_NE(mkdtemp(scratch), nullptr);
    dir = scratch;
    char sockets[] = "/tmp/tessaril-sockets-XXXXXX";
    ASSERT_NE(mkdtemp(sockets), nullptr);
    instanceDir = sockets;
    host::resetHost();
    std::string error;
    ASSERT_TRUE(host::selectBackend("headless", &error)) << error;
    host::setScreenSize(240, 320);
    SYSTEMTIME start{};
    ASSERT_TRUE(host::parseLocalTime("2026-12-06T10:00:00", &start));
    host::clockUseVirtual(start);
    host::setModuleDirectory(dir);
    host::setInstanceDirectory(instanceDir);
    resetShell();
    frameStepHooks.beforePaint = recordFrame;
    frameStepHooks.afterPaint = nullptr;
  }

  void TearDown() override {
    frameStepHooks.beforePaint = nullptr;
    host::resetHost();
    host::clockUseReal();
    std::system(("rm -rf '" + dir + "' '" + instanceDir + "'").c_str());
    current = nullptr;
  }

  // The process-wide state a fresh process starts with.
  static void resetShell() {
    showing = resident = windowCreated = 0;
    pendingRestart = 0;
    settingsFileName[0] = scheduleFileName[0] = 0;
    mainWindow = nullptr;
    stopEvent = watcherThread = nullptr;
    memset(&trayIconData, 0, sizeof trayIconData);
    tickInterval = 1000;
    duration = -1;
    freeScheduleList(&normalList);
    freeScheduleList(&suspendList);
  }

  static void recordFrame() {
    PlayerTest* t = current;
    int live = 0;
    for (int s = pool.head; s > 0 && s < MAX_INSTANCES && pool.slots[s].inUse; s = pool.slots[s].next) ++live;
    t->frames.push_back({host::clockNowMs(), tick, std::u16string(settingsFileName), live});
    if (t->onFrame != nullptr) t->onFrame(t);
  }

  void writeFile(const std::string& name, const std::string& text) {
    std::ofstream(dir + "/" + name, std::ios::binary) << text;
  }

  // A show of nothing but its base settings and optional events.
  void writeShow(const std::string& name, int interval, int ticks, const std::string& rest = "") {
    writeFile(name, "@base\r\n" + std::to_string(interval) + ", " + std::to_string(ticks) + ", 0, 0, 0\r\n@\r\n" +
                        rest);
  }

  void writeSchedule(const std::string& normal, const std::string& suspend) {
    writeFile("schedule.ini", "@normal\r\n\"" + normal + "\"\r\n@suspend\r\n\"" + suspend + "\"\r\n@\r\n");
  }

  // Runs WinMain with the command line and the input script; its exit code.
  int run(const std::u16string& commandLine, const char* script = "") {
    std::string error;
    EXPECT_TRUE(host::addInputScript(script, &error)) << error;
    std::u16string line = commandLine;
    static char instance;
    int code = WinMain(reinterpret_cast<HINSTANCE>(&instance), nullptr, line.data(), SW_SHOWNORMAL);
    host::flushDebugConsole();  // as the process's exit does
    return code;
  }

  std::vector<int> ticksOf(const std::u16string& show) const {
    std::vector<int> ticks;
    for (const FrameRecord& f : frames) {
      if (f.show == show) ticks.push_back(f.tick);
    }
    return ticks;
  }

  std::vector<std::u16string> boxTexts() const {
    std::vector<std::u16string> texts;
    for (const host::MessageBoxRecord& box : host::messageBoxesShown()) texts.push_back(box.caption + u"|" + box.text);
    return texts;
  }
};
