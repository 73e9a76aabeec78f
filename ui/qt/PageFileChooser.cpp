#include "ui/qt/PageFileChooser.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFont>
#include <QFontMetrics>
#include <QFrame>
#include <QHeaderView>
#include <QLabel>
#include <QListWidget>
#include <QMouseEvent>
#include <QShowEvent>
#include <QSignalBlocker>
#include <QStringDecoder>
#include <QTextDocument>
#include <QTextLayout>
#include <QTreeWidget>
#include <algorithm>

#include "package/FirmwarePackage.h"
#include "ui/qt/MessageBox.h"
#include "ui/qt/Pictures.h"
#include "ui/qt/StringTable.h"

namespace {

// Shows a package's revision in the status text, which has room for two lines of its
// font. A longer revision keeps the whole lines that fit, the last of them ending in an
// ellipsis, and the whole text becomes the tooltip: no line is ever half drawn.
void SetStatusText(QLabel* label, const QString& text) {
  const QFontMetrics metrics(label->font());
  const int width = label->contentsRect().width();
  const int maxLines = std::max(1, label->contentsRect().height() / metrics.lineSpacing());
  QStringList lines;
  bool bCut = false;
  const QStringList paragraphs = text.split(QLatin1Char('\n'));
  for (qsizetype p = 0; p < paragraphs.size() && !bCut; ++p) {
    QTextLayout layout(paragraphs[p], label->font());
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout.setTextOption(option);
    layout.beginLayout();
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
      line.setLineWidth(width);
      if (lines.size() == maxLines) {
        bCut = true;
        break;
      }
      lines.append(paragraphs[p].mid(line.textStart(), line.textLength()).trimmed());
    }
    layout.endLayout();
  }
  if (bCut) {
    lines.last() =
        metrics.elidedText(lines.last() + QStringLiteral(" \u2026"), Qt::ElideRight, width);
  }
  label->setText(lines.join(QLatin1Char('\n')));
  label->setToolTip(bCut ? Qt::convertFromPlainText(text) : QString());
}

constexpr int PICTURE_FOLDER_CLOSED_INDEX = 0;
constexpr int PICTURE_FOLDER_OPEN_INDEX = 1;
constexpr int ROLE_PICTURE = Qt::UserRole;  // a tree item's picture index

QIcon PictureIcon(const char* name) {
  const QPixmap picture = LoadPicture(QString::fromLatin1(name));
  return picture.isNull() ? QIcon() : QIcon(picture);
}

QString DisplayPath(const std::string& path) {
  return QFile::decodeName(QByteArray::fromStdString(path));
}

// Shows the busy cursor for as long as it lives.
class BusyCursor {
 public:
  BusyCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
  ~BusyCursor() { QApplication::restoreOverrideCursor(); }
  BusyCursor(const BusyCursor&) = delete;
  BusyCursor& operator=(const BusyCursor&) = delete;
};

// Lifts every busy cursor while it lives, so that a message box shown in the middle
// of a long operation gets the normal pointer, and puts them back afterwards.
class NormalCursor {
 public:
  NormalCursor() {
    while (QApplication::overrideCursor() != nullptr) {
      QApplication::restoreOverrideCursor();
      ++m_nLifted;
    }
  }
  ~NormalCursor() {
    for (int i = 0; i < m_nLifted; ++i) QApplication::setOverrideCursor(Qt::WaitCursor);
  }
  NormalCursor(const NormalCursor&) = delete;
  NormalCursor& operator=(const NormalCursor&) = delete;

 private:
  int m_nLifted = 0;
};

// The folder tree draws no lines and no expand buttons: folders open by a double
// click, which is also what reads their subfolders. The strip left of a folder, where
// the buttons would be, takes no click at all, or an unseen button there would still
// open and close the folder.
class FolderTree : public QTreeWidget {
 public:
  using QTreeWidget::QTreeWidget;

 protected:
  void drawBranches(QPainter* /*painter*/, const QRect& /*rect*/,
                    const QModelIndex& /*index*/) const override {}
  void mousePressEvent(QMouseEvent* event) override {
    if (!InBranchArea(event->position().toPoint())) QTreeWidget::mousePressEvent(event);
  }
  void mouseReleaseEvent(QMouseEvent* event) override {
    if (!InBranchArea(event->position().toPoint())) QTreeWidget::mouseReleaseEvent(event);
  }
  void mouseDoubleClickEvent(QMouseEvent* event) override {
    if (!InBranchArea(event->position().toPoint())) QTreeWidget::mouseDoubleClickEvent(event);
  }

