// The wizard's main dialog: page switching, Back and Next, what Next on the first
// page stores, the file page rebuilt or kept, Enter, Exit and Escape, the logo and
// the colours.
#include <gtest/gtest.h>

#include <QDir>
#include <QFontInfo>
#include <QLabel>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>
#include <memory>
#include <tuple>

#include "UiTestSupport.h"
#include "package/FirmwarePackage.h"
#include "ui/MainDlg.h"
#include "ui/Pictures.h"
#include "files/LinuxVolumes.h"

namespace {

using zerviko::ports::PortList;

const QString kInvalidArgument = QStringLiteral("An invalid argument was encountered.");

PortList TwoPorts() {
  PortList list;
  list.entries = {{"/dev/ttyS0", "/dev/ttyS0"},
                  {"/dev/ttyUSB0   Label printer (ZERVIKO)", "/dev/ttyUSB0"}};
  list.selected = 1;
  return list;
}

class MainDialog : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(m_dir.isValid());
    m_appDir = m_dir.path() + QLatin1Char('/');
    // The file page opens in "Firmware Files" beside the program.
    ASSERT_TRUE(QDir(m_appDir).mkpath(QStringLiteral("Firmware Files")));
    ASSERT_TRUE(uitest::WriteFile(m_appDir + QStringLiteral("Firmware Files/ZERVIKO_T1.avk"),
                                  uitest::MakePackage("Rev ABC 1.0", "Setup ABC", "\x01\x02")));
    ASSERT_TRUE(uitest::WriteFile(m_appDir + QStringLiteral("Firmware Files/ZERVIKO_T2.qvk"),
                                  uitest::MakePackage("Rev KBD 1.0", "Setup KBD", "\x01\x02")));
    // One fixed disk at the root, whatever this machine mounts.
    ASSERT_TRUE(uitest::WriteFile(m_appDir + QStringLiteral("mounts"), "/dev/vda1 / ext4 rw 0 0\n"));
  }

  void TearDown() override { zerviko::ClearPackage(); }

  std::unique_ptr<CMainDlg> Open(std::function<PortList()> ports = TwoPorts) {
    auto dialog = std::make_unique<CMainDlg>(nullptr, std::move(ports));
    dialog->m_strAppDir = m_appDir;
    dialog->m_pageFile.SetVolumeTable(
        zerviko::VolumeTable((m_appDir + QStringLiteral("mounts")).toStdString(),
                             (m_appDir + QStringLiteral("nosys")).toStdString()));
    dialog->show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(dialog.get()));
    return dialog;
  }

  static QListWidget* FileList(CMainDlg& dialog) {
    return dialog.m_pageFile.findChild<QListWidget*>(QStringLiteral("fileList"));
  }

  // Selects the file called name in the file page's list.
  static bool SelectFile(CMainDlg& dialog, const QString& name) {
    QListWidget* files = FileList(dialog);
    if (files == nullptr) return false;
    const QList<QListWidgetItem*> found = files->findItems(name, Qt::MatchFixedString);
    if (found.isEmpty()) return false;
    files->setCurrentItem(found.first());
    found.first()->setSelected(true);
    return true;
  }

  QTemporaryDir m_dir;
  QString m_appDir;
};

