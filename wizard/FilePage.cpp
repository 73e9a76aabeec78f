#include "wizard/FilePage.h"

#include <cctype>
#include <utility>

#include "files/FolderListing.h"
#include "package/FirmwarePackage.h"

namespace zerviko::wizard {
namespace {

bool EqualNoCase(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (std::toupper(static_cast<unsigned char>(a[i])) != std::toupper(static_cast<unsigned char>(b[i]))) return false;
  }
  return true;
}

// The entries of folder matching mask that are folders (or, with bFolders false,
// files), in the order the page shows them.
std::vector<std::string> ListNames(const std::string& folder, const char* mask, bool bFolders) {
  std::vector<FolderEntry> entries;
  ListFolder(folder, mask, entries);  // a folder that cannot be read lists nothing
  SortByName(entries);
  std::vector<std::string> names;
  for (FolderEntry& entry : entries) {
    if (entry.isFolder == bFolders) names.push_back(std::move(entry.name));
  }
  return names;
}

}  // namespace

CFilePage::CFilePage(WizardState& state, IFilePageView& view, std::unique_ptr<const Volumes> volumes)
    : m_state(state), m_view(view), m_pVolumes(std::move(volumes)) {}

void CFilePage::OnInitDialog() {
  // The start folder is fixed once the wizard state is complete, and never changes.
  if (m_bInitialised) return;
  m_bInitialised = true;
  m_strStartFolder = m_state.m_strAppDir + "Firmware Files";
  m_view.SetPrompt(IDS_SELECT_FILE);
}

void CFilePage::OnShowWindow() {
  OnInitDialog();
  m_view.SetWaitCursor(true);
  m_view.SetTitle(ModelTitle(m_state.m_bAbcLayout));
  if (m_bRefillOnShow != 0) FillDriveList();
  m_view.SetWaitCursor(false);
}

void CFilePage::FillDriveList() {
  // The drive accepted before, so that a refused choice in the new list can still go
  // back to the drive the tree shows.
  const std::string prevMountPoint = m_nPrevDrive >= 0 && m_nPrevDrive < static_cast<int>(m_drives.size())
                                         ? m_drives[static_cast<std::size_t>(m_nPrevDrive)].mountPoint
                                         : std::string();

  const std::vector<Volume> volumes = m_pVolumes ? m_pVolumes->List() : std::vector<Volume>{};
  m_drives.clear();
  m_nPrevDrive = -1;
  int firstAvailable = -1;
  for (std::size_t i = 0; i < volumes.size(); ++i) {
    const Volume& volume = volumes[i];
    m_drives.push_back({VolumeName(volume), volume.mountPoint, volume.kind});
    if (volume.mountPoint == prevMountPoint) m_nPrevDrive = static_cast<int>(i);
    // Probed in list order until one answers: an empty drive is never the first choice.
    if (firstAvailable == -1 && IsVolumeAvailable(volume.mountPoint)) firstAvailable = static_cast<int>(i);
  }
  m_view.SetDrives(m_drives);
  m_nSelectedDrive = -1;

  const int startDrive = FindVolumeOf(volumes, m_strStartFolder);
  const int chosen = startDrive != -1 ? startDrive : firstAvailable;
  if (chosen == -1) return;  // the tree and the file list keep what they showed
  m_nSelectedDrive = chosen;
  m_view.SelectDrive(chosen);
  OnSelchangeDrive(chosen);
  if (startDrive != -1) SelectStartFolder(startDrive);
}

void CFilePage::OnSelchangeDrive(int index) {
  if (index < 0 || index >= static_cast<int>(m_drives.size())) return;
  const DriveEntry& drive = m_drives[static_cast<std::size_t>(index)];
  if (!IsVolumeAvailable(drive.mountPoint)) {
    ShowError(IDS_DRIVE_UNAVAILABLE);
    // Back to the drive the tree still shows (none, if none was ever accepted).
    m_nSelectedDrive = m_nPrevDrive;
    m_view.SelectDrive(m_nPrevDrive);
    return;
  }
  m_nPrevDrive = index;
  m_nSelectedDrive = index;

  m_view.ClearTree();
  m_pSelectedFolder = nullptr;
  m_pRoot = std::make_unique<CFolderItem>(drive.mountPoint, nullptr);
  m_view.AddFolder(*m_pRoot);
  FillSubfolders(*m_pRoot);
  if (!m_pRoot->m_children.empty()) SetExpanded(*m_pRoot, true);
  m_pSelectedFolder = m_pRoot.get();
  m_view.SelectFolder(*m_pRoot);
  OnSelchangedFolder(m_pRoot.get());
}

void CFilePage::FillSubfolders(CFolderItem& item) {
  // "*", not "*.*": a folder name without a dot matches it on every system.
  for (std::string& name : ListNames(GetItemPath(item), "*", true)) {
    item.m_children.push_back(std::make_unique<CFolderItem>(std::move(name), &item));
    m_view.AddFolder(*item.m_children.back());
  }
}

