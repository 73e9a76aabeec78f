// The firmware file chooser page over folder trees built per test, with its own mount
// table and sysfs: what it lists, what it selects and checks, what it tells the user,
// where it opens and what a second show keeps. Message boxes are recorded, never shown.
#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QListWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTextDocument>
#include <QTreeWidget>
#include <memory>
#include <vector>

#include "files/LinuxVolumes.h"
#include "package/FirmwarePackage.h"
#include "ui/MessageBox.h"
#include "ui/PageFileChooser.h"
#include "ui/Pictures.h"

namespace {

constexpr int kClosedFolder = 0;
constexpr int kOpenFolder = 1;

const QString kNoFile = QStringLiteral("No file selected.\n\nPlease select a file.");
const QString kDriveUnavailable =
    QStringLiteral("The selected drive is unavailable.\n\nPlease select another drive.");
const QString kFileUnavailable =
    QStringLiteral("The selected file is unavailable.\n\nPlease select another file.");
const QString kFileUnusable =
    QStringLiteral("The selected file is unusable.\n\nPlease select another file.");

// The window that hosts the page holds the wizard state, as the main dialog does.
class HostWindow : public QWidget, public WizardState {};

QByteArray Package(const QByteArray& englishRevision,
                   const QByteArray& germanRevision = "Deutsch") {
  QByteArray text;
  for (const auto& [language, revision] :
       {std::pair<QByteArray, QByteArray>{"ENGLISH", englishRevision},
        {"GERMAN", germanRevision}}) {
    text += "<LANG_" + language + ">\r\n<REVISION>\r\n" + revision +
            "\r\n<END REVISION>\r\n<DEVICE SETUP>\r\nSetup\r\n<END DEVICE SETUP>\r\n<END LANG_" +
            language + ">\r\n";
  }
  return text + "<CODE>\r\n\x01\x02\x03";
}

// The page needs an application object; the last test's end takes it down again,
// while the process is still whole.
class ApplicationEnvironment : public ::testing::Environment {
 public:
  ApplicationEnvironment() {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    m_application = std::make_unique<QApplication>(m_argc, m_argv);
  }
  void TearDown() override { m_application.reset(); }

