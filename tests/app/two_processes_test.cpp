// Two real player processes on the headless host with the real clock: the
// single-instance hand-over between a second start and the running instance;
// the show folder the player chooses, installed and portable; --help and
// --version.
#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <map>
#include <string>
#include <thread>
#include <vector>

namespace {

const char* const LOAD_FAILED = "[ファイルの確認だ] 設定ファイル読込に失敗しました";
const char* const SCHEDULE = "@normal\r\n\"normal.txt\"\r\n@suspend\r\n\"normal.txt\"\r\n@\r\n";
const char* const SHORT_SHOW = "@base\r\n50, 2, 0, 0, 0\r\n@\r\n";  // ends after 2 ticks
const char* const LEAVING = "[メッセージ] 常駐を解除します";

struct Process {
  pid_t pid = -1;
  int errFd = -1;
  std::string err;
};

class TwoProcesses : public ::testing::Test {
 protected:
  std::string dir;      // stands for the executable's directory
  std::string runtime;  // XDG_RUNTIME_DIR: the single-instance sockets
  std::string home;     // HOME of the player: a user without a show folder yet
  std::string exe;      // the player started
  std::map<std::string, std::string> env;  // set in the player; empty: unset

  void SetUp() override {
    char a[] = "/tmp/tessaril-procs-XXXXXX";
    char b[] = "/tmp/tessaril-runtime-XXXXXX";
    ASSERT_NE(mkdtemp(a), nullptr);
    ASSERT_NE(mkdtemp(b), nullptr);
    dir = a;
    runtime = b;
    home = dir + "/home";
    exe = dir + "/tessaril";
    env = {{"HOME", home}, {"XDG_CONFIG_HOME", ""}, {"TESSARIL_HOME", ""}};
    chmod(dir.c_str(), 0755);
    mkdir(home.c_str(), 0755);
    ASSERT_EQ(std::system(("cp '" TESSARIL_BINARY "' '" + exe + "'").c_str()), 0);
    write("schedule.ini", SCHEDULE);
    write("default.txt", "@base\r\n50, 0, 0, 0, 0\r\n@\r\n");
  }

  void TearDown() override { std::system(("rm -rf '" + dir + "' '" + runtime + "'").c_str()); }

  void write(const std::string& name, const std::string& text, const std::string& folder = "") {
    std::string path = (folder.empty() ? dir : folder) + "/" + name;
    std::ofstream(path, std::ios::binary) << text;
    chmod(path.c_str(), 0644);
  }

  // Starts exe with args and env, its standard output and error read into err;
  // prefix (such as setpriv ...) runs it as another user.
  Process start(std::vector<std::string> args, std::vector<std::string> prefix = {}) {
    int pipeFds[2];
    EXPECT_EQ(pipe(pipeFds), 0);
    Process p;
    p.pid = fork();
    if (p.pid == 0) {
      dup2(pipeFds[1], 1);
      dup2(pipeFds[1], 2);
      close(pipeFds[0]);
      setenv("TESSARIL_BACKEND", "headless", 1);
      setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
      unsetenv("TESSARIL_HEADLESS_INPUT");
      for (const auto& [name, value] : env) value.empty() ? unsetenv(name.c_str()) : setenv(name.c_str(), value.c_str(), 1);
      std::vector<std::string> all = prefix;
      all.push_back(exe);
      all.insert(all.end(), args.begin(), args.end());
      std::vector<char*> argv;
      for (std::string& s : all) argv.push_back(s.data());
      argv.push_back(nullptr);
      execvp(argv[0], argv.data());
      _exit(127);
    }
    close(pipeFds[1]);
    p.errFd = pipeFds[0];
    fcntl(p.errFd, F_SETFL, O_NONBLOCK);
    return p;
  }

  static void drain(Process& p) {
    char buffer[4096];
    ssize_t n;
    while ((n = read(p.errFd, buffer, sizeof buffer)) > 0) p.err.append(buffer, size_t(n));
  }

