// The programming page's window: the package's texts, the Program button, the progress
// bar and its label, and the busy window of a run. The run's rules are the core's
// (wizard/ProgramPage.h); the engine runs on a worker thread whose messages come back
// to this window in order, so the wizard paints and answers the desktop throughout.
#pragma once

#include <deque>
#include <mutex>
#include <string>
#include <thread>

#include "ui/win32/BitmapButton.h"
#include "ui/win32/WizardPage.h"
#include "wizard/ProgramPage.h"

namespace zerviko::win32 {

class CPageProgram : public CWizardPage, public wizard::IProgramPageView, private wizard::IRunSink {
 public:
  explicit CPageProgram(CMainDlg& main);
  ~CPageProgram() override;

  void ShowMessage(wizard::StringId text, wizard::StringId caption, wizard::MessageIcon icon) override;
  void SetWaitCursor(bool bWait) override { CWizardPage::SetWaitCursor(bWait); }
  void SetTitle(wizard::StringId title) override;
  void SetPackageTexts(const std::string& revision, const std::string& deviceSetup) override;
  void EnableProgram(bool bEnable) override;
  void SetProgress(int position, const std::string& label) override;
  void BlockInput(bool bBlock) override;
  void ShowBusyWindow(bool bShow) override;
  void ReportLogInUse(const std::string& path) override;
  void ReportLogWriteFailure(const std::string& path, const std::string& reason) override;
  void StartRun(wizard::CProgramRun& run) override;

  // The session or the program ends during a run: stops the run before its next block,
  // waits for it, and hands its last messages and its end over, so the status log is
  // whole and on the disk when this returns. Nothing when no run goes on.
  void StopRun();

 protected:
  void OnInitDialog() override;
  bool OnCommand(int id, int code) override;
  bool OnDrawItem(const DRAWITEMSTRUCT& item) override;
  bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

 private:
  // On the run's thread.
  void OnEngineMessage(int percent, int level, const std::string& text) override;
  // On this window's thread: hands what the run's thread left to the core, in order.
  // bQuitting: the wizard ends, and nobody is left to answer a message box.
  void DrainRun(bool bQuitting = false);

  CBitmapButton m_btnProgram;
  std::string m_strLogInUse;
  HWND m_hBusy = nullptr;
  std::thread m_worker;

  struct RunMessage {
    int percent;
    int level;
    std::string text;
  };
  std::mutex m_mutex;
  std::deque<RunMessage> m_messages;  // guarded by m_mutex
  bool m_bRunEnded = false;            // guarded by m_mutex
  bool m_bRunResult = false;           // guarded by m_mutex
};

}  // namespace zerviko::win32
