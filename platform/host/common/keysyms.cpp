// Keysyms to virtual-key codes (see keysyms.h). The keysym values are X11's
// (keysymdef.h), which xkbcommon keeps, so both backends read this one table
// without either library's header.
#include "platform/host/common/keysyms.h"

#include "platform/window_manager.h"

namespace host {
namespace {

struct KeysymKey {
  uint32_t keysym;
  WPARAM key;
};

constexpr KeysymKey kNamedKeys[] = {
    {0xFF0D, VK_RETURN},  // Return
    {0xFF8D, VK_RETURN},  // KP_Enter
    {0xFF1B, VK_ESCAPE},  // Escape
    {0x0020, VK_SPACE},   // space
    {0xFF08, 0x08},       // BackSpace
    {0xFF09, 0x09},       // Tab
    {0xFFE1, 0x10},       // Shift_L
    {0xFFE2, 0x10},       // Shift_R
    {0xFFE3, 0x11},       // Control_L
    {0xFFE4, 0x11},       // Control_R
    {0xFFE9, 0x12},       // Alt_L
    {0xFFEA, 0x12},       // Alt_R
    {0xFF51, 0x25},       // Left
    {0xFF52, 0x26},       // Up
    {0xFF53, 0x27},       // Right
    {0xFF54, 0x28},       // Down
    {0xFFFF, 0x2E},       // Delete
};

}  // namespace

WPARAM virtualKeyOfKeysym(uint32_t keysym) {
  if (keysym >= 'a' && keysym <= 'z') return WPARAM('A' + (keysym - 'a'));  // keysyms a..z are their letters
  if (keysym >= 'A' && keysym <= 'Z') return WPARAM(keysym);
  if (keysym >= '0' && keysym <= '9') return WPARAM(keysym);
  if (keysym >= 0xFFBE && keysym <= 0xFFC9) return WPARAM(0x70 + (keysym - 0xFFBE));  // F1..F12: VK_F1..VK_F12
  for (const KeysymKey& named : kNamedKeys) {
    if (named.keysym == keysym) return named.key;
  }
  return 0;
}

}  // namespace host
