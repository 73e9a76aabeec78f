// What the three pages' windows share: a child dialog from the resource module, the
// wizard's colours (navy static texts on the main window's grey), an Enter key that
// never ends a page or presses Next, the 11-point Arial of their texts, and message
// boxes and the busy cursor for their views.
#pragma once

#include <windows.h>

#include <initializer_list>

#include "wizard/Views.h"

namespace zerviko::win32 {

class CMainDlg;

class CWizardPage {
 public:
  CWizardPage(CMainDlg& main, int templateId);
  virtual ~CWizardPage();
  CWizardPage(const CWizardPage&) = delete;
  CWizardPage& operator=(const CWizardPage&) = delete;

  // Creates the page's window, hidden, at the top-left corner of parent.
  bool Create(HWND parent);
  HWND Window() const { return m_hWnd; }
  HWND Item(int id) const { return GetDlgItem(m_hWnd, id); }

 protected:
  // Once, when the window exists and before the core initialises the page.
  virtual void OnInitDialog() {}
  // WM_COMMAND from a control; true when handled.
  virtual bool OnCommand(int /*id*/, int /*code*/) { return false; }
  // WM_NOTIFY; true when handled, with the result for the control in result.
  virtual bool OnNotify(const NMHDR& /*header*/, LRESULT& /*result*/) { return false; }
  virtual bool OnDrawItem(const DRAWITEMSTRUCT& /*item*/) { return false; }
  // Any other message; true when handled.
  virtual bool OnMessage(UINT /*message*/, WPARAM /*wParam*/, LPARAM /*lParam*/) { return false; }

  void ShowMessageBox(wizard::StringId text, wizard::StringId caption, wizard::MessageIcon icon);
  void SetWaitCursor(bool bWait);
  // Gives these controls the pages' text font.
  void SetTextFont(std::initializer_list<int> ids);

  // While the core changes the controls (a view call), their notifications are not the
  // user's and go nowhere.
  class CCoreChange {
   public:
    explicit CCoreChange(CWizardPage& page) : m_page(page) { ++m_page.m_nCoreChanges; }
    ~CCoreChange() { --m_page.m_nCoreChanges; }
    CCoreChange(const CCoreChange&) = delete;
    CCoreChange& operator=(const CCoreChange&) = delete;

   private:
    CWizardPage& m_page;
  };
  bool UserAction() const { return m_nCoreChanges == 0; }

  CMainDlg& m_main;
  HWND m_hWnd = nullptr;
  HFONT m_pTextFont = nullptr;

 private:
  static INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  INT_PTR HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);

  int m_nTemplate;
  int m_nCoreChanges = 0;
};

// The 11-point Arial of the pages' texts; the caller frees it.
HFONT CreateTextFont();

}  // namespace zerviko::win32
