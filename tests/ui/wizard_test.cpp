// The wizard from the user's side: how it looks, the model and port page, Back, Next,
// Enter, Escape and Exit, and the file page over the built stick, disc and card reader.
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTextDocument>

#include "UiTestSupport.h"
#include "ui/qt/Pictures.h"

namespace {

using uitest::Wizard;
using zerviko::ports::PortList;

const QString kUnusable = "The selected file is unusable.\n\nPlease select another file.";
const QString kNoDrive = "The selected drive is unavailable.\n\nPlease select another drive.";

QImage Rgb(const QPixmap& pixmap) { return pixmap.toImage().convertToFormat(QImage::Format_RGB32); }
QImage Picture(const char* name) { return Rgb(LoadPicture(QLatin1String(name))); }
bool Shows(const QImage& image, QColor colour) {
  const auto* pixels = reinterpret_cast<const QRgb*>(image.constBits());
  return std::find(pixels, pixels + image.width() * image.height(), colour.rgb()) != pixels + image.width() * image.height();
}
QStringList Children(QTreeWidgetItem* item) {
  QStringList names;
  for (int i = 0; i < item->childCount(); ++i) names << item->child(i)->text(0);
  return names;
}
QTreeWidgetItem* Child(QTreeWidgetItem* item, const QString& name) { return item->child(Children(item).indexOf(name)); }
int FolderPicture(QTreeWidgetItem* item) {  // 1 open, 0 closed
  const QImage shown = Rgb(item->icon(0).pixmap(16, 16));
  return shown == Picture(PICTURE_FOLDER_OPEN) ? 1 : shown == Picture(PICTURE_FOLDER_CLOSED) ? 0 : -1;
}

// Controls stand apart, but for the pixels dialog units round to; only a frame holds one.
void ExpectNoOverlap(QWidget* parent) {
  const auto children = parent->findChildren<QWidget*>(Qt::FindDirectChildrenOnly);
  const auto holds = [](QWidget* a, QWidget* b) {
    return a->metaObject() == &QFrame::staticMetaObject && a->geometry().contains(b->geometry());
  };
  for (QWidget* a : children) {
    for (QWidget* b : children) {
      const QRect common = a->geometry() & b->geometry();
      EXPECT_TRUE(a == b || !a->isVisibleTo(parent) || !b->isVisibleTo(parent) || common.width() <= 4 ||
                  common.height() <= 4 || holds(a, b) || holds(b, a))
          << a->objectName().toStdString() << " overlaps " << b->objectName().toStdString();
    }
  }
}

TEST_F(Wizard, LooksAsDrawn) {
  CMainDlg& d = Open();
  EXPECT_EQ(d.windowTitle() + " " + QGuiApplication::desktopFileName(),  // the desktop entry it is matched to
            "Tarno ZERVIKO Firmware Loader zerviko-loader");
  EXPECT_EQ(d.minimumSize(), d.maximumSize());
  for (QWidget* w : std::initializer_list<QWidget*>{&d, &d.m_pagePort, &d.m_pageFile, &d.m_pageProgram}) ExpectNoOverlap(w);
  EXPECT_TRUE(QFontInfo(d.m_pagePort.PortListBox()->font()).fixedPitch());  // the padded names form a column

  // Buttons show their pictures (a focused one without an F picture the normal one, Back
  // off on the first page); the logo 5 pixels from the left, 10 from the bottom.
  d.m_btnNext.setFocus();
  ASSERT_TRUE(d.m_btnNext.hasFocus());
  const QImage window = Rgb(d.grab());
  const QSize logo = LoadPicture(PICTURE_LOGO).size();
  for (const auto& [name, rect] : {std::pair{"NEXTU", d.m_btnNext.geometry()}, {"BACKX", d.m_btnBack.geometry()},
                                   {"EXITU", d.m_btnExit.geometry()},
                                   {PICTURE_LOGO, QRect(QPoint(5, d.height() - logo.height() - 10), logo)}}) {
    EXPECT_EQ(window.copy(rect), Picture(name)) << name;
  }
  d.m_btnExit.setDown(true);
  EXPECT_EQ(Rgb(d.m_btnExit.grab()), Picture("EXITD"));

  // Navy texts on the pages' grey; lists keep the system's colours, the main dialog's
  // own text the default colour.
  const QColor grey(205, 205, 205), navy(0, 0, 128);
  EXPECT_EQ(window.pixelColor(2, d.height() - 2), grey);
  const QImage prompt = Rgb(Find<QLabel>("prompt")->grab());
  EXPECT_TRUE(Shows(prompt, navy) && prompt.pixelColor(0, 0) == grey);
  EXPECT_FALSE(Shows(Rgb(Find<QLabel>("info")->grab()), navy));
  EXPECT_NE(d.m_pagePort.PortListBox()->palette().color(QPalette::Base), grey);
}

// The model and the port are taken on Next (Enter on a page changes nothing) and the
// pages after it follow them; Back keeps the file page as the user left it, Next from
// the first page rebuilds it.
TEST_F(Wizard, NextTakesTheChoicesAndThePagesFollowThem) {
  CMainDlg& d = Open();
  const auto where = [&] {
    return QStringLiteral("page=%1 back=%2 next=%3 abc=%4 port=%5 title=%6 files=%7 selected=%8 status=%9")
        .arg(d.m_nCurPage).arg(d.m_btnBack.isEnabled()).arg(d.m_btnNext.isEnabled()).arg(d.m_bAbcLayout)
        .arg(QString::fromStdString(d.m_strPort), Find<QLabel>("title")->text(), Listed().join(','), SelectedFile(), StatusText()->text());
  };
  const QString start = where();
  EXPECT_TRUE(start.startsWith("page=0 back=0 next=1 abc=1 port= ")) << start.toStdString();
  d.OnBack();
  QTest::mouseClick(d.m_pagePort.KeyboardButton(), Qt::LeftButton);
  for (const Qt::Key key : {Qt::Key_Return, Qt::Key_Enter}) QTest::keyClick(d.m_pagePort.PortListBox(), key);
  QTest::keyClick(d.m_pagePort.KeyboardButton(), Qt::Key_Return);
  EXPECT_EQ(where(), start);
  Next();
  const QString keyboard = "page=1 back=1 next=1 abc=0 port=/dev/zerviko-none title=Programming the ZERVIKO - "
                           "Keyboard Layout files=Zerviko.Qvk,ZERVIKO_3.qvk selected=";
  EXPECT_EQ(where(), keyboard + "Zerviko.Qvk status=Keyboard revision");
  ClickFile("ZERVIKO_3.qvk");
  Next();
  EXPECT_EQ(d.m_pageProgram.TitleLabel()->text() + " " + d.m_pageProgram.RevisionLabel()->text(),
            "Programming the ZERVIKO - Keyboard Layout Keyboard 3");
  EXPECT_TRUE(d.m_nCurPage == 2 && !d.m_btnNext.isEnabled());
  d.OnNext();
  Back();
  EXPECT_EQ(where(), keyboard + "ZERVIKO_3.qvk status=Keyboard 3");
  Back();
  EXPECT_TRUE(d.m_pagePort.KeyboardButton()->isChecked() && !d.m_pagePort.AbcButton()->isChecked());
  QTest::mouseClick(d.m_pagePort.AbcButton(), Qt::LeftButton);
  d.m_pagePort.PortListBox()->setCurrentRow(0);
  Next();
  EXPECT_EQ(where(), "page=1 back=1 next=1 abc=1 port=/dev/zerviko-a title=Programming the ZERVIKO - ABC Layout "
                     "files=ZERVIKO_1.AVK,zerviko_2.avk selected=ZERVIKO_1.AVK status=Firmware 9.99 for testing");
  Next();
  EXPECT_EQ(d.m_pageProgram.TitleLabel()->text() + " " + d.m_pageProgram.DeviceSetupEdit()->toPlainText() + " " +
                d.m_pageProgram.Options().portName.c_str(),  // the port taken anew on each show
            "Programming the ZERVIKO - ABC Layout Baud 115200\nKeep it on /dev/zerviko-a");
  EXPECT_EQ(QDir::cleanPath(QString::fromStdString(d.m_strPackagePath)), Local(kFiles + "ZERVIKO_1.AVK"));
  EXPECT_TRUE(boxes.empty());
}

// A list loses its choice only to another entry: clicks below the entries, with or
// without Ctrl, and a Ctrl+click on the chosen entry leave it, and Next goes on. The
// port list scrolls only when its ports overflow it; an empty one refuses Next.
TEST_F(Wizard, EachListKeepsItsChoice) {
  CMainDlg& d = Open();
  EXPECT_FALSE(d.m_pagePort.PortListBox()->verticalScrollBar()->isVisible());
  for (QListWidget* list : {d.m_pagePort.PortListBox(), Files()}) {
    QListWidgetItem* chosen = list->currentItem();
    const QPoint blank(list->viewport()->width() / 2, list->viewport()->height() - 3);
    ASSERT_TRUE(chosen != nullptr && list->itemAt(blank) == nullptr);
    for (const auto& [point, modifiers] : {std::pair{list->visualItemRect(chosen).center(), Qt::ControlModifier},
                                           {blank, Qt::NoModifier}, {blank, Qt::ControlModifier}}) {
      QTest::mouseClick(list->viewport(), Qt::LeftButton, modifiers, point);
      EXPECT_EQ(list->selectedItems(), QList<QListWidgetItem*>{chosen}) << point.y() << " " << modifiers;
    }
    Next();
  }
  EXPECT_TRUE(d.m_nCurPage == 2 && boxes.empty());
  PortList many{{}, 0};
  for (int i = 0; i < 12; ++i) many.entries.push_back({std::to_string(i), std::to_string(i)});
  EXPECT_TRUE(Open([many] { return many; }).m_pagePort.PortListBox()->verticalScrollBar()->isVisible());

  CMainDlg& empty = Open([] { return PortList{}; });
  empty.m_strPort = "/dev/previous";
  QTest::mouseClick(empty.m_pagePort.KeyboardButton(), Qt::LeftButton);
  Next();
  ASSERT_EQ(BoxTexts(), QStringList{"An invalid argument was encountered."});
  EXPECT_TRUE(boxes[0].icon == MessageIcon::Stop && boxes[0].caption == "Tarno ZERVIKO Firmware Loader");
  // The model was taken before the port was looked at.
  EXPECT_TRUE(empty.m_nCurPage == 0 && empty.m_strPort == "/dev/previous" && empty.m_bAbcLayout == 0);
}

// Exit, Escape (on a page too) and the close box end the wizard.
TEST_F(Wizard, ExitEscapeAndTheCloseBoxEndTheWizard) {
  for (const auto& [end, result] : std::initializer_list<std::pair<std::function<void(CMainDlg&)>, int>>{
           {[](CMainDlg& w) { QTest::mouseClick(&w.m_btnExit, Qt::LeftButton); }, QDialog::Accepted},
           {[](CMainDlg& w) { QTest::keyClick(w.m_pagePort.PortListBox(), Qt::Key_Escape); }, QDialog::Rejected},
           {[](CMainDlg& w) { w.close(); }, QDialog::Rejected}}) {
    end(Open());
    EXPECT_TRUE(!dialog->isVisible() && dialog->result() == result) << result;
  }
}

// The file page opens in "Firmware Files" beside the program, its subfolders read, the
// folders on the way open. Folders open by a double click, which reads them once; the
// strip where expand buttons would be takes no click. A drive without its medium is
// refused and the drive shown stays; another opens at its root.
TEST_F(Wizard, TheDrivesAndTheFolderTree) {
  Open();
  Next();
  EXPECT_EQ(SelectedFolder(), "stick/Program/Firmware Files");
  QTreeWidgetItem* start = Tree()->currentItem();
  QTreeWidgetItem* other = Child(start->parent(), "Other");
  QTreeWidgetItem* empty = Child(start->parent(), "Empty");
  EXPECT_EQ(Children(start), (QStringList{".hidden", "Archive", "ZERVIKO_folder.avk"}));
  EXPECT_EQ(Children(start->parent()), (QStringList{"Empty", "Firmware Files", "Other"}));
  EXPECT_TRUE(start->parent()->isExpanded() && !start->isExpanded() && other->childCount() == 0);
  EXPECT_EQ(FolderPicture(start) + FolderPicture(Tree()->topLevelItem(0)) + FolderPicture(other), 2);
  EXPECT_EQ(Tree()->visualItemRect(Tree()->topLevelItem(0)).left(), 0);  // no expand button; names shown whole:
  EXPECT_GT(Tree()->visualRect(Tree()->indexFromItem(start)).width(), Tree()->fontMetrics().horizontalAdvance("Firmware Files") + 16);
  for (QTreeWidgetItem* folder : {start, start->parent()}) {
    const bool expanded = folder->isExpanded();
    ClickFolder(folder, -Tree()->indentation() / 2);
    EXPECT_TRUE(folder->isExpanded() == expanded && Tree()->currentItem() == start) << folder->text(0).toStdString();
  }
  for (const bool open : {true, false}) {
    ClickFolder(other);
    ClickFolder(empty);
    EXPECT_EQ(Children(other), QStringList{"Deeper"});
    EXPECT_TRUE(other->isExpanded() == open && empty->childCount() == 0);
    EXPECT_EQ(FolderPicture(other) + FolderPicture(empty), open ? 2 : 0);
  }
  const char* pictures[] = {PICTURE_DRIVE_REMOVABLE, PICTURE_DRIVE_CDROM, PICTURE_DRIVE_REMOVABLE};
  for (int i = 0; i < 3; ++i) EXPECT_EQ(Rgb(Drives()->itemIcon(i).pixmap(16, 16)), Picture(pictures[i])) << i;
  Drives()->setCurrentIndex(0);
  EXPECT_EQ(BoxTexts().last(), kNoDrive);
  EXPECT_EQ(Drives()->currentText() + " " + SelectedFolder(), Local("stick") + " stick/Program/Empty");
  Drives()->setCurrentIndex(1);
  EXPECT_EQ(SelectedFolder() + " " + Children(Tree()->topLevelItem(0)).join(',') + " " + Listed().join(',') + " " +
                StatusText()->text(),
            "disc Updates ZERVIKO_DISC.avk Disc revision");
}

// Where the page opens (again after the user took the disc, Back and Next) for a program
// folder in another letter case; a start folder that is gone (the deepest one found, its
// broken package told with the normal pointer); one on no listed drive (the first
// available drive); one on the card reader without a card, refused each time, where the
// page stays on the disc and walks no further from its root; beside a folder whose name
// differs only in case, the one of the exact name.
TEST_F(Wizard, TheStartFolderWalk) {
  for (const QString folder : {"stick/ZL", "stick/zl/Firmware Files"}) ASSERT_TRUE(QDir().mkpath(Local(folder)));
  for (const auto& [appDir, first, folder, messages] :
       {std::tuple{"stick/PROGRAM/", "stick/Program/Firmware Files", "stick/Program/Firmware Files", QStringList{}},
        {"stick/zl/", "stick/zl/Firmware Files", "stick/zl/Firmware Files", {}},
        {"stick/Program/Other/Gone/", "stick/Program/Other", "stick/Program/Other", {kUnusable, kUnusable}},
        {"/no/such/program/", "disc", "disc", {}}, {"a_gone/Updates/", "", "disc", {kNoDrive, kNoDrive}}}) {
    boxes.clear();
    Open({}, appDir);
    Next();
    EXPECT_EQ(SelectedFolder(), first) << appDir;
    Drives()->setCurrentIndex(1);
    Back();
    Next();
    EXPECT_EQ(SelectedFolder(), folder) << appDir;
    EXPECT_EQ(Drives()->currentText(), Local(QString(folder).section('/', 0, 0)));
    EXPECT_EQ(BoxTexts(), messages);
    for (const auto& box : boxes) EXPECT_FALSE(box.busyCursor);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
  }
}

// Each selected file is checked at once, its revision shown in the user's language: the
// whole lines that fit, with an ellipsis and the whole text as tooltip. Next checks it
// again; an unusable or vanished one is told (the normal pointer over the box), its
// revision cleared, and the wizard stays; so it does in a folder without packages.
TEST_F(Wizard, TheFilePageChecksEachFileAndTellsWhyItRefuses) {
  CMainDlg& d = Open();
  d.m_nLanguage = 2;
  Next();
  EXPECT_EQ(StatusText()->text(), "GERMAN revision");
  d.m_nLanguage = 0;
  QLabel* label = StatusText();
  for (const QString& revision : {QStringLiteral("Revision 2.0\nsecond line\nthird line\n<i>fourth</i>"),
                                  QStringLiteral("word ").repeated(60).trimmed()}) {
    Write(kFiles + "zerviko_2.avk", uitest::MakePackage(revision.toLatin1().replace("\n", "\r\n")));
    ClickFile("zerviko_2.avk");
    const QString shown = label->text();
    EXPECT_TRUE(shown.startsWith(revision.left(8)) && shown.endsWith(QChar(0x2026))) << shown.toStdString();
    EXPECT_LE((shown.count('\n') + 1) * label->fontMetrics().lineSpacing(), label->height());
    EXPECT_LE(label->heightForWidth(label->width()), label->height());  // nothing half drawn
    QTextDocument tooltip;
    tooltip.setHtml(label->toolTip());
    EXPECT_EQ(tooltip.toPlainText(), revision);
    ClickFile("ZERVIKO_1.AVK");
    EXPECT_EQ(label->text() + label->toolTip(), "Firmware 9.99 for testing");
  }

  ClickFolder(Child(Tree()->currentItem()->parent(), "Other"), 0, false);
  EXPECT_EQ(SelectedFile() + label->text(), "ZERVIKO_broken.avk");
  ASSERT_EQ(BoxTexts(), QStringList{kUnusable});
  EXPECT_TRUE(boxes[0].caption == "Error" && boxes[0].icon == MessageIcon::Exclamation && !boxes[0].busyCursor);
  ClickFile("ZERVIKO_good.avk");
  EXPECT_EQ(label->text(), "Other revision");
  ASSERT_TRUE(QFile::remove(Local("stick/Program/Other/ZERVIKO_good.avk")));
  Next();
  Write("stick/Program/Other/ZERVIKO_good.avk", "<LANG_ENGLISH>\r\n");
  Next();
  EXPECT_EQ(BoxTexts(), (QStringList{kUnusable, "The selected file is unavailable.\n\nPlease select another file.", kUnusable}));
  EXPECT_EQ(label->text(), "");
  ClickFolder(Child(Tree()->currentItem()->parent(), "Empty"), 0, false);
  Next();
  EXPECT_EQ(BoxTexts().last(), "No file selected.\n\nPlease select a file.");
  EXPECT_TRUE(d.m_nCurPage == 1 && d.m_strPackagePath.empty());
}

}  // namespace
