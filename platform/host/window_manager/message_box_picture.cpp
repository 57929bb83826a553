// Lays out and draws a message box's picture with the host's GDI: padding,
// the text wrapped at kMaxTextWidth (less on a narrow screen), and a centred
// OK button below it. Every GDI object made here is freed before returning.
#include "platform/host/window_manager/message_box_picture.h"

#include <algorithm>

#include "platform/platform.h"

namespace host {
namespace {

constexpr int kPadding = 16;
constexpr int kTextHeight = 16;  // the font's cell height in pixels
constexpr int kMaxTextWidth = 360;
constexpr int kMinWidth = 200;
constexpr int kButtonWidth = 80;
constexpr int kButtonHeight = 26;
constexpr COLORREF kFaceColour = RGB(236, 236, 236);
constexpr COLORREF kButtonColour = RGB(250, 250, 250);
constexpr COLORREF kEdgeColour = RGB(96, 96, 96);
constexpr COLORREF kTextColour = RGB(0, 0, 0);

LOGFONTW boxFont() {
  LOGFONTW font{};
  font.lfHeight = kTextHeight;
  return font;
}

// The text's wrapped size at the widest width the box allows.
RECT measureText(const std::u16string& text, int maxWidth) {
  HDC dc = CreateCompatibleDC(nullptr);
  LOGFONTW logFont = boxFont();
  HFONT font = CreateFontIndirectW(&logFont);
  HGDIOBJ previous = SelectObject(dc, font);
  RECT r{0, 0, maxWidth, 0};
  DrawTextW(dc, text.c_str(), -1, &r, DT_WORDBREAK | DT_CALCRECT);
  SelectObject(dc, previous);
  DeleteObject(font);
  DeleteDC(dc);
  return RECT{0, 0, std::max<LONG>(0, r.right), std::max<LONG>(kTextHeight, r.bottom)};
}

// Draws face, button and texts of a width x height box into out->picture.
void drawBox(const std::u16string& text, int width, int height, MessageBoxPicture* out) {
  HDC dc = CreateCompatibleDC(nullptr);
  HBITMAP bitmap = CreateCompatibleBitmap(dc, width, height);
  HGDIOBJ oldBitmap = SelectObject(dc, bitmap);
  HBRUSH face = CreateSolidBrush(kFaceColour);
  HGDIOBJ oldBrush = SelectObject(dc, face);
  PatBlt(dc, 0, 0, width, height, PATCOPY);
  HPEN edge = CreatePen(PS_SOLID, 1, kEdgeColour);
  HGDIOBJ oldPen = SelectObject(dc, edge);
  HBRUSH buttonFace = CreateSolidBrush(kButtonColour);
  SelectObject(dc, buttonFace);
  const RECT& b = out->button;
  Rectangle(dc, b.left, b.top, b.right, b.bottom);
  LOGFONTW logFont = boxFont();
  HFONT font = CreateFontIndirectW(&logFont);
  HGDIOBJ oldFont = SelectObject(dc, font);
  SetBkMode(dc, TRANSPARENT);
  SetTextColor(dc, kTextColour);
  RECT textRect{kPadding, kPadding, width - kPadding, height};
  DrawTextW(dc, text.c_str(), -1, &textRect, DT_WORDBREAK);
  RECT okRect{b.left, b.top + (kButtonHeight - kTextHeight) / 2, b.right, b.bottom};
  DrawTextW(dc, u"OK", -1, &okRect, DT_CENTER);
  if (Surface* s = dcSurface(dc)) out->picture = *s;
  SelectObject(dc, oldFont);
  SelectObject(dc, oldPen);
  SelectObject(dc, oldBrush);
  SelectObject(dc, oldBitmap);
  DeleteObject(font);
  DeleteObject(buttonFace);
  DeleteObject(edge);
  DeleteObject(face);
  DeleteObject(bitmap);
  DeleteDC(dc);
}

}  // namespace

void drawMessageBoxPicture(const std::u16string& text, int screenWidth, int screenHeight, MessageBoxPicture* out) {
  int maxText = std::max(100, std::min(kMaxTextWidth, screenWidth - 4 * kPadding));
  RECT measured = measureText(text, maxText);
  int width = std::max<int>({int(measured.right) + 2 * kPadding, kButtonWidth + 2 * kPadding, kMinWidth});
  int height = kPadding + int(measured.bottom) + kPadding + kButtonHeight + kPadding;
  width = std::min(width, std::max(1, screenWidth));
  height = std::min(height, std::max(1, screenHeight));
  out->button = RECT{(width - kButtonWidth) / 2, height - kPadding - kButtonHeight, (width + kButtonWidth) / 2,
                     height - kPadding};
  drawBox(text, width, height, out);
}

bool onMessageBoxButton(const MessageBoxPicture& box, int x, int y) {
  const RECT& b = box.button;
  return x >= b.left && x < b.right && y >= b.top && y < b.bottom;
}

}  // namespace host
