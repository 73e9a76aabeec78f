// The file chooser page's window: the drive list with its pictures, the folder tree
// without lines or buttons, the file list and the status text. The tree mirrors the
// core's folder items (wizard/FilePage.h); each tree item carries its core item.
#pragma once

#include <windows.h>

#include <commctrl.h>

#include <unordered_map>

#include "ui/win32/WizardPage.h"
#include "wizard/FilePage.h"

namespace zerviko::win32 {

class CPageFileChooser : public CWizardPage, public wizard::IFilePageView {
 public:
  explicit CPageFileChooser(CMainDlg& main);
  ~CPageFileChooser() override;

  void ShowMessage(wizard::StringId text, wizard::StringId caption, wizard::MessageIcon icon) override {
    ShowMessageBox(text, caption, icon);
  }
  void SetWaitCursor(bool bWait) override { CWizardPage::SetWaitCursor(bWait); }
  void SetTitle(wizard::StringId title) override;
  void SetPrompt(wizard::StringId prompt) override;
  void SetDrives(const std::vector<wizard::DriveEntry>& drives) override;
  void SelectDrive(int index) override;
  void ClearTree() override;
  void AddFolder(const wizard::CFolderItem& item) override;
  void UpdateFolderPicture(const wizard::CFolderItem& item) override;
  void ExpandFolder(const wizard::CFolderItem& item, bool bExpand) override;
  void SelectFolder(const wizard::CFolderItem& item) override;
  void SetFiles(const std::vector<std::string>& names, int selected) override;
  void SetStatusText(const std::string& text) override;

 protected:
  void OnInitDialog() override;
  bool OnCommand(int id, int code) override;
  bool OnNotify(const NMHDR& header, LRESULT& result) override;

 private:
  wizard::CFilePage& Core() const;
  HTREEITEM TreeItem(const wizard::CFolderItem& item) const;
  static const wizard::CFolderItem* FolderOf(HWND tree, HTREEITEM item);

  HIMAGELIST m_drivePictures = nullptr;
  HIMAGELIST m_folderPictures = nullptr;
  std::unordered_map<const wizard::CFolderItem*, HTREEITEM> m_treeItems;
};

}  // namespace zerviko::win32
