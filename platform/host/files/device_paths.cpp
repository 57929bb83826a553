// Device paths to host paths (see host_files.h).
#include <dirent.h>
#include <strings.h>
#include <sys/stat.h>

#include "platform/host/files/host_files.h"
#include "platform/host/common/text_encoding.h"

namespace host {
namespace {

bool exists(const std::string& path) {
  struct stat st;
  return ::lstat(path.c_str(), &st) == 0;
}

// The entry of directory whose name equals name without regard to ASCII case;
// empty when there is none.
std::string findCaseless(const std::string& directory, const std::string& name) {
  DIR* dir = ::opendir(directory.empty() ? "/" : directory.c_str());
  if (dir == nullptr) return std::string();
  std::string found;
  while (dirent* entry = ::readdir(dir)) {
    if (::strcasecmp(entry->d_name, name.c_str()) == 0) {
      found = entry->d_name;
      break;
    }
  }
  ::closedir(dir);
  return found;
}

}  // namespace

std::string hostPathFromDevice(LPCWSTR devicePath) {
  std::string path = utf16ToUtf8(devicePath);
  for (char& c : path) {
    if (c == '\\') c = '/';
  }
  if (path.empty() || exists(path)) return path;
  // Rebuild the path component by component, taking a caseless match for each
  // component that does not exist as written.
  std::string resolved = path[0] == '/' ? "" : ".";
  size_t start = path[0] == '/' ? 1 : 0;
  while (start <= path.size()) {
    size_t end = path.find('/', start);
    if (end == std::string::npos) end = path.size();
    std::string component = path.substr(start, end - start);
    if (!component.empty()) {
      std::string candidate = resolved + "/" + component;
      if (!exists(candidate)) {
        std::string match = findCaseless(resolved, component);
        if (match.empty()) return path;
        candidate = resolved + "/" + match;
      }
      resolved = candidate;
    }
    start = end + 1;
  }
  if (path[0] != '/' && resolved.compare(0, 2, "./") == 0) resolved.erase(0, 2);
  return resolved;
}

}  // namespace host
