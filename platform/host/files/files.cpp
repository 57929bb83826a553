// Files and the module path on the host: CreateFileW, GetFileSize, ReadFile,
// CloseHandle, GetModuleFileNameW.
//
// A file handle names a host::File holding a POSIX descriptor, closed when the
// object is destroyed. Only regular files are opened: a directory, a FIFO or a
// device fails like a file the platform cannot open, and the open never blocks.
// CloseHandle is the kernel's generic close for files, events, threads and
// message queues; every other handle fails it with ERROR_INVALID_HANDLE.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <mutex>
#include <string>

#include "platform/files.h"
#include "platform/host/common/handle_table.h"
#include "platform/host/files/host_files.h"
#include "platform/host/common/text_encoding.h"
#include "platform/runtime.h"

namespace host {
namespace {

struct File : Object {
  static constexpr ObjectKind kKind = ObjectKind::File;
  explicit File(int descriptor) : Object(kKind), fd(descriptor) {}
  ~File() override { ::close(fd); }
  const int fd;
};

struct ModuleState {
  std::mutex lock;
  std::string directory;  // host path; empty: the real executable's
};

ModuleState& moduleState() {
  static ModuleState* state = new ModuleState;  // never destroyed: threads may outlive statics
  return *state;
}

// The platform's error code for a failed open's errno.
DWORD errorFromErrno(int error) {
  switch (error) {
    case ENOENT:
      return ERROR_FILE_NOT_FOUND;
    case ENOTDIR:
    case ENAMETOOLONG:
    case ELOOP:
      return ERROR_PATH_NOT_FOUND;
    case EACCES:
    case EPERM:
    case EISDIR:
    case EROFS:
    case ETXTBSY:
      return ERROR_ACCESS_DENIED;
    case EEXIST:
      return ERROR_FILE_EXISTS;
    case EMFILE:
    case ENFILE:
      return ERROR_TOO_MANY_OPEN_FILES;
    case ENOMEM:
      return ERROR_NOT_ENOUGH_MEMORY;
    default:
      return ERROR_ACCESS_DENIED;
  }
}

// open(2) flags for the platform's access bits and creation disposition; -1
// for a disposition that does not exist.
int openFlags(DWORD access, DWORD disposition) {
  int flags;
  if ((access & GENERIC_WRITE) != 0) {
    flags = (access & GENERIC_READ) != 0 ? O_RDWR : O_WRONLY;
  } else {
    flags = O_RDONLY;
  }
  switch (disposition) {
    case CREATE_NEW:
      return flags | O_CREAT | O_EXCL;
    case CREATE_ALWAYS:
      return flags | O_CREAT | O_TRUNC;
    case OPEN_EXISTING:
      return flags;
    case OPEN_ALWAYS:
      return flags | O_CREAT;
    case TRUNCATE_EXISTING:
      return flags | O_TRUNC;
    default:
      return -1;
  }
}

bool pathExists(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0;
}

// The executable's host path: "<dir>/tessaril" when a module directory is set,
// else /proc/self/exe's target.
std::string modulePath() {
  {
    ModuleState& state = moduleState();
    std::lock_guard<std::mutex> guard(state.lock);
    if (!state.directory.empty()) {
      std::string path = state.directory;
      if (path.back() != '/') path += '/';
      return path + "tessaril";
    }
  }
  char buffer[PATH_MAX];
  ssize_t length = ::readlink("/proc/self/exe", buffer, sizeof buffer - 1);
  if (length <= 0) return std::string();
  return std::string(buffer, size_t(length));
}

}  // namespace

void setModuleDirectory(const std::string& hostDirectory) {
  ModuleState& state = moduleState();
  std::lock_guard<std::mutex> guard(state.lock);
  state.directory = hostDirectory;
}

}  // namespace host