 private:
  int m_argc = 1;
  char m_name[19] = "file_chooser_tests";
  char* m_argv[2] = {m_name, nullptr};
  std::unique_ptr<QApplication> m_application;
};

class FileChooserPage : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    if (QApplication::instance() == nullptr) {
      ::testing::AddGlobalTestEnvironment(new ApplicationEnvironment);
    }
  }

  void SetUp() override {
    ASSERT_TRUE(m_temp.isValid());
    m_previousHandler = SetMessageBoxHandler([this](const MessageBoxRequest& request) {
      m_messages.push_back(request);
      m_busyDuringMessage.push_back(QApplication::overrideCursor() != nullptr);
    });

    // Volumes: a USB stick holding the program, a disc, and a card reader whose
    // medium has gone (its mount point no longer exists).
    Dir("sys/block/sdb");
    Write("sys/block/sdb/removable", "1\n");
    Write("mounts",
          "proc /proc proc rw 0 0\n"
          "/dev/sdb2 " +
              Mounted("a_gone") +
              " vfat rw 0 0\n"
              "/dev/sr0 " +
              Mounted("disc") +
              " iso9660 ro 0 0\n"
              "/dev/sdb1 " +
              Mounted("stick") +
              " vfat rw 0 0\n"
              "server:/x " +
              Mounted("stick/Program/net") + " nfs rw 0 0\n");
    Dir("disc/Updates");
    Write("disc/ZERVIKO_DISC.avk", Package("Disc revision"));

    Dir("stick/Program/Firmware Files/Archive/2019");
    Dir("stick/Program/Firmware Files/ZERVIKO_folder.avk");
    Dir("stick/Program/Firmware Files/.hidden");
    Dir("stick/Program/Other/Deeper");
    Dir("stick/Program/Empty");
    Write("stick/Program/Firmware Files/ZERVIKO_1.AVK", Package("Revision 1.0"));
    Write("stick/Program/Firmware Files/zerviko_2.avk", Package("Revision 2.0\r\nsecond line"));
    Write("stick/Program/Firmware Files/Zerviko.Qvk", Package("Keyboard revision"));
    Write("stick/Program/Firmware Files/ZERVIKO_3.qvk", Package("Keyboard 3"));
    Write("stick/Program/Firmware Files/ZERVIKO.avk.txt", Package("not a package name"));
    Write("stick/Program/Firmware Files/OTHER.avk", Package("not a package name"));
    Write("stick/Program/Other/ZERVIKO_broken.avk", "<LANG_ENGLISH>\r\nno code here\r\n");
    Write("stick/Program/Other/ZERVIKO_good.avk", Package("Other revision"));

    m_host = std::make_unique<HostWindow>();
    m_host->resize(700, 500);
    m_host->m_strAppDir = Local("stick/Program/");
  }

  void TearDown() override {
    m_page = nullptr;
    m_host.reset();
    SetMessageBoxHandler(m_previousHandler);
    zerviko::ClearPackage();
  }

  // Creates the page the way the main dialog does: hidden, initialised, then shown.
  void OpenPage() {
    m_page = new CPageFileChooser(m_host.get());
    m_page->SetVolumeTable(
        zerviko::VolumeTable(Local("mounts").toStdString(), Local("sys").toStdString()));
    m_page->hide();
    m_page->OnInitDialog();
    m_host->show();
    ShowPage(1);
  }

  void ShowPage(int bRefill) {
    m_page->m_bRefillOnShow = bRefill;
    m_page->show();
  }

  QString Local(const QString& relative) const { return m_temp.filePath(relative); }
  void Dir(const QString& relative) const { ASSERT_TRUE(QDir().mkpath(Local(relative))); }
  void Write(const QString& relative, const QByteArray& bytes) const {
    QFile file(Local(relative));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
  }
  QByteArray Mounted(const QString& relative) const { return QFile::encodeName(Local(relative)); }

  QComboBox* Drives() const { return m_page->findChild<QComboBox*>(QStringLiteral("driveList")); }
  QTreeWidget* Tree() const {
    return m_page->findChild<QTreeWidget*>(QStringLiteral("folderTree"));
  }
  QListWidget* Files() const { return m_page->findChild<QListWidget*>(QStringLiteral("fileList")); }
  QString Status() const {
    return m_page->findChild<QLabel*>(QStringLiteral("statusText"))->text();
  }
  QString Title() const { return m_page->findChild<QLabel*>(QStringLiteral("title"))->text(); }

  QStringList ListedFiles() const {
    QStringList names;
    for (int i = 0; i < Files()->count(); ++i) names << Files()->item(i)->text();
    return names;
  }
  QString SelectedFile() const {
    const auto selected = Files()->selectedItems();
    return selected.isEmpty() ? QString() : selected.first()->text();
  }
  QString SelectedFolder() const {
    QStringList parts;
    for (QTreeWidgetItem* item = Tree()->currentItem(); item != nullptr; item = item->parent()) {
      parts.prepend(item->text(0));
    }
    return parts.join(QLatin1Char('|'));
  }
  QTreeWidgetItem* Child(QTreeWidgetItem* item, const QString& name) const {
    for (int i = 0; i < item->childCount(); ++i) {
      if (item->child(i)->text(0) == name) return item->child(i);
    }
    return nullptr;
  }
  QStringList Children(QTreeWidgetItem* item) const {
    QStringList names;
    for (int i = 0; i < item->childCount(); ++i) names << item->child(i)->text(0);
    return names;
  }
  // Which of the pictures an icon shows: the index in names, or -1.
  static int PictureOf(const QIcon& icon, std::initializer_list<const char*> names) {
    const QImage shown = icon.pixmap(16, 16).toImage().convertToFormat(QImage::Format_ARGB32);
    int index = 0;
    for (const char* name : names) {
      const QImage picture = LoadPicture(QString::fromLatin1(name)).toImage();
      if (!picture.isNull() && picture.convertToFormat(QImage::Format_ARGB32) == shown)
        return index;
      ++index;
    }
    return -1;
  }
  static int Picture(QTreeWidgetItem* item) {
    return PictureOf(item->icon(0), {PICTURE_FOLDER_CLOSED, PICTURE_FOLDER_OPEN});
  }
  int DrivePicture(int entry) const {
    return PictureOf(Drives()->itemIcon(entry),
                     {PICTURE_DRIVE_REMOVABLE, PICTURE_DRIVE_CDROM, PICTURE_DRIVE_FIXED});
  }

  void ClickFolder(QTreeWidgetItem* item) {
    Tree()->scrollToItem(item);
    QTest::mouseClick(Tree()->viewport(), Qt::LeftButton, {},
                      Tree()->visualItemRect(item).center());
  }
  void DoubleClickFolder(QTreeWidgetItem* item) {
    Tree()->scrollToItem(item);
    const QPoint point = Tree()->visualItemRect(item).center();
    QTest::mouseClick(Tree()->viewport(), Qt::LeftButton, {}, point);
    QTest::mouseDClick(Tree()->viewport(), Qt::LeftButton, {}, point);
  }
  void ClickFile(const QString& name) {
    const auto found = Files()->findItems(name, Qt::MatchExactly);
    ASSERT_EQ(found.size(), 1);
    Files()->scrollToItem(found.first());
    QTest::mouseClick(Files()->viewport(), Qt::LeftButton, {},
                      Files()->visualItemRect(found.first()).center());
  }
  QStringList MessageTexts() const {
    QStringList texts;
    for (const MessageBoxRequest& message : m_messages) texts << message.text;
    return texts;
  }

  QTemporaryDir m_temp;
  std::unique_ptr<HostWindow> m_host;
  CPageFileChooser* m_page = nullptr;  // owned by m_host
  std::vector<MessageBoxRequest> m_messages;
  std::vector<bool> m_busyDuringMessage;  // whether a busy cursor stood over each box
  MessageBoxHandler m_previousHandler;
};

