// A private sway session for tests: the test user, its runtime directory, sway
// headless and the clients beside it. Every process started here is recorded
// with its pid and ended by that pid; nothing is looked up by name.
#include "support/sway_session.h"

#include <fcntl.h>
#include <poll.h>
#include <pwd.h>
#include <signal.h>
#include <sys/syscall.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>

#include "support/test_files.h"

namespace sway_test {
namespace {

constexpr const char* kTestUser = "tessaril-test";
constexpr int kStartMs = 20000;
constexpr int kNotExited = -1000;

// The test user's ids, creating the user the first time (another test run may
// create it at the same moment, so the account is looked up again after).
bool testUser(uid_t* uid, gid_t* gid, std::string* why) {
  if (getpwnam(kTestUser) == nullptr) {
    std::system((std::string("useradd --system --no-create-home --home-dir /nonexistent --shell /usr/sbin/nologin ") +
                 kTestUser + " >/dev/null 2>&1")
                    .c_str());
  }
  const passwd* user = getpwnam(kTestUser);
  if (user == nullptr) {
    *why = std::string("the test user ") + kTestUser + " does not exist and useradd could not create it";
    return false;
  }
  *uid = user->pw_uid;
  *gid = user->pw_gid;
  return true;
}

using test_files::readWhole;

// The last lines of a log, for a reason that says what a program complained of.
std::string tail(const std::string& text) {
  size_t from = text.size() > 600 ? text.size() - 600 : 0;
  return text.substr(from);
}

// Waits up to timeoutMs for a child of this process to end, without polling;
// its wait status, or -1 when it still runs.
int reap(pid_t pid, int timeoutMs) {
  int status = 0;
  if (waitpid(pid, &status, WNOHANG) == pid) return status;
  int fd = int(syscall(SYS_pidfd_open, pid, 0));
  if (fd < 0) return -1;
  pollfd ended{fd, POLLIN, 0};
  poll(&ended, 1, timeoutMs);
  close(fd);
  return waitpid(pid, &status, WNOHANG) == pid ? status : -1;
}

int exitCodeOf(int status) { return WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status); }

// Ends a child: SIGTERM, then SIGKILL after graceMs; always reaps it. Its exit code.
int endChild(pid_t pid, int graceMs) {
  ::kill(pid, SIGTERM);
  int status = reap(pid, graceMs);
  if (status == -1) {
    ::kill(pid, SIGKILL);
    waitpid(pid, &status, 0);
  }
  return exitCodeOf(status);
}

}  // namespace

uint32_t Screenshot::at(int x, int y) const {
  if (x < 0 || y < 0 || x >= width || y >= height) return 0xFFFFFFFFu;
  return rgb[size_t(y) * size_t(width) + size_t(x)];
}

bool waitUntil(const std::function<bool()>& done, int timeoutMs, int pollMs) {
  auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (!done()) {
    if (std::chrono::steady_clock::now() >= end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(pollMs));
  }
  return true;
}

bool SwaySession::start(const SessionOptions& options, std::string* why) {
  stop();
  dropPrivileges_ = geteuid() == 0;
  if (dropPrivileges_) {
    if (!testUser(&uid_, &gid_, why)) return false;
  } else {
    uid_ = getuid();
    gid_ = getgid();
  }
  char dir[] = "/tmp/tessaril-sway-XXXXXX";
  if (mkdtemp(dir) == nullptr || chown(dir, uid_, gid_) != 0 || chmod(dir, 0700) != 0) {
    *why = "cannot make a runtime directory for the test user";
    return false;
  }
  runtimeDir_ = dir;
  char config[160];
  std::snprintf(config, sizeof config,
                "output HEADLESS-1 resolution %dx%d bg #%06X solid_color\nxwayland %s\n", options.width,
                options.height, unsigned(kDesktop), options.xwayland ? "enable" : "disable");
  std::ofstream(runtimeDir_ + "/sway.config") << config;
  sway_ = launch({"sway", "-c", runtimeDir_ + "/sway.config"},
                 environment({"WLR_BACKENDS=headless", "WLR_LIBINPUT_NO_DEVICES=1", "WLR_RENDERER=pixman"}),
                 runtimeDir_ + "/sway.log");
  if (sway_ <= 0) {
    *why = "cannot start sway";
    return false;
  }
  if (!waitForSockets(why) || (options.xwayland && !learnX11Display(why))) {
    stop();
    return false;
  }
  // wtype's first keyboard makes the seat's keymap; later keys then reach clients.
  key("Shift_L");
  return true;
}

