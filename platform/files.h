// Files, the module path and code pages.
//
// Host: paths are the device's (backslashes, UTF-16); the host turns backslashes
// into slashes and UTF-16 into UTF-8, and when the exact name does not exist it
// takes a case-insensitive match in the same directory, since the device's file
// system ignores case. Same on every backend.
#pragma once

#include "platform/types.h"

#define GENERIC_READ 0x80000000u
#define GENERIC_WRITE 0x40000000u
#define FILE_SHARE_READ 0x00000001u
#define FILE_SHARE_WRITE 0x00000002u
#define CREATE_NEW 1
#define CREATE_ALWAYS 2
#define OPEN_EXISTING 3
#define OPEN_ALWAYS 4
#define TRUNCATE_EXISTING 5
#define FILE_ATTRIBUTE_NORMAL 0x00000080u
#define INVALID_FILE_SIZE 0xFFFFFFFFu

// Error codes of the file and code-page operations beside those of runtime.h.
#define ERROR_TOO_MANY_OPEN_FILES 4
#define ERROR_FILE_EXISTS 80
#define ERROR_INVALID_FLAGS 1004
#define ERROR_NO_UNICODE_TRANSLATION 1113

// Opens a file; INVALID_HANDLE_VALUE (with GetLastError) when it cannot be opened.
// Host: only regular files open (a directory or a device gives
// ERROR_ACCESS_DENIED); the share mode is not enforced between processes.
HANDLE CreateFileW(LPCWSTR fileName, DWORD desiredAccess, DWORD shareMode,
                   LPSECURITY_ATTRIBUTES securityAttributes, DWORD creationDisposition,
                   DWORD flagsAndAttributes, HANDLE templateFile);

// The file's size in bytes (low part); the high part goes to *fileSizeHigh when asked.
DWORD GetFileSize(HANDLE file, LPDWORD fileSizeHigh);

// Reads up to bytesToRead bytes synchronously; *bytesRead gets the count read.
BOOL ReadFile(HANDLE file, LPVOID buffer, DWORD bytesToRead, LPDWORD bytesRead, LPVOID overlapped);

// Closes any handle of the kernel kind: a file, an event, a thread.
BOOL CloseHandle(HANDLE object);

// The executable's full path with backslashes, NUL-terminated, cut to size units;
// the count of units written without the NUL (with ERROR_INSUFFICIENT_BUFFER
// when the path was cut). Host: /proc/self/exe, or "<dir>/tessaril" for the
// directory that host::setModuleDirectory set (tools and tests); every module
// handle names the executable, the process's only module.
DWORD GetModuleFileNameW(HMODULE module, LPWSTR fileName, DWORD size);

// Code pages. CP_ACP is the device's ANSI code page, Shift-JIS (CP932).
#define CP_ACP 0
#define CP_UTF8 65001
#define MB_PRECOMPOSED 0x00000001u
#define MB_ERR_INVALID_CHARS 0x00000008u

// Converts multiByteCount bytes (-1: up to and with the NUL) into at most
// wideCount UTF-16 units; the count written, or 0 with GetLastError when the
// output does not fit (ERROR_INSUFFICIENT_BUFFER, nothing written). With
// wideCount 0 it only counts. A byte that is no character of the code page
// becomes U+FFFD, or with MB_ERR_INVALID_CHARS fails the call
// (ERROR_NO_UNICODE_TRANSLATION). Host: CP_ACP (and 932) and CP_UTF8.
int MultiByteToWideChar(UINT codePage, DWORD flags, LPCSTR multiByte, int multiByteCount,
                        LPWSTR wide, int wideCount);
