// The wizard's main window: the three pages one at a time, Back, Next and Exit, the
// maker's logo, and the wizard state the pages share.
#pragma once

#include <QDialog>
#include <QIcon>

#include "ui/BitmapButton.h"
#include "ui/PageFileChooser.h"
#include "ui/PagePrinterPort.h"
#include "ui/PageProgram.h"
#include "ui/WizardPage.h"

class QLabel;

class CMainDlg : public QDialog, public WizardState {
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

  // Shows page n (0 model and port, 1 file chooser, 2 programming) and sets Back and
  // Next for it; the new page is shown before the old one is hidden.
  void ShowPage(int n, QWidget* page);
  void OnNext();
  void OnBack();
  void OnExit();

  void EnableWizardControls(bool bEnable) override;

  QIcon m_hIcon;
  int m_nCurPage = -1;
  QWidget* m_pCurPage = nullptr;
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
  // Says in the three lines beside the logo where the status log is kept, when it is
  // not beside the program.
  void ShowLogFolder(const QString& logPath);

  QLabel* m_pInfoText = nullptr;  // the three lines beside the logo
  bool m_bInitialised = false;
  bool m_bCloseEnabled = true;
};
