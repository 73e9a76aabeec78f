// The programming page's rules: the run parameters, the kernel files' paths, the status
// log, and one programming run from the Program button to its last message box, with
// the busy window's life.
//
// A run and its threads. The engine blocks for minutes, so the core does not call it
// on the user-interface thread itself: OnProgram prepares a CProgramRun and hands it to
// the view (IProgramPageView::StartRun), which
//   1. calls run.Execute(sink) on a thread of its choosing (a worker thread, so that
//      the windows keep painting; a test's null view calls it in place);
//   2. receives each engine message in sink.OnEngineMessage on that thread, and hands
//      it, in order, to the user-interface thread (a queued signal, a posted window
//      message, or a queue the view drains), where it calls CProgramPage::OnProgress;
//   3. once Execute has returned and every message has been handed over, calls
//      CProgramPage::OnRunFinished on the user-interface thread with Execute's result.
// StartRun may return before the run ends (a posted end message) or after it (a local
// event loop): the core does nothing between StartRun and OnRunFinished. Until then
// the run object and its image stay alive and untouched by the core, and the page
// refuses a second OnProgram.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/ProgramTarget.h"
#include "files/StatusLog.h"
#include "wizard/Views.h"
#include "wizard/WizardState.h"

namespace zerviko::wizard {

// Receives the engine's messages on the thread that runs CProgramRun::Execute.
class IRunSink {
 public:
  virtual ~IRunSink() = default;
  // percent: the run's progress 0 to 100; level: LEVEL_ERROR .. LEVEL_DETAIL; text: at
  // most 255 characters, no line end.
  virtual void OnEngineMessage(int percent, int level, const std::string& text) = 0;
};

// One run's parameters and image, ready for the engine. Execute touches nothing of the
// page or the views, so it may run on any thread.
class CProgramRun {
 public:
  CProgramRun(ProgrammingOptions options, std::vector<std::uint8_t> image)
      : m_options(std::move(options)), m_image(std::move(image)) {}

  // The whole run: ProgramTarget over the system's port named in the options. Returns
  // the engine's result; every message goes to sink first, in order, on this thread.
  bool Execute(IRunSink& sink) const;
  // The same over a port the caller provides (a scripted target in tests).
  bool Execute(IRunSink& sink, SerialPort& port) const;

  const ProgrammingOptions& Options() const { return m_options; }
  const std::vector<std::uint8_t>& Image() const { return m_image; }

  // Stops the run before its next block, as Ctrl-C does on the command line: the
  // engine ends it with its error message. From any thread.
  void Abort() { m_bAbort = true; }
  bool IsAborted() const { return m_bAbort; }

 private:
  ProgrammingOptions m_options;
  std::vector<std::uint8_t> m_image;
  std::atomic<bool> m_bAbort{false};
};

class CProgramPage {
 public:
  // wizardView: the main window, whose Back, Exit and close command a run turns off.
  CProgramPage(WizardState& state, IProgramPageView& view, IWizardView& wizardView);
  // Closes the log, and clears the package reader's loaded package.
  ~CProgramPage();
  CProgramPage(const CProgramPage&) = delete;
  CProgramPage& operator=(const CProgramPage&) = delete;

  // Once, when the wizard initialises: the kernel paths, the status log (emptied here,
  // so it holds the runs of this start only; beside the program, or in the user's
  // state folder when the program folder cannot be written; a log held by another
  // loader is reported through the view), the run parameters, the progress at 0.
  void OnInitDialog();

  // The page is being shown (by the wizard, after it has shown the view): the package's
  // texts, the title for the model, and the port taken anew, so a port chosen again
  // after a run is used by the next one. Does nothing during a run.
  void OnShowWindow();

  // The Program button. Refused while a run goes on.
  void OnProgram();

  // One engine message, on the user-interface thread: a line in the log, the bar and
  // its label.
  void OnProgress(int percent, int level, const std::string& text);

  // The system is ending the session, or the program its message loop, during a run:
  // the run stops before its next block (the view then waits for it and hands over
  // its end as usual). Does nothing when no run goes on.
  void AbortRun();

  // The run is over: Execute's result. bQuitting: the user or the system asked the
  // wizard to quit during the run, so no message box is shown (nobody is left to answer
  // it); the view closes the wizard afterwards. A log that could not be written during
  // the run is told once, after the run's own message: the run itself went on.
  void OnRunFinished(bool bSuccess, bool bQuitting = false);

  bool IsRunning() const { return m_bRunning; }
  const ProgrammingOptions& Options() const { return m_options; }
  const CStatusLog& Log() const { return m_logFile; }
  const std::string& MainKernelPath() const { return m_strMainKernelPath; }
  const std::string& WriteModulePath() const { return m_strWriteModulePath; }
  const std::string& EraseModulePath() const { return m_strEraseModulePath; }

 private:
  void EnableRunControls(bool bEnable);
  // Steps after a run, or after a run that stopped before the engine.
  void EndRun(bool bSuccess, bool bQuitting);

  WizardState& m_state;
  IProgramPageView& m_view;
  IWizardView& m_wizardView;
  ProgrammingOptions m_options;
  CStatusLog m_logFile;
  std::string m_strMainKernelPath;
  std::string m_strWriteModulePath;
  std::string m_strEraseModulePath;
  bool m_bRunning = false;
  std::unique_ptr<CProgramRun> m_pRun;
};

}  // namespace zerviko::wizard
