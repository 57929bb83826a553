// Invariant checkers and shared set-up of the engine tests: walk the instance
// pool and the draw list and check every link, the absence of cycles, that free
// and live slots make the capacity, that free slots are all zero and that the
// draw list runs in layer order. Also the device generator's reference sequence.
#pragma once

#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <vector>

#include "engine/instance_pool.h"
#include "engine/tick_update.h"
#include "platform/host/runtime/debug_console.h"
#include "platform/runtime.h"
#include "render/draw_list.h"
#include "render/surfaces.h"

// Checks one record array of linked slots: slot 0 and every free slot zero, the
// list from head in range and acyclic with consistent back links, covering every
// slot in use. T is EffectInstance or DrawEntry.
template <class T>
::testing::AssertionResult linkedSlotsHold(const T* slots, int capacity, int head, std::vector<int>* order) {
  static const T zero = {};
  if (slots == nullptr) return ::testing::AssertionFailure() << "not allocated";
  if (std::memcmp(&slots[0], &zero, sizeof zero) != 0) return ::testing::AssertionFailure() << "slot 0 used";
  if (head < 1 || head >= capacity) return ::testing::AssertionFailure() << "head " << head << " out of range";
  int live = 0, free = 0;
  for (int s = 1; s < capacity; ++s) {
    if (slots[s].inUse) {
      ++live;
    } else if (std::memcmp(&slots[s], &zero, sizeof zero) != 0) {
      return ::testing::AssertionFailure() << "free slot " << s << " not zero";
    } else {
      ++free;
    }
  }
  if (live + free != capacity - 1) return ::testing::AssertionFailure() << "slots lost";
  std::vector<int> walk;
  if (!slots[head].inUse) {
    if (head != 1 || live != 0) return ::testing::AssertionFailure() << "empty list with head " << head;
  } else {
    std::vector<bool> seen(capacity, false);
    int prev = 0;
    for (int s = head; s != 0; s = slots[s].next) {
      if (s < 1 || s >= capacity) return ::testing::AssertionFailure() << "link " << s << " out of range";
      if (!slots[s].inUse) return ::testing::AssertionFailure() << "free slot " << s << " linked";
      if (seen[s]) return ::testing::AssertionFailure() << "cycle at " << s;
      if (slots[s].prev != prev) return ::testing::AssertionFailure() << "bad prev at " << s;
      seen[s] = true;
      walk.push_back(s);
      prev = s;
    }
    if (int(walk.size()) != live) return ::testing::AssertionFailure() << "slots in use outside the list";
  }
  if (order != nullptr) *order = walk;
  return ::testing::AssertionSuccess();
}

// The pool's links plus its bookkeeping: tail, live counts and used bits.
inline ::testing::AssertionResult poolInvariantsHold() {
  std::vector<int> order;
  ::testing::AssertionResult links = linkedSlotsHold(pool.slots, MAX_INSTANCES, pool.head, &order);
  if (!links) return links;
  if (pool.live != int(order.size()) || pool.tail != (order.empty() ? 0 : order.back()))
    return ::testing::AssertionFailure() << "live " << pool.live << ", tail " << pool.tail;
  std::vector<int> liveOf(MAX_SCENE_ENTRIES, 0);
  for (int s : order) ++liveOf[pool.slots[s].def];
  for (int s = 0; s < MAX_INSTANCES; ++s) {
    if (int((pool.used[s / 64] >> (s % 64)) & 1) != (s == 0 || pool.slots[s].inUse))
      return ::testing::AssertionFailure() << "used bit of slot " << s;
    if (s < MAX_SCENE_ENTRIES && pool.liveOf[s] != liveOf[s]) return ::testing::AssertionFailure() << "liveOf " << s;
  }
  return links;
}

