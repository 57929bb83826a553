// A private sway compositor on the headless wlroots backend, for suites that
// test Wayland clients and X11 clients through its Xwayland.
//
// sway refuses to run as root, so a test run as root gets an unprivileged test
// user (created once with useradd), a private XDG_RUNTIME_DIR owned by it
// (0700), and sway started as that user through setpriv. Everything the session
// starts (sway, the clients spawned beside it, grim, wtype, swaymsg) runs as
// that user with the session's environment, and stop() ends each of them by
// its process id and removes the runtime directory. Run by an ordinary user,
// the session runs everything as that user instead.
//
// Limitations: one output (HEADLESS-1) of the configured size; screenshots are
// read back with grim (wlr-screencopy) and keys are typed with wtype, whose
// every call is a new virtual keyboard: Xwayland may lose the first key after
// such a keymap change, so keyWhileRunning() repeats a key until a process ends.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace sway_test {

// The desktop's colour, 0xRRGGBB.
constexpr uint32_t kDesktop = 0x3355AA;

struct SessionOptions {
  int width = 640;
  int height = 480;
  bool xwayland = true;
};

// A screenshot's pixels as 0xRRGGBB, row by row.
struct Screenshot {
  int width = 0;
  int height = 0;
  std::vector<uint32_t> rgb;
  // The pixel at (x, y), or 0xFFFFFFFF outside the picture.
  uint32_t at(int x, int y) const;
};

// Polls done() every pollMs until it holds or timeoutMs pass; returns done().
bool waitUntil(const std::function<bool()>& done, int timeoutMs = 20000, int pollMs = 100);

class SwaySession {
 public:
  SwaySession() = default;
  SwaySession(const SwaySession&) = delete;
  SwaySession& operator=(const SwaySession&) = delete;
  ~SwaySession() { stop(); }

  // Starts sway and waits for its Wayland and IPC sockets (and learns
  // Xwayland's display name when enabled); false with the reason in *why.
  bool start(const SessionOptions& options, std::string* why);
  // Ends every process the session started, by pid, sway last, and removes
  // the runtime directory. Safe to call twice.
  void stop();

  // Starts argv[0] (looked up in PATH) as the session's user with the
  // session's environment (and the sanitizers' options of this process) plus
  // extra "NAME=value" entries; its standard output
  // and error go to a log that output() reads. The pid, or -1.
  pid_t spawn(const std::vector<std::string>& argv, const std::vector<std::string>& extraEnv = {});
  // What a spawned process wrote so far.
  std::string output(pid_t pid);
  // The exit code of a spawned process, -signal when killed, or -1000 when it
  // has not ended within timeoutMs (0: just look).
  int waitExit(pid_t pid, int timeoutMs);
  // Kills a spawned process that still runs and reaps it.
  void kill(pid_t pid);

  // Runs a command to its end (20 s at most) as the session's user: its exit
  // code, its output in *out.
  int runTool(const std::vector<std::string>& argv, std::string* out = nullptr);
  int swaymsg(const std::string& command, std::string* out = nullptr);
  // Reads the whole screen with grim.
  bool screenshot(Screenshot* shot, std::string* why);
  // Types one key (an xkb keysym name such as Return) with wtype, 300 ms after
  // its new virtual keyboard appears (a client binds the keyboard only once
  // the seat announces it).
  bool key(const std::string& name);
  // Types the key every second until pid ends, ten times at most; the exit
  // code as waitExit() gives it.
  int keyWhileRunning(const std::string& name, pid_t pid);

  // A directory owned by the session's user inside its runtime directory.
  std::string makeUserDir(const std::string& name);

  const std::string& runtimeDir() const { return runtimeDir_; }
  const std::string& waylandDisplay() const { return waylandDisplay_; }

 private:
  struct Child {
    std::string log;
    int exitCode;  // as waitExit() gives it; -1000 until it is reaped
  };
  Child* find(pid_t pid);
  std::vector<std::string> environment(const std::vector<std::string>& extra) const;
  pid_t launch(const std::vector<std::string>& argv, const std::vector<std::string>& env, const std::string& log);
  bool waitForSockets(std::string* why);
  bool learnX11Display(std::string* why);

  std::string runtimeDir_, waylandDisplay_, x11Display_, swaySocket_;
  uid_t uid_ = 0;
  gid_t gid_ = 0;
  bool dropPrivileges_ = false;
  pid_t sway_ = -1;
  // By pid: a pid is reused only once its process is reaped, and then the new
  // process takes the entry over.
  std::map<pid_t, Child> children_;
  int serial_ = 0;
};

}  // namespace sway_test