 private:
  // On a folder's row, but in its indentation rather than on its picture or name.
  bool InBranchArea(const QPoint& point) const {
    const QModelIndex index = indexAt(point);
    return index.isValid() && !visualRect(index).contains(point);
  }
};

}  // namespace

CPageFileChooser::CPageFileChooser(QWidget* parent)
    : CWizardPage(parent), m_pTextFont(std::make_unique<QFont>(PageTextFont())) {
  m_pTitle = new QLabel(tr("Programming the Zerviko"), this);
  m_pTitle->setObjectName(QStringLiteral("title"));
  m_pTitle->setGeometry(DluRect(37, 6, 355, 15));
  m_pTitle->setAlignment(Qt::AlignHCenter | Qt::AlignTop);

  m_pPrompt = new QLabel(this);
  m_pPrompt->setObjectName(QStringLiteral("prompt"));
  m_pPrompt->setGeometry(DluRect(37, 20, 355, 14));
  m_pPrompt->setAlignment(Qt::AlignHCenter | Qt::AlignTop);

  m_pDriveList = new QComboBox(this);
  m_pDriveList->setObjectName(QStringLiteral("driveList"));
  m_pDriveList->setIconSize(QSize(16, 16));
  m_pDriveList->setGeometry(DluX(6), DluY(33), DluX(114), m_pDriveList->sizeHint().height());
  m_pDriveList->setMaxVisibleItems(10);

  m_pFolderTree = new FolderTree(this);
  m_pFolderTree->setObjectName(QStringLiteral("folderTree"));
  m_pFolderTree->setGeometry(DluRect(125, 33, 146, 170));
  m_pFolderTree->setColumnCount(1);
  m_pFolderTree->header()->hide();
  m_pFolderTree->setRootIsDecorated(false);       // no lines and no expand buttons
  m_pFolderTree->setExpandsOnDoubleClick(false);  // the page's double click decides
  m_pFolderTree->setSelectionMode(QAbstractItemView::SingleSelection);
  m_pFolderTree->setIconSize(QSize(16, 16));

  m_pFileList = new CChoiceList(this);
  m_pFileList->setObjectName(QStringLiteral("fileList"));
  m_pFileList->setGeometry(DluRect(276, 33, 146, 170));

  m_pStatusFrame = new QFrame(this);
  m_pStatusFrame->setGeometry(DluRect(34, 209, 362, 36));
  m_pStatusFrame->setFrameStyle(QFrame::Box | QFrame::Plain);
  QPalette framePalette = m_pStatusFrame->palette();
  framePalette.setColor(QPalette::WindowText, Qt::black);
  m_pStatusFrame->setPalette(framePalette);

  m_pStatusText = new QLabel(this);
  m_pStatusText->setObjectName(QStringLiteral("statusText"));
  m_pStatusText->setGeometry(DluRect(41, 214, 348, 26));
  m_pStatusText->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  m_pStatusText->setWordWrap(true);
  m_pStatusText->setTextFormat(Qt::PlainText);  // a package's text, never markup

  for (QLabel* label : {m_pTitle, m_pPrompt, m_pStatusText}) {
    label->setFont(*m_pTextFont);
    ColourAsStatic(label);
  }
  m_pPrompt->setText(TableString(IDS_SELECT_FILE));

  m_drivePictures[zerviko::VOLUME_REMOVABLE] = PictureIcon(PICTURE_DRIVE_REMOVABLE);
  m_drivePictures[zerviko::VOLUME_OPTICAL] = PictureIcon(PICTURE_DRIVE_CDROM);
  m_drivePictures[zerviko::VOLUME_FIXED] = PictureIcon(PICTURE_DRIVE_FIXED);
  m_folderPictures[PICTURE_FOLDER_CLOSED_INDEX] = PictureIcon(PICTURE_FOLDER_CLOSED);
  m_folderPictures[PICTURE_FOLDER_OPEN_INDEX] = PictureIcon(PICTURE_FOLDER_OPEN);

  connect(m_pDriveList, &QComboBox::currentIndexChanged, this, [this] { OnSelchangeDrive(); });
  connect(m_pFolderTree, &QTreeWidget::itemExpanded, this,
          [this](QTreeWidgetItem* item) { OnItemexpandedFolder(true, item); });
  connect(m_pFolderTree, &QTreeWidget::itemCollapsed, this,
          [this](QTreeWidgetItem* item) { OnItemexpandedFolder(false, item); });
  connect(m_pFolderTree, &QTreeWidget::itemDoubleClicked, this, [this](QTreeWidgetItem* item) {
    OnDblclkFolder(item);
    // Then what the tree itself does on a double click: open or close a folder that
    // has subfolders, so one that has just received them opens at once.
    if (item != nullptr && item->childCount() > 0) {
      item->setExpanded(!item->isExpanded());
    }
  });
  connect(m_pFolderTree, &QTreeWidget::currentItemChanged, this,
          [this](QTreeWidgetItem* current) { OnSelchangedFolder(current); });
  connect(m_pFileList, &QListWidget::itemSelectionChanged, this, [this] { OnSelchangeFile(); });
}