TEST_F(MainDialog, StartsOnTheFirstPageWithBackDisabled) {
  uitest::MessageRecorder boxes;
  auto dialog = Open();
  EXPECT_EQ(dialog->windowTitle(), QStringLiteral("Tarno ZERVIKO Firmware Loader"));
  EXPECT_EQ(dialog->size(), QSize(644, 457));
  EXPECT_EQ(dialog->m_nCurPage, 0);
  EXPECT_TRUE(dialog->m_pagePort.isVisible());
  EXPECT_FALSE(dialog->m_pageFile.isVisible());
  EXPECT_FALSE(dialog->m_pageProgram.isVisible());
  EXPECT_FALSE(dialog->m_btnBack.isEnabled());
  EXPECT_TRUE(dialog->m_btnNext.isEnabled());
  EXPECT_TRUE(dialog->m_btnExit.isEnabled());
  EXPECT_TRUE(dialog->m_btnNext.isDefault());
  EXPECT_EQ(dialog->m_bAbcLayout, 1);
  EXPECT_TRUE(dialog->m_pagePort.AbcButton()->isChecked());
  EXPECT_FALSE(dialog->m_pagePort.KeyboardButton()->isChecked());
  // Buttons as laid out in dialog units, sized to their pictures.
  EXPECT_EQ(dialog->m_btnBack.geometry(), QRect(383, 423, 75, 23));
  EXPECT_EQ(dialog->m_btnNext.geometry(), QRect(471, 423, 75, 23));
  EXPECT_EQ(dialog->m_btnExit.geometry(), QRect(558, 423, 75, 23));
  EXPECT_EQ(dialog->m_pagePort.geometry(), QRect(0, 0, 644, 408));
  // The port list: the pre-selected entry, in a fixed-pitch font.
  QListWidget* ports = dialog->m_pagePort.PortListBox();
  ASSERT_EQ(ports->count(), 2);
  EXPECT_EQ(ports->currentRow(), 1);
  EXPECT_TRUE(QFontInfo(ports->font()).fixedPitch());
  // Back on the first page does nothing.
  dialog->OnBack();
  EXPECT_EQ(dialog->m_nCurPage, 0);
  EXPECT_TRUE(boxes.boxes.empty());
}

TEST_F(MainDialog, NextStoresTheModelAndThePortsDevicePath) {
  uitest::MessageRecorder boxes;
  auto dialog = Open();
  QTest::mouseClick(dialog->m_pagePort.KeyboardButton(), Qt::LeftButton);
  EXPECT_TRUE(dialog->m_pagePort.KeyboardButton()->isChecked());
  EXPECT_FALSE(dialog->m_pagePort.AbcButton()->isChecked());
  // Nothing is stored before Next.
  EXPECT_EQ(dialog->m_bAbcLayout, 1);
  EXPECT_TRUE(dialog->m_strPort.isEmpty());

  QTest::mouseClick(&dialog->m_btnNext, Qt::LeftButton);
  EXPECT_EQ(dialog->m_nCurPage, 1);
  EXPECT_EQ(dialog->m_bAbcLayout, 0);
  // The device path, not the text shown with the printer's name.
  EXPECT_EQ(dialog->m_strPort, QStringLiteral("/dev/ttyUSB0"));
  EXPECT_TRUE(dialog->m_pageFile.isVisible());
  EXPECT_FALSE(dialog->m_pagePort.isVisible());
  EXPECT_TRUE(dialog->m_btnBack.isEnabled());
  EXPECT_TRUE(dialog->m_btnNext.isEnabled());
  // The Keyboard model's file page lists its own packages only.
  ASSERT_NE(FileList(*dialog), nullptr);
  EXPECT_EQ(FileList(*dialog)->findItems(QStringLiteral("ZERVIKO_T2.qvk"), Qt::MatchFixedString).size(), 1);
  EXPECT_TRUE(FileList(*dialog)->findItems(QStringLiteral("ZERVIKO_T1.avk"), Qt::MatchFixedString).isEmpty());

  // Back, the ABC model and the other port: the next Next stores them anew.
  QTest::mouseClick(&dialog->m_btnBack, Qt::LeftButton);
  EXPECT_EQ(dialog->m_nCurPage, 0);
  EXPECT_TRUE(dialog->m_pagePort.KeyboardButton()->isChecked());  // kept as left
  QTest::mouseClick(dialog->m_pagePort.AbcButton(), Qt::LeftButton);
  dialog->m_pagePort.PortListBox()->setCurrentRow(0);
  QTest::mouseClick(&dialog->m_btnNext, Qt::LeftButton);
  EXPECT_EQ(dialog->m_nCurPage, 1);
  EXPECT_EQ(dialog->m_bAbcLayout, 1);
  EXPECT_EQ(dialog->m_strPort, QStringLiteral("/dev/ttyS0"));
  EXPECT_EQ(FileList(*dialog)->findItems(QStringLiteral("ZERVIKO_T1.avk"), Qt::MatchFixedString).size(), 1);
  EXPECT_TRUE(FileList(*dialog)->findItems(QStringLiteral("ZERVIKO_T2.qvk"), Qt::MatchFixedString).isEmpty());
  EXPECT_TRUE(boxes.boxes.empty());
}

