#include "ui/win32/MainDlg.h"

#include "ui/win32/Resources.h"
#include "ui/win32/resource.h"

namespace zerviko::win32 {

CMainDlg::CMainDlg()
    : m_pagePort(*this),
      m_pageFile(*this),
      m_pageProgram(*this),
      m_pWizard(std::make_unique<wizard::CWizard>(
          wizard::WizardViews{*this, m_pagePort, m_pageFile, m_pageProgram})) {
  m_hIcon = static_cast<HICON>(LoadImageW(ResourceModule(), MAKEINTRESOURCEW(IDI_APP), IMAGE_ICON,
                                          GetSystemMetrics(SM_CXICON), GetSystemMetrics(SM_CYICON), 0));
  m_hSmallIcon = static_cast<HICON>(LoadImageW(ResourceModule(), MAKEINTRESOURCEW(IDI_APP), IMAGE_ICON,
                                               GetSystemMetrics(SM_CXSMICON),
                                               GetSystemMetrics(SM_CYSMICON), 0));
}

CMainDlg::~CMainDlg() {
  // A run still going (the message loop ended under it) reads the core's run object:
  // it stops and its thread is joined first; then the core (it closes the status
  // log), then the windows it talked to.
  m_pageProgram.StopRun();
  m_pWizard.reset();
  if (m_hWnd != nullptr) DestroyWindow(m_hWnd);
  if (m_brushBack != nullptr) DeleteObject(m_brushBack);
  if (m_hIcon != nullptr) DestroyIcon(m_hIcon);
  if (m_hSmallIcon != nullptr) DestroyIcon(m_hSmallIcon);
}

bool CMainDlg::Create() {
  m_hWnd = CreateDialogParamW(ResourceModule(), MAKEINTRESOURCEW(IDD_MAIN), nullptr,
                              &CMainDlg::DialogProc, reinterpret_cast<LPARAM>(this));
  if (m_hWnd == nullptr) return false;
  ShowWindow(m_hWnd, SW_SHOW);
  return true;
}

CWizardPage* CMainDlg::Page(int n) {
  switch (n) {
    case 0:
      return &m_pagePort;
    case 1:
      return &m_pageFile;
    case 2:
      return &m_pageProgram;
    default:
      return nullptr;
  }
}

HWND CMainDlg::DialogFor(HWND window) const {
  for (const CWizardPage* page : {static_cast<const CWizardPage*>(&m_pagePort),
                                  static_cast<const CWizardPage*>(&m_pageFile),
                                  static_cast<const CWizardPage*>(&m_pageProgram)}) {
    if (page->Window() != nullptr && (window == page->Window() || IsChild(page->Window(), window))) {
      return page->Window();
    }
  }
  return m_hWnd;
}

void CMainDlg::OnInitDialog() {
  SendMessageW(m_hWnd, DM_SETDEFID, IDC_NEXT, 0);
  SendMessageW(m_hWnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_hIcon));
  SendMessageW(m_hWnd, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(m_hSmallIcon));
  m_brushBack = CreateSolidBrush(RGB(205, 205, 205));
  m_btnBack.LoadBitmaps(m_hWnd, IDC_BACK, "BACK");
  m_btnNext.LoadBitmaps(m_hWnd, IDC_NEXT, "NEXT");
  m_btnExit.LoadBitmaps(m_hWnd, IDC_EXIT, "EXIT");
  // The pages' windows, hidden, in page order; then the core sets them up and shows
  // page 0 (the title, the port list and the emptied status log come from there).
  m_pagePort.Create(m_hWnd);
  m_pageFile.Create(m_hWnd);
  m_pageProgram.Create(m_hWnd);
  m_pWizard->OnInitDialog();
}

void CMainDlg::OnPaint() {
  PAINTSTRUCT paint;
  HDC dc = BeginPaint(m_hWnd, &paint);
  // The maker's logo, loaded for each paint: 5 pixels from the left edge and 10 above
  // the bottom edge. Without it the rest is painted as usual.
  HBITMAP logo = LoadPicture(IDB_LOGO);
  if (logo != nullptr) {
    BITMAP info{};
    GetObject(logo, sizeof info, &info);
    RECT client{};
    GetClientRect(m_hWnd, &client);
    HDC memory = CreateCompatibleDC(dc);
    HGDIOBJ old = SelectObject(memory, logo);
    BitBlt(dc, 5, client.bottom - info.bmHeight - 10, info.bmWidth, info.bmHeight, memory, 0, 0, SRCCOPY);
    SelectObject(memory, old);
    DeleteDC(memory);
    DeleteObject(logo);
  }
  EndPaint(m_hWnd, &paint);
}

void CMainDlg::Close() {
  // Escape and the close box end the wizard, but never in the middle of a run.
  if (m_pWizard->CanClose()) EndWizard();
}

