// Locating and reading the data files, and the process-wide state of loading:
// the text buffer, the executable's directory, the load-error slot and the base
// settings (tick interval and duration) that the settings file leaves.
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

// Reads the file at path into textBuffer, NUL-terminated after the bytes read
// (at most TEXT_BUFFER_SIZE - 1), and closes it. Returns 1 when the file was
// opened, else 0.
int readDataFile(const WCHAR* path);

// Opens the file at path for reading, unshared, as every data file is opened;
// INVALID_HANDLE_VALUE when it cannot be opened.
HANDLE openDataFile(const WCHAR* path);

// Reads the open file into textBuffer from its first byte: at most
// TEXT_BUFFER_SIZE - 1 bytes, NUL-terminated right after the bytes read. Size and
// read failures are not reported: the text is then what was read, possibly none.
void readOpenDataFile(HANDLE file);

// Reads and parses a settings file (empty name: "default.txt"); 1, or 0 with
// loadErrorText set.
int loadSettingsFile(const WCHAR* name);

// Parses textBuffer into the scene tables and the base settings; 1, or 0 with
// loadErrorText set at the first bad record.
int parseSettingsText(void);
