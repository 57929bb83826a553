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
  int live = 0;
  for (int s = 1; s < capacity; ++s) {
    if (slots[s].inUse) {
      ++live;
    } else if (std::memcmp(&slots[s], &zero, sizeof zero) != 0) {
      return ::testing::AssertionFailure() << "free slot " << s << " not zero";
    }
  }
  std::vector<int> walk;
  std::vector<bool> seen(capacity, false);
  for (int s = slots[head].inUse ? head : 0, prev = 0; s != 0; prev = s, s = slots[s].next) {
    if (s < 1 || s >= capacity) return ::testing::AssertionFailure() << "link " << s << " out of range";
    if (!slots[s].inUse) return ::testing::AssertionFailure() << "free slot " << s << " linked";
    if (seen[s]) return ::testing::AssertionFailure() << "cycle at " << s;
    if (slots[s].prev != prev) return ::testing::AssertionFailure() << "bad prev at " << s;
    seen[s] = true;
    walk.push_back(s);
  }
  if (walk.empty() && head != 1) return ::testing::AssertionFailure() << "empty list with head " << head;
  if (int(walk.size()) != live) return ::testing::AssertionFailure() << "slots in use outside the list";
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

// Slots of a list from head in link order, up to the first free slot.
template <class T>
std::vector<int> listOrder(const T* slots, int head) {
  std::vector<int> order;
  for (int s = head; s != 0 && slots[s].inUse; s = slots[s].next) order.push_back(s);
  return order;
}
inline std::vector<int> liveOrder() { return listOrder(pool.slots, pool.head); }
inline std::vector<int> drawOrder() { return listOrder(drawList, drawListHead); }

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
  for (int k = 0; k < 100000; ++k, ref.next()) {
    ReferenceRand at = ref;
    if (at.next() == now[0] && at.next() == now[1] && at.next() == now[2] && at.next() == now[3]) return k;
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