void CFilePage::SelectStartFolder(int drive) {
  // The walk starts at the start drive's top folder; when the tree does not show that
  // drive (it was refused), there is nothing to walk.
  const std::string& mountPoint = m_drives[static_cast<std::size_t>(drive)].mountPoint;
  CFolderItem* current = m_pRoot.get();
  if (current == nullptr || current->m_strText != mountPoint) return;
  if (m_pSelectedFolder != current) {
    m_pSelectedFolder = current;
    m_view.SelectFolder(*current);
    OnSelchangedFolder(current);
  }

  const std::vector<std::string> mountParts = SplitPath(mountPoint);
  const std::vector<std::string> startParts = SplitPath(m_strStartFolder);
  for (std::size_t i = mountParts.size(); i < startParts.size(); ++i) {
    // The folder of that very name first: on Linux "ZL" and "zl" may stand side by
    // side. Another letter case only when there is none (a program folder on a FAT
    // stick, or a path typed in another case on Windows).
    CFolderItem* match = nullptr;
    for (const auto& child : current->m_children) {
      if (child->m_strText == startParts[i]) {
        match = child.get();
        break;
      }
      if (match == nullptr && EqualNoCase(child->m_strText, startParts[i])) match = child.get();
    }
    // The start folder is not there (any more): stay in the deepest folder found.
    if (match == nullptr) return;
    for (CFolderItem* parent = match->m_pParent; parent != nullptr; parent = parent->m_pParent) {
      if (!parent->m_bExpanded) SetExpanded(*parent, true);
    }
    m_pSelectedFolder = match;
    m_view.SelectFolder(*match);
    OnSelchangedFolder(match);
    OnDblclkFolder(match);
    current = match;
  }
}

// The views hand back the items this page owns (and never changes through them): the
// page may change its own items.
void CFilePage::OnItemexpandedFolder(const CFolderItem& item, bool bExpanded) {
  auto& folder = const_cast<CFolderItem&>(item);
  folder.m_bExpanded = bExpanded;
  SetPicture(folder, bExpanded ? PICTURE_FOLDER_OPEN : PICTURE_FOLDER_CLOSED);
}

void CFilePage::OnDblclkFolder(const CFolderItem* item) {
  // Subfolders are read on demand, one level per double click; a folder that has them
  // already is left to the tree, which opens or closes it.
  if (item == nullptr || !item->m_children.empty()) return;
  auto& folder = const_cast<CFolderItem&>(*item);
  SetPicture(folder, folder.m_nPicture == PICTURE_FOLDER_CLOSED ? PICTURE_FOLDER_OPEN : PICTURE_FOLDER_CLOSED);
  FillSubfolders(folder);
}

void CFilePage::OnSelchangedFolder(const CFolderItem* item) {
  m_pSelectedFolder = item;
  // Matched without regard to letter case; folders whose names match are not files,
  // and hidden files are listed like any other. The mask follows the model each time.
  m_files = item != nullptr ? ListNames(GetItemPath(*item), ModelFileMask(m_state.m_bAbcLayout), false)
                            : std::vector<std::string>{};
  m_nSelectedFile = m_files.empty() ? -1 : 0;
  m_view.SetFiles(m_files, m_nSelectedFile);
  OnSelchangeFile(m_nSelectedFile);
}

void CFilePage::OnSelchangeFile(int index) {
  m_nSelectedFile = index >= 0 && index < static_cast<int>(m_files.size()) ? index : -1;
  const std::string path = GetSelectedFilePath();
  if (path.empty()) {
    SetStatus({});
    return;
  }
  m_view.SetWaitCursor(true);
  const int result = ReadFirmwarePackage(path, true, m_state.m_nLanguage);
  if (result == PACKAGE_OK) {
    SetStatus(GetPackageRevisionText());
  } else {
    ShowError(result == PACKAGE_FILE_UNAVAILABLE ? IDS_FILE_UNAVAILABLE : IDS_FILE_UNUSABLE);
    SetStatus({});
  }
  m_view.SetWaitCursor(false);
}

int CFilePage::CheckSelectedFile() {
  const std::string path = GetSelectedFilePath();
  if (path.empty()) {
    ShowError(IDS_NO_FILE_SELECTED);
    return 0;
  }
  const int result = ReadFirmwarePackage(path, true, m_state.m_nLanguage);
  if (result == PACKAGE_OK) {
    m_state.m_strPackagePath = path;
    // The file may have changed since it was selected: show what is accepted now.
    SetStatus(GetPackageRevisionText());
    return 1;
  }
  ShowError(result == PACKAGE_FILE_UNAVAILABLE ? IDS_FILE_UNAVAILABLE : IDS_FILE_UNUSABLE);
  SetStatus({});
  return 0;
}

std::string CFilePage::GetItemPath(const CFolderItem& item) {
  std::string path = item.m_strText;
  for (const CFolderItem* parent = item.m_pParent; parent != nullptr; parent = parent->m_pParent) {
    path = JoinPath(parent->m_strText, path);
  }
  return path;
}

std::string CFilePage::GetSelectedFilePath() const {
  if (m_nSelectedFile < 0 || m_pSelectedFolder == nullptr) return {};
  return JoinPath(GetItemPath(*m_pSelectedFolder), m_files[static_cast<std::size_t>(m_nSelectedFile)]);
}

std::string CFilePage::JoinPath(const std::string& left, const std::string& right) {
  std::size_t end = left.size();
  while (end > 0 && IsPathSeparator(left[end - 1])) --end;
  std::size_t start = 0;
  while (start < right.size() && IsPathSeparator(right[start])) ++start;
  return left.substr(0, end) + PATH_SEPARATOR + right.substr(start);
}

void CFilePage::SetPicture(CFolderItem& item, int picture) {
  item.m_nPicture = picture;
  m_view.UpdateFolderPicture(item);
}

void CFilePage::SetExpanded(CFolderItem& item, bool bExpanded) {
  item.m_bExpanded = bExpanded;
  m_view.ExpandFolder(item, bExpanded);
  SetPicture(item, bExpanded ? PICTURE_FOLDER_OPEN : PICTURE_FOLDER_CLOSED);
}

void CFilePage::ShowError(StringId id) { m_view.ShowMessage(id, IDS_CAPTION_ERROR, MessageIcon::Exclamation); }

void CFilePage::SetStatus(const std::string& text) { m_view.SetStatusText(text); }

}  // namespace zerviko::wizard
