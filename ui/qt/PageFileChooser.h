// The wizard's second page: a small drive, folder and file browser that offers the
// package files of the chosen model and checks each selected file at once.
#pragma once

#include <QIcon>
#include <QString>
#include <memory>
#include <utility>
#include <vector>

#include "files/Volumes.h"
#include "ui/qt/WizardPage.h"

class QComboBox;
class QFont;
class QFrame;
class QHideEvent;
class QLabel;
class QListWidget;
class QShowEvent;
class QTreeWidget;
class QTreeWidgetItem;

class CPageFileChooser : public CWizardPage {
  Q_OBJECT
 public:
  explicit CPageFileChooser(QWidget* parent);
  ~CPageFileChooser() override;

  // Next on this page: checks the selected file once more. Non-zero means go on, and
  // the file's path is then in the wizard state; zero means the user has been told why.
  int CheckSelectedFile();

  // Forms the start folder from the program folder; the main dialog calls it once,
  // after start-up has filled in the wizard state.
  bool OnInitDialog();

  // Where the volumes come from. The page asks the running system unless told
  // otherwise; tests hand it their own tables.
  template <class Table>
  void SetVolumeTable(Table table) {
    m_pVolumeTable = std::make_unique<Table>(std::move(table));
  }

  // Non-zero: the next show rebuilds the drive list, the tree and the file list and
  // walks to the start folder again. Zero: the next show keeps what the user left.
  // The main dialog sets it before it shows the page.
  int m_bRefillOnShow = 1;

 protected:
  void showEvent(QShowEvent* event) override;
  void hideEvent(QHideEvent* event) override;

 private:
  void OnShowPage(bool bShow);
  void OnSelchangeDrive();
  void OnItemexpandedFolder(bool bExpanded, QTreeWidgetItem* item);
  void OnDblclkFolder(QTreeWidgetItem* item);
  void OnSelchangedFolder(QTreeWidgetItem* item);
  void OnSelchangeFile();

  void FillDriveList();
  void FillSubfolders(QTreeWidgetItem* item);
  void SelectStartFolder(const zerviko::Volume& volume);
  QString GetItemPath(const QTreeWidgetItem* item) const;
  QString GetSelectedFilePath() const;
  static QString JoinPath(const QString& left, const QString& right);
  void ShowError(int stringId);
  void SetFolderPicture(QTreeWidgetItem* item, int picture);

  std::unique_ptr<QFont> m_pTextFont;
  QString m_strStartFolder;
  int m_nPrevDrive = -1;
  bool m_bInitialised = false;

  std::unique_ptr<const zerviko::Volumes> m_pVolumeTable = zerviko::MakeSystemVolumes();
  std::vector<zerviko::Volume> m_volumes;  // the drive list's entries, in its order

  QIcon m_drivePictures[3];   // removable, optical, fixed disk
  QIcon m_folderPictures[2];  // closed, open

  QLabel* m_pTitle = nullptr;
  QLabel* m_pPrompt = nullptr;
  QComboBox* m_pDriveList = nullptr;
  QTreeWidget* m_pFolderTree = nullptr;
  QListWidget* m_pFileList = nullptr;
  QFrame* m_pStatusFrame = nullptr;
  QLabel* m_pStatusText = nullptr;
};
