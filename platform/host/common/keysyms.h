// Keysyms (the key numbering that X11 and xkbcommon share) to the platform's
// virtual-key codes, for the backends that read a real keyboard.
#pragma once

#include <cstdint>

#include "platform/types.h"

namespace host {

// The platform's virtual-key code of a keysym, or 0 for a key without one.
WPARAM virtualKeyOfKeysym(uint32_t keysym);

}  // namespace host
