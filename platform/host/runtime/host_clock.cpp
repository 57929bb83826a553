// Real and virtual clocks (see host_clock.h).
//
// The virtual clock keeps its start as seconds of a proleptic calendar computed
// with timegm/gmtime_r, so adding elapsed time never meets a daylight-saving jump:
// a virtual show sees every second exactly once.
#include "platform/host/runtime/host_clock.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <ctime>

namespace host {
namespace {

std::atomic<bool> virtualMode{false};
std::atomic<int64_t> virtualElapsedMs{0};
int64_t virtualStartSeconds = 0;  // start local time, as calendar seconds
int64_t realOriginNs = 0;

int64_t monotonicNs() {
  timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return int64_t(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

void fromTm(const tm& t, int milliseconds, SYSTEMTIME* out) {
  out->wYear = WORD(t.tm_year + 1900);
  out->wMonth = WORD(t.tm_mon + 1);
  out->wDayOfWeek = WORD(t.tm_wday);
  out->wDay = WORD(t.tm_mday);
  out->wHour = WORD(t.tm_hour);
  out->wMinute = WORD(t.tm_min);
  out->wSecond = WORD(t.tm_sec);
  out->wMilliseconds = WORD(milliseconds);
}

struct RealOriginInit {
  RealOriginInit() { realOriginNs = monotonicNs(); }
} realOriginInit;

}  // namespace

void clockUseReal() {
  virtualMode = false;
  realOriginNs = monotonicNs();
}

void clockUseVirtual(const SYSTEMTIME& start) {
  tm t{};
  t.tm_year = start.wYear - 1900;
  t.tm_mon = start.wMonth - 1;
  t.tm_mday = start.wDay;
  t.tm_hour = start.wHour;
  t.tm_min = start.wMinute;
  t.tm_sec = start.wSecond;
  virtualStartSeconds = int64_t(timegm(&t));
  virtualElapsedMs = 0;
  virtualMode = true;
}

bool clockIsVirtual() { return virtualMode; }

int64_t clockNowMs() {
  if (virtualMode) return virtualElapsedMs;
  return (monotonicNs() - realOriginNs) / 1000000;
}

void clockLocalTime(SYSTEMTIME* time) {
  if (time == nullptr) return;
  tm t{};
  if (virtualMode) {
    int64_t ms = virtualElapsedMs;
    time_t seconds = time_t(virtualStartSeconds + ms / 1000);
    gmtime_r(&seconds, &t);
    fromTm(t, int(ms % 1000), time);
    return;
  }
  timespec now;
  clock_gettime(CLOCK_REALTIME, &now);
  time_t seconds = now.tv_sec;
  localtime_r(&seconds, &t);
  fromTm(t, int(now.tv_nsec / 1000000), time);
}

void clockAdvanceTo(int64_t ms) {
  if (!virtualMode) return;
  int64_t current = virtualElapsedMs;
  while (ms > current && !virtualElapsedMs.compare_exchange_weak(current, ms)) {
  }
}

void clockSleep(uint32_t ms) {
  if (virtualMode) {
    virtualElapsedMs += ms;
    return;
  }
  timespec ts{time_t(ms / 1000), long(ms % 1000) * 1000000L};
  while (nanosleep(&ts, &ts) != 0 && errno == EINTR) {
  }
}

bool parseLocalTime(const char* text, SYSTEMTIME* time) {
  int year, month, day, hour, minute, second;
  char tail;
  if (text == nullptr ||
      std::sscanf(text, "%4d-%2d-%2dT%2d:%2d:%2d%c", &year, &month, &day, &hour, &minute, &second, &tail) != 6) {
    return false;
  }
  if (year < 1601 || year > 9999 || month < 1 || month > 12 || day < 1 || day > 31 || hour > 23 || minute > 59 ||
      second > 59 || hour < 0 || minute < 0 || second < 0) {
    return false;
  }
  tm t{};
  t.tm_year = year - 1900;
  t.tm_mon = month - 1;
  t.tm_mday = day;
  t.tm_hour = hour;
  t.tm_min = minute;
  t.tm_sec = second;
  time_t seconds = timegm(&t);
  tm check{};
  gmtime_r(&seconds, &check);
  if (check.tm_mday != day || check.tm_mon != month - 1) return false;  // 31 February and the like
  fromTm(check, 0, time);
  return true;
}

}  // namespace host
