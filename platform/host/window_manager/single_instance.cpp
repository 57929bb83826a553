// FindWindowW and PostMessageW across processes: one Unix-domain socket per
// window class, in a directory only this user can enter.
//
// Invariant: a class has at most one listening socket in this process, owned
// by the window that bound it and closed and unlinked with it (unlinked only
// while the path still names that socket). A socket file whose connect is
// refused is a dead instance's and is replaced. What another process sends
// is one fixed-size record; the listener serves connections without ever
// blocking: accepts and reads only what poll reported ready (or a quiet
// connection whose time is up), peers of other users refused, at
// most kMaxConnections at once, each dropped after one record or after
// kSilenceMs of real time. Only MSG_OTHER_INSTANCE with wParam 0 or 1 and
// lParam 0 is posted to the window; everything else is dropped.
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>

#include "platform/host/window_manager/window_manager_control.h"
#include "platform/host/common/text_encoding.h"
#include "platform/host/window_manager/window_state.h"
#include "platform/runtime.h"

namespace host {
namespace {

constexpr uint32_t kRecordMagic = 0x54534C31;  // "TSL1"
constexpr uint16_t kRecordVersion = 1;
constexpr int kMaxConnections = 8;
constexpr int64_t kSilenceMs = 100;

// What a second process sends: one record, then it closes.
struct WireRecord {
  uint32_t magic;
  uint16_t version;
  uint16_t reserved;
  uint32_t message;
  uint32_t padding;
  uint64_t wParam;
  int64_t lParam;
};
static_assert(sizeof(WireRecord) == 32, "the record's size is part of the protocol");

struct Connection {
  int fd;
  HWND window;  // whom an accepted record goes to
  int64_t deadlineMs;
  size_t received = 0;
  uint8_t buffer[sizeof(WireRecord)];
};

struct Endpoint {
  HWND window;
  std::string path;
  int fd;
  dev_t device;
  ino_t inode;
};

struct Instances {
  std::mutex lock;  // guards remotes (PostMessageW may come from any thread)
  std::map<HWND, std::string> remotes;  // stand-ins: handle -> socket path
  std::map<std::string, HWND> remoteByPath;
  // UI thread only:
  std::vector<Endpoint> endpoints;
  std::vector<Connection> connections;
  std::string directoryOverride;
};

Instances& instances() {
  static Instances* instance = new Instances;
  return *instance;
}

// A directory owned by this user that nobody else may write (and, for the
// private one under /tmp, nobody else may enter).
bool directoryIsSafe(const std::string& path, bool privateOnly) {
  struct stat st;
  if (lstat(path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != getuid()) return false;
  return (st.st_mode & (privateOnly ? 077 : 022)) == 0;
}

// The directory of the sockets, or empty when no safe one exists.
std::string socketDirectory() {
  const std::string& forced = instances().directoryOverride;
  if (!forced.empty()) return directoryIsSafe(forced, false) ? forced : std::string();
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  if (runtime != nullptr && runtime[0] == '/' && directoryIsSafe(runtime, false)) return runtime;
  std::string own = "/tmp/tessaril-" + std::to_string(getuid());
  mkdir(own.c_str(), 0700);  // fails harmlessly when it exists; checked next
  return directoryIsSafe(own, true) ? own : std::string();
}

// The class name as a file name: letters and digits kept, every other UTF-8
// byte as _XX, so two names never share a file.
std::string sanitise(const std::u16string& className) {
  std::string utf8 = utf16ToUtf8(className.data(), className.size());
  std::string out;
  for (unsigned char c : utf8) {
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-') {
      out += char(c);
    } else {
      char hex[4];
      std::snprintf(hex, sizeof hex, "_%02X", c);
      out += hex;
    }
  }
  return out;
}

// Class names match without regard to ASCII case, so the file name folds it.
std::u16string foldedName(const std::u16string& className) {
  std::u16string folded = className;
  for (char16_t& c : folded) {
    if (c >= u'A' && c <= u'Z') c = char16_t(c + 32);
  }
  return folded;
}

bool makeAddress(const std::string& path, sockaddr_un* address) {
  if (path.empty() || path.size() >= sizeof(address->sun_path)) return false;
  std::memset(address, 0, sizeof *address);
  address->sun_family = AF_UNIX;
  std::memcpy(address->sun_path, path.c_str(), path.size() + 1);
  return true;
}

// Connects without blocking; the descriptor, or -1 with errno.
int connectTo(const std::string& path) {
  sockaddr_un address;
  if (!makeAddress(path, &address)) {
    errno = ENAMETOOLONG;
    return -1;
  }
  int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    int error = errno;
    close(fd);
    errno = error;
    return -1;
  }
  return fd;
}

// Whether a live process listens at path (a full backlog counts as live).
bool someoneListens(const std::string& path) {
  int fd = connectTo(path);
  if (fd >= 0) {
    close(fd);
    return true;
  }
  return errno == EAGAIN;
}

// Binds and listens at path, replacing a dead instance's socket file; -1 when
// a live instance holds it or the socket cannot be made.
int bindEndpoint(const std::string& path) {
  sockaddr_un address;
  if (!makeAddress(path, &address)) return -1;
  for (int attempt = 0; attempt < 2; ++attempt) {
    int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) return -1;
    if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 && listen(fd, 16) == 0) return fd;
    int error = errno;
    close(fd);
    if (error != EADDRINUSE || someoneListens(path)) return -1;
    struct stat st;
    if (lstat(path.c_str(), &st) != 0 || !S_ISSOCK(st.st_mode)) return -1;  // never unlink anything else
    unlink(path.c_str());
  }
  return -1;
}

