// Whole programming runs from the wizard's third page: the real termios port against
// the virtual printer over a pseudo-terminal, with the stand-in kernel files, the
// busy window, the message boxes in their order and the status log to the byte.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTextDocument>
#include <QTimer>
#include <chrono>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "UiTestSupport.h"
#include "engine/ProgramTarget.h"
#include "package/FirmwarePackage.h"
#include "sim/PtyServer.h"
#include "ui/BitmapButton.h"
#include "ui/MainDlg.h"

namespace {

using zerviko::sim::Fault;
using zerviko::sim::FaultKind;
using zerviko::sim::PtyServer;
using zerviko::sim::TargetConfig;

const QByteArray kEndMarker = "****** END OF CURRENT UPDATE ******\r\n\r\n";

// Eight blocks of 128 bytes; the second holds only 0xFF and is skipped.
QByteArray TestImage() {
  QByteArray image;
  for (int block = 0; block < 8; ++block) {
    for (int i = 0; i < 128; ++i) {
      image += block == 1 ? '\xFF' : static_cast<char>((block * 37 + i * 11) & 0xFF);
    }
  }
  return image;
}

// The engine's messages of one run, as the log has them.
struct Collected {
  QByteArray log;
};

int Collect(void* context, int /*percent*/, int level, int /*block*/, const char* text,
            std::uint8_t* /*abort*/) {
  static_cast<Collected*>(context)->log += QByteArray::number(level) + ": " + text + "\r\n";
  return 0;
}

class ProgramPage : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(m_dir.isValid());
    m_appDir = m_dir.path() + QLatin1Char('/');
    // The kernels beside the program, as the build lays them out.
    for (const char* kernel : {"Genm2329.cde", "Gene2329.cde", "Genw2329.cde"}) {
      const QString from = QStringLiteral(ZERVIKO_TEST_PROGRAM_DIR "/") + QLatin1String(kernel);
      ASSERT_TRUE(QFile::copy(from, m_appDir + QLatin1String(kernel))) << from.toStdString();
    }
    m_package = m_appDir + QStringLiteral("ZERVIKO_TEST.avk");
    ASSERT_TRUE(uitest::WriteFile(
        m_package, uitest::MakePackage("Firmware 9.99 for testing", "Baud 115200\r\nKeep it on", TestImage())));
  }

  void TearDown() override {
    m_dialog.reset();
    if (m_server) m_server->Stop();
    zerviko::ClearPackage();
  }

  void StartTarget(TargetConfig config = {}) {
    m_server = std::make_unique<PtyServer>(std::move(config));
    std::string error;
    ASSERT_TRUE(m_server->Start(&error)) << error;
  }

  // The wizard on its programming page, as after Next on the file page.
  void OpenOnProgramPage() {
    const std::string port = m_server ? m_server->DevicePath() : std::string("/dev/zerviko-none");
    m_dialog = std::make_unique<CMainDlg>(nullptr, [port] {
      zerviko::ports::PortList list;
      list.entries = {{port + "  Virtual printer", port}};
      list.selected = 0;
      return list;
    });
    m_dialog->m_strAppDir = m_appDir;
    m_dialog->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(m_dialog.get()));
    ASSERT_NE(m_dialog->m_pagePort.CommitSelection(), 0);
    ASSERT_EQ(zerviko::ReadFirmwarePackage(m_package.toStdString(), true, 0), zerviko::PACKAGE_OK);
    m_dialog->m_strPackagePath = m_package;
    m_dialog->ShowPage(2, &m_dialog->m_pageProgram);
  }

  CPageProgram& Page() { return m_dialog->m_pageProgram; }

  // What the bar, the label and the wizard's buttons show right now.
  QString Screen() {
    return QStringLiteral("bar=%1 label=%2 back=%3 exit=%4 program=%5")
        .arg(Page().ProgressBar()->value())
        .arg(Page().PercentLabel()->text())
        .arg(m_dialog->m_btnBack.isEnabled())
        .arg(m_dialog->m_btnExit.isEnabled())
        .arg(Page().ProgramButton()->isEnabled());
  }

  void PressProgram() { QTest::mouseClick(Page().ProgramButton(), Qt::LeftButton); }

  QByteArray Log() { return uitest::ReadFile(m_appDir + QStringLiteral("Status.log")); }

  // The messages the engine gives for a run with the page's options against a fresh
  // target made from config.
  QByteArray ReferenceLog(TargetConfig config = {}) {
    PtyServer reference(std::move(config));
    std::string error;
    EXPECT_TRUE(reference.Start(&error)) << error;
    zerviko::ProgrammingOptions options = Page().Options();
    options.portName = reference.DevicePath();
    const QByteArray image = TestImage();
    Collected collected;
    zerviko::ProgramTarget(options, reinterpret_cast<const std::uint8_t*>(image.constData()),
                           static_cast<std::int32_t>(image.size()), &Collect, &collected);
    reference.Stop();
    return collected.log;
  }

  QByteArray TargetFlash(int length) {
    const std::vector<std::uint8_t> flash =
        m_server->Inspect([](const zerviko::sim::Target& target) { return target.Flash(); });
    return QByteArray(reinterpret_cast<const char*>(flash.data()),
                      std::min<int>(length, static_cast<int>(flash.size())));
  }

  QTemporaryDir m_dir;
  QString m_appDir;
  QString m_package;
  std::unique_ptr<PtyServer> m_server;
  std::unique_ptr<CMainDlg> m_dialog;
};

