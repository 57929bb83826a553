// The picture of a message box as the desktop backends show it: the text
// wrapped in the default face above an OK button, drawn with the host's own
// GDI (so Japanese text shows as the show's texts do).
#pragma once

#include <string>

#include "platform/host/gdi/gdi_objects.h"

namespace host {

struct MessageBoxPicture {
  Surface picture;  // opaque, the box's whole size
  RECT button{};    // the OK button within it
};

// Lays the box out for text on a screen of screenWidth x screenHeight pixels
// (never wider or taller than the screen) and draws it into *out.
void drawMessageBoxPicture(const std::u16string& text, int screenWidth, int screenHeight, MessageBoxPicture* out);

// Whether pixel (x, y) of the box lies on its OK button.
bool onMessageBoxButton(const MessageBoxPicture& box, int x, int y);

}  // namespace host