void closeConnection(size_t index) {
  std::vector<Connection>& list = instances().connections;
  close(list[index].fd);
  list.erase(list.begin() + long(index));
}

// Whether the peer of a connection runs as this user.
bool peerIsSameUser(int fd) {
  ucred credentials{};
  socklen_t length = sizeof credentials;
  return getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &credentials, &length) == 0 && credentials.uid == getuid();
}

// Posts a received record to its window if it is a second start's request.
void deliverRecord(const Connection& c) {
  WireRecord r;
  std::memcpy(&r, c.buffer, sizeof r);
  if (r.magic != kRecordMagic || r.version != kRecordVersion) return;
  if (r.message != MSG_OTHER_INSTANCE || r.wParam > 1 || r.lParam != 0) return;
  postToQueue(c.window, r.message, WPARAM(r.wParam), 0);
}

// Reads what a connection has; true when it is finished (a record, the end,
// an error or its time is up).
bool serveConnection(Connection* c) {
  for (;;) {
    ssize_t n = recv(c->fd, c->buffer + c->received, sizeof c->buffer - c->received, 0);
    if (n > 0) {
      c->received += size_t(n);
      if (c->received == sizeof c->buffer) {
        deliverRecord(*c);
        return true;
      }
      continue;
    }
    if (n == 0) return true;
    if (errno == EINTR) continue;
    if (errno != EAGAIN && errno != EWOULDBLOCK) return true;
    return realMonotonicMs() >= c->deadlineMs;
  }
}

// Takes the connections waiting at an endpoint.
void acceptConnections(const Endpoint& e) {
  for (;;) {
    int fd = accept4(e.fd, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (fd < 0) return;
    if (!peerIsSameUser(fd) || int(instances().connections.size()) >= kMaxConnections) {
      close(fd);
      continue;
    }
    Connection c{};
    c.fd = fd;
    c.window = e.window;
    c.deadlineMs = realMonotonicMs() + kSilenceMs;
    // A peer usually sends its record with the connect: read it now rather
    // than a loop round later.
    if (serveConnection(&c)) {
      close(fd);
      continue;
    }
    instances().connections.push_back(c);
  }
}

// What poll reported for fd in this round (0 when it was not polled, such
// as a connection accepted during the round, already read once).
short pollEvents(const std::vector<pollfd>& polled, int fd) {
  for (const pollfd& p : polled) {
    if (p.fd == fd) return p.revents;
  }
  return 0;
}

// The stand-in for the remote window listening at path, made on first use.
HWND remoteFor(const std::string& path) {
  Instances& in = instances();
  std::lock_guard<std::mutex> guard(in.lock);
  auto it = in.remoteByPath.find(path);
  if (it != in.remoteByPath.end()) return it->second;
  Window* w = new Window;
  w->remote = true;
  w->remotePath = path;
  HWND handle = static_cast<HWND>(registerObject(w));
  w->handle = handle;
  in.remotes[handle] = path;
  in.remoteByPath[path] = handle;
  return handle;
}

}  // namespace