TEST_F(ProgramPage, FillsTheRunParametersAndEmptiesTheLog) {
  ASSERT_TRUE(uitest::WriteFile(m_appDir + QStringLiteral("Status.log"), "an earlier start\r\n"));
  StartTarget();
  OpenOnProgramPage();
  EXPECT_EQ(Log(), QByteArray());  // emptied when the page was created
  const zerviko::ProgrammingOptions& options = Page().Options();
  EXPECT_EQ(options.residentKernel, 1);
  EXPECT_EQ(options.portName, m_server->DevicePath());
  EXPECT_EQ(options.syncBaudRate, 9600);
  EXPECT_EQ(options.baudRate, 115200);
  EXPECT_EQ(options.clockHz, 22118400);
  EXPECT_EQ(options.startAddress, 0u);
  EXPECT_EQ(options.eraseBlocks, nullptr);
  EXPECT_EQ(options.eraseBlockCount, 0);
  EXPECT_EQ(options.deviceName, std::optional<std::string>("2329"));
  EXPECT_EQ(options.mainKernelPath, (m_appDir + QStringLiteral("Genm2329.cde")).toStdString());
  EXPECT_EQ(options.writeModulePath, (m_appDir + QStringLiteral("Genw2329.cde")).toStdString());
  EXPECT_EQ(options.eraseModulePath, (m_appDir + QStringLiteral("Gene2329.cde")).toStdString());
  EXPECT_EQ(Page().TitleLabel()->text(), QStringLiteral("Programming the ZERVIKO - ABC Layout"));
  EXPECT_EQ(Page().RevisionLabel()->text(), QStringLiteral("Firmware 9.99 for testing"));
  EXPECT_EQ(Page().DeviceSetupEdit()->toPlainText(), QStringLiteral("Baud 115200\nKeep it on"));
  EXPECT_EQ(Page().DeviceSetupEdit()->palette().color(QPalette::Text), QColor(0, 0, 128));
  EXPECT_EQ(Page().ProgramButton()->size(), QSize(112, 23));
  EXPECT_EQ(Page().ProgressBar()->minimum(), 0);
  EXPECT_EQ(Page().ProgressBar()->maximum(), 100);
  EXPECT_EQ(Page().PercentLabel()->text(), QStringLiteral("0 %"));
  // Leaving without a run leaves the log empty.
  m_dialog.reset();
  EXPECT_TRUE(QFile::exists(m_appDir + QStringLiteral("Status.log")));
  EXPECT_EQ(Log(), QByteArray());
}

