// The wizard's first page: the printer model (two picture buttons) and the port. The
// rules are the core's (wizard/PortPage.h); this is what the user sees of them.
#pragma once

#include <QPixmap>

#include "ui/qt/WizardPage.h"
#include "wizard/PortPage.h"

class QButtonGroup;
class QLabel;
class QPushButton;

using zerviko::wizard::PortListSource;

class CPagePrinterPort : public CWizardPage, public zerviko::wizard::IPortPageView {
  Q_OBJECT
 public:
  explicit CPagePrinterPort(QWidget* parent);

  // The model pictures and the port list's font, once, before the core fills the page.
  bool OnInitDialog();

  // The controls, for the main dialog's tests.
  QPushButton* AbcButton() const { return m_pAbcButton; }
  QPushButton* KeyboardButton() const { return m_pKeyboardButton; }
  QListWidget* PortListBox() const { return m_pListPorts; }

  // The view.
  void ShowMessage(zerviko::wizard::StringId text, zerviko::wizard::StringId caption,
                   zerviko::wizard::MessageIcon icon) override;
  void SetWaitCursor(bool bWait) override { SetPageWaitCursor(bWait); }
  void SetPrompts(zerviko::wizard::StringId model, zerviko::wizard::StringId port) override;
  void SetPortList(const std::vector<std::string>& displayTexts, int selected) override;
  int SelectedPort() const override;
  int ModelRadio() const override;
  void SetModelRadio(int radio) override;

 private:
  QPixmap m_bmpAbc;
  QPixmap m_bmpKeyboard;

  QLabel* m_pPrompt = nullptr;
  QLabel* m_pPortPrompt = nullptr;
  QPushButton* m_pAbcButton = nullptr;
  QPushButton* m_pKeyboardButton = nullptr;
  QButtonGroup* m_pModelGroup = nullptr;
  CChoiceList* m_pListPorts = nullptr;
};
