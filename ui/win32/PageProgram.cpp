#include "ui/win32/PageProgram.h"

#include "ui/win32/MainDlg.h"
#include "ui/win32/Resources.h"
#include "ui/win32/resource.h"

namespace zerviko::win32 {

namespace {

// Posted by the run's thread when it leaves something for this window.
constexpr UINT WM_RUN_PENDING = WM_APP + 1;
// Posted at start-up when the status log is another loader's.
constexpr UINT WM_LOG_IN_USE = WM_APP + 2;

INT_PTR CALLBACK BusyProc(HWND /*window*/, UINT message, WPARAM /*wParam*/, LPARAM /*lParam*/) {
  // No buttons and no close box: nothing to handle but its creation.
  return message == WM_INITDIALOG ? TRUE : FALSE;
}

}  // namespace

CPageProgram::CPageProgram(CMainDlg& main) : CWizardPage(main, IDD_PROGRAM) {}

CPageProgram::~CPageProgram() {
  // The main window stops a run before it lets the core go; a thread left running
  // would end the process all the same, so wait for it.
  if (m_worker.joinable()) m_worker.join();
  if (m_hBusy != nullptr) DestroyWindow(m_hBusy);
}

void CPageProgram::OnInitDialog() {
  SetTextFont({IDC_TITLE, IDC_REVISION, IDC_DEVICE_SETUP, IDC_PERCENT});
  m_btnProgram.LoadBitmaps(m_hWnd, IDC_PROGRAM, "PROGRAM");
  SendMessageW(Item(IDC_PROGRESS), PBM_SETRANGE32, 0, 100);
  SendMessageW(Item(IDC_PROGRESS), PBM_SETPOS, 0, 0);

  // "100 %" in the text font is wider than the label's 22 dialog units: the label grows
  // to the right, into the free margin, so the figure is never cut.
  HWND percent = Item(IDC_PERCENT);
  HDC dc = GetDC(percent);
  HGDIOBJ old = SelectObject(dc, m_pTextFont);
  SIZE extent{};
  GetTextExtentPoint32W(dc, L"100 %", 5, &extent);
  SelectObject(dc, old);
  ReleaseDC(percent, dc);
  RECT rect{};
  GetWindowRect(percent, &rect);
  if (rect.right - rect.left < extent.cx + 2) {
    SetWindowPos(percent, nullptr, 0, 0, extent.cx + 2, rect.bottom - rect.top,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  }
}

void CPageProgram::ShowMessage(wizard::StringId text, wizard::StringId caption,
                               wizard::MessageIcon icon) {
  ShowMessageBox(text, caption, icon);
}

void CPageProgram::SetTitle(wizard::StringId title) {
  SetWindowTextW(Item(IDC_TITLE), LoadText(title).c_str());
}

void CPageProgram::SetPackageTexts(const std::string& revision, const std::string& deviceSetup) {
  // The revision line holds one line inside its frame: a longer revision shows its
  // first line and an ellipsis.
  const std::wstring text = DisplayText(revision);
  std::wstring line = text.substr(0, text.find_first_of(L"\r\n"));
  if (line.size() < text.size() && text.find_first_not_of(L"\r\n \t", line.size()) != std::wstring::npos) {
    line += L" \u2026";
  }
  SetWindowTextW(Item(IDC_REVISION), line.c_str());
  SetControlText(Item(IDC_DEVICE_SETUP), deviceSetup);
}

void CPageProgram::EnableProgram(bool bEnable) { EnableWindow(m_btnProgram.Window(), bEnable); }

void CPageProgram::SetProgress(int position, const std::string& label) {
  SendMessageW(Item(IDC_PROGRESS), PBM_SETPOS, static_cast<WPARAM>(position), 0);
  SetWindowTextW(Item(IDC_PERCENT), Wide(label).c_str());
}

void CPageProgram::BlockInput(bool bBlock) { m_main.BlockInput(bBlock); }

void CPageProgram::ShowBusyWindow(bool bShow) {
  if (bShow && m_hBusy == nullptr) {
    // The run that follows goes on while the window is drawn, but it is drawn at once
    // all the same, before anything is sent to the printer.
    m_hBusy = CreateDialogParamW(ResourceModule(), MAKEINTRESOURCEW(IDD_MESSAGE), m_hWnd, &BusyProc, 0);
    if (m_hBusy != nullptr) {
      ShowWindow(m_hBusy, SW_SHOW);
      UpdateWindow(m_hBusy);
      // While it is up the wizard refuses the end of the session; Windows shows its
      // warning, in the user's language, as the reason.
      wchar_t reason[MAX_STR_BLOCKREASON] = {};
      GetWindowTextW(GetWindow(m_hBusy, GW_CHILD), reason, MAX_STR_BLOCKREASON);
      ShutdownBlockReasonCreate(m_main.Window(), reason);
    }
  } else if (!bShow && m_hBusy != nullptr) {
    ShutdownBlockReasonDestroy(m_main.Window());
    DestroyWindow(m_hBusy);
    m_hBusy = nullptr;
  }
}

void CPageProgram::ReportLogInUse(const std::string& path) {
  // Two wizards started from one folder: the first keeps the log whole, and this one
  // says why it has none, once its window is up.
  m_strLogInUse = path;
  PostMessageW(m_hWnd, WM_LOG_IN_USE, 0, 0);
}

void CPageProgram::ReportLogWriteFailure(const std::string& path, const std::string& reason) {
  // The reason is the system's own message, in UTF-8.
  m_main.ShowMessageBox(m_hWnd, LoadText(wizard::IDS_LOG_WRITE_FAILED, {Wide(path), DisplayText(reason)}),
                        LoadText(wizard::IDS_CAPTION_ERROR), MB_OK | MB_ICONEXCLAMATION);
}

void CPageProgram::StartRun(wizard::CProgramRun& run) {
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_messages.clear();
    m_bRunEnded = false;
  }
  if (m_worker.joinable()) m_worker.join();
  m_worker = std::thread([this, &run] {
    const bool ok = run.Execute(*this);
    {
      std::lock_guard<std::mutex> lock(m_mutex);
      m_bRunEnded = true;
      m_bRunResult = ok;
    }
    PostMessageW(m_hWnd, WM_RUN_PENDING, 0, 0);
  });
}

void CPageProgram::OnEngineMessage(int percent, int level, const std::string& text) {
  bool wake = false;
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    wake = m_messages.empty();
    m_messages.push_back({percent, level, text});
  }
  // One wake-up for as many messages as pile up before the window takes them, so a
  // long run never fills the window's message queue.
  if (wake) PostMessageW(m_hWnd, WM_RUN_PENDING, 0, 0);
}

