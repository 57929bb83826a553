// The debug console on the host: lines on standard error through a buffer, a
// line repeated back to back folded into one line of its count.
//
// Invariant: every line given is accounted for once: written (appended to the
// buffer), or counted as a repeat of the last line written; a count is written
// as "(N more times)" before any later line, when its second is up, and at
// exit. The buffer is written out by the flusher thread when its delay is up,
// by the caller when it is full, and at exit, always under the console's lock,
// so bytes reach standard error in the order they came.
//
// A flood (a full draw list drops a million requests a frame, each printing the
// same line) must cost little per line: a repeat of a narrow line its thread
// gave last is counted without the lock, by one compare-and-swap on a word that
// holds the last line's generation beside the count, so the count is raised
// only while that line is still the last one; a text in the program's read-only
// data is known by its address alone. The first repeat of a line takes the
// lock, to start its second.
#include "platform/host/runtime/debug_console.h"

#include <link.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <thread>

#include "platform/host/common/text_encoding.h"
#include "platform/runtime.h"

namespace host {
namespace {

using Clock = std::chrono::steady_clock;

constexpr size_t kBufferBytes = 64 * 1024;  // written out at once when reached
constexpr uint64_t kCountMask = 0xFFFFFFFFu;

struct Console {
  std::mutex lock;
  std::condition_variable wake;  // the flusher waits on it for new work
  std::string buffered;          // bytes not yet on standard error
  std::string lastLine;          // the last line written; empty after a flush
  Clock::time_point writeAt;  // when the buffer is due; set as it stops being empty
  Clock::time_point foldAt;   // when the count is due; set at the first repeat
  // When the waiting flusher wakes by itself (max: only when told); it is told
  // only about a due time before that, so a flood of short runs costs no wake-ups.
  Clock::time_point flusherWakesAt = Clock::time_point::max();
  bool flusherRunning = false;
  bool direct = false;  // at exit, or without a flusher: each line is written at once
};

// The generation of the console's last line (high 32 bits) and its repeats
// counted since it was written or its count last written (low 32 bits).
// Changed under the console's lock, except for the lock-free repeat, which
// needs a count of 1 or more. Outside the record so that the flood's path
// reaches it without an initialisation check.
std::atomic<uint64_t> foldWord{0};

// Never destroyed: the flusher thread and the exit handler use it to the end.
Console& console() {
  static Console* instance = new Console;
  return *instance;
}

// The narrow text this thread printed last, when it fits, where it was, and the
// generation of its line. Plain data, so reaching it costs no initialisation
// check. A text in the program's own read-only data never changes, so there
// the same address is the same text and needs no comparison.
constexpr size_t kCachedTextBytes = 128;
struct NarrowCache {
  uint64_t generation;
  const char* address;
  bool fixed;  // address lies in the program's read-only data
  char text[kCachedTextBytes];
};
thread_local NarrowCache narrowCache = {~uint64_t(0), nullptr, false, {}};

// The address ranges of the program's own read-only segments (not those of
// shared libraries, which may be unloaded), found once.
struct ReadOnlyRanges {
  uintptr_t from[8];
  uintptr_t to[8];
  int count = 0;
};

int collectProgramRanges(dl_phdr_info* info, size_t, void* data) {
  ReadOnlyRanges& r = *static_cast<ReadOnlyRanges*>(data);
  for (int i = 0; i < info->dlpi_phnum && r.count < 8; ++i) {
    const ElfW(Phdr)& ph = info->dlpi_phdr[i];
    if (ph.p_type != PT_LOAD || (ph.p_flags & PF_W) != 0) continue;
    r.from[r.count] = info->dlpi_addr + ph.p_vaddr;
    r.to[r.count] = r.from[r.count] + ph.p_memsz;
    ++r.count;
  }
  return 1;  // the first object is the program itself: stop there
}

// Whether the size bytes at text lie in one read-only segment of the program.
bool inProgramReadOnlyData(const char* text, size_t size) {
  static const ReadOnlyRanges ranges = [] {
    ReadOnlyRanges r;
    dl_iterate_phdr(collectProgramRanges, &r);
    return r;
  }();
  uintptr_t at = reinterpret_cast<uintptr_t>(text);
  for (int i = 0; i < ranges.count; ++i) {
    if (at >= ranges.from[i] && at < ranges.to[i] && size <= ranges.to[i] - at) return true;
  }
  return false;
}

uint64_t countOf(uint64_t fold) { return fold & kCountMask; }
uint64_t generationOf(uint64_t fold) { return fold >> 32; }

// Writes bytes to standard error, all of them unless it fails (a closed
// descriptor loses them, as an unread console would).
void writeAll(const std::string& bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    ssize_t n = ::write(STDERR_FILENO, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;
    done += size_t(n);
  }
}

// The lock is held by the callers of everything below, up to the public calls.

void writeBuffer(Console& c) {
  writeAll(c.buffered);
  c.buffered.clear();
}

void flushAtExit();
void runFlusher(Console* c);

// Makes sure the flusher runs and wakes by the new due time.
void wakeFlusher(Console& c, Clock::time_point due) {
  if (c.direct) return;
  if (c.flusherRunning) {
    if (due < c.flusherWakesAt) c.wake.notify_one();
    return;
  }
  try {
    std::thread(runFlusher, &c).detach();
    c.flusherRunning = true;
    std::atexit(flushAtExit);
  } catch (const std::system_error&) {
    c.direct = true;  // no thread to write later: write now
    writeBuffer(c);
  }
}

void append(Console& c, const char* bytes, size_t size) {
  bool wasEmpty = c.buffered.empty();
  c.buffered.append(bytes, size);
  if (c.direct || c.buffered.size() >= kBufferBytes) {
    writeBuffer(c);
  } else if (wasEmpty) {
    c.writeAt = Clock::now() + std::chrono::milliseconds(kConsoleWriteDelayMs);
    wakeFlusher(c, c.writeAt);
  }
}

// Writes the count of the last line's repeats, if any, and sets the
// generation to generation with a count of 0.
void writeCount(Console& c, uint64_t generation) {
  uint64_t repeats = countOf(foldWord.exchange((generation & kCountMask) << 32));
  if (repeats == 0) return;
  char line[40];  // formatted in place: a flood of alternating lines allocates nothing
  int size = std::snprintf(line, sizeof line, "(%llu more times)\n", (unsigned long long)repeats);
  append(c, line, size_t(size));
}

// Writes the count and the buffer, and forgets the last line.
void flushLocked(Console& c) {
  writeCount(c, generationOf(foldWord.load()) + 1);
  c.lastLine.clear();
  writeBuffer(c);
}

// From the exit on, every line is written at once.
void flushAtExit() {
  Console& c = console();
  std::lock_guard<std::mutex> guard(c.lock);
  c.direct = true;
  flushLocked(c);
}

// Prints line: a repeat of the last line is counted, another line written.
void printLocked(Console& c, const std::string& line) {
  uint64_t fold = foldWord.load();
  if (c.direct || c.lastLine.empty() || line != c.lastLine) {
    writeCount(c, generationOf(fold) + 1);
    append(c, line.data(), line.size());
    c.lastLine = c.direct ? std::string() : line;
    return;
  }
  if (countOf(fold) == kCountMask) {  // a count that would overflow is written first
    writeCount(c, generationOf(fold));
    fold = foldWord.load();
  }
  if (countOf(fold) == 0) {
    c.foldAt = Clock::now() + std::chrono::milliseconds(kConsoleFoldMs);
    wakeFlusher(c, c.foldAt);
  }
  foldWord.fetch_add(1);
}

// Writes a count that is due and a buffer that is due, else sleeps until one
// is or new work comes.
void runFlusher(Console* console) {
  Console& c = *console;
  std::unique_lock<std::mutex> guard(c.lock);
  for (;;) {
    Clock::time_point now = Clock::now();
    if (countOf(foldWord.load()) != 0 && now >= c.foldAt) writeCount(c, generationOf(foldWord.load()));
    if (!c.buffered.empty() && now >= c.writeAt) writeBuffer(c);
    Clock::time_point due = Clock::time_point::max();
    if (countOf(foldWord.load()) != 0) due = c.foldAt;
    if (!c.buffered.empty() && c.writeAt < due) due = c.writeAt;
    c.flusherWakesAt = due;
    if (due == Clock::time_point::max()) {
      c.wake.wait(guard);
    } else {
      c.wake.wait_until(guard, due);
    }
  }
}

// The text with a line feed at its end.
std::string asLine(std::string text) {
  if (text.empty() || text.back() != '\n') text += '\n';
  return text;
}

// The lines of the last two narrow texts this thread printed: a flood that
// alternates two lines (a full pool and a full draw list) converts neither again.
struct ConvertedText {
  std::string narrow;
  std::string line;  // empty while unused
};
thread_local ConvertedText converted[2];
thread_local int convertedNext;

// The UTF-8 line of the narrow text of length bytes.
const std::string& lineOfNarrow(const char* text, size_t length) {
  for (const ConvertedText& k : converted) {
    if (!k.line.empty() && k.narrow.size() == length && std::memcmp(k.narrow.data(), text, length) == 0) return k.line;
  }
  ConvertedText& k = converted[convertedNext];
  convertedNext = 1 - convertedNext;
  k.narrow.assign(text, length);
  k.line = asLine(cp932ToUtf8(text, length));
  return k.line;
}

}  // namespace

void consolePrintLine(const std::string& utf8) {
  Console& c = console();
  std::string line = asLine(utf8);
  std::lock_guard<std::mutex> guard(c.lock);
  printLocked(c, line);
}

void flushDebugConsole() {
  Console& c = console();
  std::lock_guard<std::mutex> guard(c.lock);
  flushLocked(c);
}

}  // namespace host

using namespace host;

// Narrow lines come here directly: the repeat of a flood costs a comparison and
// a compare-and-swap.
void DebugPrintNarrow(const char* text) {
  if (text == nullptr) return;
  NarrowCache& cache = narrowCache;
  uint64_t fold = foldWord.load(std::memory_order_relaxed);
  uint64_t count = countOf(fold);
  bool same = text == cache.address && cache.fixed;
  if (generationOf(fold) == cache.generation && count != 0 && count != kCountMask &&
      (same || std::strcmp(text, cache.text) == 0) && foldWord.compare_exchange_strong(fold, fold + 1)) {
    return;  // the line this thread gave last is still the last line: one more repeat
  }
  Console& c = console();
  size_t length = std::strlen(text);
  const std::string& line = lineOfNarrow(text, length);
  std::lock_guard<std::mutex> guard(c.lock);
  printLocked(c, line);
  cache.generation = ~uint64_t(0);
  if (length < kCachedTextBytes) {
    std::memcpy(cache.text, text, length + 1);
    cache.address = text;
    cache.fixed = inProgramReadOnlyData(text, length + 1);
    cache.generation = generationOf(foldWord.load());
  }
}

