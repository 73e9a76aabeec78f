// The wizard's first page: the printer model (two picture buttons) and the port.
#pragma once

#include <QPixmap>
#include <QStringList>
#include <functional>

#include "ports/PortList.h"
#include "ui/qt/WizardPage.h"

class QButtonGroup;
class QLabel;
class QListWidget;
class QPushButton;

// Where the page's port list comes from: the machine's ports, unless the caller
// (a test, or a front end with its own discovery) provides another source.
using PortListSource = std::function<zerviko::ports::PortList()>;

class CPagePrinterPort : public CWizardPage {
  Q_OBJECT
 public:
  explicit CPagePrinterPort(QWidget* parent,
                            PortListSource portListSource = zerviko::ports::BuildPortList);

  // Builds the port list (once) and checks the ABC layout model.
  bool OnInitDialog();

  // Next on this page: stores the model flag and the chosen port's device path in the
  // wizard state. Non-zero means go on; zero means no port is selected and the user
  // has been told.
  int CommitSelection();

  // The checked model button: 0 ABC layout, 1 Keyboard layout.
  int m_nModelRadio = 0;

  // The controls, for the main dialog's tests.
  QPushButton* AbcButton() const { return m_pAbcButton; }
  QPushButton* KeyboardButton() const { return m_pKeyboardButton; }
  QListWidget* PortListBox() const { return m_pListPorts; }

 private:
  void FillPortList();
  void UpdateData(bool bSaveAndValidate);

  PortListSource m_portListSource;
  QPixmap m_bmpAbc;
  QPixmap m_bmpKeyboard;
  QStringList m_pPortNames;  // the ports' device paths; list items hold indices into it

  QLabel* m_pPrompt = nullptr;
  QLabel* m_pPortPrompt = nullptr;
  QPushButton* m_pAbcButton = nullptr;
  QPushButton* m_pKeyboardButton = nullptr;
  QButtonGroup* m_pModelGroup = nullptr;
  QListWidget* m_pListPorts = nullptr;
};