// The revision line holds one line inside its etched frame, whatever the package says.
TEST_F(ProgramPage, ARevisionOfSeveralLinesStaysInsideItsFrame) {
  struct Case {
    QByteArray revision;
    QString fullText;
  };
  const QString longLine(200, QLatin1Char('W'));
  for (const Case& c :
       {Case{"Firmware 9.99 for testing\r\nReleased 1 May 2026\r\nBuild <b>42</b>",
             QStringLiteral("Firmware 9.99 for testing\nReleased 1 May 2026\nBuild <b>42</b>")},
        Case{longLine.toLatin1(), longLine}}) {
    ASSERT_TRUE(
        uitest::WriteFile(m_package, uitest::MakePackage(c.revision, "Setup", TestImage())));
    OpenOnProgramPage();
    const QLabel* label = Page().RevisionLabel();
    const QString shown = label->text();
    SCOPED_TRACE(shown.toStdString());
    EXPECT_FALSE(shown.contains(QLatin1Char('\n')));
    EXPECT_TRUE(shown.endsWith(QChar(0x2026)));  // the ellipsis says there is more
    EXPECT_LE(label->fontMetrics().horizontalAdvance(shown), label->contentsRect().width());
    EXPECT_LE(label->fontMetrics().height(), label->height());
    EXPECT_EQ(label->textFormat(), Qt::PlainText);
    // The whole text, markup and all, is the tooltip.
    QTextDocument tooltip;
    tooltip.setHtml(label->toolTip());
    EXPECT_EQ(tooltip.toPlainText(), c.fullText);
    // The label stays where it was laid out, inside the frame.
    EXPECT_EQ(label->geometry(), QRect(38, 42, 567, 23));
  }
  EXPECT_TRUE(Page().RevisionLabel()->text().startsWith(QStringLiteral("WWW")));
  // Nothing to hide: no tooltip.
  ASSERT_TRUE(uitest::WriteFile(m_package, uitest::MakePackage("V1", "Setup", TestImage())));
  OpenOnProgramPage();
  EXPECT_EQ(Page().RevisionLabel()->text(), QStringLiteral("V1"));
  EXPECT_EQ(Page().RevisionLabel()->toolTip(), QString());
  // The run's figure has room for "100 %".
  const QLabel* percent = Page().PercentLabel();
  EXPECT_GE(percent->width(), percent->fontMetrics().horizontalAdvance(QStringLiteral("100 %")));
}

TEST_F(ProgramPage, ASuccessfulRunWritesTheImageAndSaysSoAfterTheBusyWindow) {
  StartTarget();
  OpenOnProgramPage();
  const QByteArray reference = ReferenceLog();
  ASSERT_TRUE(reference.endsWith("1: Programming complete, please reset target\r\n"));
  // The target of the reference run is another one: this one is still untouched.
  ASSERT_TRUE(m_server->Inspect([](const zerviko::sim::Target& t) { return t.Frames().empty(); }));

  std::vector<int> bar;
  QObject::connect(Page().ProgressBar(), &QProgressBar::valueChanged, [&bar](int v) { bar.push_back(v); });
  uitest::MessageRecorder boxes([this] { return Screen(); });
  PressProgram();

  ASSERT_EQ(boxes.boxes.size(), 1u);
  EXPECT_EQ(boxes.boxes[0].text, QStringLiteral("Firmware has been successfully loaded."));
  EXPECT_EQ(boxes.boxes[0].caption, QStringLiteral("Success"));
  EXPECT_EQ(boxes.boxes[0].icon, MessageIcon::Exclamation);
  EXPECT_FALSE(boxes.boxes[0].busyVisible);
  EXPECT_EQ(boxes.boxes[0].extra, QStringLiteral("bar=0 label=0 % back=1 exit=1 program=1"));

  // The bar went up to 100 in order, then back to 0.
  ASSERT_GE(bar.size(), 3u);
  EXPECT_EQ(bar.back(), 0);
  EXPECT_EQ(bar[bar.size() - 2], 100);
  for (std::size_t i = 1; i + 1 < bar.size(); ++i) EXPECT_LE(bar[i - 1], bar[i]);

  EXPECT_EQ(TargetFlash(1024), TestImage());
  // The log to the byte, on the disk while the program still runs.
  EXPECT_EQ(Log(), reference + kEndMarker);
  EXPECT_TRUE(Log().startsWith("1: Setting baud rate\r\n"));
  EXPECT_TRUE(Log().contains("1: Loading main kernel " + (m_appDir + QStringLiteral("Genm2329.cde")).toUtf8() + "\r\n"));
  EXPECT_FALSE(uitest::BusyWindowVisible());
  EXPECT_TRUE(m_dialog->m_btnBack.isEnabled());
  EXPECT_FALSE(m_dialog->m_btnNext.isEnabled());
}

// Two runs of one start go into one log. A second wizard started from the same folder
// between them (two printers on one bench) leaves that log to the first and says so.
TEST_F(ProgramPage, TwoRunsGoIntoOneLogThatASecondWizardLeavesAlone) {
  StartTarget();
  OpenOnProgramPage();
  const QByteArray reference = ReferenceLog();
  uitest::MessageRecorder boxes;
  PressProgram();
  EXPECT_EQ(Log(), reference + kEndMarker);
  testing::internal::CaptureStderr();
  CMainDlg second(nullptr, [] { return zerviko::ports::PortList{}; });
  second.m_strAppDir = m_appDir;
  second.OnInitDialog();
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "zerviko-loader: \"" + m_appDir.toStdString() +
                "Status.log\" is held by another loader; this one keeps no status log\n");
  EXPECT_EQ(Log(), reference + kEndMarker);
  PressProgram();
  ASSERT_EQ(boxes.boxes.size(), 2u);
  EXPECT_EQ(boxes.boxes[1].caption, QStringLiteral("Success"));
  EXPECT_EQ(Log(), reference + kEndMarker + reference + kEndMarker);
  m_dialog.reset();
  EXPECT_EQ(Log(), reference + kEndMarker + reference + kEndMarker);
}

