// Two real player processes on the headless host with the real clock: the
// single-instance hand-over between a second start and the running instance;
// the show folder the player chooses, installed and portable; --help and
// --version.
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/player_process.h"

namespace {

using player_process::kStillRuns;

const char* const SCHEDULE = "@normal\r\n\"normal.txt\"\r\n@suspend\r\n\"normal.txt\"\r\n@\r\n";
const char* const SHORT_SHOW = "@base\r\n50, 2, 0, 0, 0\r\n@\r\n";  // ends after 2 ticks

class TwoProcesses : public ::testing::Test {
 protected:
  player_process::PlayerDir player;
  std::string home;  // HOME of the player: a user without a show folder yet
  std::map<std::string, std::string> env = {{"TESSARIL_BACKEND", "headless"}, {"TESSARIL_HEADLESS_INPUT", ""},
                                            {"XDG_CONFIG_HOME", ""}, {"TESSARIL_HOME", ""}};

  void SetUp() override {
    ASSERT_TRUE(player.ready());
    home = player.dir() + "/home";
    mkdir(home.c_str(), 0755);
    env["HOME"] = home;
    player.write("schedule.ini", SCHEDULE);
    player.write("default.txt", "@base\r\n50, 0, 0, 0, 0\r\n@\r\n");
  }

  // Starts the player with args; prefix (such as setpriv ...) runs it as another user.
  size_t start(std::vector<std::string> args, std::vector<std::string> prefix = {}) {
    return player.start(args, {env.begin(), env.end()}, prefix);
  }

  // Starts the player with args and waits for its end: it exits 0 within 10 s.
  // What it printed.
  std::string runToEnd(std::vector<std::string> args, std::vector<std::string> prefix = {}) {
    size_t p = start(args, prefix);
    EXPECT_EQ(player.waitExit(p, 10000), 0) << player.err(p);
    return player.err(p);
  }

  // Ends the resident instance first as a second -s start does, which prints
  // nothing: both exit 0, first after its leaving notice.
  void endResident(size_t first) {
    EXPECT_EQ(runToEnd({"-s"}), "");
    EXPECT_EQ(player.waitExit(first, 10000), 0);
    EXPECT_NE(player.err(first).find("[メッセージ] 常駐を解除します"), std::string::npos) << player.err(first);
  }

