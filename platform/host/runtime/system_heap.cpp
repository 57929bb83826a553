// The device runtime's heap on the host: the system's malloc, calloc, realloc
// and free (platform/runtime.h), counted and handed to the C library's heap,
// with the allocations host control chose to fail.
//
// Invariant: blocksLive is the number of blocks the system's calls hold now
// (successful allocations minus frees of a block); a failed allocation changes
// nothing. The counters are atomic: the power watcher allocates on its own
// thread. Only calls of the system's code come here; the host's own and the
// libraries' allocations never do.
#include <atomic>
#include <cstdlib>

#include "platform/host/runtime/runtime_control.h"
#include "platform/runtime.h"

namespace {

std::atomic<int64_t> allocationsMade{0};  // allocation calls since failAllocationAfter
std::atomic<int64_t> failingAllocation{-1};  // the first call number that fails; -1: none
std::atomic<int64_t> failingCount{0};        // how many calls from it on fail
std::atomic<bool> failureHappened{false};
std::atomic<int64_t> blocksLive{0};

// Counts one allocation call; true when it is the one chosen to fail.
bool chosenToFail() {
  int64_t number = allocationsMade.fetch_add(1);
  int64_t first = failingAllocation.load();
  if (first < 0 || number < first || number - first >= failingCount.load()) return false;
  failureHappened = true;
  return true;
}

}  // namespace

namespace host {

void failAllocationAfter(int n, int64_t failures) {
  failingAllocation = -1;
  allocationsMade = 0;
  failureHappened = false;
  failingCount = failures;
  if (n >= 0) failingAllocation = n;
}

bool allocationFailureHappened() { return failureHappened; }

int64_t systemAllocationCount() { return allocationsMade; }

int64_t systemBlocksLive() { return blocksLive; }

}  // namespace host

void* DeviceMalloc(size_t size) noexcept {
  if (chosenToFail()) return nullptr;
  void* block = std::malloc(size);
  if (block != nullptr) ++blocksLive;
  return block;
}

void* DeviceCalloc(size_t count, size_t size) noexcept {
  if (chosenToFail()) return nullptr;
  void* block = std::calloc(count, size);
  if (block != nullptr) ++blocksLive;
  return block;
}

// NOTE: a failed reallocation keeps the old block, so it changes no count; a
// size of 0 frees the block (the C library's behaviour) and gives null.
void* DeviceRealloc(void* block, size_t size) noexcept {
  if (chosenToFail()) return nullptr;
  void* moved = std::realloc(block, size);
  if (block == nullptr && moved != nullptr) ++blocksLive;
  if (block != nullptr && moved == nullptr && size == 0) --blocksLive;
  return moved;
}

void DeviceFree(void* block) noexcept {
  if (block != nullptr) --blocksLive;
  std::free(block);
}
