// The wizard's third page: the package's texts, the Program button, the progress bar
// and the status log. Program writes the chosen package into the printer.
#pragma once

#include <QFont>
#include <QString>
#include <cstdint>
#include <memory>
#include <vector>

#include "engine/ProgramTarget.h"
#include "ui/StatusLog.h"
#include "ui/WizardPage.h"

class CBitmapButton;
class QEventLoop;
class QFrame;
class QLabel;
class QPlainTextEdit;
class QProgressBar;

class CPageProgram : public CWizardPage {
  Q_OBJECT
 public:
  explicit CPageProgram(QWidget* parent);
  ~CPageProgram() override;

  // Once, when the main dialog sets itself up: kernel paths, fonts, the status log
  // (emptied here, so it holds the runs of this start only), the run parameters, the
  // Program button's pictures and the progress bar.
  bool OnInitDialog();

  // One programming run; the Program button's handler.
  void OnProgram();

  // The engine's progress callback. It may be called on any thread: the message is
  // handed to the page's thread, which logs it and moves the bar, in message order.
  static int OnProgress(void* context, int percent, int level, int blockMessage,
                        const char* text, std::uint8_t* abortFlag);

  // Program, and the wizard's Back, Exit and close command, on or off.
  void EnableRunControls(bool bEnable);

  // The run parameters handed to the engine.
  const zerviko::ProgrammingOptions& Options() const { return m_options; }
  // The status log, open from page initialisation on unless there is none.
  const CStatusLog& LogFile() const { return m_logFile; }

  // The controls, for the main dialog's tests.
  CBitmapButton* ProgramButton() const { return m_btnProgram; }
  QProgressBar* ProgressBar() const { return m_progress; }
  QLabel* PercentLabel() const { return m_pPercent; }
  QLabel* TitleLabel() const { return m_pTitle; }
  QLabel* RevisionLabel() const { return m_pRevision; }
  QPlainTextEdit* DeviceSetupEdit() const { return m_pDeviceSetup; }

 protected:
  void showEvent(QShowEvent* event) override;
  void hideEvent(QHideEvent* event) override;

 private:
  void OnShowWindow(bool bShow, int nStatus);
  bool RunEngine(const std::vector<std::uint8_t>& image);
  void ShowProgress(int percent, int level, const QByteArray& text);
  void ShowRevision(const QString& text);

  std::unique_ptr<QFont> m_pTextFont;  // 11-point Arial of the texts
  QProgressBar* m_progress = nullptr;
  CBitmapButton* m_btnProgram = nullptr;
  zerviko::ProgrammingOptions m_options;
  CStatusLog m_logFile;
  QString m_strMainKernelPath;
  QString m_strWriteModulePath;
  QString m_strEraseModulePath;

  QLabel* m_pTitle = nullptr;
  QFrame* m_pRevisionFrame = nullptr;
  QLabel* m_pRevision = nullptr;
  QPlainTextEdit* m_pDeviceSetup = nullptr;
  QLabel* m_pPercent = nullptr;

  bool m_bRunning = false;
  // The local event loop a run waits in, and what the engine's thread left there.
  QEventLoop* m_pRunLoop = nullptr;
  bool m_bRunDone = false;
  bool m_bRunResult = false;
  // The application was told to quit during the run: once the run is over the wizard
  // closes, without a message nobody would be left to answer.
  bool m_bQuitPending = false;
};
