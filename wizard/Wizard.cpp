#include "wizard/Wizard.h"

#include <utility>

#include "files/ProgramFolder.h"

namespace zerviko::wizard {

CWizard::CWizard(WizardViews views, PortListSource ports, std::unique_ptr<const Volumes> volumes)
    : m_portPage(*this, views.port, std::move(ports)),
      m_filePage(*this, views.file, std::move(volumes)),
      m_programPage(*this, views.program, views.wizard),
      m_view(views.wizard) {
  m_strAppDir = ProgramFolder();
}

void CWizard::OnInitDialog() {
  m_view.SetTitle(IDS_APP_TITLE);
  // The pages set themselves up in page order; the port list is built at this point.
  m_portPage.OnInitDialog();
  m_filePage.OnInitDialog();
  m_programPage.OnInitDialog();
  const CStatusLog& log = m_programPage.Log();
  if (log.IsOpen() && log.Path() != m_strAppDir + kStatusLogName) m_view.ShowLogFolder(log.Path());
  ShowPage(0);
}

void CWizard::ShowPageAndTell(int n) {
  m_view.ShowPage(n);
  if (n == 1) m_filePage.OnShowWindow();
  if (n == 2) m_programPage.OnShowWindow();
}

void CWizard::ShowPage(int n) {
  const int previous = m_nCurPage;
  ShowPageAndTell(n);
  m_nCurPage = n;
  m_view.EnableBack(n != 0);
  m_view.EnableNext(n < 2);
  if (previous != -1 && previous != n) m_view.HidePage(previous);
}

void CWizard::OnNext() {
  switch (m_nCurPage) {
    case 0:
      if (m_portPage.CommitSelection() != 0) {
        // The model may have changed: the file page lists the files anew.
        m_filePage.m_bRefillOnShow = 1;
        ShowPage(1);
      }
      break;
    case 1:
      // A refusing file page has already told the user why.
      if (m_filePage.CheckSelectedFile() != 0) ShowPage(2);
      break;
    default:
      break;
  }
}

void CWizard::OnBack() {
  switch (m_nCurPage) {
    case 1:
      ShowPage(0);
      break;
    case 2:
      // Back to the file page as the user left it.
      m_filePage.m_bRefillOnShow = 0;
      ShowPage(1);
      break;
    default:
      break;
  }
}

void CWizard::OnExit() {
  if (CanClose()) m_view.EndWizard();
}

}  // namespace zerviko::wizard