// The draw list's links plus its own rules: occupied slots are 1..n with n its
// count, layers do not increase along the list, equal layers keep insertion
// (slot) order.
inline ::testing::AssertionResult drawListInvariantsHold() {
  std::vector<int> order;
  ::testing::AssertionResult links = linkedSlotsHold(drawList, MAX_DRAW_ENTRIES, drawListHead, &order);
  if (!links) return links;
  if (drawListCount != int(order.size())) return ::testing::AssertionFailure() << "count " << drawListCount;
  for (int s = 1; s <= int(order.size()); ++s) {
    if (!drawList[s].inUse) return ::testing::AssertionFailure() << "occupied slots not 1..n";
  }
  for (size_t k = 1; k < order.size(); ++k) {
    const DrawEntry& a = drawList[order[k - 1]];
    const DrawEntry& b = drawList[order[k]];
    if (a.layer < b.layer || (a.layer == b.layer && order[k - 1] > order[k]))
      return ::testing::AssertionFailure() << "out of order at " << order[k];
  }
  return ::testing::AssertionSuccess();
}

// Slots of the live list, head first.
inline std::vector<int> liveOrder() {
  std::vector<int> order;
  for (int s = pool.head; s != 0 && pool.slots[s].inUse; s = pool.slots[s].next) order.push_back(s);
  return order;
}

// Slots of the draw list in drawing order.
inline std::vector<int> drawOrder() {
  std::vector<int> order;
  for (int s = drawListHead; s != 0 && drawList[s].inUse; s = drawList[s].next) order.push_back(s);
  return order;
}

// Captures the debug console from here on, starting afresh (no line to repeat).
inline void captureConsole() {
  host::flushDebugConsole();
  testing::internal::CaptureStderr();
}

// What the console wrote since captureConsole, its buffer and count written out.
inline std::string capturedConsole() {
  host::flushDebugConsole();
  return testing::internal::GetCapturedStderr();
}

// The device generator written out independently: state * 214013 + 2531011,
// result bits 16..30.
struct ReferenceRand {
  uint32_t state;
  int next() {
    state = state * 214013u + 2531011u;
    return int((state >> 16) & 0x7FFF);
  }
};

// How many numbers were drawn since srand(seed): matches the next four draws
// against the reference sequence. Consumes those four draws.
inline int drawsSince(unsigned seed) {
  int now[4];
  for (int& v : now) v = rand();
  ReferenceRand ref{seed};
  std::vector<int> seq;
  for (int k = 0; k < 100004; ++k) seq.push_back(ref.next());
  for (int k = 0; k < 100000; ++k) {
    if (seq[k] == now[0] && seq[k + 1] == now[1] && seq[k + 2] == now[2] && seq[k + 3] == now[3]) return k;
  }
  return -1;
}

// The reference spread: (k/500 - 1) * spread in single precision, for the
// generator value r.
inline float referenceSpread(int r, float spread) {
  float u = float(r % 1000 + 1) * 0.001f;
  return (u * 2.0f - 1.0f) * spread;
}

// Every engine test runs on fresh tables, pool and draw list over a 240x320
// client area, with the generator seeded with 1; the invariants are checked
// after each test.
class EngineTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(allocateSceneTables(), 1);
    ASSERT_EQ(allocateInstancePool(), 1);
    ASSERT_EQ(allocateDrawList(), 1);
    clientRect = RECT{0, 0, 240, 320};
    srand(1);
  }
  void TearDown() override {
    EXPECT_TRUE(poolInvariantsHold());
    EXPECT_TRUE(drawListInvariantsHold());
    releaseDrawList();
    releaseInstancePool();
    releaseSceneTables();
  }
  // Resets definition n to one of the kind that lives for ever (size and alpha
  // 1, no child).
  EffectDef& liveDef(int n, int kind) {
    EffectDef& d = scene.defs[n];
    d = EffectDef{};
    d.kind = kind;
    d.width = d.height = d.alpha = 1.0f;
    d.childDef = -1;
    return d;
  }
};
