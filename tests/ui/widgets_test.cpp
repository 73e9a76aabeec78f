// The wizard's building blocks: the drawn pictures, the bitmap buttons' choice of
// picture, the busy window, the status log's bytes and the string table.
#include <gtest/gtest.h>

#include <QCloseEvent>
#include <QGuiApplication>
#include <QImage>
#include <QResource>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>

#include "UiTestSupport.h"
#include "ui/BitmapButton.h"
#include "ui/MessageDialog.h"
#include "ui/Pictures.h"
#include "ui/StatusLog.h"
#include "ui/StringTable.h"

namespace {

QImage Rendered(QWidget& widget) {
  return widget.grab().toImage().convertToFormat(QImage::Format_RGB32);
}

QImage Picture(const char* name) {
  return LoadPicture(QString::fromLatin1(name)).toImage().convertToFormat(QImage::Format_RGB32);
}

TEST(Pictures, EveryPictureIsThereAtItsSize) {
  const struct {
    const char* name;
    QSize size;
  } expected[] = {
      {"BACKU", {75, 23}},     {"BACKD", {75, 23}},     {"BACKX", {75, 23}},
      {"NEXTU", {75, 23}},     {"NEXTD", {75, 23}},     {"NEXTX", {75, 23}},
      {"EXITU", {75, 23}},     {"EXITD", {75, 23}},     {"EXITX", {75, 23}},
      {"PROGRAMU", {112, 23}}, {"PROGRAMD", {112, 23}}, {"PROGRAMX", {112, 23}},
      {PICTURE_MODEL_ABC, {219, 202}}, {PICTURE_MODEL_KEYBOARD, {219, 202}},
      {PICTURE_LOGO, {150, 31}},
      {PICTURE_DRIVE_REMOVABLE, {16, 16}}, {PICTURE_DRIVE_CDROM, {16, 16}},
      {PICTURE_DRIVE_FIXED, {16, 16}},     {PICTURE_FOLDER_CLOSED, {16, 16}},
      {PICTURE_FOLDER_OPEN, {16, 16}},
  };
  for (const auto& picture : expected) {
    const QPixmap pixmap = LoadPicture(QString::fromLatin1(picture.name));
    ASSERT_FALSE(pixmap.isNull()) << picture.name;
    EXPECT_EQ(pixmap.size(), picture.size) << picture.name;
    EXPECT_EQ(PicturePath(QString::fromLatin1(picture.name)),
              QStringLiteral(":/pictures/%1.png").arg(QString::fromLatin1(picture.name)));
  }
  EXPECT_FALSE(LoadPicture(QString::fromLatin1(PICTURE_APP_ICON)).isNull());
  // The three states of a button differ, so the user sees a press and a disabled button.
  EXPECT_NE(Picture("BACKU"), Picture("BACKD"));
  EXPECT_NE(Picture("BACKU"), Picture("BACKX"));
  EXPECT_TRUE(LoadPicture(QStringLiteral("NOSUCHPICTURE")).isNull());
}

TEST(Pictures, ALanguagePacksPictureWinsOverTheProgramsOwn) {
  const QString bundle = QStringLiteral(ZERVIKO_TEST_OVERRIDE_BUNDLE);
  ASSERT_TRUE(QResource::registerResource(bundle, QStringLiteral("/lang")));
  EXPECT_EQ(PicturePath(QStringLiteral("EXITU")), QStringLiteral(":/lang/pictures/EXITU.png"));
  EXPECT_EQ(LoadPicture(QStringLiteral("EXITU")).size(), QSize(16, 16));
  // What the pack does not carry still comes from the program.
  EXPECT_EQ(LoadPicture(QStringLiteral("EXITD")).size(), QSize(75, 23));
  {
    QWidget host;
    CBitmapButton exit(&host);
    ASSERT_TRUE(exit.LoadBitmaps(QStringLiteral("EXIT")));
    EXPECT_EQ(exit.size(), QSize(16, 16));
  }
  ASSERT_TRUE(QResource::unregisterResource(bundle, QStringLiteral("/lang")));
  EXPECT_EQ(LoadPicture(QStringLiteral("EXITU")).size(), QSize(75, 23));
}

TEST(BitmapButton, TakesTheSizeOfItsNormalPictureKeepingItsCorner) {
  QWidget host;
  CBitmapButton button(&host);
  button.setGeometry(30, 40, 10, 10);
  ASSERT_TRUE(button.LoadBitmaps(QStringLiteral("PROGRAM")));
  EXPECT_EQ(button.geometry(), QRect(30, 40, 112, 23));
  EXPECT_FALSE(button.LoadBitmaps(QStringLiteral("NOSUCH")));
}

TEST(BitmapButton, ShowsThePictureOfItsState) {
  QWidget host;
  host.resize(200, 100);
  CBitmapButton button(&host);
  auto* other = new QPushButton(&host);
  other->move(0, 50);
  ASSERT_TRUE(button.LoadBitmaps(QStringLiteral("BACK")));
  host.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&host));

  EXPECT_EQ(button.CurrentPictureState(), QLatin1Char('U'));
  EXPECT_EQ(Rendered(button), Picture("BACKU"));

  // There is no F picture: a focused button looks normal.
  button.setFocus();
  QApplication::processEvents();
  ASSERT_TRUE(button.hasFocus());
  EXPECT_EQ(button.CurrentPictureState(), QLatin1Char('U'));
  EXPECT_EQ(Rendered(button), Picture("BACKU"));

  button.setDown(true);
  EXPECT_EQ(button.CurrentPictureState(), QLatin1Char('D'));
  EXPECT_EQ(Rendered(button), Picture("BACKD"));
  button.setDown(false);

  other->setFocus();
  button.setEnabled(false);
  EXPECT_EQ(button.CurrentPictureState(), QLatin1Char('X'));
  EXPECT_EQ(Rendered(button), Picture("BACKX"));
}

