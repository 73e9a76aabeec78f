#include "ui/win32/PageFileChooser.h"

#include "ui/win32/MainDlg.h"
#include "ui/win32/Resources.h"
#include "ui/win32/resource.h"

namespace zerviko::win32 {

namespace {

// 16 x 16 pictures in 16 colours, RGB(128,0,0) transparent.
HIMAGELIST LoadPictures(std::initializer_list<int> ids) {
  HIMAGELIST list = ImageList_Create(16, 16, ILC_COLOR4 | ILC_MASK, static_cast<int>(ids.size()), 0);
  for (const int id : ids) {
    HBITMAP picture = LoadPicture(id);
    ImageList_AddMasked(list, picture, RGB(128, 0, 0));
    if (picture != nullptr) DeleteObject(picture);
  }
  return list;
}

}  // namespace

CPageFileChooser::CPageFileChooser(CMainDlg& main) : CWizardPage(main, IDD_FILE_CHOOSER) {}

CPageFileChooser::~CPageFileChooser() {
  // The controls go first (with the window), then the pictures they showed.
  if (m_hWnd != nullptr) {
    DestroyWindow(m_hWnd);
    m_hWnd = nullptr;
  }
  if (m_drivePictures != nullptr) ImageList_Destroy(m_drivePictures);
  if (m_folderPictures != nullptr) ImageList_Destroy(m_folderPictures);
}

wizard::CFilePage& CPageFileChooser::Core() const { return m_main.Wizard().m_filePage; }

void CPageFileChooser::OnInitDialog() {
  SetTextFont({IDC_TITLE, IDC_FILE_PROMPT, IDC_FILE_STATUS});
  m_drivePictures = LoadPictures({IDB_DRIVE_REMOVABLE, IDB_DRIVE_CDROM, IDB_DRIVE_FIXED});
  m_folderPictures = LoadPictures({IDB_FOLDER_CLOSED, IDB_FOLDER_OPEN});
  TreeView_SetImageList(Item(IDC_FOLDER_TREE), m_folderPictures, TVSIL_NORMAL);
}

void CPageFileChooser::SetTitle(wizard::StringId title) {
  SetWindowTextW(Item(IDC_TITLE), LoadText(title).c_str());
}

void CPageFileChooser::SetPrompt(wizard::StringId prompt) {
  SetWindowTextW(Item(IDC_FILE_PROMPT), LoadText(prompt).c_str());
}

void CPageFileChooser::SetDrives(const std::vector<wizard::DriveEntry>& drives) {
  CCoreChange change(*this);
  HWND list = Item(IDC_DRIVE_LIST);
  SendMessageW(list, CB_RESETCONTENT, 0, 0);
  SendMessageW(list, CBEM_SETIMAGELIST, 0, reinterpret_cast<LPARAM>(m_drivePictures));
  for (const wizard::DriveEntry& drive : drives) {
    std::wstring text = Wide(drive.text);
    COMBOBOXEXITEMW entry{};
    entry.mask = CBEIF_TEXT | CBEIF_IMAGE | CBEIF_SELECTEDIMAGE;
    entry.iItem = -1;  // at the end
    entry.pszText = text.data();
    entry.iImage = drive.kind;
    entry.iSelectedImage = drive.kind;
    SendMessageW(list, CBEM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&entry));
  }
}

void CPageFileChooser::SelectDrive(int index) {
  CCoreChange change(*this);
  SendMessageW(Item(IDC_DRIVE_LIST), CB_SETCURSEL, static_cast<WPARAM>(index), 0);
}

void CPageFileChooser::ClearTree() {
  CCoreChange change(*this);
  TreeView_DeleteAllItems(Item(IDC_FOLDER_TREE));
  m_treeItems.clear();
}

HTREEITEM CPageFileChooser::TreeItem(const wizard::CFolderItem& item) const {
  const auto found = m_treeItems.find(&item);
  return found != m_treeItems.end() ? found->second : nullptr;
}

const wizard::CFolderItem* CPageFileChooser::FolderOf(HWND tree, HTREEITEM item) {
  if (item == nullptr) return nullptr;
  TVITEMW data{};
  data.mask = TVIF_PARAM;
  data.hItem = item;
  if (!TreeView_GetItem(tree, &data)) return nullptr;
  return reinterpret_cast<const wizard::CFolderItem*>(data.lParam);
}

