// The file chooser page's rules: the drives, the folder tree and its start-folder walk,
// the file list with the model's mask, the check of each selected file, and Next.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "files/Volumes.h"
#include "wizard/Views.h"
#include "wizard/WizardState.h"

namespace zerviko::wizard {

// Folder pictures of the tree.
enum : int {
  PICTURE_FOLDER_CLOSED = 0,
  PICTURE_FOLDER_OPEN = 1,
};

// One folder of the tree: the top item is a drive's top folder ("C:\", "/media/stick"),
// every other item one folder name. The core owns the items; a view refers to them
// (an item lives until the tree is cleared or its drive changes).
class CFolderItem {
 public:
  CFolderItem(std::string text, CFolderItem* parent) : m_strText(std::move(text)), m_pParent(parent) {}
  CFolderItem(const CFolderItem&) = delete;
  CFolderItem& operator=(const CFolderItem&) = delete;

  const std::string& Text() const { return m_strText; }
  int Picture() const { return m_nPicture; }
  bool Expanded() const { return m_bExpanded; }
  CFolderItem* Parent() const { return m_pParent; }
  const std::vector<std::unique_ptr<CFolderItem>>& Children() const { return m_children; }

 private:
  friend class CFilePage;
  std::string m_strText;
  CFolderItem* m_pParent;
  int m_nPicture = PICTURE_FOLDER_CLOSED;
  bool m_bExpanded = false;
  std::vector<std::unique_ptr<CFolderItem>> m_children;
};

class CFilePage {
 public:
  // volumes: where the drives come from (the running system's unless a caller, such as
  // a test, knows better).
  CFilePage(WizardState& state, IFilePageView& view,
            std::unique_ptr<const Volumes> volumes = MakeSystemVolumes());

  void SetVolumes(std::unique_ptr<const Volumes> volumes) { m_pVolumes = std::move(volumes); }

  // Once, when the wizard initialises: the prompt, and the start folder, the program
  // folder's "Firmware Files". The drive list stays empty until the page is shown.
  void OnInitDialog();

  // The page is being shown (by the wizard, after it has shown the view): the title
  // for the model, and, when m_bRefillOnShow is non-zero, the drives, tree and files
  // anew, walked to the start folder.
  void OnShowWindow();

  // The user's actions, from the view.
  void OnSelchangeDrive(int index);  // the drive list's selection changed to index
  void OnSelchangedFolder(const CFolderItem* item);  // the tree's selected item changed
  void OnDblclkFolder(const CFolderItem* item);      // a double click on item
  void OnItemexpandedFolder(const CFolderItem& item, bool bExpanded);
  void OnSelchangeFile(int index);   // the file list's selection changed to line index (-1 none)

  // Next on this page: checks the selected file once more. Non-zero means go on, with
  // the file's path in the wizard state; zero means the user has been told why.
  int CheckSelectedFile();

  // Non-zero: the next show rebuilds the drive list, the tree and the file list and
  // walks to the start folder again. Zero: the next show keeps what the user left.
  // The wizard sets it before it shows the page.
  int m_bRefillOnShow = 1;

  // What the page shows now, for views and tests.
  const std::vector<DriveEntry>& Drives() const { return m_drives; }
  int SelectedDrive() const { return m_nSelectedDrive; }
  const CFolderItem* Root() const { return m_pRoot.get(); }
  const CFolderItem* SelectedFolder() const { return m_pSelectedFolder; }
  const std::vector<std::string>& Files() const { return m_files; }
  int SelectedFile() const { return m_nSelectedFile; }
  const std::string& StartFolder() const { return m_strStartFolder; }

  // The full path of item: its ancestors' texts and its own, joined.
  static std::string GetItemPath(const CFolderItem& item);
  // The selected file's full path; empty when no file is selected.
  std::string GetSelectedFilePath() const;
  // left without its trailing separators, one separator, right without its leading
  // ones: never a doubled separator.
  static std::string JoinPath(const std::string& left, const std::string& right);

 private:
  void FillDriveList();
  void FillSubfolders(CFolderItem& item);
  void SelectStartFolder(int drive);
  void SetPicture(CFolderItem& item, int picture);
  void SetExpanded(CFolderItem& item, bool bExpanded);
  void ShowError(StringId id);
  void SetStatus(const std::string& text);

  WizardState& m_state;
  IFilePageView& m_view;
  std::unique_ptr<const Volumes> m_pVolumes;

  std::string m_strStartFolder;
  bool m_bInitialised = false;
  int m_nPrevDrive = -1;
  std::vector<DriveEntry> m_drives;
  int m_nSelectedDrive = -1;
  std::unique_ptr<CFolderItem> m_pRoot;
  const CFolderItem* m_pSelectedFolder = nullptr;
  std::vector<std::string> m_files;
  int m_nSelectedFile = -1;
};

}  // namespace zerviko::wizard
