#include "ui/win32/WizardPage.h"

#include "ui/win32/MainDlg.h"
#include "ui/win32/Resources.h"

namespace zerviko::win32 {

HFONT CreateTextFont() {
  HDC screen = GetDC(nullptr);
  const int height = -MulDiv(11, GetDeviceCaps(screen, LOGPIXELSY), 72);
  ReleaseDC(nullptr, screen);
  return CreateFontW(height, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                     OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                     DEFAULT_PITCH | FF_SWISS, L"Arial");
}

CWizardPage::CWizardPage(CMainDlg& main, int templateId)
    : m_main(main), m_pTextFont(CreateTextFont()), m_nTemplate(templateId) {}

CWizardPage::~CWizardPage() {
  if (m_hWnd != nullptr) DestroyWindow(m_hWnd);
  if (m_pTextFont != nullptr) DeleteObject(m_pTextFont);
}

bool CWizardPage::Create(HWND parent) {
  m_hWnd = CreateDialogParamW(ResourceModule(), MAKEINTRESOURCEW(m_nTemplate), parent,
                              &CWizardPage::DialogProc, reinterpret_cast<LPARAM>(this));
  if (m_hWnd == nullptr) return false;
  SetWindowPos(m_hWnd, nullptr, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  return true;
}

void CWizardPage::SetTextFont(std::initializer_list<int> ids) {
  for (const int id : ids) SendMessageW(Item(id), WM_SETFONT, reinterpret_cast<WPARAM>(m_pTextFont), TRUE);
}

void CWizardPage::ShowMessageBox(wizard::StringId text, wizard::StringId caption,
                                 wizard::MessageIcon icon) {
  const UINT type = MB_OK | (icon == wizard::MessageIcon::Stop ? MB_ICONSTOP : MB_ICONEXCLAMATION);
  m_main.ShowMessageBox(m_hWnd, LoadText(text), LoadText(caption), type);
}

void CWizardPage::SetWaitCursor(bool bWait) { m_main.SetWaitCursor(bWait); }

INT_PTR CALLBACK CWizardPage::DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_INITDIALOG) {
    auto* page = reinterpret_cast<CWizardPage*>(lParam);
    SetWindowLongPtrW(window, DWLP_USER, lParam);
    page->m_hWnd = window;
    page->OnInitDialog();
    return TRUE;
  }
  auto* page = reinterpret_cast<CWizardPage*>(GetWindowLongPtrW(window, DWLP_USER));
  return page != nullptr ? page->HandleMessage(message, wParam, lParam) : FALSE;
}

INT_PTR CWizardPage::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_CTLCOLORDLG:
      return reinterpret_cast<INT_PTR>(m_main.BackBrush());
    case WM_CTLCOLORSTATIC: {
      // Static texts, and the read-only edit that the system colours as one.
      HDC dc = reinterpret_cast<HDC>(wParam);
      SetTextColor(dc, RGB(0, 0, 128));
      SetBkColor(dc, RGB(205, 205, 205));
      return reinterpret_cast<INT_PTR>(m_main.BackBrush());
    }
    case WM_SETCURSOR:
      if (m_main.IsWaitCursor()) {
        SetCursor(LoadCursor(nullptr, IDC_WAIT));
        SetWindowLongPtrW(m_hWnd, DWLP_MSGRESULT, TRUE);
        return TRUE;
      }
      return FALSE;
    case WM_COMMAND: {
      const int id = LOWORD(wParam);
      if (lParam == 0 && id == IDOK) return TRUE;  // Enter on a page does nothing
      if (lParam == 0 && id == IDCANCEL) {
        // Escape on a page is Escape in the wizard.
        PostMessageW(m_main.Window(), WM_COMMAND, IDCANCEL, 0);
        return TRUE;
      }
      return OnCommand(id, HIWORD(wParam)) ? TRUE : FALSE;
    }
    case WM_NOTIFY: {
      LRESULT result = 0;
      if (!OnNotify(*reinterpret_cast<const NMHDR*>(lParam), result)) return FALSE;
      SetWindowLongPtrW(m_hWnd, DWLP_MSGRESULT, result);
      return TRUE;
    }
    case WM_NCDESTROY:
      m_hWnd = nullptr;
      return FALSE;
    case WM_DRAWITEM:
      return OnDrawItem(*reinterpret_cast<const DRAWITEMSTRUCT*>(lParam)) ? TRUE : FALSE;
    default:
      return OnMessage(message, wParam, lParam) ? TRUE : FALSE;
  }
}

}  // namespace zerviko::win32
