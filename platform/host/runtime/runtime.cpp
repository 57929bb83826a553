// The device runtime on the host: local time, sleeping, the last error, the
// debug console's wide lines (the narrow ones: debug_console.cpp) and the
// device's random generator.
#include "platform/runtime.h"

#include <atomic>
#include <cstdarg>
#include <string>

#include "platform/host/runtime/debug_console.h"
#include "platform/host/runtime/host_clock.h"
#include "platform/host/common/text_encoding.h"

namespace {

thread_local DWORD lastError = ERROR_SUCCESS;

// The generator's state is process-wide like the device runtime's; only the
// user-interface thread draws from it.
uint32_t randState = 1;

// Appends one converted argument of NKDbgPrintfW's format to out.
void formatOne(std::u16string& out, char16_t conversion, va_list& args) {
  char buffer[32];
  switch (conversion) {
    case 'x':
    case 'X':
      std::snprintf(buffer, sizeof buffer, conversion == 'x' ? "%x" : "%X", va_arg(args, unsigned int));
      break;
    case 'd':
    case 'i':
      std::snprintf(buffer, sizeof buffer, "%d", va_arg(args, int));
      break;
    case 'u':
      std::snprintf(buffer, sizeof buffer, "%u", va_arg(args, unsigned int));
      break;
    case 'c':
      out += char16_t(va_arg(args, int));
      return;
    case 's': {
      const WCHAR* text = va_arg(args, const WCHAR*);
      out += text != nullptr ? text : u"(null)";
      return;
    }
    default:
      out += u'%';
      out += conversion;
      return;
  }
  for (const char* p = buffer; *p != 0; ++p) out += char16_t(*p);
}

}  // namespace

void GetLocalTime(SYSTEMTIME* time) { host::clockLocalTime(time); }

void Sleep(DWORD milliseconds) { host::clockSleep(milliseconds); }

DWORD GetTickCount(void) { return DWORD(uint64_t(host::clockNowMs())); }

DWORD GetLastError(void) { return lastError; }

void SetLastError(DWORD code) { lastError = code; }

void NKDbgPrintfW(LPCWSTR format, ...) {
  if (format == nullptr) return;
  std::u16string out;
  va_list args;
  va_start(args, format);
  for (const WCHAR* p = format; *p != 0; ++p) {
    if (*p != u'%') {
      out += *p;
      continue;
    }
    ++p;
    if (*p == 0) break;
    if (*p == u'%') {
      out += u'%';
      continue;
    }
    formatOne(out, *p, args);
  }
  va_end(args);
  host::consolePrintLine(host::utf16ToUtf8(out.data(), out.size()));
}

int DeviceRand(void) {
  randState = randState * 214013u + 2531011u;
  return int((randState >> 16) & 0x7FFF);
}

void DeviceSrand(unsigned int seed) { randState = seed; }