std::string instanceSocketPath(const std::u16string& className) {
  std::string directory = socketDirectory();
  if (directory.empty()) return std::string();
  return directory + "/tessaril-" + sanitise(foldedName(className)) + ".sock";
}

void setInstanceDirectory(const std::string& directory) { instances().directoryOverride = directory; }

void listenForOtherInstances(HWND window, const std::u16string& className) {
  Instances& in = instances();
  std::string path = instanceSocketPath(className);
  if (path.empty()) return;
  for (const Endpoint& e : in.endpoints) {
    if (e.path == path) return;  // an older window of the class listens already
  }
  int fd = bindEndpoint(path);
  if (fd < 0) return;
  struct stat st;
  if (fstat(fd, &st) != 0 || lstat(path.c_str(), &st) != 0) {
    close(fd);
    return;
  }
  in.endpoints.push_back(Endpoint{window, path, fd, st.st_dev, st.st_ino});
}

void stopListening(HWND window) {
  Instances& in = instances();
  for (size_t i = 0; i < in.endpoints.size(); ++i) {
    Endpoint& e = in.endpoints[i];
    if (e.window != window) continue;
    struct stat st;
    if (lstat(e.path.c_str(), &st) == 0 && st.st_dev == e.device && st.st_ino == e.inode) unlink(e.path.c_str());
    close(e.fd);
    in.endpoints.erase(in.endpoints.begin() + long(i));
    break;
  }
  for (size_t i = in.connections.size(); i-- > 0;) {
    if (in.connections[i].window == window) closeConnection(i);
  }
}

HWND findOtherInstance(const std::u16string& className) {
  std::string path = instanceSocketPath(className);
  if (path.empty()) return nullptr;
  for (const Endpoint& e : instances().endpoints) {
    if (e.path == path) return nullptr;  // it is this process's own endpoint
  }
  return someoneListens(path) ? remoteFor(path) : nullptr;
}

bool postToOtherInstance(HWND window, UINT message, WPARAM wParam, LPARAM lParam, BOOL* handled) {
  std::string path;
  {
    Instances& in = instances();
    std::lock_guard<std::mutex> guard(in.lock);
    auto it = in.remotes.find(window);
    if (it == in.remotes.end()) return false;
    path = it->second;
  }
  *handled = FALSE;
  int fd = connectTo(path);
  if (fd < 0) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return true;
  }
  WireRecord r{kRecordMagic, kRecordVersion, 0, message, 0, uint64_t(wParam), int64_t(lParam)};
  ssize_t sent = send(fd, &r, sizeof r, MSG_NOSIGNAL);
  close(fd);
  *handled = sent == ssize_t(sizeof r) ? TRUE : FALSE;
  if (*handled == FALSE) SetLastError(ERROR_INVALID_WINDOW_HANDLE);
  return true;
}

void addInstancePollFds(std::vector<pollfd>* fds, int64_t* realDeadlineMs) {
  Instances& in = instances();
  for (const Endpoint& e : in.endpoints) fds->push_back(pollfd{e.fd, POLLIN, 0});
  for (const Connection& c : in.connections) {
    fds->push_back(pollfd{c.fd, POLLIN, 0});
    *realDeadlineMs = std::min(*realDeadlineMs, c.deadlineMs);
  }
}

void serviceOtherInstances(const std::vector<pollfd>& polled) {
  Instances& in = instances();
  for (const Endpoint& e : in.endpoints) {
    if (pollEvents(polled, e.fd) != 0) acceptConnections(e);
  }
  int64_t now = realMonotonicMs();
  for (size_t i = 0; i < in.connections.size();) {  // in the order they were accepted
    Connection& c = in.connections[i];
    bool due = pollEvents(polled, c.fd) != 0 || now >= c.deadlineMs;
    if (due && serveConnection(&c)) {
      closeConnection(i);
    } else {
      ++i;
    }
  }
}

void resetSingleInstance() {
  Instances& in = instances();
  while (!in.endpoints.empty()) stopListening(in.endpoints.back().window);
  while (!in.connections.empty()) closeConnection(in.connections.size() - 1);
  std::vector<HWND> stale;
  {
    std::lock_guard<std::mutex> guard(in.lock);
    for (const auto& r : in.remotes) stale.push_back(r.first);
    in.remotes.clear();
    in.remoteByPath.clear();
  }
  for (HWND handle : stale) destroyObject(handle);
}

}  // namespace host
