// Locating and reading the data files, and the process-wide state of loading.
//
// Every data file lies under the executable's directory; exeDirectory is
// refreshed on every lookup. textBuffer holds one text at a time, always
// NUL-terminated within its TEXT_BUFFER_SIZE bytes: a longer file is cut to its
// first TEXT_BUFFER_SIZE - 1 bytes. A full path that would not fit in PATH_UNITS
// units is never cut: the file counts as not found.
// Dependencies: platform (module path, files), the settings directives.
#include "config/settings_loader.h"

#include "config/settings_directives.h"
#include "platform/files.h"
#include "platform/runtime.h"

char textBuffer[TEXT_BUFFER_SIZE];
WCHAR exeDirectory[PATH_UNITS];
const WCHAR* loadErrorText;
int tickInterval = 1000;
int duration = -1;

const WCHAR* const LOAD_ERROR_CAPTION = u"ファイルの確認だ";

static const WCHAR SETTINGS_OPEN_FAILED[] = u"設定ファイル読込に失敗しました";

// Length in units of the NUL-terminated text.
static int wideLength(const WCHAR* text) {
  int n = 0;
  while (text[n] != 0) ++n;
  return n;
}

// Copies the module's directory, with exactly one trailing backslash, into
// exeDirectory. A module path without a backslash gives the root, "\".
static void refreshExeDirectory(void) {
  WCHAR modulePath[PATH_UNITS];
  DWORD length = GetModuleFileNameW(nullptr, modulePath, PATH_UNITS);
  if (length >= PATH_UNITS) length = PATH_UNITS - 1;
  modulePath[length] = 0;
  int cut = 0;  // units kept before the appended backslash
  for (int i = 0; i < (int)length; ++i) {
    if (modulePath[i] == u'\\') cut = i;
  }
  for (int i = 0; i < cut; ++i) exeDirectory[i] = modulePath[i];
  exeDirectory[cut] = u'\\';
  exeDirectory[cut + 1] = 0;
}

int locateDataFile(const WCHAR* name, const WCHAR* defaultName, WCHAR* path) {
  refreshExeDirectory();
  const WCHAR* fileName = (name != nullptr && name[0] != 0) ? name : defaultName;
  int directoryLength = wideLength(exeDirectory);
  int nameLength = wideLength(fileName);
  if (directoryLength + nameLength > PATH_UNITS - 1) {
    path[0] = 0;
    return 0;
  }
  for (int i = 0; i < directoryLength; ++i) path[i] = exeDirectory[i];
  for (int i = 0; i < nameLength; ++i) path[directoryLength + i] = fileName[i];
  path[directoryLength + nameLength] = 0;
  return 1;
}

HANDLE openDataFile(const WCHAR* path) {
  return CreateFileW(path, GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
}

// Reads the open file into textBuffer from its first byte: at most
// TEXT_BUFFER_SIZE - 1 bytes, NUL-terminated right after the bytes read.
static void readOpenDataFile(HANDLE file) {
  DWORD size = GetFileSize(file, nullptr);
  if (size > TEXT_BUFFER_SIZE - 1) size = TEXT_BUFFER_SIZE - 1;  // also a failed size
  DWORD bytesRead = 0;
  if (!ReadFile(file, textBuffer, size, &bytesRead, nullptr)) bytesRead = 0;
  if (bytesRead > size) bytesRead = size;
  textBuffer[bytesRead] = 0;
}

int loadDataFile(const WCHAR* name, const WCHAR* defaultName, const WCHAR* openFailed, int (*parse)(void)) {
  WCHAR path[PATH_UNITS];
  HANDLE file = locateDataFile(name, defaultName, path) ? openDataFile(path) : INVALID_HANDLE_VALUE;
  if (file == INVALID_HANDLE_VALUE) {
    loadErrorText = openFailed;
    return 0;
  }
  readOpenDataFile(file);
  // The file stays open, unshared, while its text is parsed.
  int result = parse();
  CloseHandle(file);
  return result;
}

int loadSettingsFile(const WCHAR* name) {
  return loadDataFile(name, DEFAULT_SETTINGS_NAME, SETTINGS_OPEN_FAILED, parseSettingsText);
}