CPageFileChooser::~CPageFileChooser() = default;

void CPageFileChooser::showEvent(QShowEvent* event) {
  CWizardPage::showEvent(event);
  // A spontaneous show is the whole window coming back (restored from the task bar),
  // not the wizard arriving at this page.
  if (!event->spontaneous()) {
    OnShowPage(true);
  }
}

void CPageFileChooser::hideEvent(QHideEvent* event) {
  CWizardPage::hideEvent(event);
  if (!event->spontaneous()) {
    OnShowPage(false);
  }
}

bool CPageFileChooser::OnInitDialog() {
  // The start folder is fixed once the wizard state is complete, and never changes.
  if (!m_bInitialised) {
    m_strStartFolder = State().m_strAppDir + QStringLiteral("Firmware Files");
    m_bInitialised = true;
  }
  return true;
}

void CPageFileChooser::OnShowPage(bool bShow) {
  if (!bShow) {
    return;
  }
  OnInitDialog();  // a host that never called it still gets its start folder
  const BusyCursor busy;
  m_pTitle->setText(ModelTitle(State().m_bAbcLayout));
  if (m_bRefillOnShow != 0) {
    FillDriveList();
  }
}

void CPageFileChooser::FillDriveList() {
  // The drive accepted before, so that a refused choice in the new list can still go
  // back to the drive the tree shows.
  const std::string prevMountPoint =
      m_nPrevDrive >= 0 && m_nPrevDrive < static_cast<int>(m_volumes.size())
          ? m_volumes[static_cast<std::size_t>(m_nPrevDrive)].mountPoint
          : std::string();

  m_volumes = m_pVolumeTable->List();
  int firstAvailable = -1;
  {
    const QSignalBlocker blocker(m_pDriveList);
    m_pDriveList->clear();
    m_nPrevDrive = -1;
    for (std::size_t i = 0; i < m_volumes.size(); ++i) {
      const zerviko::Volume& volume = m_volumes[i];
      m_pDriveList->addItem(m_drivePictures[volume.kind], DisplayPath(zerviko::VolumeName(volume)));
      m_pDriveList->setItemData(static_cast<int>(i), DisplayPath(volume.mountPoint),
                                Qt::ToolTipRole);
      if (volume.mountPoint == prevMountPoint) {
        m_nPrevDrive = static_cast<int>(i);
      }
      if (firstAvailable == -1 && zerviko::IsVolumeAvailable(volume.mountPoint)) {
        firstAvailable = static_cast<int>(i);
      }
    }
    m_pDriveList->setCurrentIndex(-1);
  }

  const int startDrive = zerviko::FindVolumeOf(m_volumes, LocalName(m_strStartFolder));
  if (startDrive != -1) {
    {
      const QSignalBlocker blocker(m_pDriveList);
      m_pDriveList->setCurrentIndex(startDrive);
    }
    OnSelchangeDrive();
    SelectStartFolder(m_volumes[static_cast<std::size_t>(startDrive)]);
  } else if (firstAvailable != -1) {
    {
      const QSignalBlocker blocker(m_pDriveList);
      m_pDriveList->setCurrentIndex(firstAvailable);
    }
    OnSelchangeDrive();
  }
}