bool SwaySession::waitForSockets(std::string* why) {
  int status = 0;
  bool ended = false;
  bool ready = waitUntil([&] {
    if ((ended = waitpid(sway_, &status, WNOHANG) == sway_)) return true;
    for (const auto& entry : std::filesystem::directory_iterator(runtimeDir_)) {
      std::string name = entry.path().filename();
      if (!entry.is_socket()) continue;
      if (name.rfind("wayland-", 0) == 0) waylandDisplay_ = name;
      if (name.rfind("sway-ipc.", 0) == 0) swaySocket_ = entry.path();
    }
    return !waylandDisplay_.empty() && !swaySocket_.empty() && runTool({"swaymsg", "-t", "get_version"}) == 0;
  }, kStartMs);
  if (ready && !ended) return true;
  if (ended) sway_ = -1;
  *why = ended ? "sway ended at start (" + std::to_string(exitCodeOf(status)) + "): "
               : "sway did not open its Wayland and IPC sockets within 20 s: ";
  *why += tail(readWhole(runtimeDir_ + "/sway.log"));
  return false;
}

bool SwaySession::learnX11Display(std::string* why) {
  std::string file = runtimeDir_ + "/display";
  if (swaymsg("exec printenv DISPLAY > " + file) != 0) {
    *why = "swaymsg exec failed";
    return false;
  }
  std::string text;
  waitUntil([&] { return !(text = readWhole(file)).empty() && text.back() == '\n'; }, kStartMs);
  x11Display_ = text.size() > 1 && text.back() == '\n' ? text.substr(0, text.size() - 1) : "";
  if (x11Display_.empty()) *why = "sway did not name Xwayland's display (is Xwayland installed?)";
  return !x11Display_.empty();
}

void SwaySession::stop() {
  for (auto& [pid, child] : children_) {
    if (child.exitCode == kNotExited) endChild(pid, 2000);
  }
  children_.clear();
  if (sway_ > 0) {
    // sway ends Xwayland and swaybg; were it killed, they would end on losing their compositor.
    endChild(sway_, 5000);
    sway_ = -1;
  }
  if (!runtimeDir_.empty()) {
    std::error_code ignored;
    std::filesystem::remove_all(runtimeDir_, ignored);
  }
  runtimeDir_ = waylandDisplay_ = x11Display_ = swaySocket_ = "";
}

std::vector<std::string> SwaySession::environment(const std::vector<std::string>& extra) const {
  std::vector<std::string> env = {"PATH=/usr/local/bin:/usr/bin:/bin", "HOME=" + runtimeDir_, "LANG=C.UTF-8",
                                  "XDG_RUNTIME_DIR=" + runtimeDir_};
  // What sway names once it runs (sway itself starts without them).
  if (!waylandDisplay_.empty()) env.push_back("WAYLAND_DISPLAY=" + waylandDisplay_);
  if (!swaySocket_.empty()) env.push_back("SWAYSOCK=" + swaySocket_);
  if (!x11Display_.empty()) env.push_back("DISPLAY=" + x11Display_);
  // A sanitizer build's clients report as the test itself is told to.
  for (const char* name : {"ASAN_OPTIONS", "UBSAN_OPTIONS", "LSAN_OPTIONS", "TSAN_OPTIONS"}) {
    if (const char* value = std::getenv(name)) env.push_back(std::string(name) + "=" + value);
  }
  env.insert(env.end(), extra.begin(), extra.end());
  return env;
}

