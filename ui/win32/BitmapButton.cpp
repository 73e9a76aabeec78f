#include "ui/win32/BitmapButton.h"

#include <string>

#include "ui/win32/Resources.h"

namespace zerviko::win32 {

CBitmapButton::~CBitmapButton() {
  for (HBITMAP bitmap : {m_bmpUp, m_bmpDown, m_bmpDisabled}) {
    if (bitmap != nullptr) DeleteObject(bitmap);
  }
}

bool CBitmapButton::LoadBitmaps(HWND dialog, int id, const char* name) {
  m_hWnd = GetDlgItem(dialog, id);
  const std::string base(name);
  m_bmpUp = LoadPicture((base + "U").c_str());
  m_bmpDown = LoadPicture((base + "D").c_str());
  m_bmpDisabled = LoadPicture((base + "X").c_str());
  if (m_hWnd == nullptr || m_bmpUp == nullptr) return false;
  BITMAP info{};
  GetObject(m_bmpUp, sizeof info, &info);
  SetWindowPos(m_hWnd, nullptr, 0, 0, info.bmWidth, info.bmHeight,
               SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  return true;
}

void CBitmapButton::DrawItem(const DRAWITEMSTRUCT& item) const {
  HBITMAP picture = m_bmpUp;
  if ((item.itemState & ODS_SELECTED) != 0 && m_bmpDown != nullptr) {
    picture = m_bmpDown;
  } else if ((item.itemState & ODS_DISABLED) != 0 && m_bmpDisabled != nullptr) {
    picture = m_bmpDisabled;
  }
  if (picture == nullptr) return;
  HDC memory = CreateCompatibleDC(item.hDC);
  HGDIOBJ old = SelectObject(memory, picture);
  BITMAP info{};
  GetObject(picture, sizeof info, &info);
  BitBlt(item.hDC, item.rcItem.left, item.rcItem.top, info.bmWidth, info.bmHeight, memory, 0, 0,
         SRCCOPY);
  SelectObject(memory, old);
  DeleteDC(memory);
}

}  // namespace zerviko::win32