HANDLE CreateFileW(LPCWSTR fileName, DWORD desiredAccess, DWORD shareMode,
                   LPSECURITY_ATTRIBUTES securityAttributes, DWORD creationDisposition,
                   DWORD flagsAndAttributes, HANDLE templateFile) {
  (void)shareMode;
  (void)securityAttributes;
  (void)flagsAndAttributes;
  (void)templateFile;
  int flags = host::openFlags(desiredAccess, creationDisposition);
  if (fileName == nullptr || fileName[0] == 0 || flags < 0) {
    SetLastError(fileName != nullptr && fileName[0] == 0 ? ERROR_PATH_NOT_FOUND : ERROR_INVALID_PARAMETER);
    return INVALID_HANDLE_VALUE;
  }
  std::string path = host::hostPathFromDevice(fileName);
  bool existed = host::pathExists(path);
  // Non-blocking while opening, so a FIFO cannot hang the open before it is refused.
  int fd = ::open(path.c_str(), flags | O_CLOEXEC | O_NONBLOCK, 0644);
  if (fd < 0) {
    SetLastError(host::errorFromErrno(errno));
    return INVALID_HANDLE_VALUE;
  }
  struct stat st;
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    SetLastError(ERROR_ACCESS_DENIED);
    return INVALID_HANDLE_VALUE;
  }
  ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  HANDLE handle = host::registerObject(new host::File(fd));
  bool reopened = existed && (creationDisposition == CREATE_ALWAYS || creationDisposition == OPEN_ALWAYS);
  SetLastError(reopened ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
  return handle;
}

DWORD GetFileSize(HANDLE file, LPDWORD fileSizeHigh) {
  host::File* object = host::lookup<host::File>(file);
  struct stat st;
  if (object == nullptr || ::fstat(object->fd, &st) != 0) {
    SetLastError(ERROR_INVALID_HANDLE);
    return INVALID_FILE_SIZE;
  }
  uint64_t size = uint64_t(st.st_size);
  if (fileSizeHigh != nullptr) *fileSizeHigh = DWORD(size >> 32);
  // The platform's ambiguous size: a low part of all ones reports success only
  // through GetLastError.
  SetLastError(ERROR_SUCCESS);
  return DWORD(size & 0xFFFFFFFFu);
}

BOOL ReadFile(HANDLE file, LPVOID buffer, DWORD bytesToRead, LPDWORD bytesRead, LPVOID overlapped) {
  if (bytesRead != nullptr) *bytesRead = 0;
  host::File* object = host::lookup<host::File>(file);
  if (object == nullptr) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if (overlapped != nullptr || (buffer == nullptr && bytesToRead > 0)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  char* out = static_cast<char*>(buffer);
  DWORD total = 0;
  while (total < bytesToRead) {
    ssize_t n = ::read(object->fd, out + total, bytesToRead - total);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      if (bytesRead != nullptr) *bytesRead = total;
      SetLastError(errno == EISDIR ? ERROR_ACCESS_DENIED : ERROR_INVALID_DATA);
      return FALSE;
    }
    if (n == 0) break;  // end of file: a short read is a success
    total += DWORD(n);
  }
  if (bytesRead != nullptr) *bytesRead = total;
  return TRUE;
}

BOOL CloseHandle(HANDLE object) {
  host::Object* target = host::lookupObject(object);
  if (target != nullptr) {
    host::ObjectKind kind = target->kind;
    bool kernelObject = kind == host::ObjectKind::File || kind == host::ObjectKind::Event ||
                        kind == host::ObjectKind::Thread || kind == host::ObjectKind::MsgQueue;
    if (kernelObject && host::destroyObject(object)) return TRUE;
  }
  SetLastError(ERROR_INVALID_HANDLE);
  return FALSE;
}

DWORD GetModuleFileNameW(HMODULE module, LPWSTR fileName, DWORD size) {
  (void)module;
  if (fileName == nullptr || size == 0) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  std::u16string path = host::utf8ToUtf16(host::modulePath());
  if (path.empty()) {
    fileName[0] = 0;
    SetLastError(ERROR_FILE_NOT_FOUND);
    return 0;
  }
  DWORD length = DWORD(path.size());
  bool cut = length > size - 1;
  if (cut) length = size - 1;
  for (DWORD i = 0; i < length; ++i) fileName[i] = path[i] == u'/' ? u'\\' : path[i];
  fileName[length] = 0;
  SetLastError(cut ? ERROR_INSUFFICIENT_BUFFER : ERROR_SUCCESS);
  return length;
}