TEST_F(MainDialog, AnEmptyPortListRefusesNext) {
  uitest::MessageRecorder boxes;
  auto dialog = Open([] { return PortList{}; });
  dialog->m_strPort = QStringLiteral("/dev/previous");
  EXPECT_EQ(dialog->m_pagePort.PortListBox()->count(), 0);
  QTest::mouseClick(dialog->m_pagePort.KeyboardButton(), Qt::LeftButton);
  QTest::mouseClick(&dialog->m_btnNext, Qt::LeftButton);
  EXPECT_EQ(dialog->m_nCurPage, 0);
  EXPECT_TRUE(dialog->m_pagePort.isVisible());
  ASSERT_EQ(boxes.boxes.size(), 1u);
  EXPECT_EQ(boxes.boxes[0].text, kInvalidArgument);
  EXPECT_EQ(boxes.boxes[0].icon, MessageIcon::Stop);
  // The port keeps its value; the model was taken before the port was looked at.
  EXPECT_EQ(dialog->m_strPort, QStringLiteral("/dev/previous"));
  EXPECT_EQ(dialog->m_bAbcLayout, 0);
}

// A list loses its choice only to another entry: clicks below the entries, with or
// without Ctrl, and a Ctrl+click on the chosen entry leave it, and Next goes on.
TEST_F(MainDialog, ClicksBesideTheEntriesKeepEachListsChoice) {
  uitest::MessageRecorder boxes;
  auto dialog = Open();
  const auto clickAround = [](QListWidget* list) {
    QListWidgetItem* chosen = list->currentItem();
    ASSERT_NE(chosen, nullptr);
    const QPoint blank(list->viewport()->width() / 2, list->viewport()->height() - 3);
    ASSERT_EQ(list->itemAt(blank), nullptr);
    const std::tuple<const char*, QPoint, Qt::KeyboardModifiers> clicks[] = {
        {"ctrl+chosen", list->visualItemRect(chosen).center(), Qt::ControlModifier},
        {"blank", blank, {}},
        {"ctrl+blank", blank, Qt::ControlModifier}};
    for (const auto& [name, point, modifiers] : clicks) {
      SCOPED_TRACE(name);
      QTest::mouseClick(list->viewport(), Qt::LeftButton, modifiers, point);
      EXPECT_EQ(list->selectedItems(), QList<QListWidgetItem*>{chosen});
    }
  };
  QListWidget* ports = dialog->m_pagePort.PortListBox();
  EXPECT_FALSE(ports->verticalScrollBar()->isVisible());  // two ports fit
  clickAround(ports);
  QTest::mouseClick(&dialog->m_btnNext, Qt::LeftButton);
  ASSERT_EQ(dialog->m_nCurPage, 1);
  clickAround(FileList(*dialog));
  QTest::mouseClick(&dialog->m_btnNext, Qt::LeftButton);
  EXPECT_EQ(dialog->m_nCurPage, 2);
  EXPECT_TRUE(boxes.boxes.empty());

  // A port list longer than its box scrolls.
  PortList many;
  for (int i = 0; i < 12; ++i) many.entries.push_back({std::to_string(i), std::to_string(i)});
  auto crowded = Open([many] { return many; });
  EXPECT_TRUE(crowded->m_pagePort.PortListBox()->verticalScrollBar()->isVisible());
}

TEST_F(MainDialog, EnterOnAPageChangesNothing) {
  uitest::MessageRecorder boxes;
  auto dialog = Open();
  QListWidget* ports = dialog->m_pagePort.PortListBox();
  ports->setFocus();
  QTest::keyClick(ports, Qt::Key_Return);
  QTest::keyClick(ports, Qt::Key_Enter);
  QTest::keyClick(dialog->m_pagePort.KeyboardButton(), Qt::Key_Return);
  EXPECT_EQ(dialog->m_nCurPage, 0);
  EXPECT_TRUE(dialog->isVisible());
  EXPECT_TRUE(dialog->m_pagePort.AbcButton()->isChecked());
  EXPECT_EQ(ports->currentRow(), 1);
  EXPECT_TRUE(dialog->m_strPort.isEmpty());
  EXPECT_TRUE(boxes.boxes.empty());
}