void CPageFileChooser::OnSelchangeDrive() {
  const int index = m_pDriveList->currentIndex();
  if (index < 0 || index >= static_cast<int>(m_volumes.size())) {
    return;
  }
  const zerviko::Volume& volume = m_volumes[static_cast<std::size_t>(index)];
  if (!zerviko::IsVolumeAvailable(volume.mountPoint)) {
    ShowError(IDS_DRIVE_UNAVAILABLE);
    const QSignalBlocker blocker(m_pDriveList);
    m_pDriveList->setCurrentIndex(m_nPrevDrive);
    return;
  }
  m_nPrevDrive = index;

  QTreeWidgetItem* root = nullptr;
  {
    const QSignalBlocker blocker(m_pFolderTree);
    m_pFolderTree->clear();
    root = new QTreeWidgetItem(m_pFolderTree, QStringList(DisplayPath(volume.mountPoint)));
    SetFolderPicture(root, PICTURE_FOLDER_CLOSED_INDEX);
    FillSubfolders(root);
  }
  if (root->childCount() > 0) {
    root->setExpanded(true);  // the open-folder picture follows through OnItemexpandedFolder
  }
  {
    const QSignalBlocker blocker(m_pFolderTree);
    m_pFolderTree->setCurrentItem(root);
  }
  OnSelchangedFolder(root);
}

void CPageFileChooser::OnItemexpandedFolder(bool bExpanded, QTreeWidgetItem* item) {
  SetFolderPicture(item, bExpanded ? PICTURE_FOLDER_OPEN_INDEX : PICTURE_FOLDER_CLOSED_INDEX);
}

void CPageFileChooser::OnDblclkFolder(QTreeWidgetItem* item) {
  // Subfolders are read on demand, one level per double click; a folder that has them
  // already is left to the tree, which opens or closes it.
  if (item == nullptr || item->childCount() > 0) {
    return;
  }
  const int picture = item->data(0, ROLE_PICTURE).toInt();
  SetFolderPicture(item, picture == PICTURE_FOLDER_CLOSED_INDEX ? PICTURE_FOLDER_OPEN_INDEX
                                                                : PICTURE_FOLDER_CLOSED_INDEX);
  FillSubfolders(item);
}

void CPageFileChooser::OnSelchangedFolder(QTreeWidgetItem* item) {
  {
    const QSignalBlocker blocker(m_pFileList);
    m_pFileList->clear();
    if (item != nullptr) {
      // Matched without regard to letter case; folders whose names match are not
      // files, and hidden files are listed like any other.
      const QDir folder(GetItemPath(item));
      const QStringList names =
          folder.entryList(QStringList(ModelFileMask(State().m_bAbcLayout)),
                           QDir::Files | QDir::Hidden, QDir::Name | QDir::IgnoreCase);
      m_pFileList->addItems(names);
      if (m_pFileList->count() > 0) {
        m_pFileList->setCurrentRow(0);
      }
    }
  }
  OnSelchangeFile();
}

void CPageFileChooser::OnSelchangeFile() {
  const QString path = GetSelectedFilePath();
  if (path.isEmpty()) {
    SetStatusText(m_pStatusText, QString());
    return;
  }
  const BusyCursor busy;
  const int result = zerviko::ReadFirmwarePackage(LocalName(path), true, State().m_nLanguage);
  if (result == zerviko::PACKAGE_OK) {
    SetStatusText(m_pStatusText, DecodePackageText(zerviko::GetPackageRevisionText()));
    return;
  }
  ShowError(result == zerviko::PACKAGE_FILE_UNAVAILABLE ? IDS_FILE_UNAVAILABLE : IDS_FILE_UNUSABLE);
  SetStatusText(m_pStatusText, QString());
}