  // The exit code, or -1000 when it has not ended within the seconds.
  static int waitFor(Process& p, double seconds) {
    auto until = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (std::chrono::steady_clock::now() < until) {
      drain(p);
      int status = 0;
      if (waitpid(p.pid, &status, WNOHANG) == p.pid) {
        drain(p);
        close(p.errFd);
        p.pid = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status);
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return -1000;
  }

  static void kill9(Process& p) {
    if (p.pid > 0) {
      kill(p.pid, SIGKILL);
      waitFor(p, 5);
    }
  }

  // Waits until a socket appears in the runtime directory: the instance listens.
  bool waitForListener() {
    for (int i = 0; i < 250; ++i) {
      std::string out;
      if (std::system(("ls '" + runtime + "' 2>/dev/null | grep -q sock").c_str()) == 0) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
  }
};

// CPU time of every thread of the process so far, in nanoseconds.
long long cpuTimeNs(pid_t pid) {
  long long total = 0;
  std::string tasks = "/proc/" + std::to_string(pid) + "/task";
  DIR* dir = opendir(tasks.c_str());
  if (dir == nullptr) return 0;
  while (dirent* entry = readdir(dir)) {
    if (entry->d_name[0] == '.') continue;
    std::ifstream stat(tasks + "/" + entry->d_name + "/schedstat");
    long long onCpu = 0;
    if (stat >> onCpu) total += onCpu;
  }
  closedir(dir);
  return total;
}

TEST_F(TwoProcesses, PlainSecondStartExitsAtOnceAndTheResidentOnePlaysItsNormalShow) {
  // normal.txt is missing: the resident instance shows the load error when it
  // plays it, which ends it; that is how the test sees the show start.
  Process first = start({"-s"});
  ASSERT_TRUE(waitForListener());
  Process second = start({});
  EXPECT_EQ(waitFor(second, 10), 0);
  EXPECT_EQ(second.err, "") << "the second start loads nothing and shows nothing";
  EXPECT_EQ(waitFor(first, 10), 0);
  EXPECT_NE(first.err.find(LOAD_FAILED), std::string::npos) << first.err;
}

TEST_F(TwoProcesses, ResidentSecondStartEndsTheRunningInstanceAfterItsNotice) {
  Process first = start({});  // a plain show without a limit
  ASSERT_TRUE(waitForListener());
  Process plain = start({});
  EXPECT_EQ(waitFor(plain, 10), 0);
  EXPECT_EQ(waitFor(first, 0.3), -1000) << "a plain second start only brings the show to the front";
  Process resident = start({"-s"});
  EXPECT_EQ(waitFor(resident, 10), 0);
  EXPECT_EQ(waitFor(first, 10), 0);
  EXPECT_NE(first.err.find(LEAVING), std::string::npos) << first.err;
}

TEST_F(TwoProcesses, AnEndpointLeftByAKilledInstanceDoesNotStopTheNextStart) {
  Process first = start({"-s"});
  ASSERT_TRUE(waitForListener());
  kill9(first);
  Process next = start({"-s"});
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  EXPECT_EQ(waitFor(next, 0.2), -1000) << "the next start became the running instance: " << next.err;
  Process ender = start({"-s"});
  EXPECT_EQ(waitFor(ender, 10), 0);
  EXPECT_EQ(waitFor(next, 10), 0);
  EXPECT_NE(next.err.find(LEAVING), std::string::npos) << next.err;
}

TEST_F(TwoProcesses, AProcessOfAnotherUserDoesNotReachTheRunningInstance) {
  if (geteuid() != 0 || std::system("command -v setpriv >/dev/null") != 0) {
    GTEST_FAIL() << "needs root and setpriv to start a process of another user";
  }
  write("default.txt", SHORT_SHOW);
  Process first = start({"-s"});
  ASSERT_TRUE(waitForListener());
  // nobody finds no instance it may reach: it plays its own short show and ends.
  Process other = start({}, {"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"});
  EXPECT_EQ(waitFor(other, 10), 0) << other.err;
  EXPECT_EQ(waitFor(first, 0.3), -1000) << "the resident instance was not disturbed: " << first.err;
  EXPECT_EQ(first.err.find("[ファイルの確認だ]"), std::string::npos);
  Process ender = start({"-s"});
  EXPECT_EQ(waitFor(ender, 10), 0);
  EXPECT_EQ(waitFor(first, 10), 0);
}

TEST_F(TwoProcesses, TheResidentProcessUsesNoCpuBetweenEvents) {
  Process first = start({"-s"});
  ASSERT_TRUE(waitForListener());
  std::this_thread::sleep_for(std::chrono::milliseconds(500));  // past its start-up
  long long before = cpuTimeNs(first.pid);
  std::this_thread::sleep_for(std::chrono::seconds(5));
  long long used = cpuTimeNs(first.pid) - before;
  EXPECT_GT(before, 0) << "the process's CPU time could be read";
  EXPECT_LT(used, 10 * 1000 * 1000) << "ns of CPU over 5 s of idle";
  Process ender = start({"-s"});
  EXPECT_EQ(waitFor(ender, 10), 0);
  EXPECT_EQ(waitFor(first, 10), 0);
}

TEST_F(TwoProcesses, HelpAndVersionAloneAreAnsweredWithoutAShowOrTheRunningInstance) {
  struct Row {
    std::vector<std::string> args;
    const char* output;  // what the start prints first
  };
  const Row answered[] = {{{"--help"}, "usage: tessaril [-f NAME] [-s]\n"},
                          {{"--version"}, "tessaril " TESSARIL_VERSION "\n"}};
  Process first = start({"-s"});
  ASSERT_TRUE(waitForListener());
  for (const Row& row : answered) {
    Process p = start(row.args);
    EXPECT_EQ(waitFor(p, 10), 0) << row.args[0];
    EXPECT_EQ(p.err.find(row.output), 0u) << p.err;
  }
  EXPECT_EQ(waitFor(first, 0.3), -1000) << "a second start would have made it play: " << first.err;
  EXPECT_EQ(first.err, "");
  Process ender = start({"-s"});
  EXPECT_EQ(waitFor(ender, 10), 0);
  EXPECT_EQ(waitFor(first, 10), 0);
  // Anything else is the system's command line: without default.txt these
  // play nothing but the load error.
  unlink((dir + "/default.txt").c_str());
  for (std::vector<std::string> args : {std::vector<std::string>{"--helpx"}, {"-h"}, {"--help", "--version"}}) {
    Process p = start(args);
    EXPECT_EQ(waitFor(p, 10), 0) << args[0];
    EXPECT_EQ(p.err, std::string(LOAD_FAILED) + "\n") << args[0];
  }
}

// Which folder a plain start plays default.txt from: the only one given it.
TEST_F(TwoProcesses, TheShowFolderIsTessarilHomeThenAPortableFolderThenTheUsersOwn) {
  std::string tessarilHome = dir + "/shows";
  std::string users = home + "/.config/tessaril";
  ASSERT_EQ(std::system(("mkdir -p '" + tessarilHome + "' '" + users + "'").c_str()), 0);
  write("schedule.ini", SCHEDULE, tessarilHome);
  write("schedule.ini", SCHEDULE, users);
  struct Row {
    bool homeSet;
    bool portable;  // the executable's directory holds schedule.ini
    std::string plays;
  } rows[] = {{false, true, dir}, {true, true, tessarilHome}, {false, false, users}, {true, false, tessarilHome}};
  for (const Row& row : rows) {
    for (const std::string& folder : {dir, tessarilHome, users}) unlink((folder + "/default.txt").c_str());
    unlink((dir + "/schedule.ini").c_str());
    if (row.portable) write("schedule.ini", SCHEDULE);
    write("default.txt", SHORT_SHOW, row.plays);
    env["TESSARIL_HOME"] = row.homeSet ? tessarilHome : "";
    Process p = start({});
    EXPECT_EQ(waitFor(p, 10), 0) << row.plays;
    EXPECT_EQ(p.err, "") << row.plays;
  }
}

// The installed player on a user's first start: the show folder appears with
// the installed demo; later starts change nothing in it.
TEST_F(TwoProcesses, AnInstalledPlayerFillsTheUsersShowFolderOnItsFirstStartOnly) {
  std::string prefix = dir + "/prefix";
  ASSERT_EQ(std::system(("cmake --install '" TESSARIL_BUILD_DIR "' --prefix '" + prefix + "' >/dev/null").c_str()), 0);
  exe = prefix + "/bin/tessaril";
  std::string demo = prefix + "/share/tessaril/demo";
  for (const std::string& config : {std::string(), dir + "/config"}) {
    env["XDG_CONFIG_HOME"] = config;
    std::string folder = (config.empty() ? home + "/.config" : config) + "/tessaril";
    Process first = start({"-s"});
    ASSERT_TRUE(waitForListener()) << first.err;
    EXPECT_EQ(std::system(("diff -r '" + demo + "' '" + folder + "'").c_str()), 0) << "the demo and its schedule";
    Process ender = start({"-s"});
    EXPECT_EQ(waitFor(ender, 10), 0);
    EXPECT_EQ(waitFor(first, 10), 0);
    // The demo plays for longer than 10 s: an edited show that ends at once
    // shows that the edit was kept and played.
    write("default.txt", SHORT_SHOW, folder);
    Process again = start({});
    EXPECT_EQ(waitFor(again, 10), 0) << again.err;
    EXPECT_EQ(again.err, "");
    EXPECT_EQ(std::system(("diff -r -x default.txt '" + demo + "' '" + folder + "'").c_str()), 0);
    EXPECT_EQ(std::system(("grep -q '50, 2' '" + folder + "/default.txt'").c_str()), 0);
  }
}

}  // namespace
