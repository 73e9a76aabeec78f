// The wizard's main window: the three pages one at a time, Back, Next and Exit, and
// the maker's logo. The wizard's state and rules are the core's (wizard/Wizard.h),
// which this window is a view of.
#pragma once

#include <QBrush>
#include <QDialog>
#include <QIcon>

#include "ui/qt/BitmapButton.h"
#include "ui/qt/PageFileChooser.h"
#include "ui/qt/PagePrinterPort.h"
#include "ui/qt/PageProgram.h"
#include "ui/qt/WizardPage.h"
#include "wizard/Wizard.h"

class QLabel;

class CMainDlg : public QDialog, public zerviko::wizard::IWizardView, public zerviko::wizard::CWizard {
  Q_OBJECT
 public:
  // portListSource is where the first page takes its ports from (the machine's own,
  // unless a caller knows better).
  explicit CMainDlg(QWidget* parent = nullptr,
                    PortListSource portListSource = zerviko::ports::BuildPortList);
  ~CMainDlg() override;

  // Sets the window up and creates the pages' contents, once; showing the dialog does
  // it if nobody has yet. Start-up fills in m_nLanguage (and tests m_strAppDir)
  // between construction and this point.
  bool OnInitDialog();

  // The view. Its ShowPage only shows a page's window; the wizard's own, with the rules
  // around it, is CWizard::ShowPage.
  void SetTitle(zerviko::wizard::StringId title) override;
  void ShowPage(int n) override;
  void HidePage(int n) override;
  void EnableBack(bool bEnable) override;
  void EnableNext(bool bEnable) override;
  void EnableWizardControls(bool bEnable) override;
  void EndWizard() override;
  // Says in the three lines beside the logo where the status log is kept.
  void ShowLogFolder(const std::string& path) override;

  QIcon m_hIcon;
  QBrush m_brushBack{kWizardBackColour};
  CPagePrinterPort m_pagePort;
  CPageFileChooser m_pageFile;
  CPageProgram m_pageProgram;
  CBitmapButton m_btnBack;
  CBitmapButton m_btnNext;
  CBitmapButton m_btnExit;

  // Where the logo is drawn, in the window's coordinates; empty when there is none.
  QRect LogoRect() const;

 public slots:
  void reject() override;

 protected:
  void setVisible(bool visible) override;
  void paintEvent(QPaintEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  QWidget* Page(int n);

  QLabel* m_pInfoText = nullptr;  // the three lines beside the logo
  bool m_bInitialised = false;
  bool m_bCloseEnabled = true;
};