int CPageFileChooser::CheckSelectedFile() {
  const QString path = GetSelectedFilePath();
  if (path.isEmpty()) {
    ShowError(IDS_NO_FILE_SELECTED);
    return 0;
  }
  const int result = zerviko::ReadFirmwarePackage(LocalName(path), true, State().m_nLanguage);
  if (result == zerviko::PACKAGE_OK) {
    State().m_strPackagePath = path;
    // The file may have changed since it was selected: show what is accepted now.
    SetStatusText(m_pStatusText, DecodePackageText(zerviko::GetPackageRevisionText()));
    return 1;
  }
  ShowError(result == zerviko::PACKAGE_FILE_UNAVAILABLE ? IDS_FILE_UNAVAILABLE : IDS_FILE_UNUSABLE);
  SetStatusText(m_pStatusText, QString());
  return 0;
}

void CPageFileChooser::FillSubfolders(QTreeWidgetItem* item) {
  const QDir folder(GetItemPath(item));
  const QStringList names = folder.entryList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden,
                                             QDir::Name | QDir::IgnoreCase);
  for (const QString& name : names) {
    auto* child = new QTreeWidgetItem(item, QStringList(name));
    SetFolderPicture(child, PICTURE_FOLDER_CLOSED_INDEX);
  }
}

void CPageFileChooser::SelectStartFolder(const zerviko::Volume& volume) {
  // The walk starts at the start drive's mount point; when the tree does not show that
  // drive (it was refused), there is nothing to walk.
  QTreeWidgetItem* current = m_pFolderTree->topLevelItem(0);
  if (current == nullptr || current->text(0) != DisplayPath(volume.mountPoint)) {
    return;
  }
  m_pFolderTree->setCurrentItem(current);

  const std::vector<std::string> mountParts = zerviko::SplitPath(volume.mountPoint);
  const std::vector<std::string> startParts = zerviko::SplitPath(LocalName(m_strStartFolder));
  for (std::size_t i = mountParts.size(); i < startParts.size(); ++i) {
    const QString component = DisplayPath(startParts[i]);
    QTreeWidgetItem* match = nullptr;
    for (int k = 0; k < current->childCount() && match == nullptr; ++k) {
      if (current->child(k)->text(0).compare(component, Qt::CaseInsensitive) == 0) {
        match = current->child(k);
      }
    }
    // The start folder is not there (any more): stay in the deepest folder found.
    if (match == nullptr) {
      return;
    }
    for (QTreeWidgetItem* parent = match->parent(); parent != nullptr; parent = parent->parent()) {
      parent->setExpanded(true);
    }
    m_pFolderTree->setCurrentItem(match);
    m_pFolderTree->scrollToItem(match);
    OnDblclkFolder(match);
    current = match;
  }
}

QString CPageFileChooser::GetItemPath(const QTreeWidgetItem* item) const {
  QString path = item->text(0);
  for (const QTreeWidgetItem* parent = item->parent(); parent != nullptr;
       parent = parent->parent()) {
    path = JoinPath(parent->text(0), path);
  }
  return path;
}

QString CPageFileChooser::GetSelectedFilePath() const {
  const QList<QListWidgetItem*> selected = m_pFileList->selectedItems();
  const QTreeWidgetItem* folder = m_pFolderTree->currentItem();
  if (selected.isEmpty() || folder == nullptr) {
    return {};
  }
  return JoinPath(GetItemPath(folder), selected.first()->text());
}

QString CPageFileChooser::JoinPath(const QString& left, const QString& right) {
  const auto isSeparator = [](QChar c) {
    return c.unicode() < 0x80 && zerviko::IsPathSeparator(static_cast<char>(c.unicode()));
  };
  qsizetype end = left.size();
  while (end > 0 && isSeparator(left[end - 1])) {
    --end;
  }
  qsizetype start = 0;
  while (start < right.size() && isSeparator(right[start])) {
    ++start;
  }
  return left.left(end) + QLatin1Char(zerviko::PATH_SEPARATOR) + right.mid(start);
}

void CPageFileChooser::ShowError(int stringId) {
  const NormalCursor pointer;
  ShowMessageBox(this, TableString(stringId), TableString(IDS_CAPTION_ERROR),
                 MessageIcon::Exclamation);
}

void CPageFileChooser::SetFolderPicture(QTreeWidgetItem* item, int picture) {
  item->setData(0, ROLE_PICTURE, picture);
  item->setIcon(0, m_folderPictures[picture]);
}