TEST_F(FileChooserPage, OpensInTheStartFolderWithTheFirstPackageCheckedAndShown) {
  OpenPage();
  EXPECT_EQ(Drives()->currentText(), Local("stick"));
  EXPECT_EQ(SelectedFolder(), Local("stick") + "|Program|Firmware Files");
  EXPECT_EQ(ListedFiles(), (QStringList{"ZERVIKO_1.AVK", "zerviko_2.avk"}));
  EXPECT_EQ(SelectedFile(), "ZERVIKO_1.AVK");
  EXPECT_EQ(Status(), "Revision 1.0");
  EXPECT_EQ(Title(), "Programming the ZERVIKO - ABC Layout");
  EXPECT_TRUE(m_messages.empty());

  // The start folder's subfolders are loaded, hidden ones too, but not opened; the
  // folders on the way are open, their siblings not read yet.
  QTreeWidgetItem* start = Tree()->currentItem();
  EXPECT_EQ(Children(start), (QStringList{".hidden", "Archive", "ZERVIKO_folder.avk"}));
  EXPECT_FALSE(start->isExpanded());
  EXPECT_EQ(Picture(start), kOpenFolder);
  QTreeWidgetItem* program = start->parent();
  EXPECT_TRUE(program->isExpanded());
  EXPECT_EQ(Children(program), (QStringList{"Empty", "Firmware Files", "Other"}));
  EXPECT_EQ(Child(program, "Other")->childCount(), 0);
  EXPECT_EQ(Picture(Child(program, "Other")), kClosedFolder);
  EXPECT_EQ(Picture(Tree()->topLevelItem(0)), kOpenFolder);
}

