// The player as a child process (see player_process.h). The binary is the one
// the build names in TESSARIL_BINARY.
#include "tests/support/player_process.h"

#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "tests/support/test_files.h"

namespace player_process {

PlayerDir::PlayerDir()
    : dir_(test_files::scratchDir("tessaril-player")), runtime_(test_files::scratchDir("tessaril-runtime")) {
  if (dir_.empty() || runtime_.empty()) return;
  chmod(dir_.c_str(), 0755);  // a process of another user finds the binary
  ready_ = std::system(("cp '" TESSARIL_BINARY "' '" + dir_ + "/tessaril'").c_str()) == 0;
}

PlayerDir::~PlayerDir() {
  for (size_t i = 0; i < processes_.size(); ++i) kill(i);
  if (!dir_.empty()) std::system(("rm -rf '" + dir_ + "' '" + runtime_ + "'").c_str());
}

void PlayerDir::write(const std::string& name, const std::string& text, const std::string& folder) {
  std::string path = (folder.empty() ? dir_ : folder) + "/" + name;
  test_files::writeWhole(path, text);
  chmod(path.c_str(), 0644);
}

size_t PlayerDir::start(const std::vector<std::string>& args,
                        const std::vector<std::pair<std::string, std::string>>& env,
                        const std::vector<std::string>& prefix) {
  int pipeFds[2] = {-1, -1};
  Process p;
  if (pipe(pipeFds) == 0) p.pid = fork();
  if (p.pid == 0) {
    dup2(pipeFds[1], 1);
    dup2(pipeFds[1], 2);
    close(pipeFds[0]);
    close(pipeFds[1]);
    setenv("XDG_RUNTIME_DIR", runtime_.c_str(), 1);
    for (const auto& [name, value] : env) {
      value.empty() ? unsetenv(name.c_str()) : setenv(name.c_str(), value.c_str(), 1);
    }
    std::vector<std::string> all = prefix;
    all.push_back(binary_.empty() ? dir_ + "/tessaril" : binary_);
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& s : all) argv.push_back(s.data());
    argv.push_back(nullptr);
    execvp(argv[0], argv.data());
    _exit(127);
  }
  if (pipeFds[1] >= 0) close(pipeFds[1]);
  p.errFd = pipeFds[0];
  if (p.errFd >= 0) fcntl(p.errFd, F_SETFL, O_NONBLOCK);
  processes_.push_back(p);
  return processes_.size() - 1;
}

const std::string& PlayerDir::err(size_t index) {
  Process& p = processes_[index];
  char buffer[4096];
  ssize_t n;
  while (p.errFd >= 0 && (n = read(p.errFd, buffer, sizeof buffer)) > 0) p.err.append(buffer, size_t(n));
  return p.err;
}

int PlayerDir::waitExit(size_t index, int timeoutMs) {
  Process& p = processes_[index];
  auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    err(index);
    int status = 0;
    if (p.pid > 0 && waitpid(p.pid, &status, WNOHANG) == p.pid) {
      err(index);
      close(p.errFd);
      p.errFd = -1;
      p.pid = -1;
      p.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status);
    }
    if (p.pid <= 0) return p.exitCode;
    if (std::chrono::steady_clock::now() >= until) return kStillRuns;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
}

void PlayerDir::kill(size_t index) {
  Process& p = processes_[index];
  if (p.pid > 0) {
    ::kill(p.pid, SIGKILL);
    waitExit(index, 5000);
  }
  if (p.errFd >= 0) close(p.errFd);
  p.errFd = -1;
}

}  // namespace player_process