  // Starts the player with args and waits until a socket appears in the
  // runtime directory: it listens as the running instance.
  size_t startListening(std::vector<std::string> args) {
    size_t p = start(args);
    bool listens = false;
    for (int i = 0; i < 250 && !listens; ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
      listens = std::system(("ls '" + player.runtime() + "' 2>/dev/null | grep -q sock").c_str()) == 0;
    }
    EXPECT_TRUE(listens) << "it never listened: " << player.err(p);
    return p;
  }
};

// CPU time of every thread of the process so far, in nanoseconds; 0 when it
// cannot be read.
long long cpuTimeNs(pid_t pid) {
  clockid_t clock;
  timespec time{};
  if (clock_getcpuclockid(pid, &clock) != 0 || clock_gettime(clock, &time) != 0) return 0;
  return time.tv_sec * 1000000000LL + time.tv_nsec;
}

const char* const LOAD_FAILED = "[ファイルの確認だ] 設定ファイル読込に失敗しました";

TEST_F(TwoProcesses, TheResidentProcessUsesNoCpuBetweenEvents) {
  size_t first = startListening({"-s"});
  std::this_thread::sleep_for(std::chrono::milliseconds(500));  // past its start-up
  long long before = cpuTimeNs(player.process(first).pid);
  std::this_thread::sleep_for(std::chrono::seconds(5));
  long long used = cpuTimeNs(player.process(first).pid) - before;
  EXPECT_GT(before, 0) << "the process's CPU time could be read";
  EXPECT_LT(used, 10 * 1000 * 1000) << "ns of CPU over 5 s of idle";
  endResident(first);
}

// --help and --version, each alone, are answered before the system's command
// line is read, and a process of another user finds no instance it may reach:
// none of them disturbs the running instance; a plain second start loads and
// shows nothing and makes the running instance play its normal show (missing
// here: its load error ends it). Other command lines are the system's.
TEST_F(TwoProcesses, OnlyAPlainSecondStartOfTheSameUserReachesTheRunningInstance) {
  if (geteuid() != 0 || std::system("command -v setpriv >/dev/null") != 0) {
    GTEST_FAIL() << "needs root and setpriv to start a process of another user";
  }
  const struct {
    std::vector<std::string> args, prefix;
    const char* output;  // what the start prints first
  } rows[] = {{{"--help"}, {}, "usage: tessaril [-f NAME] [-s]\n"},
              {{"--version"}, {}, "tessaril " TESSARIL_VERSION "\n"},
              // nobody plays its own short show and ends.
              {{}, {"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"}, ""}};
  player.write("default.txt", SHORT_SHOW);
  size_t first = startListening({"-s"});
  for (const auto& row : rows) {
    std::string output = runToEnd(row.args, row.prefix);
    EXPECT_EQ(output.find(row.output), 0u) << output;
  }
  EXPECT_EQ(player.waitExit(first, 300), kStillRuns) << "the running instance was disturbed: " << player.err(first);
  EXPECT_EQ(player.err(first), "");
  EXPECT_EQ(runToEnd({}), "") << "the second start loads nothing and shows nothing";
  EXPECT_EQ(player.waitExit(first, 10000), 0);
  EXPECT_NE(player.err(first).find(LOAD_FAILED), std::string::npos) << player.err(first);
  // Without default.txt these play nothing but the load error.
  unlink((player.dir() + "/default.txt").c_str());
  for (std::vector<std::string> args : {std::vector<std::string>{"--helpx"}, {"-h"}, {"--help", "--version"}}) {
    EXPECT_EQ(runToEnd(args), std::string(LOAD_FAILED) + "\n") << args[0];
  }
}

// Which folder a plain start plays default.txt from: the only one given it.
TEST_F(TwoProcesses, TheShowFolderIsTessarilHomeThenAPortableFolderThenTheUsersOwn) {
  const std::string dir = player.dir(), tessarilHome = dir + "/shows", users = home + "/.config/tessaril";
  ASSERT_EQ(std::system(("mkdir -p '" + tessarilHome + "' '" + users + "'").c_str()), 0);
  player.write("schedule.ini", SCHEDULE, tessarilHome);
  player.write("schedule.ini", SCHEDULE, users);
  struct Row {
    bool homeSet;
    bool portable;  // the executable's directory holds schedule.ini
    std::string plays;
  } rows[] = {{false, true, dir}, {true, true, tessarilHome}, {false, false, users}, {true, false, tessarilHome}};
  for (const Row& row : rows) {
    for (const std::string& folder : {dir, tessarilHome, users}) unlink((folder + "/default.txt").c_str());
    unlink((dir + "/schedule.ini").c_str());
    if (row.portable) player.write("schedule.ini", SCHEDULE);
    player.write("default.txt", SHORT_SHOW, row.plays);
    env["TESSARIL_HOME"] = row.homeSet ? tessarilHome : "";
    EXPECT_EQ(runToEnd({}), "") << row.plays;
  }
}

// The installed player on a user's first start: the show folder appears with
// the installed demo; later starts change nothing in it.
TEST_F(TwoProcesses, AnInstalledPlayerFillsTheUsersShowFolderOnItsFirstStartOnly) {
  std::string prefix = player.dir() + "/prefix";
  ASSERT_EQ(std::system(("cmake --install '" TESSARIL_BUILD_DIR "' --prefix '" + prefix + "' >/dev/null").c_str()), 0);
  player.useBinary(prefix + "/bin/tessaril");
  std::string demo = prefix + "/share/tessaril/demo";
  for (const std::string& config : {std::string(), player.dir() + "/config"}) {
    env["XDG_CONFIG_HOME"] = config;
    std::string folder = (config.empty() ? home + "/.config" : config) + "/tessaril";
    size_t first = startListening({"-s"});
    EXPECT_EQ(std::system(("diff -r '" + demo + "' '" + folder + "'").c_str()), 0) << "the demo and its schedule";
    endResident(first);
    // The demo plays for longer than 10 s: an edited show that ends at once
    // shows that the edit was kept and played.
    player.write("default.txt", SHORT_SHOW, folder);
    EXPECT_EQ(runToEnd({}), "");
    EXPECT_EQ(std::system(("diff -r -x default.txt '" + demo + "' '" + folder + "'").c_str()), 0);
    EXPECT_EQ(std::system(("grep -q '50, 2' '" + folder + "/default.txt'").c_str()), 0);
  }
}

}  // namespace
