// The device's C runtime, local time, sleeping, last error and debug console.
//
// Host: every time reading and every wait goes through one host clock, real or
// virtual (platform/host/runtime/host_clock.h), so a whole show can run on a virtual
// clock in milliseconds and always the same way. rand/srand are the device
// runtime's generator, not the C library's: the same seed gives the device's
// sequence. The system's malloc/calloc/realloc/free go through a counted heap
// that host control can make fail. Same on every backend.
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

// The debug console: one line each on the host's standard error, as UTF-8,
// written through a buffer; a line repeated back to back is written once and
// its repeats as one line "(N more times)" (platform/host/runtime/debug_console.h).
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
namespace std {  // a standard header's std::rand() (std::random_shuffle) still compiles
using ::DeviceRand;
using ::DeviceSrand;
}  // namespace std
#define DEVICE_RAND_MAX 32767
#define rand() DeviceRand()
#define srand(seed) DeviceSrand(seed)

// The device runtime's heap as the system's code sees it. In the system's code
// (app/, config/, engine/, render/: the libraries built with
// TESSARIL_SYSTEM_CODE, which read this header before anything else, so no
// call escapes it) malloc, calloc, realloc and free redirect here; the host's
// own code and the libraries it uses keep the C library's functions.
// Host: each call is counted and handed to the C library's heap, unless host
// control chose it to fail (host::failAllocationAfter), when it returns null
// as the device's runtime does out of memory. Every block is the C library's,
// so either free releases it. Same on every backend.
// NOTE: the macros are function-like, and these are declared as the C library
// declares its own (C linkage, noexcept) and in namespace std too, so a
// standard header read after this one still compiles: a redeclaration of
// malloc (<malloc.h>) declares DeviceMalloc again, identically, and std::free
// names std::DeviceFree. tests/host/system_heap_test.cpp reads the standard
// headers after this one to keep it so.
extern "C" {
void* DeviceMalloc(size_t size) noexcept;
void* DeviceCalloc(size_t count, size_t size) noexcept;
void* DeviceRealloc(void* block, size_t size) noexcept;
void DeviceFree(void* block) noexcept;
}
namespace std {
using ::DeviceCalloc;
using ::DeviceFree;
using ::DeviceMalloc;
using ::DeviceRealloc;
}  // namespace std
#if defined(TESSARIL_SYSTEM_CODE)
#define malloc(size) DeviceMalloc(size)
#define calloc(count, size) DeviceCalloc(count, size)
#define realloc(block, size) DeviceRealloc(block, size)
#define free(block) DeviceFree(block)
#endif
