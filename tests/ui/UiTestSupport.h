// What the wizard's tests share: a program folder on a built USB stick, beside a disc
// and a card reader whose card has gone, with packages written on the fly; the wizard
// opened on it; and a recorder that takes the message boxes instead of showing them.
#pragma once

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidget>
#include <memory>

#include "files/LinuxVolumes.h"
#include "package/FirmwarePackage.h"
#include "sim/PtyServer.h"
#include "ui/qt/MainDlg.h"
#include "ui/qt/MessageBox.h"
#include "ui/qt/MessageDialog.h"

inline void PrintTo(const QString& text, std::ostream* out) { *out << '"' << text.toStdString() << '"'; }

namespace uitest {

// The busy window on the screen as the user meets it (title, warning, fixed size, centred,
// buttons, whether it lets itself be closed), or nothing.
inline QString BusyWindow() {
  for (QWidget* w : QApplication::topLevelWidgets()) {
    if (qobject_cast<CMessageDialog*>(w) == nullptr || !w->isVisible()) continue;
    const QRect work = w->screen()->availableGeometry();
    return QStringLiteral("%1 %2 fixed=%3 centred=%4 buttons=%5 closes=%6")
        .arg(w->windowTitle(), w->findChild<QLabel*>()->text().left(12)).arg(w->minimumSize() == w->maximumSize())
        .arg((w->frameGeometry().center() - work.center()).manhattanLength() <= 2 && work.contains(w->frameGeometry()))
        .arg(w->findChildren<QAbstractButton*>().size() + (w->windowFlags() & Qt::WindowCloseButtonHint ? 1 : 0))
        .arg(w->close());
  }
  return {};
}

inline QByteArray TestImage() {  // eight blocks of 128 bytes; the second, only 0xFF, is skipped
  QByteArray image;
  for (int i = 0; i < 1024; ++i) image += i / 128 == 1 ? '\xFF' : static_cast<char>((i / 128 * 37 + i * 11) & 0xFF);
  return image;
}

// All four language sections; the English one carries the texts given.
inline QByteArray MakePackage(const QByteArray& revision, const QByteArray& setup = "Setup") {
  QByteArray text = "Test package\r\n";
  for (const QByteArray name : {"ENGLISH", "GERMAN", "PORTUGUESE", "SPANISH"}) {
    const bool english = name == "ENGLISH";
    text += "<LANG_" + name + ">\r\n<REVISION>\r\n" + (english ? revision : name + " revision") +
            "\r\n<END REVISION>\r\n<DEVICE SETUP>\r\n" + (english ? setup : name + " setup") +
            "\r\n<END DEVICE SETUP>\r\n<END LANG_" + name + ">\r\n";
  }
  return text + "<CODE>\r\n" + TestImage();
}

// A message box as asked for, whether the busy window and cursor were up, what the probe saw.
struct Box { QString text, caption; MessageIcon icon; QString busyWindow; bool busyCursor; QString screen; };

class Wizard : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(m_temp.isValid());
    m_previous = SetMessageBoxHandler([this](const MessageBoxRequest& r) {
      boxes.push_back({r.text, r.caption, r.icon, BusyWindow(), QApplication::overrideCursor() != nullptr,
                       probe ? probe() : QString()});
    });
    Write("mounts", "proc /proc proc rw 0 0\n/dev/sdb2 " + Local("a_gone").toUtf8() + " vfat rw 0 0\n/dev/sr0 " +
                        Local("disc").toUtf8() + " iso9660 ro 0 0\n/dev/sdb1 " + Local("stick").toUtf8() +
                        " vfat rw 0 0\nserver:/x " + Local("stick/Program/net").toUtf8() + " nfs rw 0 0\n");
    Write("sys/block/sdb/removable", "1\n");
    for (const QString folder : {"disc/Updates", "stick/Program/Empty", "stick/Program/Other/Deeper"}) {
      ASSERT_TRUE(QDir().mkpath(Local(folder)));
    }
    for (const QString folder : {"Archive/2019", "ZERVIKO_folder.avk", ".hidden"}) QDir().mkpath(Local(kFiles + folder));
    Write("disc/ZERVIKO_DISC.avk", MakePackage("Disc revision"));
    Write(kFiles + "ZERVIKO_1.AVK", MakePackage("Firmware 9.99 for testing", "Baud 115200\r\nKeep it on"));
    Write(kFiles + "zerviko_2.avk", MakePackage("Revision 2.0\r\nsecond line"));
    Write(kFiles + "Zerviko.Qvk", MakePackage("Keyboard revision"));
    Write(kFiles + "ZERVIKO_3.qvk", MakePackage("Keyboard 3"));
    for (const char* name : {"ZERVIKO.avk.txt", "OTHER.avk"}) Write(kFiles + name, MakePackage("not a package name"));
    // A FIFO would hang the reader: never listed.
    ASSERT_EQ(mkfifo(QFile::encodeName(Local(kFiles + "ZERVIKO_fifo.avk")).constData(), 0600), 0);
    Write("stick/Program/Other/ZERVIKO_broken.avk", "<LANG_ENGLISH>\r\nno code here\r\n");
    Write("stick/Program/Other/ZERVIKO_good.avk", MakePackage("Other revision"));
    for (const char* kernel : {"Genm2329.cde", "Gene2329.cde", "Genw2329.cde"}) {
      ASSERT_TRUE(QFile::copy(QStringLiteral(ZERVIKO_TEST_PROGRAM_DIR "/") + kernel, Local("stick/Program/") + kernel));
    }
  }

  void TearDown() override { dialog.reset(); server.reset(); SetMessageBoxHandler(m_previous); zerviko::ClearPackage(); }

  QString Local(const QString& relative) const { return m_temp.filePath(relative); }
  void Write(const QString& relative, const QByteArray& bytes) const {
    QFile file(Local(relative));
    ASSERT_TRUE(QDir().mkpath(QFileInfo(file).path()) && file.open(QFile::WriteOnly) && file.write(bytes) == bytes.size());
  }

  void StartPrinter(zerviko::sim::TargetConfig config = {}) {
    server = std::make_unique<zerviko::sim::PtyServer>(std::move(config));
    std::string error;
    ASSERT_TRUE(server->Start(&error)) << error;
  }

  // The wizard over the built folders; by default it offers two ports, the second (the
  // virtual printer, if one runs) pre-selected and shown with a printer's name.
  CMainDlg& Open(PortListSource ports = {}, const QString& appDir = "stick/Program/") {
    if (!ports) ports = [port = server ? server->DevicePath() : "/dev/zerviko-none"] {
      return zerviko::ports::PortList{{{"/dev/zerviko-a", "/dev/zerviko-a"}, {port + "   Label printer", port}}, 1};
    };
    dialog = std::make_unique<CMainDlg>(nullptr, std::move(ports));
    dialog->m_strAppDir = (appDir.startsWith('/') ? appDir : Local(appDir)).toStdString();
    dialog->m_pageFile.SetVolumeTable(zerviko::VolumeTable(Local("mounts").toStdString(), Local("sys").toStdString()));
    dialog->show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(dialog.get()));
    return *dialog;
  }
  void Next() { QTest::mouseClick(&dialog->m_btnNext, Qt::LeftButton); }
  void Back() { QTest::mouseClick(&dialog->m_btnBack, Qt::LeftButton); }

  template <typename T> T* Find(const char* name) const { return dialog->findChild<T*>(QLatin1String(name)); }
  QListWidget* Files() const { return Find<QListWidget>("fileList"); }
  QTreeWidget* Tree() const { return Find<QTreeWidget>("folderTree"); }
  QComboBox* Drives() const { return Find<QComboBox>("driveList"); }
  QLabel* StatusText() const { return Find<QLabel>("statusText"); }
  QStringList Listed() const {
    QStringList names;
    for (int i = 0; i < Files()->count(); ++i) names << Files()->item(i)->text();
    return names;
  }
  QString SelectedFile() const { const auto chosen = Files()->selectedItems(); return chosen.isEmpty() ? "" : chosen[0]->text(); }
  QString SelectedFolder() const {  // below the built root
    QStringList path;
    for (QTreeWidgetItem* item = Tree()->currentItem(); item != nullptr; item = item->parent()) path.prepend(item->text(0));
    return QDir(m_temp.path()).relativeFilePath(path.join('/'));
  }
  // A click (and a double click) on a folder, or dx pixels right of its left edge.
  void ClickFolder(QTreeWidgetItem* item, int dx = 0, bool twice = true) {
    const QRect rect = Tree()->visualItemRect(item);
    const QPoint point = dx == 0 ? rect.center() : QPoint(rect.left() + dx, rect.center().y());
    QTest::mouseClick(Tree()->viewport(), Qt::LeftButton, {}, point);
    if (twice) QTest::mouseDClick(Tree()->viewport(), Qt::LeftButton, {}, point);
  }
  void ClickFile(const QString& name) {
    const auto found = Files()->findItems(name, Qt::MatchExactly);
    ASSERT_EQ(found.size(), 1) << name.toStdString();
    QTest::mouseClick(Files()->viewport(), Qt::LeftButton, {}, Files()->visualItemRect(found.first()).center());
  }
  QStringList BoxTexts() const {
    QStringList texts;
    for (const Box& box : boxes) texts << box.text;
    return texts;
  }

  std::vector<Box> boxes;
  std::function<QString()> probe;
  std::unique_ptr<zerviko::sim::PtyServer> server;
  std::unique_ptr<CMainDlg> dialog;
  const QString kFiles = QStringLiteral("stick/Program/Firmware Files/");  // the start folder

 private:
  QTemporaryDir m_temp;
  MessageBoxHandler m_previous;
};

}  // namespace uitest