TEST_F(FileChooserPage, ListsTheKeyboardModelsPackagesWhateverTheirLetterCase) {
  m_host->m_bAbcLayout = 0;
  OpenPage();
  EXPECT_EQ(ListedFiles(), (QStringList{"Zerviko.Qvk", "ZERVIKO_3.qvk"}));
  EXPECT_EQ(Status(), "Keyboard revision");
  EXPECT_EQ(Title(), "Programming the ZERVIKO - Keyboard Layout");
}

TEST_F(FileChooserPage, ShowsTheRevisionOfTheUsersLanguageForEachFileSelected) {
  m_host->m_nLanguage = 2;
  OpenPage();
  EXPECT_EQ(Status(), "Deutsch");
  m_host->m_nLanguage = 0;
  ClickFile("zerviko_2.avk");
  EXPECT_EQ(SelectedFile(), "zerviko_2.avk");
  EXPECT_EQ(Status(), "Revision 2.0\nsecond line");
  EXPECT_TRUE(m_messages.empty());
}

// The status text has room for two lines: a longer revision shows the whole lines
// that fit, ending in an ellipsis, and the whole text as the tooltip.
TEST_F(FileChooserPage, ALongRevisionShowsTheLinesThatFitAndTheRestAsTooltip) {
  const QString words = QStringLiteral("word ").repeated(60).trimmed();
  const QString manyLines = QStringLiteral("Revision 2.0\nsecond line\nthird line\n<i>fourth</i>");
  OpenPage();
  const QLabel* label = m_page->findChild<QLabel*>(QStringLiteral("statusText"));
  for (const QString& revision : {manyLines, words}) {
    QByteArray bytes = revision.toLatin1();
    bytes.replace("\n", "\r\n");
    Write("stick/Program/Firmware Files/zerviko_2.avk", Package(bytes));
    ClickFile("ZERVIKO_1.AVK");
    ClickFile("zerviko_2.avk");
    const QString shown = Status();
    SCOPED_TRACE(shown.toStdString());
    EXPECT_TRUE(shown.startsWith(revision.left(8)));
    EXPECT_TRUE(shown.endsWith(QChar(0x2026)));
    EXPECT_LE((shown.count(QLatin1Char('\n')) + 1) * label->fontMetrics().lineSpacing(),
              label->height());
    EXPECT_LE(label->heightForWidth(label->width()), label->height());  // nothing half drawn
    QTextDocument tooltip;
    tooltip.setHtml(label->toolTip());
    EXPECT_EQ(tooltip.toPlainText(), revision);
  }
  ClickFile("ZERVIKO_1.AVK");
  EXPECT_EQ(Status(), "Revision 1.0");
  EXPECT_EQ(label->toolTip(), QString());
  EXPECT_TRUE(m_messages.empty());
}

TEST_F(FileChooserPage, WalksToTheStartFolderSpeltInAnotherLetterCase) {
  m_host->m_strAppDir = Local("stick/PROGRAM/");
  QDir(Local("stick/Program")).rename("Firmware Files", "firmware files");
  OpenPage();
  EXPECT_EQ(SelectedFolder(), Local("stick") + "|Program|firmware files");
  EXPECT_EQ(SelectedFile(), "ZERVIKO_1.AVK");
  EXPECT_EQ(Status(), "Revision 1.0");
}

