#include "ui/qt/PageFileChooser.h"

#include <QComboBox>
#include <QFont>
#include <QFontMetrics>
#include <QFrame>
#include <QHeaderView>
#include <QLabel>
#include <QListWidget>
#include <QMouseEvent>
#include <QSignalBlocker>
#include <QTextDocument>
#include <QTextLayout>
#include <QTreeWidget>
#include <algorithm>

#include "ui/qt/Pictures.h"
#include "ui/qt/StringTable.h"
#include "wizard/Wizard.h"

namespace {

// Shows a package's revision in the status text, which has room for two lines of its
// font. A longer revision keeps the whole lines that fit, the last of them ending in an
// ellipsis, and the whole text becomes the tooltip: no line is ever half drawn.
void ShowStatusText(QLabel* label, const QString& text) {
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

namespace wz = zerviko::wizard;

constexpr int ROLE_CORE_ITEM = Qt::UserRole;  // the core's item a tree item stands for

QIcon PictureIcon(const char* name) {
  const QPixmap picture = LoadPicture(QString::fromLatin1(name));
  return picture.isNull() ? QIcon() : QIcon(picture);
}


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
  m_drivePictures[zerviko::VOLUME_REMOVABLE] = PictureIcon(PICTURE_DRIVE_REMOVABLE);
  m_drivePictures[zerviko::VOLUME_OPTICAL] = PictureIcon(PICTURE_DRIVE_CDROM);
  m_drivePictures[zerviko::VOLUME_FIXED] = PictureIcon(PICTURE_DRIVE_FIXED);
  m_folderPictures[wz::PICTURE_FOLDER_CLOSED] = PictureIcon(PICTURE_FOLDER_CLOSED);
  m_folderPictures[wz::PICTURE_FOLDER_OPEN] = PictureIcon(PICTURE_FOLDER_OPEN);

  connect(m_pDriveList, &QComboBox::currentIndexChanged, this, [this](int index) { Core().OnSelchangeDrive(index); });
  connect(m_pFolderTree, &QTreeWidget::itemExpanded, this, [this](QTreeWidgetItem* item) {
    if (const wz::CFolderItem* folder = ItemOf(item)) Core().OnItemexpandedFolder(*folder, true);
  });
  connect(m_pFolderTree, &QTreeWidget::itemCollapsed, this, [this](QTreeWidgetItem* item) {
    if (const wz::CFolderItem* folder = ItemOf(item)) Core().OnItemexpandedFolder(*folder, false);
  });
  connect(m_pFolderTree, &QTreeWidget::itemDoubleClicked, this, [this](QTreeWidgetItem* item) {
    Core().OnDblclkFolder(ItemOf(item));
    // Then what the tree itself does on a double click: open or close a folder that
    // has subfolders, so one that has just received them opens at once.
    if (item != nullptr && item->childCount() > 0) {
      item->setExpanded(!item->isExpanded());
    }
  });
  connect(m_pFolderTree, &QTreeWidget::currentItemChanged, this,
          [this](QTreeWidgetItem* current) { Core().OnSelchangedFolder(ItemOf(current)); });
  connect(m_pFileList, &QListWidget::itemSelectionChanged, this,
          [this] { Core().OnSelchangeFile(m_pFileList->ChosenRow()); });
}

CPageFileChooser::~CPageFileChooser() = default;

wz::CFilePage& CPageFileChooser::Core() const { return Wizard().m_filePage; }

const wz::CFolderItem* CPageFileChooser::ItemOf(const QTreeWidgetItem* item) const {
  if (item == nullptr) return nullptr;
  return reinterpret_cast<const wz::CFolderItem*>(item->data(0, ROLE_CORE_ITEM).value<quintptr>());
}

void CPageFileChooser::ShowMessage(wz::StringId text, wz::StringId caption, wz::MessageIcon icon) {
  ShowPageMessage(text, caption, icon);
}

void CPageFileChooser::SetTitle(wz::StringId title) { m_pTitle->setText(TableString(title)); }

void CPageFileChooser::SetPrompt(wz::StringId prompt) { m_pPrompt->setText(TableString(prompt)); }

void CPageFileChooser::SetDrives(const std::vector<wz::DriveEntry>& drives) {
  const QSignalBlocker blocker(m_pDriveList);
  m_pDriveList->clear();
  for (const wz::DriveEntry& drive : drives) {
    m_pDriveList->addItem(m_drivePictures[drive.kind], FromLocal(drive.text));
    m_pDriveList->setItemData(m_pDriveList->count() - 1, FromLocal(drive.mountPoint), Qt::ToolTipRole);
  }
  m_pDriveList->setCurrentIndex(-1);
}

void CPageFileChooser::SelectDrive(int index) {
  const QSignalBlocker blocker(m_pDriveList);
  m_pDriveList->setCurrentIndex(index);
}

void CPageFileChooser::ClearTree() {
  const QSignalBlocker blocker(m_pFolderTree);
  m_pFolderTree->clear();
  m_treeItems.clear();
}

void CPageFileChooser::AddFolder(const wz::CFolderItem& item) {
  const QSignalBlocker blocker(m_pFolderTree);
  QTreeWidgetItem* parent = item.Parent() != nullptr ? m_treeItems.value(item.Parent()) : nullptr;
  auto* added = parent != nullptr ? new QTreeWidgetItem(parent, QStringList(FromLocal(item.Text())))
                                  : new QTreeWidgetItem(m_pFolderTree, QStringList(FromLocal(item.Text())));
  added->setData(0, ROLE_CORE_ITEM, QVariant::fromValue(reinterpret_cast<quintptr>(&item)));
  added->setIcon(0, m_folderPictures[item.Picture()]);
  m_treeItems.insert(&item, added);
}

void CPageFileChooser::UpdateFolderPicture(const wz::CFolderItem& item) {
  if (QTreeWidgetItem* shown = m_treeItems.value(&item)) shown->setIcon(0, m_folderPictures[item.Picture()]);
}

void CPageFileChooser::ExpandFolder(const wz::CFolderItem& item, bool bExpand) {
  const QSignalBlocker blocker(m_pFolderTree);
  if (QTreeWidgetItem* shown = m_treeItems.value(&item)) shown->setExpanded(bExpand);
}

void CPageFileChooser::SelectFolder(const wz::CFolderItem& item) {
  QTreeWidgetItem* shown = m_treeItems.value(&item);
  if (shown == nullptr) return;
  const QSignalBlocker blocker(m_pFolderTree);
  for (QTreeWidgetItem* parent = shown->parent(); parent != nullptr; parent = parent->parent()) {
    parent->setExpanded(true);
  }
  m_pFolderTree->setCurrentItem(shown);
  m_pFolderTree->scrollToItem(shown);
}

void CPageFileChooser::SetFiles(const std::vector<std::string>& names, int selected) {
  const QSignalBlocker blocker(m_pFileList);
  m_pFileList->clear();
  for (const std::string& name : names) m_pFileList->addItem(FromLocal(name));
  if (selected >= 0 && selected < m_pFileList->count()) m_pFileList->setCurrentRow(selected);
}

void CPageFileChooser::SetStatusText(const std::string& text) {
  ShowStatusText(m_pStatusText, DecodePackageText(text));
}
