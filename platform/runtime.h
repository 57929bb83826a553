// The device's C runtime, local time, sleeping, last error and debug console.
//
// Host: every time reading and every wait goes through one host clock, real or
// virtual (platform/host/host_clock.h), so a whole show can run on a virtual
// clock in milliseconds and always the same way. rand/srand are the device
// runtime's generator, not the C library's: the same seed gives the device's
// sequence. Same on every backend.
#pragma once

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/types.h"

// Fills the local date and time from the host clock.
void GetLocalTime(SYSTEMTIME* time);

// Suspends the calling thread for the given milliseconds of the host clock; on the
// virtual clock the clock advances instead.
void Sleep(DWORD milliseconds);

// Milliseconds since the host clock started; wraps like the platform's counter.
DWORD GetTickCount(void);

// The calling thread's last error code, set by failing platform calls.
DWORD GetLastError(void);
void SetLastError(DWORD code);

// Error codes the host reports.
#define ERROR_SUCCESS 0
#define ERROR_FILE_NOT_FOUND 2
#define ERROR_PATH_NOT_FOUND 3
#define ERROR_ACCESS_DENIED 5
#define ERROR_INVALID_HANDLE 6
#define ERROR_NOT_ENOUGH_MEMORY 8
#define ERROR_INVALID_DATA 13
#define ERROR_OUTOFMEMORY 14
#define ERROR_SHARING_VIOLATION 32
#define ERROR_NOT_SUPPORTED 50
#define ERROR_INVALID_PARAMETER 87
#define ERROR_INSUFFICIENT_BUFFER 122
#define ERROR_ALREADY_EXISTS 183
#define ERROR_TIMEOUT 1460
#define ERROR_SERVICE_NOT_ACTIVE 1062

// The debug console: one line each on the host's standard error, as UTF-8.
// NKDbgPrintfW formats like wprintf over UTF-16 (%s takes a UTF-16 string,
// %x/%d/%u an int); DebugPrintNarrow prints a narrow text in the device's code
// page (Shift-JIS) converted to UTF-8.
void NKDbgPrintfW(LPCWSTR format, ...);
void DebugPrintNarrow(const char* text);

// The device runtime's random generator: a 32-bit state, state = state * 214013 +
// 2531011, result (state >> 16) & 0x7FFF; the state is 1 before any seed. The
// system's code calls rand() and srand(); these redirect them here, never to the
// C library's generator (whose sequence differs).
int DeviceRand(void);
void DeviceSrand(unsigned int seed);
#define DEVICE_RAND_MAX 32767
#define rand() DeviceRand()
#define srand(seed) DeviceSrand(seed)