TEST_F(ProgramPage, AFailedRunSaysSoWhileTheBusyWindowIsUp) {
  TargetConfig config;
  // The third block write is refused by the target.
  config.faults = {Fault{FaultKind::ErrorReply, 0x50, 3, zerviko::sim::KERR_WRITE_ADDRESS_ERROR}};
  StartTarget(config);
  OpenOnProgramPage();
  const QByteArray reference = ReferenceLog(config);
  ASSERT_TRUE(reference.contains("\r\n0: "));

  uitest::MessageRecorder boxes([this] { return Screen(); });
  PressProgram();
  ASSERT_EQ(boxes.boxes.size(), 1u);
  EXPECT_EQ(boxes.boxes[0].text, QStringLiteral("File transfer error.\n\nProgramming terminated."));
  EXPECT_EQ(boxes.boxes[0].caption, QStringLiteral("Error"));
  EXPECT_EQ(boxes.boxes[0].icon, MessageIcon::Exclamation);
  EXPECT_TRUE(boxes.boxes[0].busyVisible);
  // The bar and label as the run left them (the third written block is at offset
  // 384 of 1024), the controls still disabled.
  EXPECT_EQ(boxes.boxes[0].extra, QStringLiteral("bar=37 label=37 % back=0 exit=0 program=0"));
  EXPECT_EQ(Screen(), QStringLiteral("bar=0 label=0 % back=1 exit=1 program=1"));
  EXPECT_FALSE(uitest::BusyWindowVisible());
  // The engine's messages, its error last, then the marker.
  EXPECT_EQ(Log(), reference + kEndMarker);
}

TEST_F(ProgramPage, APortThatCannotBeOpenedFailsTheRun) {
  OpenOnProgramPage();  // no target: the port does not exist
  uitest::MessageRecorder boxes;
  PressProgram();
  ASSERT_EQ(boxes.boxes.size(), 1u);
  EXPECT_EQ(boxes.boxes[0].text, QStringLiteral("File transfer error.\n\nProgramming terminated."));
  EXPECT_TRUE(boxes.boxes[0].busyVisible);
  EXPECT_EQ(Log(), QByteArray("0: Can't open /dev/zerviko-none\r\n") + kEndMarker);
}

TEST_F(ProgramPage, APackageRemovedBeforeProgramLeavesTheLogUntouched) {
  StartTarget();
  OpenOnProgramPage();
  ASSERT_TRUE(QFile::remove(m_package));
  uitest::MessageRecorder boxes([this] { return Screen(); });
  PressProgram();
  ASSERT_EQ(boxes.boxes.size(), 1u);
  EXPECT_EQ(boxes.boxes[0].text,
            QStringLiteral("The selected file is unavailable.\n\nPlease select another file."));
  EXPECT_EQ(boxes.boxes[0].caption, QStringLiteral("Error"));
  EXPECT_TRUE(boxes.boxes[0].busyVisible);
  EXPECT_EQ(boxes.boxes[0].extra, QStringLiteral("bar=0 label=0 % back=0 exit=0 program=0"));
  EXPECT_EQ(Screen(), QStringLiteral("bar=0 label=0 % back=1 exit=1 program=1"));
  EXPECT_EQ(Log(), QByteArray());
  EXPECT_TRUE(m_server->Inspect([](const zerviko::sim::Target& t) { return t.Frames().empty(); }));
}

TEST_F(ProgramPage, AnUnusablePackageIsRefused) {
  StartTarget();
  OpenOnProgramPage();
  ASSERT_TRUE(uitest::WriteFile(m_package, "<LANG_ENGLISH>\r\nno code marker\r\n"));
  uitest::MessageRecorder boxes;
  PressProgram();
  ASSERT_EQ(boxes.boxes.size(), 1u);
  EXPECT_EQ(boxes.boxes[0].text,
            QStringLiteral("The selected file is unusable.\n\nPlease select another file."));
  EXPECT_EQ(Log(), QByteArray());
}

