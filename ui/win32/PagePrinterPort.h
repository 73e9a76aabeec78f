// The model and port page's window: two picture buttons and the port list. The rules
// are the core's (wizard/PortPage.h).
#pragma once

#include "ui/win32/WizardPage.h"
#include "wizard/Views.h"

namespace zerviko::win32 {

class CPagePrinterPort : public CWizardPage, public wizard::IPortPageView {
 public:
  explicit CPagePrinterPort(CMainDlg& main);
  ~CPagePrinterPort() override;

  void ShowMessage(wizard::StringId text, wizard::StringId caption, wizard::MessageIcon icon) override {
    ShowMessageBox(text, caption, icon);
  }
  void SetWaitCursor(bool bWait) override { CWizardPage::SetWaitCursor(bWait); }
  void SetPrompts(wizard::StringId model, wizard::StringId port) override;
  void SetPortList(const std::vector<std::string>& displayTexts, int selected) override;
  int SelectedPort() const override;
  int ModelRadio() const override;
  void SetModelRadio(int radio) override;

 protected:
  void OnInitDialog() override;

 private:
  HBITMAP m_bmpAbc = nullptr;
  HBITMAP m_bmpKeyboard = nullptr;
};

}  // namespace zerviko::win32
