// The system's counted heap (platform/runtime.h): this file is compiled as the
// system's code is, with the heap macros on and runtime.h read first, and then
// reads every standard header and GoogleTest, which must still compile.
#define TESSARIL_SYSTEM_CODE 1
#include "platform/runtime.h"

#include <malloc.h>
#include <stdlib.h>
#include <bits/stdc++.h>  // every standard C++ header, and the C headers they wrap
#include <ext/malloc_allocator.h>
#include <gtest/gtest.h>

#include "platform/host/host_control.h"
#include "platform/files.h"
#include "platform/threads.h"

namespace {

class SystemHeap : public ::testing::Test {
 protected:
  void TearDown() override { host::failAllocationAfter(-1); }
};

TEST_F(SystemHeap, CallsAreCountedEveryBlockIsReleasedAndTheHostsOwnAreNot) {
  int64_t live = host::systemBlocksLive();
  host::failAllocationAfter(-1);
  char* a = (char*)malloc(10);
  int* b = (int*)calloc(4, sizeof(int));
  char* c = (char*)realloc(nullptr, 3);
  ASSERT_TRUE(a != nullptr && b != nullptr && c != nullptr);
  EXPECT_EQ(b[3], 0);
  c = (char*)realloc(c, 4000);
  ASSERT_NE(c, nullptr);
  EXPECT_EQ(host::systemAllocationCount(), 4);
  EXPECT_EQ(host::systemBlocksLive(), live + 3);
  free(a);
  free(b);
  std::free(c);  // what a standard header's inline code would write
  free(nullptr);
  EXPECT_EQ(host::systemBlocksLive(), live);
  EXPECT_FALSE(host::allocationFailureHappened());
  // The host's own allocations are not counted: a fault set for the next
  // counted call does not fail them.
  host::failAllocationAfter(0);
  std::vector<int> grown(1000, 1);  // operator new in the C++ library
  std::string text(5000, 'x');
  char* copy = strdup(text.c_str());  // the C library's own malloc
  ASSERT_NE(copy, nullptr);
  (free)(copy);  // the name in parentheses is the C library's free
  HANDLE e = CreateEventW(nullptr, FALSE, FALSE, nullptr);  // the host's own heap
  ASSERT_NE(e, nullptr);
  CloseHandle(e);
  EXPECT_FALSE(host::allocationFailureHappened());
}

TEST_F(SystemHeap, OnlyTheChosenAllocationFailsAndAFailedReallocKeepsTheBlock) {
  int64_t live = host::systemBlocksLive();
  host::failAllocationAfter(2);
  char* a = (char*)malloc(8);
  char* b = (char*)calloc(1, 8);
  ASSERT_TRUE(a != nullptr && b != nullptr);
  EXPECT_FALSE(host::allocationFailureHappened());
  memcpy(a, "kept", 5);
  EXPECT_EQ(realloc(a, 1 << 20), nullptr) << "the third call fails";
  EXPECT_TRUE(host::allocationFailureHappened());
  EXPECT_STREQ(a, "kept");
  char* c = (char*)malloc(8);
  EXPECT_NE(c, nullptr) << "the calls after it succeed";
  EXPECT_EQ(host::systemBlocksLive(), live + 3);
  free(a);
  free(b);
  free(c);
  host::failAllocationAfter(0);
  host::resetHost();
  void* d = malloc(1);
  EXPECT_NE(d, nullptr) << "a reset turns the fault off";
  free(d);
  EXPECT_EQ(host::systemBlocksLive(), live);
}

}  // namespace
