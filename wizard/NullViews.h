// Views that show nothing: each call is recorded as one line of text ("message 142
// 135 exclamation", "files ZERVIKO_1.AVK,zerviko_2.avk selected 0"), in the order the
// core made them, so a test can compare what a user would have met. Answers to the
// core's questions (the selected port, the checked model) are fields a test sets. A
// run is executed in place, on the calling thread, over the port the test provides.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "wizard/Views.h"

namespace zerviko {
class SerialPort;
}

namespace zerviko::wizard {

class CProgramPage;

// The lines of all the null views of one wizard, in order.
using CallLog = std::vector<std::string>;

class CNullWizardView : public IWizardView {
 public:
  explicit CNullWizardView(CallLog& log) : m_log(log) {}
  void SetTitle(StringId title) override;
  void ShowPage(int n) override;
  void HidePage(int n) override;
  void EnableBack(bool bEnable) override;
  void EnableNext(bool bEnable) override;
  void EnableWizardControls(bool bEnable) override;
  void EndWizard() override;

  bool m_bBack = false, m_bNext = false, m_bControls = true, m_bEnded = false;

 private:
  CallLog& m_log;
};

// What every null page view shares.
class CNullPageLog {
 public:
  explicit CNullPageLog(CallLog& log) : m_log(log) {}
  void Add(std::string line) { m_log.push_back(std::move(line)); }
  // Called for each message box, before it is recorded (a test looks at the state of
  // things at that moment).
  std::function<void(StringId text)> m_onMessage;
  int m_nWaitCursor = 0;

 protected:
  CallLog& m_log;
};

class CNullPortPageView : public IPortPageView, public CNullPageLog {
 public:
  using CNullPageLog::CNullPageLog;
  void ShowMessage(StringId text, StringId caption, MessageIcon icon) override;
  void SetWaitCursor(bool bWait) override;
  void SetPrompts(StringId model, StringId port) override;
  void SetPortList(const std::vector<std::string>& displayTexts, int selected) override;
  int SelectedPort() const override { return m_nSelected; }
  int ModelRadio() const override { return m_nModel; }
  void SetModelRadio(int radio) override;

  std::vector<std::string> m_ports;
  int m_nSelected = -1;  // the user's choice: a test sets it
  int m_nModel = 0;
};

class CNullFilePageView : public IFilePageView, public CNullPageLog {
 public:
  using CNullPageLog::CNullPageLog;
  void ShowMessage(StringId text, StringId caption, MessageIcon icon) override;
  void SetWaitCursor(bool bWait) override;
  void SetTitle(StringId title) override;
  void SetPrompt(StringId prompt) override;
  void SetDrives(const std::vector<DriveEntry>& drives) override;
  void SelectDrive(int index) override;
  void ClearTree() override;
  void AddFolder(const CFolderItem& item) override;
  void UpdateFolderPicture(const CFolderItem& item) override;
  void ExpandFolder(const CFolderItem& item, bool bExpand) override;
  void SelectFolder(const CFolderItem& item) override;
  void SetFiles(const std::vector<std::string>& names, int selected) override;
  void SetStatusText(const std::string& text) override;

  std::string m_strStatus;
};

class CNullProgramPageView : public IProgramPageView, public CNullPageLog {
 public:
  using CNullPageLog::CNullPageLog;
  void ShowMessage(StringId text, StringId caption, MessageIcon icon) override;
  void SetWaitCursor(bool bWait) override;
  void SetTitle(StringId title) override;
  void SetPackageTexts(const std::string& revision, const std::string& deviceSetup) override;
  void EnableProgram(bool bEnable) override;
  void SetProgress(int position, const std::string& label) override;
  void BlockInput(bool bBlock) override;
  void ShowBusyWindow(bool bShow) override;
  void ReportLogInUse(const std::string& path) override;
  void ReportLogWriteFailure(const std::string& path, const std::string& reason) override;
  void StartRun(CProgramRun& run) override;

  // Where StartRun sends the run: the page's OnProgress and OnRunFinished, in place.
  CProgramPage* m_pPage = nullptr;
  // The port the run opens (a scripted target); none: the system's port.
  SerialPort* m_pPort = nullptr;
  bool m_bBusyWindow = false, m_bInputBlocked = false, m_bProgram = true;
  int m_nProgress = 0;
  std::string m_strLabel;
};

}  // namespace zerviko::wizard