INT_PTR CALLBACK CMainDlg::DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_INITDIALOG) {
    auto* dialog = reinterpret_cast<CMainDlg*>(lParam);
    SetWindowLongPtrW(window, DWLP_USER, lParam);
    dialog->m_hWnd = window;
    dialog->OnInitDialog();
    return TRUE;
  }
  auto* dialog = reinterpret_cast<CMainDlg*>(GetWindowLongPtrW(window, DWLP_USER));
  return dialog != nullptr ? dialog->HandleMessage(message, wParam, lParam) : FALSE;
}

INT_PTR CMainDlg::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_CTLCOLORDLG:
      return reinterpret_cast<INT_PTR>(m_brushBack);
    case WM_CTLCOLORSTATIC:
      // The main window's own text keeps the default colour, straight on the grey.
      SetBkMode(reinterpret_cast<HDC>(wParam), TRANSPARENT);
      return reinterpret_cast<INT_PTR>(m_brushBack);
    case WM_PAINT:
      OnPaint();
      return TRUE;
    case WM_SETCURSOR:
      if (IsWaitCursor()) {
        SetCursor(LoadCursor(nullptr, IDC_WAIT));
        SetWindowLongPtrW(m_hWnd, DWLP_MSGRESULT, TRUE);
        return TRUE;
      }
      return FALSE;
    case WM_DRAWITEM: {
      const auto& item = *reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
      for (const CBitmapButton* button : {&m_btnBack, &m_btnNext, &m_btnExit}) {
        if (item.hwndItem == button->Window()) {
          button->DrawItem(item);
          return TRUE;
        }
      }
      return FALSE;
    }
    case WM_COMMAND:
      if (HIWORD(wParam) != BN_CLICKED && lParam != 0) return FALSE;
      switch (LOWORD(wParam)) {
        case IDC_NEXT:
          m_pWizard->OnNext();
          return TRUE;
        case IDC_BACK:
          m_pWizard->OnBack();
          return TRUE;
        case IDC_EXIT:
          m_pWizard->OnExit();
          return TRUE;
        case IDCANCEL:
          Close();
          return TRUE;
        default:
          return FALSE;
      }
    case WM_CLOSE:
      Close();
      return TRUE;
    case WM_QUERYENDSESSION:
      // A printer left half-written needs recovery in boot mode: no logoff or restart
      // while a run goes on.
      SetWindowLongPtrW(m_hWnd, DWLP_MSGRESULT, m_pWizard->CanClose() ? TRUE : FALSE);
      return TRUE;
    case WM_ENDSESSION:
      // The session ends all the same: the run stops before its next block and the log
      // is whole on the disk before Windows may end the process.
      if (wParam != FALSE) {
        m_pageProgram.StopRun();
        EndWizard();
      }
      return TRUE;
    case WM_DESTROY:
      PostQuitMessage(0);
      return TRUE;
    case WM_NCDESTROY:
      m_hWnd = nullptr;
      return FALSE;
    default:
      return FALSE;
  }
}

void CMainDlg::SetWaitCursor(bool bWait) {
  m_nWaitCursor += bWait ? 1 : -1;
  if (m_nWaitCursor < 0) m_nWaitCursor = 0;
  SetCursor(LoadCursor(nullptr, IsWaitCursor() ? IDC_WAIT : IDC_ARROW));
}

void CMainDlg::ShowMessageBox(HWND owner, const std::wstring& text, const std::wstring& caption,
                              UINT type) {
  // The box answers the user even while a run's input block or the busy cursor is on;
  // both hold again once it is closed.
  const bool blocked = m_bInputBlocked;
  const int wait = m_nWaitCursor;
  m_bInputBlocked = false;
  m_nWaitCursor = 0;
  SetCursor(LoadCursor(nullptr, IDC_ARROW));
  MessageBoxW(owner, text.c_str(), caption.c_str(), type);
  m_bInputBlocked = blocked;
  m_nWaitCursor = wait;
  if (IsWaitCursor()) SetCursor(LoadCursor(nullptr, IDC_WAIT));
}

void CMainDlg::SetTitle(wizard::StringId title) { SetWindowTextW(m_hWnd, LoadText(title).c_str()); }

void CMainDlg::ShowPage(int n) {
  if (CWizardPage* page = Page(n)) ShowWindow(page->Window(), SW_SHOW);
}

void CMainDlg::HidePage(int n) {
  if (CWizardPage* page = Page(n)) ShowWindow(page->Window(), SW_HIDE);
}

void CMainDlg::EnableBack(bool bEnable) { EnableWindow(m_btnBack.Window(), bEnable); }

void CMainDlg::EnableNext(bool bEnable) { EnableWindow(m_btnNext.Window(), bEnable); }

void CMainDlg::EnableWizardControls(bool bEnable) {
  EnableWindow(m_btnBack.Window(), bEnable);
  EnableWindow(m_btnExit.Window(), bEnable);
  EnableMenuItem(GetSystemMenu(m_hWnd, FALSE), SC_CLOSE, MF_BYCOMMAND | (bEnable ? MF_ENABLED : MF_GRAYED));
}

void CMainDlg::EndWizard() { DestroyWindow(m_hWnd); }

}  // namespace zerviko::win32
