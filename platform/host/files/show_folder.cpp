// The player's show folder: the directory that GetModuleFileNameW reports the
// executable in, which is where the system looks for every data file.
//
// The first of these that applies:
//   1. $TESSARIL_HOME when set and not empty;
//   2. the executable's own directory when it holds schedule.ini (a portable
//      folder, as on the handheld);
//   3. $XDG_CONFIG_HOME/tessaril (default ~/.config/tessaril). When it does not
//      exist and the installed demo (../share/tessaril/demo beside the
//      executable's directory) does, the demo is copied into a fresh folder
//      that is then renamed into place: a first start never leaves half a
//      folder and never replaces a file a user has there.
// Only the tessaril executable asks (its process entry); tests and tools set
// the module directory themselves.
#include <dirent.h>
#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/host/common/text_encoding.h"
#include "platform/host/files/host_files.h"

namespace host {
namespace {

bool isDirectory(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// Whether folder holds schedule.ini, matched as the system's loader matches it
// (without regard to ASCII case).
bool holdsSchedule(const std::string& folder) {
  std::string path = hostPathFromDevice(utf8ToUtf16(folder + "/schedule.ini").c_str());
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// The directory of the running executable, without a trailing slash.
std::string executableDirectory() {
  char buffer[PATH_MAX];
  ssize_t length = ::readlink("/proc/self/exe", buffer, sizeof buffer - 1);
  if (length <= 0) return ".";
  std::string path(buffer, size_t(length));
  size_t slash = path.rfind('/');
  return slash == 0 ? "/" : path.substr(0, slash);
}

// $XDG_CONFIG_HOME when it is an absolute path (the base directory rule ignores
// a relative one), else ~/.config.
std::string configHome() {
  const char* xdg = std::getenv("XDG_CONFIG_HOME");
  if (xdg != nullptr && xdg[0] == '/') return xdg;
  const char* home = std::getenv("HOME");
  if (home == nullptr || home[0] == 0) {
    const passwd* entry = ::getpwuid(::getuid());
    home = entry != nullptr ? entry->pw_dir : "/";
  }
  return std::string(home) + "/.config";
}

// Creates path and its missing parents (0700, as the base directory rule asks).
bool makeDirectories(const std::string& path) {
  if (path.empty() || isDirectory(path)) return true;
  size_t slash = path.rfind('/');
  if (slash != std::string::npos && slash > 0 && !makeDirectories(path.substr(0, slash))) return false;
  return ::mkdir(path.c_str(), 0700) == 0 || errno == EEXIST;
}

// Copies one regular file; never replaces an existing target.
bool copyFile(const std::string& from, const std::string& to) {
  int in = ::open(from.c_str(), O_RDONLY | O_CLOEXEC);
  if (in < 0) return false;
  int out = ::open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
  bool ok = out >= 0;
  char buffer[65536];
  ssize_t n = 0;
  while (ok && (n = ::read(in, buffer, sizeof buffer)) > 0) {
    for (ssize_t done = 0; ok && done < n;) {
      ssize_t written = ::write(out, buffer + done, size_t(n - done));
      ok = written > 0;
      if (ok) done += written;
    }
  }
  ok = ok && n == 0;
  if (out >= 0 && ::close(out) != 0) ok = false;
  ::close(in);
  return ok;
}

// Copies every regular file of from into to (the demo folder is flat).
bool copyFolder(const std::string& from, const std::string& to) {
  DIR* dir = ::opendir(from.c_str());
  if (dir == nullptr) return false;
  bool ok = true;
  while (dirent* entry = ::readdir(dir)) {
    std::string source = from + "/" + entry->d_name;
    struct stat st;
    if (::stat(source.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) continue;
    if (!copyFile(source, to + "/" + entry->d_name)) ok = false;
  }
  ::closedir(dir);
  return ok;
}

void removeFolder(const std::string& path) {
  if (DIR* dir = ::opendir(path.c_str())) {
    while (dirent* entry = ::readdir(dir)) {
      if (entry->d_name[0] != '.') ::unlink((path + "/" + entry->d_name).c_str());
    }
    ::closedir(dir);
  }
  ::rmdir(path.c_str());
}

// Fills the user's folder with a copy of demo: copied into a fresh sibling
// first and renamed into place, so that two first starts at once, or a copy
// that fails half way, leave either the whole demo or no folder. A problem is
// described in *notice.
void createFromDemo(const std::string& folder, const std::string& demo, std::string* notice) {
  std::string parent = folder.substr(0, folder.rfind('/'));
  if (!makeDirectories(parent)) {
    *notice = "cannot create " + parent + ": " + std::strerror(errno);
    return;
  }
  std::string scratch = folder + ".new-XXXXXX";
  if (::mkdtemp(scratch.data()) == nullptr) {
    *notice = "cannot create a folder in " + parent + ": " + std::strerror(errno);
    return;
  }
  mode_t mask = ::umask(0);
  ::umask(mask);
  ::chmod(scratch.c_str(), 0777 & ~mask);
  if (!copyFolder(demo, scratch)) {
    *notice = "cannot copy the demo show from " + demo + " into " + parent;
  } else if (::rename(scratch.c_str(), folder.c_str()) == 0) {
    return;
  } else if (errno != EEXIST && errno != ENOTEMPTY) {
    *notice = "cannot create " + folder + ": " + std::strerror(errno);
  }
  removeFolder(scratch);  // also when another start made the folder first
}

}  // namespace

std::string findShowFolder(std::string* notice) {
  notice->clear();
  const char* home = std::getenv("TESSARIL_HOME");
  if (home != nullptr && home[0] != 0) {
    std::string folder = home;
    if (char* resolved = ::realpath(home, nullptr)) {
      folder = resolved;
      std::free(resolved);
    }
    if (!holdsSchedule(folder)) *notice = "no schedule.ini in " + folder + "/ (TESSARIL_HOME)";
    return folder;
  }
  std::string own = executableDirectory();
  if (holdsSchedule(own)) return own;
  std::string folder = configHome() + "/tessaril";
  // ../share/tessaril/demo from the executable's directory; that directory is
  // the resolved /proc/self/exe, so its parent can be taken by name.
  std::string demo = own.substr(0, own.rfind('/')) + "/share/tessaril/demo";
  if (!isDirectory(folder) && isDirectory(demo)) createFromDemo(folder, demo, notice);
  if (notice->empty() && !holdsSchedule(folder)) {
    *notice = "no schedule.ini in " + own + "/ nor in " + folder + "/";
    *notice += isDirectory(demo) ? " (the installed demo show in " + demo + "/ has one to copy there)"
                                 : ", and no installed demo show in " + demo + "/ to copy there";
    *notice += "; TESSARIL_HOME names a show folder";
  }
  return folder;
}

}  // namespace host