void CPageProgram::StopRun() {
  if (!m_worker.joinable()) return;
  m_main.Wizard().m_programPage.AbortRun();
  m_worker.join();
  DrainRun(true);
}

void CPageProgram::DrainRun(bool bQuitting) {
  for (;;) {
    RunMessage message;
    bool ended = false;
    bool result = false;
    {
      std::lock_guard<std::mutex> lock(m_mutex);
      if (!m_messages.empty()) {
        message = std::move(m_messages.front());
        m_messages.pop_front();
      } else if (m_bRunEnded) {
        m_bRunEnded = false;
        ended = true;
        result = m_bRunResult;
      } else {
        return;
      }
    }
    if (ended) {
      if (m_worker.joinable()) m_worker.join();
      m_main.Wizard().m_programPage.OnRunFinished(result, bQuitting);
      return;
    }
    m_main.Wizard().m_programPage.OnProgress(message.percent, message.level, message.text);
  }
}

bool CPageProgram::OnCommand(int id, int code) {
  if (id == IDC_PROGRAM && code == BN_CLICKED) {
    m_main.Wizard().m_programPage.OnProgram();
    return true;
  }
  return false;
}

bool CPageProgram::OnDrawItem(const DRAWITEMSTRUCT& item) {
  if (item.CtlID != IDC_PROGRAM) return false;
  m_btnProgram.DrawItem(item);
  return true;
}

bool CPageProgram::OnMessage(UINT message, WPARAM /*wParam*/, LPARAM /*lParam*/) {
  if (message == WM_RUN_PENDING) {
    DrainRun();
    return true;
  }
  if (message == WM_LOG_IN_USE) {
    m_main.ShowMessageBox(m_hWnd, LoadText(wizard::IDS_LOG_IN_USE, {Wide(m_strLogInUse)}),
                          LoadText(wizard::IDS_APP_TITLE), MB_OK | MB_ICONINFORMATION);
    return true;
  }
  return false;
}

}  // namespace zerviko::win32