TEST_F(MainDialog, TheFilePageIsRebuiltAfterNextAndKeptAfterBack) {
  uitest::MessageRecorder boxes;
  auto dialog = Open();
  QTest::mouseClick(&dialog->m_btnNext, Qt::LeftButton);
  ASSERT_EQ(dialog->m_nCurPage, 1);
  EXPECT_EQ(dialog->m_pageFile.m_bRefillOnShow, 1);

  // Next without a file: the file page says why and the wizard stays.
  FileList(*dialog)->clearSelection();
  FileList(*dialog)->setCurrentItem(nullptr);
  QTest::mouseClick(&dialog->m_btnNext, Qt::LeftButton);
  EXPECT_EQ(dialog->m_nCurPage, 1);
  ASSERT_EQ(boxes.boxes.size(), 1u);
  EXPECT_EQ(boxes.boxes[0].text, QStringLiteral("No file selected.\n\nPlease select a file."));
  boxes.boxes.clear();

  ASSERT_TRUE(SelectFile(*dialog, QStringLiteral("ZERVIKO_T1.avk")));
  QTest::mouseClick(&dialog->m_btnNext, Qt::LeftButton);
  ASSERT_EQ(dialog->m_nCurPage, 2);
  EXPECT_TRUE(boxes.boxes.empty());
  EXPECT_EQ(QDir::cleanPath(dialog->m_strPackagePath),
            QDir::cleanPath(m_appDir + QStringLiteral("Firmware Files/ZERVIKO_T1.avk")));
  EXPECT_TRUE(dialog->m_pageProgram.isVisible());
  EXPECT_FALSE(dialog->m_pageFile.isVisible());
  EXPECT_TRUE(dialog->m_btnBack.isEnabled());
  EXPECT_FALSE(dialog->m_btnNext.isEnabled());
  EXPECT_EQ(dialog->m_pageProgram.TitleLabel()->text(), QStringLiteral("Programming the ZERVIKO - ABC Layout"));
  EXPECT_EQ(dialog->m_pageProgram.RevisionLabel()->text(), QStringLiteral("Rev ABC 1.0"));
  EXPECT_EQ(dialog->m_pageProgram.DeviceSetupEdit()->toPlainText(), QStringLiteral("Setup ABC"));
  EXPECT_EQ(QString::fromStdString(dialog->m_pageProgram.Options().portName), QStringLiteral("/dev/ttyUSB0"));
  dialog->OnNext();  // Next on the last page does nothing
  EXPECT_EQ(dialog->m_nCurPage, 2);

  // Back from the programming page: the file page as the user left it.
  QTest::mouseClick(&dialog->m_btnBack, Qt::LeftButton);
  ASSERT_EQ(dialog->m_nCurPage, 1);
  EXPECT_EQ(dialog->m_pageFile.m_bRefillOnShow, 0);
  ASSERT_NE(FileList(*dialog)->currentItem(), nullptr);
  EXPECT_EQ(FileList(*dialog)->currentItem()->text(), QStringLiteral("ZERVIKO_T1.avk"));
  EXPECT_TRUE(FileList(*dialog)->currentItem()->isSelected());

  // Back to the first page, the Keyboard model, Next: rebuilt for the other model.
  QTest::mouseClick(&dialog->m_btnBack, Qt::LeftButton);
  QTest::mouseClick(dialog->m_pagePort.KeyboardButton(), Qt::LeftButton);
  QTest::mouseClick(&dialog->m_btnNext, Qt::LeftButton);
  ASSERT_EQ(dialog->m_nCurPage, 1);
  EXPECT_EQ(dialog->m_pageFile.m_bRefillOnShow, 1);
  EXPECT_TRUE(FileList(*dialog)->findItems(QStringLiteral("ZERVIKO_T1.avk"), Qt::MatchFixedString).isEmpty());
  ASSERT_TRUE(SelectFile(*dialog, QStringLiteral("ZERVIKO_T2.qvk")));
  QTest::mouseClick(&dialog->m_btnNext, Qt::LeftButton);
  ASSERT_EQ(dialog->m_nCurPage, 2);
  // The title and texts follow the model and the package checked last.
  EXPECT_EQ(dialog->m_pageProgram.TitleLabel()->text(),
            QStringLiteral("Programming the ZERVIKO - Keyboard Layout"));
  EXPECT_EQ(dialog->m_pageProgram.RevisionLabel()->text(), QStringLiteral("Rev KBD 1.0"));
  EXPECT_TRUE(boxes.boxes.empty());
}

