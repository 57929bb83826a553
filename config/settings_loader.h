// Locating and reading the data files, and the process-wide state of loading:
// the text buffer, the executable's directory, the load-error slot and the base
// settings (tick interval and duration) that the settings file leaves; and the
// settings file's load.
#pragma once

#include "platform/types.h"

#define TEXT_BUFFER_SIZE 65536  // holds 65,535 bytes of text and the NUL
#define PATH_UNITS 256

extern char textBuffer[TEXT_BUFFER_SIZE];
extern WCHAR exeDirectory[PATH_UNITS];

// The text of the last load failure, one of the fixed messages; null before any.
extern const WCHAR* loadErrorText;

// The base settings: 1000 ms and -1 (no limit) until a settings file sets them;
// they keep their last loaded values from show to show.
extern int tickInterval;
extern int duration;

// The caption every load error is shown with.
extern const WCHAR* const LOAD_ERROR_CAPTION;

// Writes the full path of name (or of defaultName when name is empty) under the
// executable's directory into path (PATH_UNITS units) and refreshes
// exeDirectory. Returns 1, or 0 when the full path would not fit in PATH_UNITS
// units (path is then empty and the file counts as not found).
int locateDataFile(const WCHAR* name, const WCHAR* defaultName, WCHAR* path);

// Opens the file at path for reading, unshared, as every data file is opened;
// INVALID_HANDLE_VALUE when it cannot be opened.
HANDLE openDataFile(const WCHAR* path);

// Loads the data file name (defaultName when name is empty) from the
// executable's directory: reads at most TEXT_BUFFER_SIZE - 1 bytes into
// textBuffer, NUL-terminated right after the bytes read, and runs parse on the
// text while the file stays open, unshared. Returns parse's result, or 0 with
// loadErrorText set to openFailed when the file cannot be located or opened.
// Size and read failures are not reported: the text is then what was read,
// possibly none.
int loadDataFile(const WCHAR* name, const WCHAR* defaultName, const WCHAR* openFailed, int (*parse)(void));

// The settings file a load without a name reads.
inline const WCHAR DEFAULT_SETTINGS_NAME[] = u"default.txt";

// Reads and parses a settings file (empty name: DEFAULT_SETTINGS_NAME); 1, or
// 0 with loadErrorText set.
int loadSettingsFile(const WCHAR* name);