TEST_F(FileChooserPage, AMissingStartFolderLeavesTheDeepestFolderFoundSelected) {
  m_host->m_strAppDir = Local("stick/Program/Other/Gone/");
  OpenPage();
  EXPECT_EQ(SelectedFolder(), Local("stick") + "|Program|Other");
  EXPECT_EQ(ListedFiles(), (QStringList{"ZERVIKO_broken.avk", "ZERVIKO_good.avk"}));
  // Its first package is checked on the way, under the show's busy cursor; the message
  // box still gets the normal pointer, and the busy cursor is gone afterwards.
  EXPECT_EQ(MessageTexts(), QStringList{kFileUnusable});
  EXPECT_EQ(m_busyDuringMessage, std::vector<bool>{false});
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

TEST_F(FileChooserPage, TellsTheUserAboutUnusableAndVanishedFiles) {
  OpenPage();
  // Selecting a folder checks its first package at once.
  ClickFolder(Child(Tree()->currentItem()->parent(), "Other"));
  EXPECT_EQ(SelectedFile(), "ZERVIKO_broken.avk");
  ASSERT_EQ(m_messages.size(), 1U);
  EXPECT_EQ(m_messages[0].text, kFileUnusable);
  EXPECT_EQ(m_messages[0].caption, "Error");
  EXPECT_EQ(m_messages[0].icon, MessageIcon::Exclamation);
  EXPECT_EQ(m_messages[0].owner, m_page);
  EXPECT_EQ(Status(), "");
  EXPECT_EQ(m_busyDuringMessage, std::vector<bool>{false});

  ClickFile("ZERVIKO_good.avk");
  EXPECT_EQ(Status(), "Other revision");
  ASSERT_TRUE(QFile::remove(Local("stick/Program/Other/ZERVIKO_good.avk")));
  EXPECT_EQ(m_page->CheckSelectedFile(), 0);
  EXPECT_EQ(MessageTexts(), (QStringList{kFileUnusable, kFileUnavailable}));
  EXPECT_EQ(Status(), "");
  EXPECT_EQ(SelectedFile(), "ZERVIKO_good.avk");
  EXPECT_EQ(m_host->m_strPackagePath, "");
}

TEST_F(FileChooserPage, NextStoresTheCheckedPathOrRefusesWithTheReason) {
  OpenPage();
  ClickFile("zerviko_2.avk");
  EXPECT_EQ(m_page->CheckSelectedFile(), 1);
  const QString accepted = Local("stick/Program/Firmware Files/zerviko_2.avk");
  EXPECT_EQ(m_host->m_strPackagePath, accepted);
  EXPECT_EQ(zerviko::GetPackageRevisionText(), "Revision 2.0\r\nsecond line");

  // A file that has turned unusable since it was selected is refused on Next.
  Write("stick/Program/Firmware Files/ZERVIKO_1.AVK", "<LANG_ENGLISH>\r\n");
  ClickFile("ZERVIKO_1.AVK");
  EXPECT_EQ(m_page->CheckSelectedFile(), 0);
  EXPECT_EQ(MessageTexts(), (QStringList{kFileUnusable, kFileUnusable}));
  EXPECT_EQ(m_host->m_strPackagePath, accepted);

  // A folder without packages leaves nothing to go on with.
  m_messages.clear();
  ClickFolder(Child(Tree()->currentItem()->parent(), "Empty"));
  EXPECT_TRUE(ListedFiles().isEmpty());
  EXPECT_EQ(Status(), "");
  EXPECT_EQ(m_page->CheckSelectedFile(), 0);
  EXPECT_EQ(MessageTexts(), QStringList{kNoFile});
  EXPECT_EQ(m_host->m_strPackagePath, accepted);
}

TEST_F(FileChooserPage, AnUnavailableDriveIsRefusedAndThePreviousOneStays) {
  OpenPage();
  ASSERT_EQ(Drives()->count(), 3);
  EXPECT_EQ(Drives()->itemText(0), Local("a_gone"));
  EXPECT_EQ(Drives()->itemText(1), Local("disc"));
  EXPECT_EQ(DrivePicture(0), 0);  // removable, even without its medium
  EXPECT_EQ(DrivePicture(1), 1);  // optical
  EXPECT_EQ(DrivePicture(2), 0);
  const QString folderBefore = SelectedFolder();

  Drives()->setCurrentIndex(0);  // as the user's choice in the drop-down list
  EXPECT_EQ(MessageTexts(), QStringList{kDriveUnavailable});
  EXPECT_EQ(Drives()->currentIndex(), 2);
  EXPECT_EQ(SelectedFolder(), folderBefore);
  EXPECT_EQ(Status(), "Revision 1.0");

  // An available drive opens at its root with only its top folders read.
  Drives()->setCurrentIndex(1);
  EXPECT_EQ(m_messages.size(), 1U);
  EXPECT_EQ(SelectedFolder(), Local("disc"));
  EXPECT_EQ(Children(Tree()->topLevelItem(0)), QStringList{"Updates"});
  EXPECT_EQ(ListedFiles(), QStringList{"ZERVIKO_DISC.avk"});
  EXPECT_EQ(Status(), "Disc revision");
}

TEST_F(FileChooserPage, WithoutAStartDriveTheFirstAvailableDriveOpensAtItsRoot) {
  m_host->m_strAppDir = QStringLiteral("/no/such/program/");
  OpenPage();
  EXPECT_TRUE(m_messages.empty());  // the unavailable first entry is passed over quietly
  EXPECT_EQ(Drives()->currentText(), Local("disc"));
  EXPECT_EQ(SelectedFolder(), Local("disc"));
  EXPECT_EQ(Status(), "Disc revision");
}

TEST_F(FileChooserPage, LoadsSubfoldersOnADoubleClickAndThePicturesFollow) {
  OpenPage();
  // Where expand buttons would be, left of a folder, a click does nothing: neither
  // the open folder on the way nor the start folder with its subfolders loaded.
  QTreeWidgetItem* start = Tree()->currentItem();
  for (QTreeWidgetItem* folder : {start, start->parent()}) {
    SCOPED_TRACE(folder->text(0).toStdString());
    const bool expanded = folder->isExpanded();
    const QRect rect = Tree()->visualItemRect(folder);
    const QPoint branch(rect.left() - Tree()->indentation() / 2, rect.center().y());
    QTest::mouseClick(Tree()->viewport(), Qt::LeftButton, {}, branch);
    EXPECT_EQ(folder->isExpanded(), expanded);
    EXPECT_EQ(Tree()->currentItem(), start);
  }
  QTreeWidgetItem* other = Child(start->parent(), "Other");
  DoubleClickFolder(other);
  EXPECT_EQ(Children(other), QStringList{"Deeper"});
  EXPECT_TRUE(other->isExpanded());
  EXPECT_EQ(Picture(other), kOpenFolder);

  // A second double click closes it again; nothing is read twice.
  DoubleClickFolder(other);
  EXPECT_FALSE(other->isExpanded());
  EXPECT_EQ(Picture(other), kClosedFolder);
  EXPECT_EQ(Children(other), QStringList{"Deeper"});

  // A folder without subfolders only swaps its picture, each time.
  QTreeWidgetItem* empty = Child(other->parent(), "Empty");
  DoubleClickFolder(empty);
  EXPECT_EQ(Picture(empty), kOpenFolder);
  DoubleClickFolder(empty);
  EXPECT_EQ(Picture(empty), kClosedFolder);
  EXPECT_EQ(empty->childCount(), 0);
}

TEST_F(FileChooserPage, BackKeepsTheUsersChoiceAndNextRebuildsForTheModelChosenNow) {
  OpenPage();
  ClickFolder(Child(Tree()->currentItem()->parent(), "Other"));
  ClickFile("ZERVIKO_good.avk");
  m_messages.clear();

  // Back from the programming page: everything as the user left it.
  m_page->hide();
  m_host->m_bAbcLayout = 0;
  ShowPage(0);
  EXPECT_EQ(SelectedFolder(), Local("stick") + "|Program|Other");
  EXPECT_EQ(SelectedFile(), "ZERVIKO_good.avk");
  EXPECT_EQ(Status(), "Other revision");
  EXPECT_EQ(Title(), "Programming the ZERVIKO - Keyboard Layout");
  EXPECT_TRUE(m_messages.empty());

  // Next from the model page: the start folder again, with the new model's mask.
  m_page->hide();
  ShowPage(1);
  EXPECT_EQ(SelectedFolder(), Local("stick") + "|Program|Firmware Files");
  EXPECT_EQ(ListedFiles(), (QStringList{"Zerviko.Qvk", "ZERVIKO_3.qvk"}));
  EXPECT_EQ(Status(), "Keyboard revision");
  EXPECT_EQ(Child(Tree()->currentItem()->parent(), "Other")->childCount(), 0);
}

}  // namespace
