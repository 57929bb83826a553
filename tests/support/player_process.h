// The real player binary started as a child process, as the end-to-end tests
// of two processes and of the x11 backend run it: from a scratch directory
// holding a copy of the binary (it stands for the executable's directory) and
// the files a test writes there, with a private runtime directory for the
// single-instance socket, its standard output and error collected until it ends. Every
// child still running when the directory goes is killed by its pid.
#pragma once

#include <sys/types.h>

#include <string>
#include <utility>
#include <vector>

namespace player_process {

// What waitExit gives for a process that has not ended.
constexpr int kStillRuns = -1000;

struct Process {
  pid_t pid = -1;
  int exitCode = kStillRuns;  // once it ended
  int errFd = -1;
  std::string err;  // what it wrote to standard output and error so far
};

class PlayerDir {
 public:
  // Makes the directories and copies the binary; ready() tells whether that worked.
  PlayerDir();
  ~PlayerDir();
  PlayerDir(const PlayerDir&) = delete;
  PlayerDir& operator=(const PlayerDir&) = delete;

  bool ready() const { return ready_; }
  const std::string& dir() const { return dir_; }
  const std::string& runtime() const { return runtime_; }

  // Writes a file (as given, readable by everyone) next to the binary, or in folder.
  void write(const std::string& name, const std::string& text, const std::string& folder = "");
  // Later starts run this binary instead of the copy (an installed player).
  void useBinary(const std::string& path) { binary_ = path; }

  // Starts the player with args and environment variables (an empty value
  // unsets one); prefix (such as setpriv ...) runs it under another program.
  // The index of the process in processes().
  size_t start(const std::vector<std::string>& args, const std::vector<std::pair<std::string, std::string>>& env,
               const std::vector<std::string>& prefix = {});

  Process& process(size_t index) { return processes_[index]; }

  // The exit code (negative: the signal), or kStillRuns when it has not ended within timeoutMs.
  int waitExit(size_t index, int timeoutMs);
  bool stillRuns(size_t index) { return waitExit(index, 0) == kStillRuns; }
  // Standard error so far.
  const std::string& err(size_t index);
  void kill(size_t index);

 private:
  std::string dir_, runtime_, binary_;
  bool ready_ = false;
  std::vector<Process> processes_;
};

}  // namespace player_process
