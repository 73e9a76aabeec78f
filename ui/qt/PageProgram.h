// The wizard's third page: the package's texts, the Program button, the progress bar.
// The rules of a run, its log and its order of steps are the core's
// (wizard/ProgramPage.h); this page shows them, runs the engine on a thread of its own
// and keeps the windows painting while it works.
#pragma once

#include <QFont>
#include <memory>

#include "ui/qt/WizardPage.h"
#include "wizard/ProgramPage.h"

class CBitmapButton;
class CInputBlocker;
class CMessageDialog;
class QEventLoop;
class QFrame;
class QLabel;
class QPlainTextEdit;
class QProgressBar;

class CPageProgram : public CWizardPage, public zerviko::wizard::IProgramPageView {
  Q_OBJECT
 public:
  explicit CPageProgram(QWidget* parent);
  ~CPageProgram() override;

  // Once, before the core sets the page up: the fonts, the Program button's pictures
  // and the progress bar.
  bool OnInitDialog();

  // The run parameters handed to the engine.
  const zerviko::ProgrammingOptions& Options() const { return Core().Options(); }

  // The controls, for the main dialog's tests.
  CBitmapButton* ProgramButton() const { return m_btnProgram; }
  QProgressBar* ProgressBar() const { return m_progress; }
  QLabel* PercentLabel() const { return m_pPercent; }
  QLabel* TitleLabel() const { return m_pTitle; }
  QLabel* RevisionLabel() const { return m_pRevision; }
  QPlainTextEdit* DeviceSetupEdit() const { return m_pDeviceSetup; }

  // The view.
  void ShowMessage(zerviko::wizard::StringId text, zerviko::wizard::StringId caption,
                   zerviko::wizard::MessageIcon icon) override;
  void SetWaitCursor(bool bWait) override { SetPageWaitCursor(bWait); }
  void SetTitle(zerviko::wizard::StringId title) override;
  void SetPackageTexts(const std::string& revision, const std::string& deviceSetup) override;
  void EnableProgram(bool bEnable) override;
  void SetProgress(int position, const std::string& label) override;
  void BlockInput(bool bBlock) override;
  void ShowBusyWindow(bool bShow) override;
  void ReportLogInUse(const std::string& path) override;
  void ReportLogWriteFailure(const std::string& path, const std::string& reason) override;
  void StartRun(zerviko::wizard::CProgramRun& run) override;

 private:
  zerviko::wizard::CProgramPage& Core() const;
  void ShowRevision(const QString& text);

  std::unique_ptr<QFont> m_pTextFont;  // 11-point Arial of the texts
  QProgressBar* m_progress = nullptr;
  CBitmapButton* m_btnProgram = nullptr;

  QLabel* m_pTitle = nullptr;
  QFrame* m_pRevisionFrame = nullptr;
  QLabel* m_pRevision = nullptr;
  QPlainTextEdit* m_pDeviceSetup = nullptr;
  QLabel* m_pPercent = nullptr;

  std::unique_ptr<CInputBlocker> m_pInputBlocker;
  std::unique_ptr<CMessageDialog> m_pBusyWindow;
  // The local event loop a run waits in, and what the engine's thread left there.
  QEventLoop* m_pRunLoop = nullptr;
  bool m_bRunDone = false;
  bool m_bRunResult = false;
};