TEST(BusyWindow, StandsCentredWithTheWarningAndCannotBeClosed) {
  QWidget owner;
  owner.show();
  {
    CMessageDialog busy(&owner);
    EXPECT_TRUE(busy.isVisible());
    EXPECT_TRUE(uitest::BusyWindowVisible());
    EXPECT_EQ(busy.windowTitle(), QStringLiteral("Updating Firmware..."));
    EXPECT_EQ(busy.WarningText(),
              QStringLiteral("Do not press any printer keys or disconnect power while the unit "
                             "is being programmed as this will damage the printer!"));
    EXPECT_EQ(busy.size(), QSize(252, 86));
    EXPECT_FALSE(busy.windowFlags().testFlag(Qt::WindowCloseButtonHint));
    EXPECT_FALSE(busy.windowFlags().testFlag(Qt::WindowSystemMenuHint));
    EXPECT_TRUE(busy.findChildren<QAbstractButton*>().isEmpty());
    const QRect work = busy.screen()->availableGeometry();
    EXPECT_LE(std::abs(busy.frameGeometry().center().x() - work.center().x()), 1);
    EXPECT_LE(std::abs(busy.frameGeometry().center().y() - work.center().y()), 1);

    // Neither the close command nor Escape takes it away.
    EXPECT_FALSE(busy.close());
    QTest::keyClick(&busy, Qt::Key_Escape);
    QTest::keyClick(&busy, Qt::Key_Return);
    EXPECT_TRUE(busy.isVisible());
  }
  EXPECT_FALSE(uitest::BusyWindowVisible());
}

// Whole runs show the rest of the log; a line end inside a message goes out as CR LF.
TEST(StatusLog, TurnsEveryLineEndIntoCrLf) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  const QString path = dir.filePath(QStringLiteral("Status.log"));
  CStatusLog log;
  ASSERT_EQ(log.Open(path), CStatusLog::OpenResult::LOG_OPENED);
  log.WriteMessage(3, "a\nb");
  log.Flush();
  EXPECT_EQ(uitest::ReadFile(path), QByteArray("3: a\r\nb\r\n"));
}

TEST(StringTable, HoldsTheProgramsTexts) {
  EXPECT_EQ(TableString(IDS_SELECT_MODEL_AND_PORT), QStringLiteral("Select the model and port to program"));
  EXPECT_EQ(TableString(IDS_NO_FILE_SELECTED), QStringLiteral("No file selected.\n\nPlease select a file."));
  EXPECT_EQ(TableString(IDS_CAPTION_ERROR), QStringLiteral("Error"));
  EXPECT_EQ(TableString(IDS_FIRMWARE_LOADED), QStringLiteral("Firmware has been successfully loaded."));
  EXPECT_EQ(TableString(IDS_APP_TITLE), QStringLiteral("Tarno ZERVIKO Firmware Loader"));
  EXPECT_EQ(TableString(IDS_TITLE_ABC_LAYOUT), QStringLiteral("Programming the ZERVIKO - ABC Layout"));
  EXPECT_EQ(TableString(IDS_TITLE_KEYBOARD_LAYOUT),
            QStringLiteral("Programming the ZERVIKO - Keyboard Layout"));
  EXPECT_EQ(TableString(IDS_FILE_UNAVAILABLE),
            QStringLiteral("The selected file is unavailable.\n\nPlease select another file."));
  EXPECT_EQ(TableString(IDS_FILE_UNUSABLE),
            QStringLiteral("The selected file is unusable.\n\nPlease select another file."));
  EXPECT_EQ(TableString(IDS_TRANSFER_ERROR), QStringLiteral("File transfer error.\n\nProgramming terminated."));
  EXPECT_EQ(TableString(IDS_CAPTION_SUCCESS), QStringLiteral("Success"));
  for (int id = 132; id <= 145; ++id) EXPECT_FALSE(TableString(id).isEmpty()) << id;
  EXPECT_TRUE(TableString(131).isEmpty());
}

}  // namespace