TEST_F(MainDialog, ExitAcceptsEscapeAndTheCloseBoxReject) {
  {
    auto dialog = Open();
    QTest::mouseClick(&dialog->m_btnExit, Qt::LeftButton);
    EXPECT_FALSE(dialog->isVisible());
    EXPECT_EQ(dialog->result(), QDialog::Accepted);
  }
  {
    auto dialog = Open();
    QTest::keyClick(dialog.get(), Qt::Key_Escape);
    EXPECT_FALSE(dialog->isVisible());
    EXPECT_EQ(dialog->result(), QDialog::Rejected);
  }
  {
    auto dialog = Open();
    EXPECT_TRUE(dialog->close());
    EXPECT_EQ(dialog->result(), QDialog::Rejected);
  }
  {
    // While a run goes on the window refuses to close.
    auto dialog = Open();
    dialog->EnableWizardControls(false);
    EXPECT_FALSE(dialog->close());
    QTest::keyClick(dialog.get(), Qt::Key_Escape);
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_FALSE(dialog->m_btnBack.isEnabled());
    EXPECT_FALSE(dialog->m_btnExit.isEnabled());
    dialog->EnableWizardControls(true);
    EXPECT_TRUE(dialog->close());
  }
}

TEST_F(MainDialog, DrawsTheLogoBottomLeftAndTheColours) {
  auto dialog = Open();
  const QPixmap logo = LoadPicture(QString::fromLatin1(PICTURE_LOGO));
  ASSERT_FALSE(logo.isNull());
  EXPECT_EQ(dialog->LogoRect(), QRect(5, 457 - 31 - 10, 150, 31));
  const QImage window = dialog->grab().toImage().convertToFormat(QImage::Format_RGB32);
  const QImage expected = logo.toImage().convertToFormat(QImage::Format_RGB32);
  EXPECT_EQ(window.copy(dialog->LogoRect()), expected);
  // Grey around it.
  EXPECT_EQ(QColor(window.pixel(2, 440)), QColor(205, 205, 205));

  // The pages' static texts: navy on grey.
  auto* prompt = dialog->m_pagePort.findChild<QLabel*>(QStringLiteral("prompt"));
  ASSERT_NE(prompt, nullptr);
  EXPECT_EQ(prompt->text(), QStringLiteral("Select the model and port to program"));
  EXPECT_EQ(prompt->palette().color(QPalette::WindowText), QColor(0, 0, 128));
  const QImage text = prompt->grab().toImage();
  EXPECT_EQ(QColor(text.pixel(0, 0)), QColor(205, 205, 205));
  bool navy = false;
  for (int y = 0; y < text.height() && !navy; ++y) {
    for (int x = 0; x < text.width() && !navy; ++x) navy = QColor(text.pixel(x, y)) == QColor(0, 0, 128);
  }
  EXPECT_TRUE(navy);
  // The list keeps the system's colours.
  EXPECT_NE(dialog->m_pagePort.PortListBox()->palette().color(QPalette::Base), QColor(205, 205, 205));

  // The main dialog's own text: the default colour, straight on the grey.
  QLabel* info = dialog->InfoText();
  EXPECT_EQ(info->text().count(QLatin1Char('\n')), 2);
  EXPECT_NE(info->palette().color(QPalette::WindowText), QColor(0, 0, 128));
  EXPECT_EQ(QColor(window.pixel(info->geometry().right() - 1, info->geometry().bottom() - 1)),
            QColor(205, 205, 205));
}

}  // namespace
