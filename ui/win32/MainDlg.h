// The wizard's main window: dialog 143 with Back, Next and Exit, the maker's logo, the
// grey background, and the three pages. It is the main window's view over the core
// (wizard/Wizard.h), which it owns together with the pages' views.
#pragma once

#include <windows.h>

#include <memory>
#include <string>

#include "ui/win32/BitmapButton.h"
#include "ui/win32/PageFileChooser.h"
#include "ui/win32/PagePrinterPort.h"
#include "ui/win32/PageProgram.h"
#include "wizard/Wizard.h"

namespace zerviko::win32 {

class CMainDlg : public wizard::IWizardView {
 public:
  CMainDlg();
  ~CMainDlg() override;
  CMainDlg(const CMainDlg&) = delete;
  CMainDlg& operator=(const CMainDlg&) = delete;

  // Creates the window and with it the pages; the core then initialises them and shows
  // page 0. m_nLanguage of Wizard() is set before.
  bool Create();
  HWND Window() const { return m_hWnd; }
  wizard::CWizard& Wizard() { return *m_pWizard; }

  // The dialog whose keyboard handling a message for window goes through: the page
  // that holds it, so that Enter on a page never presses Next, or the main window.
  HWND DialogFor(HWND window) const;
  // While a run goes on, the user's input to the wizard is dropped (the message loop
  // asks here).
  bool IsInputBlocked() const { return m_bInputBlocked; }
  void BlockInput(bool bBlock) { m_bInputBlocked = bBlock; }

  void SetWaitCursor(bool bWait);
  bool IsWaitCursor() const { return m_nWaitCursor > 0; }
  HBRUSH BackBrush() const { return m_brushBack; }
  // A message box owned by owner; it takes the user's input even during a run.
  void ShowMessageBox(HWND owner, const std::wstring& text, const std::wstring& caption, UINT type);

  // wizard::IWizardView
  void SetTitle(wizard::StringId title) override;
  void ShowPage(int n) override;
  void HidePage(int n) override;
  void EnableBack(bool bEnable) override;
  void EnableNext(bool bEnable) override;
  void EnableWizardControls(bool bEnable) override;
  void EndWizard() override;

 private:
  static INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  INT_PTR HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);
  void OnInitDialog();
  void OnPaint();
  void Close();
  CWizardPage* Page(int n);

  HWND m_hWnd = nullptr;
  HICON m_hIcon = nullptr;
  HICON m_hSmallIcon = nullptr;
  HBRUSH m_brushBack = nullptr;
  CPagePrinterPort m_pagePort;
  CPageFileChooser m_pageFile;
  CPageProgram m_pageProgram;
  CBitmapButton m_btnBack;
  CBitmapButton m_btnNext;
  CBitmapButton m_btnExit;
  std::unique_ptr<wizard::CWizard> m_pWizard;
  bool m_bInputBlocked = false;
  int m_nWaitCursor = 0;
};

}  // namespace zerviko::win32
