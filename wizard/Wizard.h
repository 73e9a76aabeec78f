// The wizard: its state, its three pages' cores, and the rules of the main window:
// which page is shown, and Back, Next and Exit.
//
// A front end builds its views, then a CWizard over them (or derives its main window
// from CWizard, as the Qt wizard does), sets m_nLanguage (and, for a test,
// m_strAppDir), and calls OnInitDialog once when its window is created. It then hands
// the user's Back, Next and Exit to OnBack, OnNext and OnExit, and each page's events
// to that page's core.
#pragma once

#include <memory>

#include "files/Volumes.h"
#include "wizard/FilePage.h"
#include "wizard/PortPage.h"
#include "wizard/ProgramPage.h"
#include "wizard/Views.h"
#include "wizard/WizardState.h"

namespace zerviko::wizard {

// The views a wizard runs over; the front end owns them, and they outlive the wizard.
struct WizardViews {
  IWizardView& wizard;
  IPortPageView& port;
  IFilePageView& file;
  IProgramPageView& program;
};

class CWizard : public WizardState {
 public:
  // m_strAppDir starts as the running program's folder.
  CWizard(WizardViews views, PortListSource ports = ports::BuildPortList,
          std::unique_ptr<const Volumes> volumes = MakeSystemVolumes());
  virtual ~CWizard() = default;
  CWizard(const CWizard&) = delete;
  CWizard& operator=(const CWizard&) = delete;

  // Once, when the main window is created: its title, the pages in page order (the
  // port list is built and the status log emptied here), where the log is kept when it
  // is not beside the program, then page 0.
  void OnInitDialog();

  // Shows page n and sets Back (on unless page 0) and Next (on below page 2); the new
  // page is shown, and its core told, before the old one is hidden.
  void ShowPage(int n);

  // Next: on page 0 the port page commits (then the file page is rebuilt when shown),
  // on page 1 the file page checks its file; a refusing page keeps the wizard where it
  // is and has told the user why. Nothing on page 2.
  void OnNext();
  // Back: page 1 to 0; page 2 to 1 with the file page as the user left it. Nothing on
  // page 0.
  void OnBack();
  // Exit: the wizard ends (never during a run: Exit is off then).
  void OnExit();
  // Whether the window may close now (Escape, the close box, the system's close):
  // not during a run.
  bool CanClose() const { return !m_programPage.IsRunning(); }

  int m_nCurPage = -1;  // -1 before OnInitDialog; 0, 1 or 2

  CPortPage m_portPage;
  CFilePage m_filePage;
  CProgramPage m_programPage;

 private:
  // Shows page n's view and runs its show handler.
  void ShowPageAndTell(int n);

  IWizardView& m_view;
};

}  // namespace zerviko::wizard
