// The debug console folds a line repeated back to back: the first is written,
// the repeats as one count when another line comes, a second after the first
// repeat, or at exit; wide and narrow lines of the same text are one line.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "platform/host/runtime/debug_console.h"
#include "platform/runtime.h"

namespace {

// Prints each line: narrow, or wide when it starts with "W:".
void print(const std::vector<std::string>& lines) {
  for (const std::string& line : lines) {
    if (line.rfind("W:", 0) == 0) {
      NKDbgPrintfW(u"%s", std::u16string(line.begin() + 2, line.end()).c_str());
    } else {
      DebugPrintNarrow(line.c_str());
    }
  }
}

TEST(DebugConsole, RepeatsAreCountedUntilAnotherLineComes) {
  struct {
    std::vector<std::string> lines;
    const char* written;
  } rows[] = {
      {{"a", "a", "a", "b"}, "a\n(2 more times)\nb\n"},
      {{"a", "b", "a", "b"}, "a\nb\na\nb\n"},
      {{"a\n", "W:a", "a", "W:b\n", "W:b"}, "a\n(2 more times)\nb\n(1 more times)\n"},
      {{"\x95\x5C", "\x95\x5C"}, "表\n(1 more times)\n"},
  };
  for (const auto& row : rows) {
    host::flushDebugConsole();
    testing::internal::CaptureStderr();
    print(row.lines);
    host::flushDebugConsole();
    EXPECT_EQ(testing::internal::GetCapturedStderr(), row.written);
  }
}

TEST(DebugConsole, TheCountIsWrittenASecondAfterTheFirstRepeatAndAtExit) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");  // the child runs this test afresh up to here
  EXPECT_EXIT((print({"c", "c", "c"}), exit(0)), testing::ExitedWithCode(0), "^c\n\\(2 more times\\)\n$");
  host::flushDebugConsole();
  testing::internal::CaptureStderr();
  print({"a", "a", "a"});
  std::this_thread::sleep_for(std::chrono::milliseconds(host::kConsoleFoldMs + 1000));
  print({"a"});  // still the last line: a new count
  host::flushDebugConsole();
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "a\n(2 more times)\n(1 more times)\n");
}

}  // namespace
