// An owner-drawn push button that shows pictures named after its caption: NAME + "U"
// up, "D" pressed, "X" disabled ("F", focused, is never shipped: a focused button shows
// its up picture).
#pragma once

#include <windows.h>

namespace zerviko::win32 {

class CBitmapButton {
 public:
  CBitmapButton() = default;
  ~CBitmapButton();
  CBitmapButton(const CBitmapButton&) = delete;
  CBitmapButton& operator=(const CBitmapButton&) = delete;

  // Binds control id of dialog to the pictures NAMEU, NAMED, NAMEX and makes the
  // button the size of its up picture, its top-left corner staying in place.
  bool LoadBitmaps(HWND dialog, int id, const char* name);

  // WM_DRAWITEM for this button: the picture for its state, unscaled.
  void DrawItem(const DRAWITEMSTRUCT& item) const;

  HWND Window() const { return m_hWnd; }

 private:
  HWND m_hWnd = nullptr;
  HBITMAP m_bmpUp = nullptr;
  HBITMAP m_bmpDown = nullptr;
  HBITMAP m_bmpDisabled = nullptr;
};

}  // namespace zerviko::win32