pid_t SwaySession::launch(const std::vector<std::string>& argv, const std::vector<std::string>& env,
                          const std::string& log) {
  int out = open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (out < 0) return -1;
  std::vector<std::string> command, envCopy = env;
  if (dropPrivileges_) {
    command = {"/usr/bin/setpriv", "--reuid", std::to_string(uid_), "--regid", std::to_string(gid_),
               "--clear-groups", "--"};
  }
  command.insert(command.end(), argv.begin(), argv.end());
  std::vector<char*> args(1), envp(1);  // each ends with a null pointer
  for (std::string& s : command) args.insert(args.end() - 1, s.data());
  for (std::string& s : envCopy) envp.insert(envp.end() - 1, s.data());
  pid_t pid = fork();
  if (pid == 0) {
    int in = open("/dev/null", O_RDONLY);
    dup2(in, 0);
    dup2(out, 1);
    dup2(out, 2);
    execvpe(args[0], args.data(), envp.data());
    _exit(127);
  }
  close(out);
  return pid;
}

pid_t SwaySession::spawn(const std::vector<std::string>& argv, const std::vector<std::string>& extraEnv) {
  std::string log = runtimeDir_ + "/process-" + std::to_string(++serial_) + ".log";
  pid_t pid = launch(argv, environment(extraEnv), log);
  if (pid > 0) children_[pid] = Child{log, kNotExited};
  return pid;
}

SwaySession::Child* SwaySession::find(pid_t pid) {
  auto it = children_.find(pid);
  return it == children_.end() ? nullptr : &it->second;
}

std::string SwaySession::output(pid_t pid) {
  const Child* child = find(pid);
  return child == nullptr ? "" : readWhole(child->log);
}

int SwaySession::waitExit(pid_t pid, int timeoutMs) {
  Child* child = find(pid);
  if (child == nullptr) return kNotExited;
  if (child->exitCode == kNotExited) {
    int status = reap(pid, timeoutMs);
    if (status != -1) child->exitCode = exitCodeOf(status);
  }
  return child->exitCode;
}

void SwaySession::kill(pid_t pid) {
  Child* child = find(pid);
  if (child != nullptr && child->exitCode == kNotExited) child->exitCode = endChild(pid, 2000);
}

int SwaySession::runTool(const std::vector<std::string>& argv, std::string* out) {
  pid_t pid = spawn(argv);
  if (pid <= 0) return -1;
  int code = waitExit(pid, kStartMs);
  if (code == kNotExited) kill(pid);
  if (out != nullptr) *out = output(pid);
  std::remove(children_[pid].log.c_str());
  children_.erase(pid);
  return code;
}

int SwaySession::swaymsg(const std::string& command, std::string* out) { return runTool({"swaymsg", command}, out); }

bool SwaySession::screenshot(Screenshot* shot, std::string* why) {
  std::string path = runtimeDir_ + "/screenshot.ppm", log;
  if (runTool({"grim", "-t", "ppm", path}, &log) != 0) {
    *why = "grim failed: " + tail(log);
    return false;
  }
  // A binary PPM: "P6", the width, the height and 255, one space, then the pixels' red, green and blue bytes.
  std::string ppm = readWhole(path);
  int depth = 0, header = 0;
  if (std::sscanf(ppm.c_str(), "P6 %d %d %d%n", &shot->width, &shot->height, &depth, &header) != 3 || depth != 255 ||
      ppm.size() != size_t(header) + 1 + size_t(shot->width) * size_t(shot->height) * 3) {
    *why = "grim's PPM does not load";
    return false;
  }
  shot->rgb.resize(size_t(shot->width) * size_t(shot->height));
  const auto* bytes = reinterpret_cast<const uint8_t*>(ppm.data() + header + 1);
  for (size_t i = 0; i < shot->rgb.size(); ++i) {
    shot->rgb[i] = uint32_t(bytes[i * 3]) << 16 | uint32_t(bytes[i * 3 + 1]) << 8 | bytes[i * 3 + 2];
  }
  return true;
}

bool SwaySession::key(const std::string& name) { return runTool({"wtype", "-s", "300", "-k", name}) == 0; }

int SwaySession::keyWhileRunning(const std::string& name, pid_t pid) {
  int code = kNotExited;
  for (int i = 0; i < 10 && code == kNotExited; ++i) {
    key(name);
    code = waitExit(pid, 1000);
  }
  return code;
}

std::string SwaySession::makeUserDir(const std::string& name) {
  std::string dir = runtimeDir_ + "/" + name;
  if (mkdir(dir.c_str(), 0755) != 0 || chown(dir.c_str(), uid_, gid_) != 0) return "";
  return dir;
}

}  // namespace sway_test