void CPageFileChooser::AddFolder(const wizard::CFolderItem& item) {
  CCoreChange change(*this);
  std::wstring text = Wide(item.Text());
  TVINSERTSTRUCTW insert{};
  insert.hParent = item.Parent() != nullptr ? TreeItem(*item.Parent()) : TVI_ROOT;
  insert.hInsertAfter = TVI_LAST;
  insert.item.mask = TVIF_TEXT | TVIF_IMAGE | TVIF_SELECTEDIMAGE | TVIF_PARAM;
  insert.item.pszText = text.data();
  insert.item.iImage = item.Picture();
  insert.item.iSelectedImage = item.Picture();
  insert.item.lParam = reinterpret_cast<LPARAM>(&item);
  HTREEITEM added = reinterpret_cast<HTREEITEM>(
      SendMessageW(Item(IDC_FOLDER_TREE), TVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&insert)));
  if (added != nullptr) m_treeItems[&item] = added;
}

void CPageFileChooser::UpdateFolderPicture(const wizard::CFolderItem& item) {
  CCoreChange change(*this);
  TVITEMW data{};
  data.mask = TVIF_IMAGE | TVIF_SELECTEDIMAGE;
  data.hItem = TreeItem(item);
  data.iImage = item.Picture();
  data.iSelectedImage = item.Picture();
  if (data.hItem != nullptr) TreeView_SetItem(Item(IDC_FOLDER_TREE), &data);
}

void CPageFileChooser::ExpandFolder(const wizard::CFolderItem& item, bool bExpand) {
  CCoreChange change(*this);
  HTREEITEM tree = TreeItem(item);
  if (tree != nullptr) TreeView_Expand(Item(IDC_FOLDER_TREE), tree, bExpand ? TVE_EXPAND : TVE_COLLAPSE);
}

void CPageFileChooser::SelectFolder(const wizard::CFolderItem& item) {
  CCoreChange change(*this);
  HTREEITEM tree = TreeItem(item);
  if (tree != nullptr) TreeView_SelectItem(Item(IDC_FOLDER_TREE), tree);
}

void CPageFileChooser::SetFiles(const std::vector<std::string>& names, int selected) {
  CCoreChange change(*this);
  HWND list = Item(IDC_FILE_LIST);
  SendMessageW(list, LB_RESETCONTENT, 0, 0);
  for (std::size_t i = 0; i < names.size(); ++i) {
    const LRESULT line =
        SendMessageW(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(Wide(names[i]).c_str()));
    if (line >= 0) SendMessageW(list, LB_SETITEMDATA, static_cast<WPARAM>(line), static_cast<LPARAM>(i));
  }
  const LRESULT count = SendMessageW(list, LB_GETCOUNT, 0, 0);
  for (LRESULT line = 0; line < count; ++line) {
    if (SendMessageW(list, LB_GETITEMDATA, static_cast<WPARAM>(line), 0) == selected) {
      SendMessageW(list, LB_SETCURSEL, static_cast<WPARAM>(line), 0);
    }
  }
}

void CPageFileChooser::SetStatusText(const std::string& text) {
  SetControlText(Item(IDC_FILE_STATUS), text);
}

bool CPageFileChooser::OnCommand(int id, int code) {
  if (!UserAction()) return false;
  if (id == IDC_DRIVE_LIST && code == CBN_SELCHANGE) {
    Core().OnSelchangeDrive(static_cast<int>(SendMessageW(Item(IDC_DRIVE_LIST), CB_GETCURSEL, 0, 0)));
    return true;
  }
  if (id == IDC_FILE_LIST && code == LBN_SELCHANGE) {
    HWND list = Item(IDC_FILE_LIST);
    const LRESULT line = SendMessageW(list, LB_GETCURSEL, 0, 0);
    Core().OnSelchangeFile(
        line == LB_ERR ? -1 : static_cast<int>(SendMessageW(list, LB_GETITEMDATA, static_cast<WPARAM>(line), 0)));
    return true;
  }
  return false;
}

bool CPageFileChooser::OnNotify(const NMHDR& header, LRESULT& result) {
  if (header.idFrom != IDC_FOLDER_TREE || !UserAction()) return false;
  HWND tree = header.hwndFrom;
  switch (header.code) {
    case TVN_SELCHANGEDW:
    case TVN_SELCHANGEDA: {
      const auto& change = reinterpret_cast<const NMTREEVIEWW&>(header);
      Core().OnSelchangedFolder(FolderOf(tree, change.itemNew.hItem));
      result = 0;
      return true;
    }
    case TVN_ITEMEXPANDEDW:
    case TVN_ITEMEXPANDEDA: {
      const auto& change = reinterpret_cast<const NMTREEVIEWW&>(header);
      const wizard::CFolderItem* item = FolderOf(tree, change.itemNew.hItem);
      if (item != nullptr) Core().OnItemexpandedFolder(*item, (change.action & static_cast<UINT>(TVE_EXPAND)) != 0);
      result = 0;
      return true;
    }
    case NM_DBLCLK:
      // The control's own double click (opening or closing the item) follows.
      Core().OnDblclkFolder(FolderOf(tree, TreeView_GetSelection(tree)));
      result = 0;
      return true;
    default:
      return false;
  }
}

}  // namespace zerviko::win32
