// The handle table: slots of owned objects with generations (see handle_table.h).
//
// Invariant: a handle value is (generation << 32) | (slot << 4) | 0xA; a slot's
// generation rises every time its object is destroyed, so an old handle never
// names the slot's next object.
#include "platform/host/common/handle_table.h"

#include <mutex>
#include <vector>

namespace host {
namespace {

struct Slot {
  Object* object = nullptr;
  uint32_t generation = 1;
  bool permanent = false;
};

struct Table {
  std::mutex lock;
  std::vector<Slot> slots{Slot{}};  // slot 0 is never used
  std::vector<uint32_t> freeSlots;
};

Table& table() {
  static Table* instance = new Table;  // never destroyed: threads may outlive static destructors
  return *instance;
}

uintptr_t encode(uint32_t slot, uint32_t generation) {
  return (uintptr_t(generation) << 32) | (uintptr_t(slot) << 4) | 0xA;
}

// The slot a handle names if its generation is current; 0 otherwise. Caller holds the lock.
uint32_t decode(Table& t, const void* handle) {
  uintptr_t value = reinterpret_cast<uintptr_t>(handle);
  if ((value & 0xF) != 0xA) return 0;
  uint32_t slot = uint32_t((value >> 4) & 0x0FFFFFFF);
  uint32_t generation = uint32_t(value >> 32);
  if (slot == 0 || slot >= t.slots.size()) return 0;
  const Slot& s = t.slots[slot];
  if (s.object == nullptr || s.generation != generation) return 0;
  return slot;
}

}  // namespace

void* registerObject(Object* object, bool permanent) {
  if (object == nullptr) return nullptr;
  Table& t = table();
  std::lock_guard<std::mutex> guard(t.lock);
  uint32_t slot;
  if (!t.freeSlots.empty()) {
    slot = t.freeSlots.back();
    t.freeSlots.pop_back();
  } else {
    slot = uint32_t(t.slots.size());
    t.slots.push_back(Slot{});
  }
  Slot& s = t.slots[slot];
  s.object = object;
  s.permanent = permanent;
  return reinterpret_cast<void*>(encode(slot, s.generation));
}

Object* lookupObject(const void* handle) {
  Table& t = table();
  std::lock_guard<std::mutex> guard(t.lock);
  uint32_t slot = decode(t, handle);
  return slot != 0 ? t.slots[slot].object : nullptr;
}

bool destroyObject(const void* handle) {
  Object* doomed = nullptr;
  {
    Table& t = table();
    std::lock_guard<std::mutex> guard(t.lock);
    uint32_t slot = decode(t, handle);
    if (slot == 0 || t.slots[slot].permanent) return false;
    Slot& s = t.slots[slot];
    doomed = s.object;
    s.object = nullptr;
    s.generation = s.generation == 0xFFFFFFFFu ? 1 : s.generation + 1;
    t.freeSlots.push_back(slot);
  }
  delete doomed;  // outside the lock: a destructor may release further handles
  return true;
}

size_t liveObjectCount(ObjectKind kind) {
  Table& t = table();
  std::lock_guard<std::mutex> guard(t.lock);
  size_t count = 0;
  for (const Slot& s : t.slots) {
    if (s.object != nullptr && !s.permanent && (kind == ObjectKind::None || s.object->kind == kind)) ++count;
  }
  return count;
}

}  // namespace host