TEST_F(ProgramPage, RunsWithoutALogWhenNoneCanBeWritten) {
  // A folder where the log should be: the log cannot be created.
  ASSERT_TRUE(QDir(m_appDir).mkdir(QStringLiteral("Status.log")));
  StartTarget();
  OpenOnProgramPage();
  uitest::MessageRecorder boxes;
  PressProgram();
  ASSERT_EQ(boxes.boxes.size(), 1u);
  EXPECT_EQ(boxes.boxes[0].caption, QStringLiteral("Success"));
  EXPECT_EQ(TargetFlash(1024), TestImage());
}

TEST_F(ProgramPage, TakesNoInputDuringARunButKeepsRunningItsLoop) {
  StartTarget();
  OpenOnProgramPage();
  uitest::MessageRecorder boxes;
  QString during;
  int page = -1;
  bool closed = true;
  bool visible = false;
  // Fires inside the run, while the engine works on its own thread.
  QTimer::singleShot(0, [&] {
    visible = uitest::BusyWindowVisible();
    closed = m_dialog->close();
    QTest::keyClick(m_dialog.get(), Qt::Key_Escape);
    m_dialog->m_btnBack.setEnabled(true);  // even an enabled Back is not pressed
    QTest::mouseClick(&m_dialog->m_btnBack, Qt::LeftButton);
    m_dialog->m_btnBack.setEnabled(false);
    QTest::mouseClick(Page().ProgramButton(), Qt::LeftButton);
    page = m_dialog->m_nCurPage;
    during = Screen();
  });
  PressProgram();
  EXPECT_TRUE(visible);
  EXPECT_FALSE(closed);
  EXPECT_EQ(page, 2);
  EXPECT_TRUE(m_dialog->isVisible());
  EXPECT_TRUE(during.endsWith(QStringLiteral("back=0 exit=0 program=0"))) << during.toStdString();
  // One run, one message.
  ASSERT_EQ(boxes.boxes.size(), 1u);
  EXPECT_EQ(boxes.boxes[0].caption, QStringLiteral("Success"));
  EXPECT_EQ(Log().count("****** END OF CURRENT UPDATE ******"), 1);
}

// The application told to quit in the middle of a run (the opt-in quit timer does it):
// the page goes on serving its window until the run is over, then the wizard closes.
TEST_F(ProgramPage, AQuitDuringARunClosesTheWizardOnceTheRunIsOver) {
  TargetConfig config;
  config.writeTime = std::chrono::milliseconds(80);  // the run outlasts the quit by far
  StartTarget(config);
  OpenOnProgramPage();
  const QByteArray reference = ReferenceLog(config);
  uitest::MessageRecorder boxes;
  bool quit = false;
  QString afterQuit;
  QObject::connect(Page().ProgressBar(), &QProgressBar::valueChanged, m_dialog.get(), [&] {
    if (std::exchange(quit, true)) return;
    QCoreApplication::exit(0);
    QTimer::singleShot(0, m_dialog.get(), [&] {
      afterQuit = Screen() + QStringLiteral(" written=%1").arg(TargetFlash(1024) == TestImage());
    });
  });
  PressProgram();  // the queued call above ran while the engine was still writing
  EXPECT_TRUE(afterQuit.endsWith(QStringLiteral("program=0 written=0"))) << afterQuit.toStdString();
  EXPECT_EQ(TargetFlash(1024), TestImage());
  EXPECT_EQ(Log(), reference + kEndMarker);
  EXPECT_TRUE(boxes.boxes.empty());  // nobody is left to answer one
  EXPECT_FALSE(m_dialog->isVisible());
  // After exit() no event loop of this thread starts until the application's own has
  // run: run it once, to an end at once, so that the next test starts afresh.
  QTimer::singleShot(0, [] { QCoreApplication::exit(0); });
  QCoreApplication::exec();
}

TEST_F(ProgramPage, ThePortIsTakenAnewEachTimeThePageIsShown) {
  StartTarget();
  OpenOnProgramPage();
  EXPECT_EQ(Page().Options().portName, m_server->DevicePath());
  m_dialog->OnBack();
  m_dialog->OnBack();
  m_dialog->m_strPort = QStringLiteral("/dev/zerviko-other");
  m_dialog->ShowPage(2, &m_dialog->m_pageProgram);
  EXPECT_EQ(Page().Options().portName, std::string("/dev/zerviko-other"));
  m_dialog->m_bAbcLayout = 0;
  m_dialog->ShowPage(1, &m_dialog->m_pageFile);
  m_dialog->ShowPage(2, &m_dialog->m_pageProgram);
  EXPECT_EQ(Page().TitleLabel()->text(), QStringLiteral("Programming the ZERVIKO - Keyboard Layout"));
}

}  // namespace
