// The wizard's second page: a small drive, folder and file browser that offers the
// package files of the chosen model and checks each selected file at once. The rules
// are the core's (wizard/FilePage.h); this page shows them and hands the user's
// actions back, its folder tree mirroring the core's.
#pragma once

#include <QHash>
#include <QIcon>
#include <memory>
#include <utility>

#include "files/Volumes.h"
#include "ui/qt/WizardPage.h"
#include "wizard/FilePage.h"

class QComboBox;
class QFont;
class QFrame;
class QLabel;
class QTreeWidget;
class QTreeWidgetItem;

class CPageFileChooser : public CWizardPage, public zerviko::wizard::IFilePageView {
  Q_OBJECT
 public:
  explicit CPageFileChooser(QWidget* parent);
  ~CPageFileChooser() override;

  // Where the volumes come from. The page asks the running system unless told
  // otherwise; tests hand it their own tables.
  template <class Table>
  void SetVolumeTable(Table table) {
    Core().SetVolumes(std::make_unique<Table>(std::move(table)));
  }

  // The view.
  void ShowMessage(zerviko::wizard::StringId text, zerviko::wizard::StringId caption,
                   zerviko::wizard::MessageIcon icon) override;
  void SetWaitCursor(bool bWait) override { SetPageWaitCursor(bWait); }
  void SetTitle(zerviko::wizard::StringId title) override;
  void SetPrompt(zerviko::wizard::StringId prompt) override;
  void SetDrives(const std::vector<zerviko::wizard::DriveEntry>& drives) override;
  void SelectDrive(int index) override;
  void ClearTree() override;
  void AddFolder(const zerviko::wizard::CFolderItem& item) override;
  void UpdateFolderPicture(const zerviko::wizard::CFolderItem& item) override;
  void ExpandFolder(const zerviko::wizard::CFolderItem& item, bool bExpand) override;
  void SelectFolder(const zerviko::wizard::CFolderItem& item) override;
  void SetFiles(const std::vector<std::string>& names, int selected) override;
  void SetStatusText(const std::string& text) override;

 private:
  zerviko::wizard::CFilePage& Core() const;
  // The core's item a tree item stands for; none for none.
  const zerviko::wizard::CFolderItem* ItemOf(const QTreeWidgetItem* item) const;

  std::unique_ptr<QFont> m_pTextFont;

  QIcon m_drivePictures[3];   // removable, optical, fixed disk
  QIcon m_folderPictures[2];  // closed, open
  QHash<const zerviko::wizard::CFolderItem*, QTreeWidgetItem*> m_treeItems;

  QLabel* m_pTitle = nullptr;
  QLabel* m_pPrompt = nullptr;
  QComboBox* m_pDriveList = nullptr;
  QTreeWidget* m_pFolderTree = nullptr;
  CChoiceList* m_pFileList = nullptr;
  QFrame* m_pStatusFrame = nullptr;
  QLabel* m_pStatusText = nullptr;
};
