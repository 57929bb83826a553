// The host's handle table: every platform handle names one host object here.
//
// A handle is an opaque value that encodes a slot of the table and the slot's
// generation; looking up a handle whose object was destroyed, or one of the
// wrong kind, gives null, so a stale or wrong handle fails the platform call
// the way the platform's call fails instead of crashing. Handles are never 0 and
// never INVALID_HANDLE_VALUE. The table is shared by all threads (a mutex guards
// it); an object itself is used by the thread that owns it, as on the platform.
#pragma once

#include <cstddef>
#include <cstdint>

namespace host {

enum class ObjectKind : uint8_t {
  None = 0,
  File,
  Bitmap,
  Dc,
  Brush,
  Pen,
  Font,
  Event,
  Thread,
  MsgQueue,
  Window,
  Icon,
};

// Base of every host object; the table owns and deletes it.
struct Object {
  explicit Object(ObjectKind k) : kind(k) {}
  virtual ~Object() = default;
  Object(const Object&) = delete;
  Object& operator=(const Object&) = delete;
  const ObjectKind kind;
};

// Takes ownership of the object and returns its new handle. A permanent object
// (a stock brush, the desktop window) is never destroyed by destroyObject.
void* registerObject(Object* object, bool permanent = false);

// The live object a handle names, or null for null, stale or unknown handles.
Object* lookupObject(const void* handle);

// The live object of kind T::kKind that a handle names, or null.
template <class T>
T* lookup(const void* handle) {
  Object* object = lookupObject(handle);
  return (object != nullptr && object->kind == T::kKind) ? static_cast<T*>(object) : nullptr;
}

// Unregisters and deletes the object; false for a stale, unknown or permanent handle.
bool destroyObject(const void* handle);

// How many objects of a kind (ObjectKind::None: of every kind) are live, for
// the leak checks of tests and long runs. Permanent objects are not counted.
size_t liveObjectCount(ObjectKind kind = ObjectKind::None);

}  // namespace host
